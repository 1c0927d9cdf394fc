#include "ControlServer.h"

#include "Emulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace vciemu {

namespace {
constexpr int kMaxCommandLine = 4096;
}

ControlServer::ControlServer(Emulator* emulator, QObject* parent)
    : QObject(parent)
    , m_emulator(emulator)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (m_server->hasPendingConnections()) {
            QTcpSocket* s = m_server->nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                while (s->canReadLine()) {
                    const QString line = QString::fromUtf8(s->readLine(kMaxCommandLine)).trimmed();
                    if (line.isEmpty())
                        continue;
                    s->write(m_emulator->execute(line).toUtf8() + '\n');
                }
                if (s->bytesAvailable() > kMaxCommandLine) {
                    s->write("ERR command too long\n");
                    s->disconnectFromHost();
                }
            });
        }
    });
}

bool ControlServer::listen(quint16 port, QString* error)
{
    if (m_server->listen(QHostAddress::LocalHost, port))
        return true;
    *error = m_server->errorString();
    return false;
}

quint16 ControlServer::port() const
{
    return m_server->serverPort();
}

} // namespace vciemu
