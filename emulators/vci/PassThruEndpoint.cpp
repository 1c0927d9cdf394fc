#include "PassThruEndpoint.h"

#include "passthru/PassThruSession.h"

#include <j2534.h>

#include <json/reader.h>

#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <mutex>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace vciemu {

namespace {

// Queued calls from the scheduler thread are built and run under this lock,
// so a thread checker sees the hand-over that Qt's own (uninstrumented)
// queue makes.
std::mutex g_handOver;

// The peer's death is noticed within 2 s idle + 3 probes 1 s apart. Frames
// go out at once: with Nagle's algorithm a reply written right after an
// event waits for the library's delayed acknowledgement (40 ms on Linux).
void keepAlive(QTcpSocket* socket)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0)
        return;
    const int idle = 2, interval = 1, count = 3;
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

Json::Value parseJson(const std::string& text)
{
    Json::Value v;
    Json::CharReaderBuilder b;
    std::unique_ptr<Json::CharReader> r(b.newCharReader());
    std::string errors;
    if (!r->parse(text.data(), text.data() + text.size(), &v, &errors))
        return Json::Value(Json::nullValue);
    return v;
}

} // namespace

// What the network side and the scheduler share for one session: the outbox
// (thread-safe) and the session itself (scheduler thread only).
struct PassThruEndpoint::SessionHost {
    PassThruOutbox outbox;
    std::unique_ptr<PassThruSession> session;
};

PassThruEndpoint::PassThruEndpoint(EmulatedAdapter& adapter, std::shared_ptr<VehicleSlot> vehicle,
    const QHostAddress& address, quint16 port, QObject* parent)
    : QObject(parent)
    , m_adapter(adapter)
    , m_vehicle(std::move(vehicle))
    , m_address(address)
    , m_port(port)
{
}

PassThruEndpoint::~PassThruEndpoint()
{
    stop();
}

bool PassThruEndpoint::listening() const
{
    return m_server && m_server->isListening();
}

