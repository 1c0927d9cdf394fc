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

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>
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

// Gaps between the runs of a 1 ms timer on the GUI thread.
class Watchdog : public QObject {
public:
    static constexpr double kStallMs = 16.0;

    Watchdog()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double now = m_clock.nsecsElapsed() / 1e6;
            const double gap = now - m_last;
            m_last = now;
            longest = std::max(longest, gap);
            if (gap > kStallMs) {
                ++stalls;
                stallGaps.push_back({gap, now - gap});
            }
        });
    }
    void start()
    {
        longest = 0;
        stalls = 0;
        stallGaps.clear();
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    double longest = 0;
    int stalls = 0;
    std::vector<std::pair<double, double>> stallGaps; // length, start (ms into the run)

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
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
    double longest = 0;
    int stalls = 0;
    std::vector<std::pair<double, double>> stallGaps;
    int paints = 0;
};

Run measure(Watchdog& watchdog, PlotPaints& paints, int seconds)
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
    run.stalls = watchdog.stalls;
    run.stallGaps = watchdog.stallGaps;
    run.paints = paints.count;
    return run;
}

void print(const char* what, const Run& run, int seconds)
{
    std::printf("  %-10s longest GUI stall %6.1f ms, stalls > 16 ms: %d, CPU %5.1f %% of one core", what, run.longest,
        run.stalls, run.cpuPercent);
    if (run.paints > 0)
        std::printf(", %.1f samples/s", double(run.paints) / seconds);
    std::printf("\n");
    if (!run.stallGaps.empty()) {
        auto gaps = run.stallGaps;
        std::sort(gaps.rbegin(), gaps.rend());
        std::printf("             largest stalls (ms, at s into the run):");
        for (std::size_t i = 0; i < gaps.size() && i < 8; ++i)
            std::printf(" %.1f@%.2f", gaps[i].first, gaps[i].second / 1000.0);
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
    app.installEventFilter(&paints);
    const Run idle = measure(watchdog, paints, idleSeconds);

    auto* liveButton = w.diagPage()->findChild<QPushButton*>(QStringLiteral("Btn_DiagLive"));
    if (!liveButton)
        return DiagnosisWindow::fail("no live data button");
    QTest::mouseClick(liveButton, Qt::LeftButton);
    auto* rpm = w.diagPage()->findChild<QLabel*>(QStringLiteral("Lab_DiagLive_0C"));
    if (!rpm || !DiagnosisWindow::waitFor([&] { return rpm->text() != QLatin1String("-"); }, 5000))
        return DiagnosisWindow::fail("no live engine speed shown");
    const Run live = measure(watchdog, paints, seconds);
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
