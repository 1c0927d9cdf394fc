// The diagnosis component's live data page in the real main window against
// the adapter emulator's vehicle: the "Bmw" make's 8 values asked at 10 Hz
// (values and the plot) for a while. Reports
//   - the GUI thread's longest stall and the count of stalls over 16 ms,
//     from a 1 ms precise watchdog timer recording the gaps between its runs;
//   - the samples shown (plot repaints) per second;
//   - the process's CPU (utime + stime of /proc/self/stat) as % of one core,
//     over the live run and over an equal-length idle stretch before it
//     (identification page, watchdog running), which is the floor the
//     watchdog and the idle window cost.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_diagnosis_live [--seconds N (60)] [--idle-seconds N (10)]
//        (from the build's bin folder)
#include "DiagnosisWindow.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// CPU seconds (user + system) of this process so far.
double cpuSeconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: state is field 3,
    // utime and stime fields 14 and 15.
    const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13)
        return -1;
    return double(f[11].toLongLong() + f[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Milliseconds on the monotonic clock, the one time base of the probes below.
double monotonicMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A thread that only sleeps 1 ms at a time and notes each late wake-up over
// 16 ms: when it is late at the same moment as the GUI thread, the whole
// machine (the virtual machine or its host) paused, not the manager.
class ReferenceSleeper {
public:
    struct Gap {
        double from, to;
    };
    void start()
    {
        m_stop = false;
        m_thread = std::thread([this] {
            double last = monotonicMs();
            while (!m_stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                const double now = monotonicMs();
                if (now - last > 16.0) {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_gaps.push_back({last, now});
                }
                last = now;
            }
        });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    ~ReferenceSleeper() { stop(); }
    // True when a late wake-up of this thread overlaps [from, to].
    bool pausedDuring(double from, double to)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::any_of(m_gaps.begin(), m_gaps.end(), [&](const Gap& g) { return g.from < to && g.to > from; });
    }

private:
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Gap> m_gaps;
};

// Gaps between the runs of a 1 ms timer on the GUI thread, each with the CPU
// time the thread itself used in it and the time it was ready to run but
// waited for a core (the run delay of /proc/thread-self/schedstat): a gap
// with as much CPU as wall time is work done on the GUI thread, one spent
// waiting for a core is the machine's load, and one with neither is the
// thread blocked (a lock, a blocking call).
class Watchdog : public QObject {
public:
    static constexpr double kStallMs = 16.0;

    Watchdog()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double now = monotonicMs();
            const double cpu = threadCpuMs();
            const double delay = runDelayMs();
            const double gap = now - m_last;
            const Stall stall{gap, m_last, cpu - m_lastCpu, delay - m_lastDelay};
            if (gap > longest.ms)
                longest = stall;
            if (stall.cpuMs > busiest.cpuMs)
                busiest = stall;
            if (gap > kStallMs)
                stallGaps.push_back(stall);
            m_last = now;
            m_lastCpu = cpu;
            m_lastDelay = delay;
        });
    }
    void start()
    {
        longest = busiest = Stall();
        stallGaps.clear();
        m_last = startedAt = monotonicMs();
        m_lastCpu = threadCpuMs();
        m_lastDelay = runDelayMs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    ~Watchdog() override
    {
        if (m_schedstat >= 0)
            ::close(m_schedstat);
    }

    struct Stall {
        double ms;     // wall time of the gap
        double at;     // its start (monotonicMs)
        double cpuMs;  // the GUI thread's CPU time in it
        double waitMs; // its time ready to run without a core
        bool operator<(const Stall& o) const { return ms < o.ms; }
    };
    Stall longest{};
    Stall busiest{};              // the gap with the most GUI-thread CPU
    std::vector<Stall> stallGaps; // every gap over kStallMs
    double startedAt = 0;

private:
    static double threadCpuMs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    }
    // Second field of schedstat: ns spent runnable on a run queue.
    double runDelayMs()
    {
        char text[128];
        const ssize_t n = m_schedstat >= 0 ? pread(m_schedstat, text, sizeof text - 1, 0) : -1;
        if (n <= 0)
            return 0;
        text[n] = 0;
        unsigned long long onCpu = 0, waiting = 0;
        return std::sscanf(text, "%llu %llu", &onCpu, &waiting) == 2 ? double(waiting) / 1e6 : 0;
    }

    QTimer m_timer;
    double m_last = 0;
    double m_lastCpu = 0;
    double m_lastDelay = 0;
    int m_schedstat = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
};

// Counts the plot's repaints: one per live sample shown.
class PlotPaints : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("Plot_DiagLive"))
            ++count;
        return false;
    }
};

struct Run {
    double cpuPercent = 0;
    Watchdog::Stall longest{};
    Watchdog::Stall busiest{};
    std::vector<Watchdog::Stall> stallGaps;
    int shared = 0; // stalls the reference thread saw too
    int paints = 0;
};

