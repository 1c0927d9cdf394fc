// Stream targets of the tunnel: connections to the B-end's pass-thru
// listener reach the C-end adapter's pass-thru port and those to its module
// listener the module port; an OPEN in the first form means the module port;
// a C-end refuses targets it does not serve, pass-thru streams outside a
// session and streams beyond its limit, and closes its adapter connections
// when the session ends.
#include "remote/Link.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

using namespace remote;

namespace {

// A local server that counts connections and echoes every byte back.
class EchoServer {
public:
    EchoServer()
    {
        std::string error;
        m_listener = net::listenTcp("127.0.0.1", 0, &error);
        m_port = net::localPort(m_listener);
        m_thread = std::thread([this] { serve(); });
    }
    ~EchoServer()
    {
        m_stop = true;
        m_thread.join();
        for (const net::Socket c : m_clients)
            net::closeSocket(c);
        net::closeSocket(m_listener);
    }
    std::uint16_t port() const { return m_port; }
    int accepted() const { return m_accepted; }
    // Connections whose other end has closed.
    int ended() const { return m_ended; }

private:
    void serve()
    {
        char buf[4096];
        std::vector<bool> gone;
        while (!m_stop) {
            std::vector<net::PollFd> fds(1);
            fds[0].fd = m_listener;
            fds[0].events = POLLIN;
            for (const net::Socket c : m_clients) {
                net::PollFd p{};
                p.fd = c;
                p.events = POLLIN;
                fds.push_back(p);
            }
            if (net::pollSockets(fds.data(), fds.size(), 20) <= 0)
                continue;
            if (fds[0].revents) {
                const net::Socket c = net::acceptTcp(m_listener);
                if (c != net::kNoSocket) {
                    m_clients.push_back(c);
                    gone.push_back(false);
                    ++m_accepted;
                }
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!fds[i].revents || gone[i - 1])
                    continue;
                const long n = net::recvSome(fds[i].fd, buf, sizeof buf);
                if (n < 0) {
                    gone[i - 1] = true;
                    ++m_ended;
                } else if (n > 0) {
                    net::sendSome(fds[i].fd, buf, static_cast<std::size_t>(n));
                }
            }
        }
    }

    net::Socket m_listener;
    std::uint16_t m_port = 0;
    std::vector<net::Socket> m_clients; // the server thread's own
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_ended{0};
    std::thread m_thread;
};

void nonBlockingPair(int fds[2])
{
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    for (int i = 0; i < 2; ++i)
        ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | O_NONBLOCK);
}

// A B-end link with a module and a pass-thru listener, and a C-end link
// serving the module and pass-thru servers given (0: not served).
struct Session {
    std::unique_ptr<Link> b;
    std::unique_ptr<Link> c;
    std::thread tb;
    std::thread tc;
    std::uint16_t modulePort = 0;
    std::uint16_t passThruPort = 0;

    Session(std::uint16_t moduleTarget, std::uint16_t passThruTarget)
    {
        int fds[2];
        nonBlockingPair(fds);
        LinkOptions cOptions;
        cOptions.targetIp = "127.0.0.1";
        cOptions.targetPort = moduleTarget;
        cOptions.passThruPort = passThruTarget;
        b = std::make_unique<Link>(std::make_unique<Channel>(fds[0], nullptr), LinkOptions{});
        c = std::make_unique<Link>(std::make_unique<Channel>(fds[1], nullptr), cOptions);
        std::string error;
        const net::Socket module = net::listenTcp("127.0.0.1", 0, &error);
        const net::Socket passThru = net::listenTcp("127.0.0.1", 0, &error);
        modulePort = net::localPort(module);
        passThruPort = net::localPort(passThru);
        b->addListener(module, kTargetModule);
        b->addListener(passThru, kTargetPassThru);
        tb = std::thread([this] { b->run([](const Frame&) { return false; }); });
        tc = std::thread([this] { c->run([](const Frame&) { return false; }); });
    }
    ~Session()
    {
        b->stop();
        c->stop();
        tb.join();
        tc.join();
    }
};

// A hostile or older B-end: raw frames against a C-end link.
struct RawPeer {
    int fd = -1;
    std::unique_ptr<Link> c;
    std::thread tc;
    FrameReader reader;

