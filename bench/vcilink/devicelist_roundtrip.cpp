// Whole-process measurements of the device link's service side:
//  - device-list round trip as the manager does it (write 1, poll every 1 ms
//    for 2, copy, reset): median / p99 / max over back-to-back requests, and
//    the same for "cold" requests sent after the service went quiet;
//  - status change in the emulator to changed text in the status block
//    (worst of 50 changes);
//  - the service's CPU use while idle with one adapter connected.
// Usage: vcilink_devicelist_bench [--rounds N] [--cold N] [--changes N] [--cpu-seconds N]
#include "EmulatorProcess.h"

#include "platform/SharedMemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
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
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void report(const char* what, const std::vector<double>& ms)
{
    std::printf("%-34s n=%zu  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what, ms.size(), percentile(ms, 0.5),
        percentile(ms, 0.99), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()));
}

// One manager-style exchange; returns milliseconds, or -1 on a time-out.
double roundTrip(platform::SharedMemory& cmd, std::uint32_t* count)
{
    volatile unsigned char* b = cmd.data();
    const auto t0 = Clock::now();
    b[0] = 1;
    while (b[0] != 2) {
        if (Clock::now() - t0 > std::chrono::milliseconds(1000))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    *count = cmd.data()[5] | (cmd.data()[6] << 8);
    std::memset(cmd.data() + 1, 0, 1023);
    b[0] = 0;
    return ms;
}

std::string statusText()
{
    platform::SharedMemory m;
    if (!m.open("Global\\KestrixVciShareMemory", 1024))
        return {};
    const void* nul = std::memchr(m.data(), 0, 1024);
    return std::string(
        reinterpret_cast<const char*>(m.data()), nul ? static_cast<const unsigned char*>(nul) - m.data() : 1024);
}

long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray s = f.readAll();
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLong() + fields.value(12).toLong(); // utime + stime
}

int arg(const QStringList& args, const char* name, int fallback)
{
    const int i = args.indexOf(QString::fromLatin1(name));
    return i >= 0 && i + 1 < args.size() ? args[i + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rounds = arg(args, "--rounds", 200);
    const int cold = arg(args, "--cold", 10);
    const int changes = arg(args, "--changes", 50);
    const int cpuSeconds = arg(args, "--cpu-seconds", 10);

    const QByteArray prefix = "bwbench" + QByteArray::number(::getpid()) + "_";
    qputenv("BRINDLEWICK_SHM_PREFIX", prefix);

    EmulatorProcess emu;
    if (!emu.start({QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--base-address"),
            QStringLiteral("127.0.110.1")})) {
        std::fprintf(stderr, "cannot start the emulator\n");
        return 1;
    }
    QTemporaryDir lockDir;
    ServiceProcess svc;
    svc.start(
        {QStringLiteral("--probe"), QStringLiteral("127.0.110.1-3"), QStringLiteral("--port"),
            QString::number(emu.port()), QStringLiteral("--lock"), lockDir.filePath(QStringLiteral("service.lock"))},
        QString::fromLatin1(prefix));
    platform::SharedMemory cmd;
    QElapsedTimer wait;
    wait.start();
    while (statusText().empty() && wait.elapsed() < 5000)
        QThread::msleep(10);
    if (!cmd.open("Global\\KestrixVciShareMemoryFunc", 1024) || statusText().empty()) {
        std::fprintf(stderr, "the service did not come up\n");
        return 1;
    }

    std::vector<double> hot;
    std::uint32_t count = 0;
    int timeouts = 0;
    for (int i = 0; i < rounds; ++i) {
        const double ms = roundTrip(cmd, &count);
        if (ms < 0)
            ++timeouts;
        else
            hot.push_back(ms);
    }
    report("device list, back to back", hot);
    std::printf("  entries per reply %u, time-outs %d\n", count, timeouts);

    std::vector<double> coldMs;
    for (int i = 0; i < cold; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2200)); // past the service's busy window
        const double ms = roundTrip(cmd, &count);
        if (ms >= 0)
            coldMs.push_back(ms);
    }
    if (cold > 0)
        report("device list, after 2.2 s quiet", coldMs);

    // Emulator change -> status block text.
    std::vector<double> change;
    for (int i = 0; i < changes; ++i) {
        const unsigned mv = 11000 + 10 * unsigned(i) + 1;
        const std::string want = "vbatt = " + std::to_string(mv) + "\r\n";
        const auto t0 = Clock::now();
        emu.command(QStringLiteral("voltage 1 %1").arg(mv));
        while (statusText().find(want) == std::string::npos && Clock::now() - t0 < std::chrono::milliseconds(3000))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        change.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    report("emulator change -> status block", change);

    if (cpuSeconds > 0) {
        const qint64 pid = svc.process().processId();
        const long hz = ::sysconf(_SC_CLK_TCK);
        const long t0 = cpuTicks(pid);
        std::this_thread::sleep_for(std::chrono::seconds(cpuSeconds));
        const long t1 = cpuTicks(pid);
        std::printf("service CPU while idle, 3 adapters: %.2f %% of one core over %d s\n",
            100.0 * double(t1 - t0) / double(hz) / cpuSeconds, cpuSeconds);
    }
    svc.stop();
    emu.stop();
    return 0;
}
