#include "ControlServer.h"

#include "Emulator.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace vciemu {

namespace {
constexpr int kMaxCommandLine = 16384; // a tester's request of 4095 bytes fits
const char kAwaiting[] = "bwAwaitingAnswer";
} // namespace

ControlServer::ControlServer(Emulator* emulator, QObject* parent)
    : QObject(parent)
    , m_emulator(emulator)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (m_server->hasPendingConnections()) {
            QTcpSocket* s = m_server->nextPendingConnection();
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { readLines(s); });
        }
    });
}

// Answers come in the order of the lines: while one answer is awaited (a
// tester's request), the following lines wait unread in the socket.
void ControlServer::readLines(QTcpSocket* s)
{
    while (!s->property(kAwaiting).toBool() && s->canReadLine()) {
        const QString line = QString::fromUtf8(s->readLine(kMaxCommandLine)).trimmed();
        if (line.isEmpty())
            continue;
        s->setProperty(kAwaiting, true);
        m_emulator->execute(line, s, [this, s](const QString& answer) {
            s->write(answer.toUtf8() + '\n');
            s->setProperty(kAwaiting, false);
            // Lines that came meanwhile: read them after this answer has gone.
            QMetaObject::invokeMethod(
                s, [this, s] { readLines(s); }, Qt::QueuedConnection);
        });
    }
    if (!s->property(kAwaiting).toBool() && !s->canReadLine() && s->bytesAvailable() > kMaxCommandLine) {
        s->write("ERR command too long\n");
        s->disconnectFromHost();
    }
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