    explicit RawPeer(LinkOptions options)
    {
        int fds[2];
        nonBlockingPair(fds);
        fd = fds[0];
        c = std::make_unique<Link>(std::make_unique<Channel>(fds[1], nullptr), std::move(options));
        tc = std::thread([this] { c->run([](const Frame&) { return false; }); });
    }
    ~RawPeer()
    {
        c->stop();
        tc.join();
        net::closeSocket(fd);
    }
    void send(const std::string& bytes) { QCOMPARE(::send(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size())); }
    // The next frame that is not a ping or pong, within the time limit.
    bool next(Frame& f, int timeoutMs = 3000)
    {
        QElapsedTimer t;
        t.start();
        char buf[4096];
        while (t.elapsed() < timeoutMs) {
            while (reader.next(f) == FrameReader::Result::Frame) {
                if (f.type != Type::Ping && f.type != Type::Pong)
                    return true;
            }
            net::PollFd p{};
            p.fd = fd;
            p.events = POLLIN;
            net::pollSockets(&p, 1, 50);
            const long n = net::recvSome(fd, buf, sizeof buf);
            if (n < 0)
                return false;
            reader.feed(buf, static_cast<std::size_t>(n));
        }
        return false;
    }
};

net::Socket dial(std::uint16_t port)
{
    std::string error;
    return net::connectTcp("127.0.0.1", port, 2000, &error);
}

// Sends `data` and waits for as many bytes back; "" when the stream closed first.
std::string echoed(net::Socket s, const std::string& data)
{
    net::sendSome(s, data.data(), data.size());
    std::string back;
    QElapsedTimer t;
    t.start();
    char buf[256];
    while (back.size() < data.size() && t.elapsed() < 5000) {
        net::PollFd p{};
        p.fd = s;
        p.events = POLLIN;
        net::pollSockets(&p, 1, 50);
        const long n = net::recvSome(s, buf, sizeof buf);
        if (n < 0)
            return back;
        back.append(buf, static_cast<std::size_t>(n));
    }
    return back;
}

bool closedWithin(net::Socket s, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    char buf[256];
    while (t.elapsed() < timeoutMs) {
        net::PollFd p{};
        p.fd = s;
        p.events = POLLIN;
        net::pollSockets(&p, 1, 50);
        if (net::recvSome(s, buf, sizeof buf) < 0)
            return true;
    }
    return false;
}

} // namespace

class RemotePassThruTunnelTest : public QObject {
    Q_OBJECT

private slots:
    // The target travels in OPEN only when it is not the module port, so an
    // older C-end still reads every module stream.
    void openCarriesItsTarget()
    {
        auto parsed = [](const std::string& bytes) {
            FrameReader r;
            r.feed(bytes.data(), bytes.size());
            Frame f;
            StreamMsg m;
            if (r.next(f) != FrameReader::Result::Frame || !parseStream(f, m, nullptr))
                m.stream = 0;
            return m;
        };
        QCOMPARE(encodeOpen(9).size(), std::size_t(9));
        StreamMsg m = parsed(encodeOpen(9));
        QCOMPARE(m.stream, 9u);
        QCOMPARE(int(m.target), int(kTargetModule));
        QVERIFY(!m.targetGiven);
        m = parsed(encodeOpen(10, kTargetPassThru));
        QCOMPARE(m.stream, 10u);
        QCOMPARE(int(m.target), int(kTargetPassThru));
        QVERIFY(m.targetGiven);
        m = parsed(encodeOpen(11, 0xC3));
        QCOMPARE(int(m.target), 0xC3);
    }

    // Each listener's connections reach their own port at the C-end, with
    // their bytes intact; a second connection to each works beside the first.
    void eachListenerReachesItsPort()
    {
        EchoServer module;
        EchoServer passThru;
        Session s(module.port(), passThru.port());
        const net::Socket a = dial(s.passThruPort);
        const net::Socket b = dial(s.modulePort);
        const net::Socket c = dial(s.passThruPort);
        QCOMPARE(echoed(a, "pass-thru one"), std::string("pass-thru one"));
        QCOMPARE(echoed(b, "module"), std::string("module"));
        QCOMPARE(echoed(c, "pass-thru two"), std::string("pass-thru two"));
        QCOMPARE(passThru.accepted(), 2);
        QCOMPARE(module.accepted(), 1);
        // The application closes: the C-end's connection to the adapter closes too.
        net::closeSocket(a);
        QTRY_COMPARE_WITH_TIMEOUT(passThru.ended(), 1, 5000);
        net::closeSocket(b);
        net::closeSocket(c);
    }

