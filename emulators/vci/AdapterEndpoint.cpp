#include "AdapterEndpoint.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace vciemu {

AdapterEndpoint::AdapterEndpoint(AdapterState state, quint16 port, int rebootMs, QObject* parent)
    : QObject(parent)
    , m_adapter(std::move(state))
    , m_address(QString::fromStdString(m_adapter.state().ip))
    , m_port(port)
    , m_rebootMs(rebootMs)
{
    m_rebootTimer.setSingleShot(true);
    connect(&m_rebootTimer, &QTimer::timeout, this, [this] {
        if (m_plugged)
            startListening();
    });
}

bool AdapterEndpoint::listening() const
{
    return m_server && m_server->isListening();
}

bool AdapterEndpoint::plug()
{
    m_plugged = true;
    if (!rebooting())
        startListening();
    return rebooting() || listening();
}

void AdapterEndpoint::unplug()
{
    m_plugged = false;
    m_rebootTimer.stop();
    stopListening();
}

void AdapterEndpoint::reboot()
{
    stopListening();
    m_rebootTimer.start(m_rebootMs);
}

void AdapterEndpoint::startListening()
{
    if (listening())
        return;
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &AdapterEndpoint::onNewConnection);
    if (!m_server->listen(m_address, m_port)) {
        m_lastError = m_server->errorString();
        qWarning("adapter %d: cannot listen on %s:%u: %s", m_adapter.state().index, qPrintable(m_address.toString()),
            m_port, qPrintable(m_lastError));
        delete m_server;
        m_server = nullptr;
    }
}

void AdapterEndpoint::stopListening()
{
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    // Open connections die with the adapter.
    const auto sockets = m_readers.keys();
    m_readers.clear();
    for (QTcpSocket* s : sockets) {
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
}

void AdapterEndpoint::onNewConnection()
{
    QTcpServer* server = m_server;
    while (server && server->hasPendingConnections()) {
        QTcpSocket* socket = server->nextPendingConnection();
        socket->setParent(this);
        if (m_readers.size() >= kMaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Qt stops taking bytes from the system beyond this, so a client
        // whose requests are not being read is held back by TCP itself.
        socket->setReadBufferSize(static_cast<qint64>(mt7628::kMaxFrameBytes));
        m_readers.insert(socket, mt7628::FrameReader());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_readers.remove(socket);
            socket->deleteLater();
        });
    }
}

void AdapterEndpoint::serve(QTcpSocket* socket)
{
    auto it = m_readers.find(socket);
    if (it == m_readers.end())
        return;
    if (m_silent || it->overflow()) {
        socket->readAll(); // swallow requests: silent, or closing after "request too large"
        return;
    }
    mt7628::FrameReader& reader = *it;
    std::string line;
    char chunk[4096];
    bool rebootRequested = false;
    while (!rebootRequested && socket->bytesToWrite() < kMaxPendingReplyBytes) {
        if (!reader.next(line)) {
            if (reader.overflow())
                break;
            const qint64 n = socket->read(chunk, sizeof chunk);
            if (n <= 0)
                break;
            reader.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        Json::Value request;
        std::string why;
        Json::Value reply;
        if (!mt7628::decodeFrame(line, request, &why))
            reply = mt7628::errorReply("bad request: " + why);
        else
            reply = m_adapter.handle(request, rebootRequested);
        const std::string frame = mt7628::encodeFrame(reply);
        socket->write(frame.data(), static_cast<qint64>(frame.size()));
    }
    if (reader.overflow()) {
        const std::string frame = mt7628::encodeFrame(mt7628::errorReply("request too large"));
        socket->write(frame.data(), static_cast<qint64>(frame.size()));
        socket->disconnectFromHost();
        return;
    }
    if (rebootRequested) {
        socket->disconnect(this); // the wait below signals bytesWritten: serve nothing more
        socket->flush();
        socket->waitForBytesWritten(200);
        reboot();
    }
}

} // namespace vciemu
