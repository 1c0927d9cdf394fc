// The stream tunnel (remote::Link) between two ends over a plain socket
// pair: data integrity both ways under back-pressure, the stream limit,
// streams refused while not allowed, the ends of a link (bad frames,
// silence, stop), and the bounded lanes of bridged buses when the other end
// does not read.
#include "remote/Bridge.h"
#include "remote/Link.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

using namespace remote;

namespace {

// A local TCP server that echoes every byte back, one thread per connection.
class EchoServer {
public:
    EchoServer()
    {
        std::string error;
        m_listener = net::listenTcp("127.0.0.1", 0, &error);
        m_port = net::localPort(m_listener);
        m_thread = std::thread([this] {
            while (!m_stop) {
                net::PollFd p{};
                p.fd = m_listener;
                p.events = POLLIN;
                if (net::pollSockets(&p, 1, 50) <= 0)
                    continue;
                const net::Socket c = net::acceptTcp(m_listener);
                if (c == net::kNoSocket)
                    continue;
                ++m_accepted;
                std::thread([c] {
                    char buf[65536];
                    for (;;) {
                        net::PollFd q{};
                        q.fd = c;
                        q.events = POLLIN;
                        net::pollSockets(&q, 1, 200);
                        const long n = net::recvSome(c, buf, sizeof buf);
                        if (n < 0)
                            break;
                        for (long done = 0; done < n;) {
                            const long w = net::sendSome(c, buf + done, static_cast<std::size_t>(n - done));
                            if (w < 0)
                                break;
                            if (w == 0) {
                                net::PollFd r{};
                                r.fd = c;
                                r.events = POLLOUT;
                                net::pollSockets(&r, 1, 200);
                            }
                            done += w;
                        }
                    }
                    net::closeSocket(c);
                }).detach();
            }
        });
    }
    ~EchoServer()
    {
        m_stop = true;
        m_thread.join();
        net::closeSocket(m_listener);
    }
    std::uint16_t port() const { return m_port; }
    int accepted() const { return m_accepted; }

private:
    net::Socket m_listener;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

// Two links over a socket pair: B listens on 127.0.0.1 (a free port), C forwards to the echo server.
struct Pair {
    std::unique_ptr<Link> b;
    std::unique_ptr<Link> c;
    std::thread tb;
    std::thread tc;
    std::uint16_t listenPort = 0;
    Link::Ended endB = Link::Ended::Stopped;
    Link::Ended endC = Link::Ended::Stopped;