    // A C-end without a pass-thru port refuses those streams and keeps the module's.
    void unservedTargetIsRefused()
    {
        EchoServer module;
        Session s(module.port(), 0);
        const net::Socket a = dial(s.passThruPort);
        QVERIFY(closedWithin(a, 5000));
        const net::Socket b = dial(s.modulePort);
        QCOMPARE(echoed(b, "still here"), std::string("still here"));
        net::closeSocket(a);
        net::closeSocket(b);
    }

    // From a hostile (or older, or newer) B-end: the first form goes to the
    // module port, an unknown target and a pass-thru stream the C-end's
    // resolver will not serve are answered CLOSE without a connection, and
    // the link stays up for the next stream.
    void hostileOpensAreRefused()
    {
        EchoServer module;
        EchoServer passThru;
        std::atomic<bool> inSession{false};
        LinkOptions options;
        options.targetIp = "127.0.0.1";
        options.targetPort = module.port();
        options.passThruPort = passThru.port();
        options.resolveTarget = [&inSession](std::uint8_t target) {
            return target == kTargetModule || inSession ? std::string("127.0.0.1") : std::string();
        };
        RawPeer peer(options);
        Frame f;
        StreamMsg m;

        peer.send(encodeOpen(1));
        QTRY_COMPARE_WITH_TIMEOUT(module.accepted(), 1, 5000);
        peer.send(encodeOpen(2, 7));
        QVERIFY(peer.next(f));
        QVERIFY(f.type == Type::Close && parseStream(f, m, nullptr));
        QCOMPARE(m.stream, 2u);
        peer.send(encodeOpen(3, kTargetPassThru));
        QVERIFY(peer.next(f));
        QVERIFY(f.type == Type::Close && parseStream(f, m, nullptr));
        QCOMPARE(m.stream, 3u);
        QCOMPARE(passThru.accepted(), 0);

        inSession = true;
        peer.send(encodeOpen(4, kTargetPassThru));
        std::string data;
        appendData(data, 4, "ping", 4);
        peer.send(data);
        QVERIFY(peer.next(f));
        QVERIFY(f.type == Type::Data && parseStream(f, m, nullptr));
        QCOMPARE(m.stream, 4u);
        QCOMPARE(std::string(m.data), std::string("ping"));
        QCOMPARE(passThru.accepted(), 1);
        QCOMPARE(module.accepted(), 1);
        QCOMPARE(peer.c->openStreams(), std::size_t(2));
    }

    // At most 64 streams whatever their targets; the 65th is refused.
    void streamLimitCoversBothTargets()
    {
        EchoServer module;
        EchoServer passThru;
        LinkOptions options;
        options.targetIp = "127.0.0.1";
        options.targetPort = module.port();
        options.passThruPort = passThru.port();
        RawPeer peer(options);
        std::string opens;
        for (std::uint32_t id = 1; id <= 64; ++id)
            opens += id % 2 ? encodeOpen(id) : encodeOpen(id, kTargetPassThru);
        opens += encodeOpen(65, kTargetPassThru);
        peer.send(opens);
        Frame f;
        StreamMsg m;
        QVERIFY(peer.next(f));
        QVERIFY(f.type == Type::Close && parseStream(f, m, nullptr));
        QCOMPARE(m.stream, 65u);
        QTRY_COMPARE_WITH_TIMEOUT(module.accepted() + passThru.accepted(), 64, 5000);
        QCOMPARE(peer.c->openStreams(), std::size_t(64));
    }

    // The session ends (the C-end stops taking streams, or the link stops):
    // the adapter's pass-thru connection is closed at once, and so is the
    // application's connection at the B-end.
    void sessionEndClosesPassThru()
    {
        EchoServer passThru;
        {
            Session s(0, passThru.port());
            const net::Socket app = dial(s.passThruPort);
            QCOMPARE(echoed(app, "open"), std::string("open"));
            s.c->setStreamsAllowed(false);
            QTRY_COMPARE_WITH_TIMEOUT(passThru.ended(), 1, 2000);
            QVERIFY(closedWithin(app, 2000));
            net::closeSocket(app);
        }
        Session s(0, passThru.port());
        const net::Socket app = dial(s.passThruPort);
        QCOMPARE(echoed(app, "again"), std::string("again"));
        s.b->stop();
        QTRY_COMPARE_WITH_TIMEOUT(passThru.ended(), 2, 2000);
        QVERIFY(closedWithin(app, 2000));
        net::closeSocket(app);
    }
};

QTEST_GUILESS_MAIN(RemotePassThruTunnelTest)
#include "tst_remote_passthru_tunnel.moc"
