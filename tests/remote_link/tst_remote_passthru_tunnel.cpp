// Stream targets of the tunnel as a C-end link sees them from a hostile,
// older or newer B-end: an OPEN in the first form means the module port; a
// C-end refuses targets it does not serve, pass-thru streams its resolver
// will not serve (outside a session) and streams beyond its limit. The whole
// path (B-end listeners, relay, adapter) is tests/remote/tst_remote_passthru_e2e.cpp.
#include "remote/Link.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>

#include <atomic>
#include <thread>

using namespace remote;

namespace {

// A local server that takes connections and counts them (kept open).
class CountingServer {
public:
    CountingServer()
    {
        std::string error;
        m_listener = net::listenTcp("127.0.0.1", 0, &error);
        m_port = net::localPort(m_listener);
        m_thread = std::thread([this] {
            while (!m_stop) {
                net::PollFd p{};
                p.fd = m_listener;
                p.events = POLLIN;
                if (net::pollSockets(&p, 1, 20) <= 0)
                    continue;
                const net::Socket c = net::acceptTcp(m_listener);
                if (c != net::kNoSocket) {
                    m_clients.push_back(c);
                    ++m_accepted;
                }
            }
        });
    }
    ~CountingServer()
    {
        m_stop = true;
        m_thread.join();
        for (const net::Socket c : m_clients)
            net::closeSocket(c);
        net::closeSocket(m_listener);
    }
    std::uint16_t port() const { return m_port; }
    int accepted() const { return m_accepted; }

private:
    net::Socket m_listener;
    std::uint16_t m_port = 0;
    std::vector<net::Socket> m_clients; // the server thread's own
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

void nonBlockingPair(int fds[2])
{
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    for (int i = 0; i < 2; ++i)
        ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | O_NONBLOCK);
}

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

    // From a hostile (or older, or newer) B-end: the first form goes to the
    // module port, an unknown target and a pass-thru stream the C-end's
    // resolver will not serve are answered CLOSE without a connection, and
    // the link stays up for the next stream.
    void hostileOpensAreRefused()
    {
        CountingServer module;
        CountingServer passThru;
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
        QTRY_COMPARE_WITH_TIMEOUT(passThru.accepted(), 1, 5000);
        QCOMPARE(module.accepted(), 1);
        QCOMPARE(peer.c->openStreams(), std::size_t(2));
    }

    // At most 64 streams whatever their targets; the 65th is refused.
    void streamLimitCoversBothTargets()
    {
        CountingServer module;
        CountingServer passThru;
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
};

QTEST_GUILESS_MAIN(RemotePassThruTunnelTest)
#include "tst_remote_passthru_tunnel.moc"
