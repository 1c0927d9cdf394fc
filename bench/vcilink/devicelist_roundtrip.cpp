// Whole-process measurements of the device link's service side, against the
// adapter emulator and the real service:
//  - device-list round trip manager -> service -> manager with the manager's
//    own CommandBlock (request event, reply event): median / p99 / max over
//    back-to-back requests, and requests sent after the service was quiet;
//  - the same exchange by a client that does not signal (write 1, look every
//    millisecond), which the service's slow poll serves;
//  - status change in the emulator to changed text in the status block;
//  - the service's CPU use and wake-ups while idle.
// Usage: vcilink_devicelist_bench [--adapters N] [--rounds N] [--cold N]
//        [--unsignalled N] [--changes N] [--cpu-seconds N] [--interval-ms N]
// --interval-ms is passed to the service (time between two status questions
// to one adapter; its own default when absent).
#include "support/AdapterProcesses.h"

#include "device/CommandBlock.h"

#include <blocks/StatusBlock.h>
#include <platform/SharedMemory.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

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
    std::printf("%-38s n=%zu  median %.3f ms  p99 %.3f ms  max %.3f ms\n", what, ms.size(), percentile(ms, 0.5),
        percentile(ms, 0.99), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()));
}

// The manager's exchange; milliseconds, or -1 when the list came back short.
double managerRoundTrip(const CommandBlock& block, std::size_t expected)
{
    const auto t0 = Clock::now();
    const std::size_t got = block.requestDeviceList().size();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    return got == expected ? ms : -1;
}

// A client that writes the request without signalling and looks every millisecond.
double unsignalledRoundTrip(platform::SharedMemory& cmd)
{
    volatile unsigned char* b = cmd.data();
    const auto t0 = Clock::now();
    b[0] = 1;
    while (b[0] != 2) {
        if (Clock::now() - t0 > std::chrono::milliseconds(2000))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    std::memset(cmd.data() + 1, 0, 1023);
    b[0] = 0;
    return ms;
}

std::string statusText()
{
    platform::SharedMemory m;
    if (!m.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    const void* nul = std::memchr(m.data(), 0, blocks::kStatusBlockSize);
    return std::string(reinterpret_cast<const char*>(m.data()),
        nul ? static_cast<const unsigned char*>(nul) - m.data() : blocks::kStatusBlockSize);
}

struct Usage {
    long ticks = -1;            // utime + stime of the whole process, in clock ticks
    double runNs = 0;           // time on a CPU, all threads, from schedstat
    long voluntarySwitches = 0; // all threads: each is one sleep, so one wake-up
};

Usage usage(qint64 pid)
{
    Usage u;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray s = stat.readAll();
        const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
        u.ticks = fields.value(11).toLong() + fields.value(12).toLong();
    }
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& tid : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile sched(tasks + QLatin1Char('/') + tid + QStringLiteral("/schedstat"));
        if (sched.open(QIODevice::ReadOnly))
            u.runNs += sched.readAll().split(' ').value(0).toDouble();
        QFile status(tasks + QLatin1Char('/') + tid + QStringLiteral("/status"));
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("voluntary_ctxt_switches:"))
                    u.voluntarySwitches += line.mid(24).trimmed().toLong();
        }
    }
    return u;
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
    const int adapters = std::max(1, arg(args, "--adapters", 1));
    const int rounds = arg(args, "--rounds", 200);
    const int cold = arg(args, "--cold", 10);
    const int unsignalled = arg(args, "--unsignalled", 50);
    const int changes = arg(args, "--changes", 20);
    const int cpuSeconds = arg(args, "--cpu-seconds", 60);
    const int intervalMs = arg(args, "--interval-ms", 0);

    const QByteArray prefix = "bwbench" + QByteArray::number(::getpid()) + "_";
    qputenv("BRINDLEWICK_SHM_PREFIX", prefix);
    QTemporaryDir dir;
    qputenv("BRINDLEWICK_LOG_DIR", dir.path().toUtf8()); // the service's log stays out of the user's

    EmulatorProcess emu;
    if (!emu.start({QStringLiteral("--adapters"), QString::number(adapters), QStringLiteral("--base-address"),
            QStringLiteral("127.0.110.1")})) {
        std::fprintf(stderr, "cannot start the emulator: %s\n", qPrintable(emu.errorText()));
        return 1;
    }
    ServiceProcess svc;
    const QString probe
        = adapters == 1 ? QStringLiteral("127.0.110.1") : QStringLiteral("127.0.110.1-%1").arg(adapters);
    QStringList serviceArgs
        = ServiceProcess::arguments(probe, emu.port(), dir.filePath(QStringLiteral("service.lock")));
    if (intervalMs > 0)
        serviceArgs << QStringLiteral("--interval-ms") << QString::number(intervalMs);
    svc.start(serviceArgs, prefix);
    QElapsedTimer wait;
    wait.start();
    while (statusText().empty() && wait.elapsed() < 5000)
        QThread::msleep(10);
    platform::SharedMemory cmd;
    if (!cmd.open(blocks::kCommandBlockName, blocks::kCommandBlockSize) || statusText().empty()) {
        std::fprintf(stderr, "the service did not come up\n");
        return 1;
    }
    const CommandBlock manager;
    const auto expected = static_cast<std::size_t>(adapters);
    std::printf("%d emulated adapter(s), status questions every %s\n", adapters,
        intervalMs > 0 ? qPrintable(QStringLiteral("%1 ms").arg(intervalMs)) : "interval of the service (default)");

    std::vector<double> hot;
    int failures = 0;
    for (int i = 0; i < rounds; ++i) {
        const double ms = managerRoundTrip(manager, expected);
        ms < 0 ? ++failures : (hot.push_back(ms), 0);
    }
    report("device list, back to back", hot);

    std::vector<double> quiet;
    for (int i = 0; i < cold; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        const double ms = managerRoundTrip(manager, expected);
        ms < 0 ? ++failures : (quiet.push_back(ms), 0);
    }
    if (cold > 0)
        report("device list, after 1.1 s quiet", quiet);

    std::vector<double> slow;
    for (int i = 0; i < unsignalled; ++i) {
        const double ms = unsignalledRoundTrip(cmd);
        ms < 0 ? ++failures : (slow.push_back(ms), 0);
    }
    if (unsignalled > 0)
        report("device list, client without events", slow);
    std::printf("  short or missing replies: %d\n", failures);

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
    if (changes > 0)
        report("emulator change -> status block", change);

    if (cpuSeconds > 0) {
        const qint64 pid = svc.process().processId();
        const long hz = ::sysconf(_SC_CLK_TCK);
        std::this_thread::sleep_for(std::chrono::seconds(1)); // let the last exchange settle
        const Usage a = usage(pid);
        std::this_thread::sleep_for(std::chrono::seconds(cpuSeconds));
        const Usage b = usage(pid);
        std::printf("service while idle, %d s: %.3f %% of one core (schedstat), %.3f %% (ticks), "
                    "%.1f wake-ups/s over all threads\n",
            cpuSeconds, 100.0 * (b.runNs - a.runNs) / 1e9 / cpuSeconds,
            100.0 * double(b.ticks - a.ticks) / double(hz) / cpuSeconds,
            double(b.voluntarySwitches - a.voluntarySwitches) / cpuSeconds);
    }
    svc.stop();
    emu.stop();
    return 0;
}
