#include "AdapterEndpoint.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <cstring>

namespace vciemu {

AdapterEndpoint::AdapterEndpoint(AdapterState state, quint16 port, int rebootMs, int uploadIdleMs, QObject* parent)
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
    m_uploadIdle.setSingleShot(true);
    m_uploadIdle.setInterval(uploadIdleMs);
    connect(&m_uploadIdle, &QTimer::timeout, this, [this, uploadIdleMs] {
        if (m_upload && !m_flash.isActive())
            endUpload(mt7628::errorReply("upload dropped: no image bytes for " + std::to_string(uploadIdleMs) + " ms"));
    });
    m_flash.setSingleShot(true);
    connect(&m_flash, &QTimer::timeout, this, &AdapterEndpoint::finishWrite);
}

void AdapterEndpoint::enablePassThru(std::shared_ptr<VehicleSlot> vehicle, quint16 port)
{
    m_vehicle = vehicle;
    m_passThru = new PassThruEndpoint(m_adapter, std::move(vehicle), m_address, port, this);
    if (listening() && !m_adapter.state().bootloader)
        m_passThru->start();
}

void AdapterEndpoint::setBootloader(bool on)
{
    m_adapter.state().bootloader = on;
    if (!m_passThru)
        return;
    if (on)
        m_passThru->stop();
    else if (listening())
        m_passThru->start();
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
        return;
    }
    if (m_passThru && !m_adapter.state().bootloader && !m_passThru->start())
        m_lastError = m_passThru->lastError();
}

void AdapterEndpoint::stopListening()
{
    // Unplugged or restarting: the pass-thru session ends with the adapter.
    if (m_passThru)
        m_passThru->stop();
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    // Open connections die with the adapter, and so does an image not yet written.
    m_uploadIdle.stop();
    m_flash.stop();
    m_upload.reset();
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
            // A client gone mid-image ends its upload; a checked image is still written.
            if (m_upload && m_upload->socket == socket && !m_flash.isActive()) {
                m_uploadIdle.stop();
                m_upload.reset();
            }
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
    if (m_upload && m_upload->socket == socket) {
        if (m_upload->received < m_upload->image.size())
            receiveUpload();
        else
            socket->readAll(); // past the announced length: not part of the image
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
        std::string op;
        Json::Value reply;
        mt7628::ImageKind kind = mt7628::ImageKind::System;
        std::uint32_t length = 0;
        if (!mt7628::decodeFrame(line, request, &why))
            reply = mt7628::errorReply("bad request: " + why);
        else if (mt7628::getString(request, "op", op) && op == mt7628::op::kUploadBegin)
            reply = m_adapter.beginUpload(request, m_upload != nullptr, kind, length);
        else
            reply = m_adapter.handle(request, rebootRequested);
        // Releasing the adapter's occupation ends the pass-thru session that occupies it.
        if (op == mt7628::op::kRelease && m_passThru)
            m_passThru->endSession(QStringLiteral("the adapter's occupation was released"));
        const std::string frame = mt7628::encodeFrame(reply);
        socket->write(frame.data(), static_cast<qint64>(frame.size()));
        if (op == mt7628::op::kUploadBegin && mt7628::replyOk(reply)) {
            // From here on the connection carries the image.
            startUpload(socket, kind, length);
            receiveUpload(reader.takeBuffered());
            return;
        }
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

void AdapterEndpoint::startUpload(QTcpSocket* socket, mt7628::ImageKind kind, std::uint32_t length)
{
    m_upload = std::make_unique<Upload>();
    m_upload->socket = socket;
    m_upload->kind = kind;
    m_upload->image.resize(length);
    // Image bytes go straight to the staging area, so the socket may take a window's worth at a time.
    socket->setReadBufferSize(EmulatedAdapter::kUploadWindow);
    m_uploadIdle.start();
}

void AdapterEndpoint::receiveUpload(const std::string& buffered)
{
    Upload& u = *m_upload;
    const std::uint32_t before = u.received;
    const auto room = [&u] { return static_cast<std::uint32_t>(u.image.size()) - u.received; };
    const std::uint32_t first = std::min(room(), static_cast<std::uint32_t>(buffered.size()));
    std::memcpy(u.image.data() + u.received, buffered.data(), first);
    u.received += first;
    while (u.socket && room() > 0) {
        const qint64 n = u.socket->read(reinterpret_cast<char*>(u.image.data()) + u.received, room());
        if (n <= 0)
            break;
        u.received += static_cast<std::uint32_t>(n);
    }
    if (u.received == before)
        return;
    m_uploadIdle.start();
    acknowledge();
    if (room() > 0)
        return;
    m_uploadIdle.stop();
    if (u.socket)
        u.socket->readAll();
    const Json::Value verdict = m_adapter.checkUpload(u.kind, u.image);
    if (!mt7628::replyOk(verdict))
        endUpload(verdict);
    else
        m_flash.start(m_adapter.state().flashMs);
}

void AdapterEndpoint::acknowledge()
{
    Upload& u = *m_upload;
    if (u.received - u.acknowledged < EmulatedAdapter::kUploadAckEvery && u.received < u.image.size())
        return;
    u.acknowledged = u.received;
    if (u.socket) {
        const std::string frame = mt7628::encodeFrame(mt7628::uploadProgressReply(u.received));
        u.socket->write(frame.data(), static_cast<qint64>(frame.size()));
    }
}

void AdapterEndpoint::endUpload(const Json::Value& reply)
{
    const QPointer<QTcpSocket> socket = m_upload->socket;
    m_upload.reset();
    m_uploadIdle.stop();
    m_flash.stop();
    if (!socket || m_silent)
        return;
    const std::string frame = mt7628::encodeFrame(reply);
    socket->write(frame.data(), static_cast<qint64>(frame.size()));
    socket->disconnectFromHost();
}

void AdapterEndpoint::finishWrite()
{
    bool restart = false;
    const Json::Value reply = m_adapter.writeImage(m_upload->kind, m_upload->image, restart);
    if (!restart) {
        endUpload(reply);
        return;
    }
    // The answer goes out before the module restarts.
    if (m_upload->socket && !m_silent) {
        QTcpSocket* socket = m_upload->socket;
        socket->disconnect(this); // the wait below signals bytesWritten: serve nothing more
        const std::string frame = mt7628::encodeFrame(reply);
        socket->write(frame.data(), static_cast<qint64>(frame.size()));
        socket->waitForBytesWritten(200);
    }
    reboot();
}

} // namespace vciemu