Run measure(Watchdog& watchdog, ReferenceSleeper& reference, PlotPaints& paints, int seconds)
{
    Run run;
    paints.count = 0;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    watchdog.start();
    DiagnosisWindow::run(seconds * 1000);
    watchdog.stop();
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    run.cpuPercent = 100.0 * (cpuSeconds() - cpu0) / wallSeconds;
    run.longest = watchdog.longest;
    run.busiest = watchdog.busiest;
    run.stallGaps = watchdog.stallGaps;
    for (Watchdog::Stall& s : run.stallGaps) {
        const bool shared = reference.pausedDuring(s.at, s.at + s.ms);
        run.shared += shared ? 1 : 0;
        s.at -= watchdog.startedAt;
        if (shared)
            s.at = -s.at - 1; // marked for the listing
    }
    run.paints = paints.count;
    return run;
}

void print(const char* what, const Run& run, int seconds)
{
    std::printf("  %-6s longest GUI stall %5.1f ms (on the CPU %.1f, waiting for a core %.1f), stalls > 16 ms: %zu, "
                "CPU %5.1f %% of one core",
        what, run.longest.ms, run.longest.cpuMs, run.longest.waitMs, run.stallGaps.size(), run.cpuPercent);
    if (run.paints > 0)
        std::printf(", %.1f samples/s", double(run.paints) / seconds);
    std::printf("\n");
    std::printf("         most GUI-thread CPU between two watchdog runs: %.1f ms (in a gap of %.1f ms)\n",
        run.busiest.cpuMs, run.busiest.ms);
    if (!run.stallGaps.empty())
        std::printf("         %d of them with the idle reference thread late at the same moment\n", run.shared);
    if (!run.stallGaps.empty()) {
        auto gaps = run.stallGaps;
        std::sort(gaps.rbegin(), gaps.rend());
        std::printf("         largest (ms / on the CPU / waiting for a core @ s into the run, * reference late too):");
        for (std::size_t i = 0; i < gaps.size() && i < 8; ++i) {
            const bool shared = gaps[i].at < 0;
            const double at = shared ? -gaps[i].at - 1 : gaps[i].at;
            std::printf(
                " %.1f/%.1f/%.1f@%.2f%s", gaps[i].ms, gaps[i].cpuMs, gaps[i].waitMs, at / 1000.0, shared ? "*" : "");
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int seconds = 60;
    int idleSeconds = 10;
    for (int i = 1; i + 1 < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--seconds")
            seconds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (arg == "--idle-seconds")
            idleSeconds = std::max(1, QByteArray(argv[++i]).toInt());
    }

    DiagnosisWindow w;
    if (!w.prepare() || !w.open() || !w.pressEntry())
        return 1;
    QTest::mouseClick(w.bmwTile(), Qt::LeftButton);
    QLabel* vin = nullptr;
    if (!DiagnosisWindow::waitFor(
            [&] {
                vin = w.diagPage()->findChild<QLabel*>(QStringLiteral("Lab_DiagVin"));
                return vin && !vin->text().isEmpty();
            },
            20000))
        return DiagnosisWindow::fail("the component did not identify the vehicle");

    Watchdog watchdog;
    PlotPaints paints;
    ReferenceSleeper reference;
    reference.start();
    app.installEventFilter(&paints);
    const Run idle = measure(watchdog, reference, paints, idleSeconds);

    auto* liveButton = w.diagPage()->findChild<QPushButton*>(QStringLiteral("Btn_DiagLive"));
    if (!liveButton)
        return DiagnosisWindow::fail("no live data button");
    QTest::mouseClick(liveButton, Qt::LeftButton);
    auto* rpm = w.diagPage()->findChild<QLabel*>(QStringLiteral("Lab_DiagLive_0C"));
    if (!rpm || !DiagnosisWindow::waitFor([&] { return rpm->text() != QLatin1String("-"); }, 5000))
        return DiagnosisWindow::fail("no live engine speed shown");
    const Run live = measure(watchdog, reference, paints, seconds);
    reference.stop();
    app.removeEventFilter(&paints);
    const auto* message = w.diagPage()->findChild<QLabel*>(QStringLiteral("Lab_DiagMessage"));

    std::printf("diagnosis live data, 8 values every 100 ms: %d s live after %d s idle (%s)\n", seconds, idleSeconds,
        qPrintable(vin->text()));
    print("idle:", idle, idleSeconds);
    print("live:", live, seconds);
    std::printf("  last engine speed shown: %s%s%s\n", qPrintable(rpm->text()),
        message && !message->text().isEmpty() ? ", message: " : "", message ? qPrintable(message->text()) : "");
    w.close();
    return 0;
}
