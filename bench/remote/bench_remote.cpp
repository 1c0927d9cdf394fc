// Remote sessions through the real relay and the real session libraries:
//  - round trip of 64 bytes through the tunnel (B-end virtual adapter ->
//    relay -> C-end -> target) against the same exchange made directly;
//  - throughput of one stream through the relay against a direct connection;
//  - the relay's memory per idle session and its CPU while 200 sessions
//    ping once a second;
//  - the relay's peak memory while one client floods it with PINGs and
//    reads nothing.
// Usage: remote_bench [--rounds N] [--megabytes N] [--sessions N] [--idle-seconds N] [--flood-megabytes N]
#include "RemoteTestSupport.h"

#include "TestTls.h"

#include "platform/Library.h"
#include "remote/Frame.h"
#include "remote/Link.h"
#include "remote/Net.h"
#include "remote/RemoteApi.h"
#include "remote/VirtualAdapter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5))];
}

// The far end: 'E' echoes 64-byte pieces, 'S' swallows N bytes then answers one byte.
class Target {
public:
    bool start()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listener, 16) != 0)
            return false;
        socklen_t len = sizeof a;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept(m_listener, nullptr, nullptr);
                if (c < 0)
                    return;
                std::thread([c] { serve(c); }).detach();
            }
        });
        return true;
    }
    ~Target()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        if (m_thread.joinable())
            m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    static bool readAll(int s, char* p, std::size_t n)
    {
        while (n > 0) {
            const ssize_t r = ::recv(s, p, n, 0);
            if (r <= 0)
                return false;
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }
    static void serve(int c)
    {
        int on = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char mode = 0;
        if (readAll(c, &mode, 1) && mode == 'E') {
            char buf[64];
            while (readAll(c, buf, sizeof buf) && ::send(c, buf, sizeof buf, MSG_NOSIGNAL) == sizeof buf) { }
        } else if (mode == 'S') {
            std::uint64_t total = 0;
            readAll(c, reinterpret_cast<char*>(&total), sizeof total);
            std::vector<char> buf(1 << 16);
            while (total > 0) {
                const ssize_t r = ::recv(c, buf.data(), std::min<std::uint64_t>(total, buf.size()), 0);
                if (r <= 0)
                    break;
                total -= static_cast<std::uint64_t>(r);
            }
            ::send(c, "k", 1, MSG_NOSIGNAL);
        }
        ::close(c);
    }
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

int connectTo(const std::string& ip, quint16 port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip.c_str(), &a.sin_addr);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return s;
}