bool PassThruEndpoint::start()
{
    if (listening())
        return true;
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &PassThruEndpoint::onNewConnection);
    if (!m_server->listen(m_address, m_port)) {
        m_lastError = m_server->errorString();
        qWarning("adapter %d: cannot listen on %s:%u (pass-thru): %s", m_adapter.state().index,
            qPrintable(m_address.toString()), m_port, qPrintable(m_lastError));
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void PassThruEndpoint::stop()
{
    if (m_server) {
        m_server->close();
        m_server->deleteLater();
        m_server = nullptr;
    }
    std::vector<QTcpSocket*> sockets;
    for (const auto& c : m_connections)
        sockets.push_back(c.first);
    for (QTcpSocket* s : sockets)
        endConnection(s);
}

QString PassThruEndpoint::holderAddress() const
{
    if (!m_holder)
        return QString();
    return m_holder->peerAddress().toString() + QLatin1Char(':') + QString::number(m_holder->peerPort());
}

void PassThruEndpoint::onNewConnection()
{
    QTcpServer* server = m_server;
    while (server && server->hasPendingConnections()) {
        QTcpSocket* socket = server->nextPendingConnection();
        socket->setParent(this);
        if (int(m_connections.size()) >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        keepAlive(socket);
        // Qt stops taking bytes from the system beyond this, so requests not
        // being served hold the client back through TCP.
        socket->setReadBufferSize(64 * 1024);
        m_connections[socket].socket = socket;
        QTimer::singleShot(kOpenWaitMs, socket, [this, socket] {
            const auto it = m_connections.find(socket);
            if (it != m_connections.end() && !it->second.opened)
                endConnection(socket);
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this] { drain(); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { endConnection(socket); });
        connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError e) {
            if (e != QAbstractSocket::RemoteHostClosedError)
                endConnection(socket);
        });
    }
}

void PassThruEndpoint::refuse(
    Connection& c, std::uint32_t tag, passthru::Type type, std::uint32_t status, const std::string& text)
{
    passthru::Reply r;
    r.request = type;
    r.status = status;
    r.text = text;
    const std::vector<std::uint8_t> frame = passthru::encodeReply(tag, r);
    c.socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
}

void PassThruEndpoint::serve(QTcpSocket* socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& c = it->second;
    char chunk[16384];
    while (c.inFlight < kMaxInFlight && socket->bytesToWrite() < kMaxPendingReplyBytes) {
        std::optional<passthru::Frame> frame = c.reader.next();
        if (!frame) {
            if (c.reader.broken()) {
                qWarning("adapter %d: pass-thru client dropped: %s", m_adapter.state().index, c.reader.error().c_str());
                return endConnection(socket);
            }
            const qint64 n = socket->read(chunk, sizeof chunk);
            if (n <= 0)
                return;
            c.reader.feed(reinterpret_cast<const std::uint8_t*>(chunk), std::size_t(n));
            continue;
        }
        PassThruRequest request;
        std::string error;
        if (!decodePassThruRequest(*frame, &request, &error)) {
            qWarning("adapter %d: pass-thru client dropped: %s", m_adapter.state().index, error.c_str());
            return endConnection(socket);
        }
        if (!c.opened) {
            if (request.type != passthru::Type::Open) {
                qWarning(
                    "adapter %d: pass-thru client dropped: the first request must be OPEN", m_adapter.state().index);
                return endConnection(socket);
            }
            if (m_holder) {
                refuse(c, request.tag, request.type, ERR_DEVICE_IN_USE,
                    "the adapter's pass-thru session is held by " + holderAddress().toStdString());
                socket->disconnect(this);
                m_connections.erase(it);
                socket->disconnectFromHost(); // after the reply has gone
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                if (socket->state() == QAbstractSocket::UnconnectedState)
                    socket->deleteLater();
                return;
            }
            c.opened = true;
            m_clientName = request.open.client;
            openSession(c);
        }
        PassThruSession::Device device;
        const AdapterState& s = m_adapter.state();
        device.firmwareVersion = s.firmwareVersion;
        device.serial = s.serial;
        device.supplyMv = s.vbatt;
        device.maxBitrate = s.maxCanBitrate;
        ++c.inFlight;
        std::shared_ptr<SessionHost> host = m_host;
        std::shared_ptr<VehicleSlot> slot = m_vehicle;
        m_vehicle->scheduler().post([host, slot, request = std::move(request), device] {
            if (!host->session) {
                PassThruSession::BusProvider buses = [slot](vehicle::Pins pins, std::string* why) -> vehicle::CanBus* {
                    vehicle::VehicleWorld* w = slot->world(why);
                    return w ? &w->bus(pins) : nullptr;
                };
                host->session = std::make_unique<PassThruSession>(slot->scheduler(), std::move(buses), host->outbox);
            }
            host->session->handle(request, device);
        });
    }
}

void PassThruEndpoint::openSession(Connection& c)
{
    m_holder = c.socket;
    m_adapter.state().status = 2;
    m_host = std::make_shared<SessionHost>();
    m_host->outbox.setWakeup([this] {
        // Runs on the scheduler thread under the outbox's lock; setWakeup({})
        // on the way out waits for it, so `this` is alive here.
        std::lock_guard<std::mutex> lock(g_handOver);
        QMetaObject::invokeMethod(
            this,
            [this] {
                {
                    std::lock_guard<std::mutex> seen(g_handOver);
                }
                drain();
            },
            Qt::QueuedConnection);
    });
}

void PassThruEndpoint::drain()
{
    if (!m_holder || !m_host)
        return;
    auto it = m_connections.find(m_holder);
    if (it == m_connections.end())
        return;
    Connection& c = it->second;
    QTcpSocket* socket = c.socket;
    std::vector<std::uint8_t> bytes;
    while (socket->bytesToWrite() < kMaxPendingReplyBytes) {
        bytes.clear();
        const std::size_t room = std::size_t(kMaxPendingReplyBytes - socket->bytesToWrite());
        const std::size_t replies = m_host->outbox.takeEncoded(&bytes, room);
        c.inFlight -= int(replies);
        if (bytes.empty())
            break;
        socket->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }
    if (c.inFlight < kMaxInFlight && socket->bytesAvailable() + qint64(c.reader.buffered()) > 0)
        serve(socket);
}

void PassThruEndpoint::dropSession()
{
    if (!m_host)
        return;
    m_host->outbox.setWakeup({});
    // The session goes on the scheduler thread, in order after the requests
    // already posted: its channels leave their buses there and then.
    std::shared_ptr<SessionHost> host = std::move(m_host);
    m_vehicle->scheduler().post([host] { host->session.reset(); });
    m_holder = nullptr;
    m_clientName.clear();
    if (m_adapter.state().status == 2)
        m_adapter.state().status = 1;
}

void PassThruEndpoint::endSession(const QString& why)
{
    if (!m_holder)
        return;
    qInfo("adapter %d: pass-thru session of %s ended: %s", m_adapter.state().index, qPrintable(holderAddress()),
        qPrintable(why));
    endConnection(m_holder);
}

void PassThruEndpoint::endConnection(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    m_connections.erase(it);
    if (socket == m_holder)
        dropSession();
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

Json::Value PassThruEndpoint::dump() const
{
    Json::Value d(Json::objectValue);
    d["port"] = m_port;
    d["listening"] = listening();
    d["open"] = m_holder != nullptr;
    d["client"] = holderAddress().toStdString();
    d["clientName"] = m_clientName;
    d["connections"] = Json::UInt(m_connections.size());
    Json::Value channels(Json::arrayValue);
    if (m_host) {
        std::string json;
        std::shared_ptr<SessionHost> host = m_host;
        m_vehicle->scheduler().call([&json, host] {
            if (host->session)
                json = host->session->dumpJson();
        });
        const Json::Value s = parseJson(json);
        if (s.isObject())
            channels = s["channels"];
    }
    d["channels"] = channels;
    return d;
}

} // namespace vciemu