    Pair(std::uint16_t targetPort, LinkOptions cOptions = {}, bool allow = true)
    {
        int fds[2];
        ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        for (int fd : fds)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        LinkOptions bOptions;
        bOptions.idleTimeoutMs = cOptions.idleTimeoutMs;
        bOptions.pingMs = cOptions.pingMs;
        cOptions.targetIp = "127.0.0.1";
        cOptions.targetPort = targetPort;
        b = std::make_unique<Link>(std::make_unique<Channel>(fds[0], nullptr), bOptions);
        c = std::make_unique<Link>(std::make_unique<Channel>(fds[1], nullptr), cOptions);
        c->allowStreamsNow(allow);
        std::string error;
        const net::Socket l = net::listenTcp("127.0.0.1", 0, &error);
        listenPort = net::localPort(l);
        b->addListener(l);
        tb = std::thread([this] { endB = b->run([](const Frame&) { return false; }); });
        tc = std::thread([this] { endC = c->run([](const Frame&) { return false; }); });
    }
    ~Pair() { stop(); }
    void stop()
    {
        if (b)
            b->stop();
        if (c)
            c->stop();
        if (tb.joinable())
            tb.join();
        if (tc.joinable())
            tc.join();
    }
};

net::Socket dial(std::uint16_t port)
{
    std::string error;
    return net::connectTcp("127.0.0.1", port, 2000, &error);
}

// Sends `data` and reads as many bytes back within the time limit.
std::string roundTrip(net::Socket s, const std::string& data, int timeoutMs = 10000)
{
    std::string back;
    std::size_t sent = 0;
    QElapsedTimer t;
    t.start();
    char buf[65536];
    while ((sent < data.size() || back.size() < data.size()) && t.elapsed() < timeoutMs) {
        net::PollFd p{};
        p.fd = s;
        p.events = POLLIN | (sent < data.size() ? POLLOUT : 0);
        net::pollSockets(&p, 1, 50);
        if (sent < data.size()) {
            const long w = net::sendSome(s, data.data() + sent, std::min<std::size_t>(data.size() - sent, 1 << 16));
            if (w > 0)
                sent += static_cast<std::size_t>(w);
        }
        const long n = net::recvSome(s, buf, sizeof buf);
        if (n < 0)
            break;
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

class RemoteTunnelTest : public QObject {
    Q_OBJECT

private slots:
    void bytesArriveWholeAndInOrder()
    {
        EchoServer echo;
        Pair pair(echo.port());
        std::string data(8 << 20, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>((i * 2654435761u) >> 13);
        // Two streams at once, each 8 MiB through a 1 MiB back-pressure limit.
        std::string back1;
        std::string back2;
        std::thread other([&] {
            const net::Socket s = dial(pair.listenPort);
            back2 = roundTrip(s, data);
            net::closeSocket(s);
        });
        const net::Socket s = dial(pair.listenPort);
        back1 = roundTrip(s, data);
        net::closeSocket(s);
        other.join();
        QVERIFY(back1 == data);
        QVERIFY(back2 == data);
        QCOMPARE(pair.b->bytesSent(), std::uint64_t(2 * data.size()));
        QCOMPARE(pair.b->bytesReceived(), std::uint64_t(2 * data.size()));
        QCOMPARE(pair.c->bytesSent(), pair.b->bytesReceived());
        QTRY_COMPARE_WITH_TIMEOUT(pair.b->openStreams(), std::size_t(0), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(pair.b->ownDelay() >= 0 && pair.c->peerDelay() >= 0, 3000);
    }

    void streamsBeyondTheLimitAreClosed()
    {
        EchoServer echo;
        LinkOptions options;
        options.maxStreams = 3;
        Pair pair(echo.port(), options);
        std::vector<net::Socket> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(dial(pair.listenPort));
            QCOMPARE(roundTrip(held.back(), "ping"), std::string("ping"));
        }
        // The C-end refuses a fourth OPEN: that connection is closed at once.
        const net::Socket extra = dial(pair.listenPort);
        QCOMPARE(roundTrip(extra, "more", 1000), std::string());
        QVERIFY(closedWithin(extra, 3000));
        net::closeSocket(extra);
        for (const net::Socket s : held)
            net::closeSocket(s);
        QCOMPARE(echo.accepted(), 3);
    }

    void streamsAreRefusedWhileNotAllowed()
    {
        EchoServer echo;
        Pair pair(echo.port(), {}, false);
        const net::Socket s = dial(pair.listenPort);
        QVERIFY(closedWithin(s, 3000));
        net::closeSocket(s);
        QCOMPARE(echo.accepted(), 0);
        pair.c->setStreamsAllowed(true);
        QTest::qWait(100);
        const net::Socket t = dial(pair.listenPort);
        QCOMPARE(roundTrip(t, "now"), std::string("now"));
        net::closeSocket(t);
    }

    void aStreamToANonListeningTargetIsClosed()
    {
        std::string error;
        const net::Socket l = net::listenTcp("127.0.0.1", 0, &error);
        const std::uint16_t deadPort = net::localPort(l);
        net::closeSocket(l);
        Pair pair(deadPort);
        const net::Socket s = dial(pair.listenPort);
        QVERIFY(closedWithin(s, 3000));
        net::closeSocket(s);
    }

    void badFramesAndSilenceEndTheLink()
    {
        // A peer that sends garbage: the link ends as a protocol failure.
        {
            int fds[2];
            ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
            ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
            Link link(std::make_unique<Channel>(fds[0], nullptr), {});
            QVERIFY(::write(fds[1], "\xff\xff\xff\xff\x09", 5) == 5);
            QCOMPARE(link.run([](const Frame&) { return true; }), Link::Ended::Protocol);
            QVERIFY(link.endText().find("over the limit") != std::string::npos);
            ::close(fds[1]);
        }
        // A peer that says nothing: the link ends after the idle time.
        {
            int fds[2];
            ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
            ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
            LinkOptions options;
            options.idleTimeoutMs = 400;
            Link link(std::make_unique<Channel>(fds[0], nullptr), options);
            QElapsedTimer t;
            t.start();
            QCOMPARE(link.run([](const Frame&) { return true; }), Link::Ended::Timeout);
            QVERIFY(t.elapsed() >= 400 && t.elapsed() < 3000);
            ::close(fds[1]);
        }
        // A frozen peer (its socket open, nothing sent) with the default
        // limits: the link ends within 5 s.
        {
            int fds[2];
            ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
            ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
            Link link(std::make_unique<Channel>(fds[0], nullptr), {});
            std::atomic<int> ended{-1};
            std::thread runner([&] { ended = static_cast<int>(link.run([](const Frame&) { return true; })); });
            QTRY_VERIFY_WITH_TIMEOUT(ended >= 0, 5000);
            runner.join();
            QCOMPARE(ended.load(), static_cast<int>(Link::Ended::Timeout));
            ::close(fds[1]);
        }
        // A control frame the handler refuses, and a closed peer.
        {
            int fds[2];
            ::socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
            ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
            Link link(std::make_unique<Channel>(fds[0], nullptr), {});
            const std::string end = encodeEnd({EndReason::Closing, "bye"});
            QVERIFY(::write(fds[1], end.data(), end.size()) == static_cast<ssize_t>(end.size()));
            Type seen = Type::Ping;
            QCOMPARE(link.run([&](const Frame& f) {
                seen = f.type;
                return false;
            }),
                Link::Ended::ByHandler);
            QCOMPARE(seen, Type::End);
            ::close(fds[1]);
            Link closed(std::make_unique<Channel>(::dup(fds[0]), nullptr), {});
            QCOMPARE(closed.run([](const Frame&) { return true; }), Link::Ended::PeerClosed);
        }
    }

    void holdingOffReadingIsNotSilence()
    {
        // The local client sends and reads nothing back for several idle
        // times: both ends stop reading each other (back-pressure) and must
        // not take that for a lost link.
        EchoServer echo;
        LinkOptions options;
        options.pingMs = 100;
        options.idleTimeoutMs = 400;
        Pair pair(echo.port(), options);
        const net::Socket s = dial(pair.listenPort);
        std::string data(64 << 20, 'x');
        std::size_t sent = 0;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 1500 && sent < data.size()) {
            net::PollFd p{};
            p.fd = s;
            p.events = POLLOUT;
            net::pollSockets(&p, 1, 50);
            const long w = net::sendSome(s, data.data() + sent, std::min<std::size_t>(data.size() - sent, 1 << 16));
            if (w < 0)
                break;
            sent += static_cast<std::size_t>(w);
        }
        QVERIFY(sent > 0 && sent < data.size()); // the pipe filled up
        std::string all;
        char buf[65536];
        QElapsedTimer r;
        r.start();
        while (all.size() < sent && r.elapsed() < 20000) {
            net::PollFd p{};
            p.fd = s;
            p.events = POLLIN;
            net::pollSockets(&p, 1, 50);
            const long n = net::recvSome(s, buf, sizeof buf);
            if (n < 0)
                break;
            all.append(buf, static_cast<std::size_t>(n));
        }
        net::closeSocket(s);
        QCOMPARE(all.size(), sent);
        // The link is still up.
        const net::Socket again = dial(pair.listenPort);
        QCOMPARE(roundTrip(again, "again"), std::string("again"));
        net::closeSocket(again);
    }

    // A bus faster than the link: the other end does not read, so the
    // frames of lane 0 pile up to the lane's cap (frames or bytes, whichever
    // comes first) and the rest is refused; another lane still takes frames.
    // Once the reader catches up, every accepted frame arrives once, in
    // order, and the lane is empty again.
    void boundedLanesRefuseWhatTheLinkCannotTake_data()
    {
        QTest::addColumn<int>("maxFrames");
        QTest::addColumn<int>("maxBytes");
        QTest::newRow("frame cap") << 50 << (1 << 20);
        QTest::newRow("byte cap") << 100000 << 2000;
    }
    void boundedLanesRefuseWhatTheLinkCannotTake()
    {
        QFETCH(int, maxFrames);
        QFETCH(int, maxBytes);
        int fds[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        for (int fd : fds)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        LinkOptions options;
        options.idleTimeoutMs = 60000; // the silent reader is the point here
        options.laneMaxFrames = std::size_t(maxFrames);
        options.laneMaxBytes = std::size_t(maxBytes);
        Link link(std::make_unique<Channel>(fds[0], nullptr), options);
        std::thread runner([&] { link.run([](const Frame&) { return true; }); });

        auto frameNumbered = [](std::uint32_t n, std::uint8_t bus) {
            CanFrameMsg m;
            m.bus = bus;
            m.id = n & 0x7FF;
            m.length = 8;
            for (int i = 0; i < 4; ++i)
                m.data[i] = std::uint8_t(n >> (24 - 8 * i));
            std::string out;
            appendCanFrame(out, m);
            return out;
        };
        std::uint32_t accepted = 0;
        int refused = 0;
        std::size_t mostFrames = 0;
        std::size_t mostBytes = 0;
        QElapsedTimer t;
        t.start();
        // Fills the socket's buffers, then the lane.
        while (refused < 2000 && t.elapsed() < 20000) {
            if (link.sendBounded(frameNumbered(accepted, 0), 0))
                ++accepted;
            else
                ++refused;
            mostFrames = std::max(mostFrames, link.laneFrames(0));
            mostBytes = std::max(mostBytes, link.laneBytes(0));
        }
        QCOMPARE(refused, 2000);
        QVERIFY(mostFrames <= std::size_t(maxFrames));
        QVERIFY(mostBytes <= std::size_t(maxBytes));
        QVERIFY(mostFrames > 0);
        QVERIFY(link.sendBounded(frameNumbered(0, 1), 1));           // another lane
        QVERIFY(!link.sendBounded(frameNumbered(0, 0), kLinkLanes)); // no such lane

        // The reader catches up: lane 0's frames numbered 0..accepted-1, once each, in order.
        FrameReader reader;
        std::uint32_t next = 0;
        int laneOne = 0;
        bool inOrder = true;
        char buf[65536];
        t.restart();
        while ((next < accepted || laneOne < 1) && t.elapsed() < 20000) {
            net::PollFd p{};
            p.fd = fds[1];
            p.events = POLLIN;
            net::pollSockets(&p, 1, 100);
            const long n = net::recvSome(fds[1], buf, sizeof buf);
            if (n <= 0)
                continue;
            reader.feed(buf, std::size_t(n));
            Frame f;
            while (reader.next(f) == FrameReader::Result::Frame) {
                CanFrameMsg m;
                if (f.type != Type::CanFrame || !parseCanFrame(f, m, nullptr))
                    continue;
                if (m.bus == 1) {
                    ++laneOne;
                    continue;
                }
                const std::uint32_t got = std::uint32_t(m.data[0]) << 24 | std::uint32_t(m.data[1]) << 16
                    | std::uint32_t(m.data[2]) << 8 | m.data[3];
                inOrder = inOrder && got == next;
                ++next;
            }
        }
        QVERIFY(inOrder);
        QCOMPARE(next, accepted);
        QCOMPARE(laneOne, 1);
        QTRY_COMPARE(link.laneFrames(0), std::size_t(0));
        QCOMPARE(link.laneBytes(0), std::size_t(0));
        link.stop();
        runner.join();
        ::close(fds[1]);
    }

    void stopEndsTheLinkAtOnce()
    {
        EchoServer echo;
        Pair pair(echo.port());
        QElapsedTimer t;
        t.start();
        pair.stop();
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(pair.endB, Link::Ended::Stopped);
    }
};

QTEST_GUILESS_MAIN(RemoteTunnelTest)
#include "tst_remote_tunnel.moc"