bool roundTrips(const std::string& ip, quint16 port, int rounds, std::vector<double>& ms)
{
    const int s = connectTo(ip, port);
    if (s < 0 || ::send(s, "E", 1, 0) != 1)
        return false;
    char buf[64] = {};
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        if (::send(s, buf, sizeof buf, 0) != sizeof buf)
            return false;
        std::size_t got = 0;
        while (got < sizeof buf) {
            const ssize_t r = ::recv(s, buf + got, sizeof buf - got, 0);
            if (r <= 0)
                return false;
            got += static_cast<std::size_t>(r);
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    ::close(s);
    return true;
}

double throughput(const std::string& ip, quint16 port, std::uint64_t bytes)
{
    const int s = connectTo(ip, port);
    if (s < 0)
        return -1;
    const auto t0 = Clock::now();
    ::send(s, "S", 1, 0);
    ::send(s, &bytes, sizeof bytes, 0);
    std::vector<char> buf(1 << 16, 'x');
    std::uint64_t left = bytes;
    while (left > 0) {
        const ssize_t w = ::send(s, buf.data(), std::min<std::uint64_t>(left, buf.size()), 0);
        if (w <= 0)
            return -1;
        left -= static_cast<std::uint64_t>(w);
    }
    char k = 0;
    if (::recv(s, &k, 1, 0) != 1)
        return -1;
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    ::close(s);
    return double(bytes) / (1024.0 * 1024.0) / seconds;
}

long rssKiB(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double cpuSeconds(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 2000;
    int megabytes = 512;
    int sessions = 200;
    int idleSeconds = 10;
    int floodMegabytes = 256;
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray a = argv[i];
        const int v = std::atoi(argv[i + 1]);
        if (a == "--rounds")
            rounds = v;
        else if (a == "--megabytes")
            megabytes = v;
        else if (a == "--sessions")
            sessions = v;
        else if (a == "--idle-seconds")
            idleSeconds = v;
        else if (a == "--flood-megabytes")
            floodMegabytes = v;
    }
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(
        dir.path() + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path() + QStringLiteral("/run")));
    qputenv("BRINDLEWICK_SHM_PREFIX", "bwbench_remote_");
    TestTls tls;
    if (!tls.create()) {
        std::fprintf(stderr, "certificates: %s\n", qPrintable(tls.lastError()));
        return 1;
    }
    qputenv("BRINDLEWICK_CA_FILE", tls.caFile().toUtf8());
    RelayProcess relay;
    if (!relay.start(
            tls.serverCert(), tls.serverKey(), {QStringLiteral("--max-links-per-address"), QStringLiteral("1000")})) {
        std::fprintf(stderr, "%s\n", qPrintable(relay.errorText()));
        return 1;
    }
    qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(relay.port()));
    Target target;
    if (!target.start())
        return 1;
    qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(target.port()));
    qputenv("BRINDLEWICK_REMOTE_TARGET", "127.0.0.1");
    std::string error;
    const std::string virtualAddress = remote::enableVirtualAdapter(&error);

    const std::string bin = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    platform::Library client;
    platform::Library server;
    if (!client.load(bin + "/ClientRemote.so") || !server.load(bin + "/ServerRemote.so")) {
        std::fprintf(stderr, "libraries: %s %s\n", client.errorString().c_str(), server.errorString().c_str());
        return 1;
    }
    auto cConnect = client.resolveFunction<decltype(&ClientRemote_Connect)>("ClientRemote_Connect");
    auto cStatus = client.resolveFunction<decltype(&ClientRemote_Status)>("ClientRemote_Status");
    auto cDestroy = client.resolveFunction<decltype(&ClientRemote_Destroy)>("ClientRemote_Destroy");
    auto sConnect = server.resolveFunction<decltype(&ServerRemote_Connect)>("ServerRemote_Connect");
    auto sStatus = server.resolveFunction<decltype(&ServerRemote_Status)>("ServerRemote_Status");
    auto sDestroy = server.resolveFunction<decltype(&ServerRemote_Destroy)>("ServerRemote_Destroy");
    void* c = cConnect("127.0.0.1", relay.port(), "BENCH0001", "", 135791, "K");
    for (int i = 0; i < 100 && cStatus(c) != BW_CLIENT_CONNECTED; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    void* b = sConnect("127.0.0.1", "BENCH0001", "--", 135791);
    for (int i = 0; i < 100 && sStatus(b) != BW_RELAY_CONNECTED; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (sStatus(b) != BW_RELAY_CONNECTED) {
        std::fprintf(stderr, "no session (%d / %d)\n", cStatus(c), sStatus(b));
        return 1;
    }

    std::printf("remote_bench: RelWithDebInfo build, loopback, relay with TLS\n");
    std::vector<double> direct;
    std::vector<double> tunnel;
    roundTrips("127.0.0.1", target.port(), rounds, direct);
    roundTrips(virtualAddress, target.port(), rounds, tunnel);
    std::printf(
        "round trip, 64 bytes, %d rounds: direct p50 %.3f ms p99 %.3f ms; through the relay p50 %.3f ms p99 %.3f ms\n",
        rounds, percentile(direct, 0.5), percentile(direct, 0.99), percentile(tunnel, 0.5), percentile(tunnel, 0.99));
    const std::uint64_t bytes = std::uint64_t(megabytes) << 20;
    const double directRate = throughput("127.0.0.1", target.port(), bytes);
    const double tunnelRate = throughput(virtualAddress, target.port(), bytes);
    std::printf("throughput, one stream, %d MiB: direct %.0f MiB/s; through the relay %.0f MiB/s\n", megabytes,
        directRate, tunnelRate);
    sDestroy(b);
    cDestroy(c);

    // Idle sessions: bare links, so the numbers are the relay's alone.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long before = rssKiB(relay.pid());
    std::vector<std::unique_ptr<RawRelayClient>> links;
    for (int i = 0; i < sessions; ++i) {
        const std::string serial = "IDLE" + std::to_string(i);
        auto cEnd = std::make_unique<RawRelayClient>();
        auto bEnd = std::make_unique<RawRelayClient>();
        if (!cEnd->connect(relay.port()) || !cEnd->send(remote::encodeRegister({serial, "K", 111111}))
            || cEnd->ackStatus() != 0 || !bEnd->connect(relay.port())
            || !bEnd->send(remote::encodeConnect({serial, 111111})) || bEnd->ackStatus() != 0) {
            std::fprintf(stderr, "session %d did not start\n", i);
            return 1;
        }
        remote::Frame f;
        cEnd->next(f); // SESSION
        links.push_back(std::move(cEnd));
        links.push_back(std::move(bEnd));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long after = rssKiB(relay.pid());
    std::printf("idle sessions: %d, relay RSS %ld KiB -> %ld KiB, %.1f KiB per session (two TLS links)\n", sessions,
        before, after, double(after - before) / sessions);
    const double cpu0 = cpuSeconds(relay.pid());
    const auto t0 = Clock::now();
    for (int s = 0; s < idleSeconds; ++s) {
        for (auto& l : links)
            l->send(remote::encodePing(remote::Type::Ping, {remote::monotonicMs(), 1}));
        for (auto& l : links) {
            remote::Frame f;
            l->next(f, 1000);
        }
        std::this_thread::sleep_until(t0 + std::chrono::seconds(s + 1));
    }
    const double cpu = cpuSeconds(relay.pid()) - cpu0;
    std::printf("relay CPU with %d sessions pinging once a second: %.2f %% of one core over %d s\n", sessions,
        100.0 * cpu / idleSeconds, idleSeconds);
    links.clear();

    // A PING flood from a client that reads nothing: the relay's peak
    // resident memory, sampled every 10 ms, until it drops the client or
    // the flood is sent. Reading the relay's log so far keeps its pipe from
    // filling (the relay would wait on it).
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    relay.log();
    const long floodBefore = rssKiB(relay.pid());
    std::atomic<bool> flooding{true};
    std::atomic<long> peak{floodBefore};
    std::thread sampler([&] {
        while (flooding) {
            peak = std::max(peak.load(), rssKiB(relay.pid()));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    std::string pings;
    while (pings.size() < (1u << 20))
        pings += remote::encodePing(remote::Type::Ping, {1, -1});
    RawRelayClient flood;
    int sent = 0;
    const auto f0 = Clock::now();
    if (flood.connect(relay.port()))
        while (sent < floodMegabytes && flood.send(pings))
            ++sent;
    const bool dropped = flood.closedWithin(5000);
    const double floodSeconds = std::chrono::duration<double>(Clock::now() - f0).count();
    flooding = false;
    sampler.join();
    std::printf("PING flood of %d MiB, never read: %d MiB sent in %.1f s, %s; relay RSS %ld KiB before, peak %ld KiB\n",
        floodMegabytes, sent, floodSeconds, dropped ? "the relay dropped the client" : "the client was NOT dropped",
        floodBefore, peak.load());
    remote::disableVirtualAdapter();
    return 0;
}
