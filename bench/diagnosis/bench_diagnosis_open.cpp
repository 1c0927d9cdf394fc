// From the diagnosis button to the diagnosis component's first page, in the
// real main window with the built component on disk and the adapter
// emulator's vehicle. Each round presses `Btn_Kestrix`
// (its 500 ms diagnosis timer, the J2534 driver gate, the internet check),
// clicks the "Bmw" tile and stamps the first paint of
//   - the make tiles (button to tiles),
//   - the component's identification page (tile to first page),
//   - the VIN label with the vehicle's VIN (tile to VIN: the scan included).
// Round 1 is the process's first load of the component's libraries in a new
// window; later rounds leave for the device page and come back, finding the
// pages built. With --processes N every figure is a first load, one fresh
// process per round.
//
// Usage: QT_QPA_PLATFORM=offscreen bench_diagnosis_open [--rounds N] [--processes N]
//        (from the build's bin folder)
#include "DiagnosisWindow.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// First paints after start(), in ms; -1 until seen.
class PaintClock : public QObject {
public:
    void start()
    {
        timer = tiles = page = vin = -1;
        m_clock.start();
    }
    double elapsed() const { return m_clock.nsecsElapsed() / 1e6; }

    QObject* diagnosisTimer = nullptr;
    double timer = -1;
    double tiles = -1;
    double page = -1;
    double vin = -1;
    QString vinText;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_clock.isValid())
            return false;
        // The diagnosis timer's own event, before its timeout runs the gate.
        if (event->type() == QEvent::Timer && timer < 0 && watched == diagnosisTimer)
            timer = elapsed();
        if (event->type() != QEvent::Paint)
            return false;
        if (tiles < 0) {
            if (auto* tile = qobject_cast<QDiagCarModel*>(watched); tile && tile->make() == QLatin1String("Bmw"))
                tiles = elapsed();
        }
        if (page < 0 && watched->objectName() == QLatin1String("page_DiagIdent"))
            page = elapsed();
        if (vin < 0 && watched->objectName() == QLatin1String("Lab_DiagVin")) {
            const QString text = static_cast<QLabel*>(watched)->text();
            if (!text.isEmpty()) {
                vin = elapsed();
                vinText = text;
            }
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
};

struct Round {
    double wait = 0;  // button to the diagnosis timer's run
    double tiles = 0; // button to tiles
    double page = 0;  // tile to first page
    double vin = 0;   // tile to VIN
};

// The first round opens the window; later ones go back to the device page
// of the same window and in again (the component builds its pages once per
// process, in the window it is first given).
bool runRound(DiagnosisWindow& w, PaintClock& clock, bool first, Round* out)
{
    if (first && !w.open())
        return false;
    if (!first) {
        w.window()->showPage(Pages::Device);
        DiagnosisWindow::waitFor([&] { return w.stack()->currentIndex() == int(Pages::Device); }, 5000);
        QCoreApplication::processEvents();
    }
    clock.diagnosisTimer = w.controller()->diagnosisTimer();
    clock.start();
    if (!w.pressEntry() || !DiagnosisWindow::waitFor([&] { return clock.tiles >= 0; }, 5000))
        return DiagnosisWindow::fail("the tiles were not painted");
    out->wait = clock.timer;
    out->tiles = clock.tiles;
    QDiagCarModel* tile = w.bmwTile();
    clock.start();
    QTest::mouseClick(tile, Qt::LeftButton);
    if (!DiagnosisWindow::waitFor([&] { return clock.page >= 0; }, 10000)) {
        QWidget* page = w.diagPage()->findChild<QWidget*>(QStringLiteral("page_DiagIdent"));
        std::fprintf(stderr, "page %d, identification page %s, dialog: %s\n", w.stack()->currentIndex(),
            !page                   ? "missing"
                : page->isVisible() ? "visible"
                                    : "hidden",
            qPrintable(DialogSeam::requests().value(0).text));
        return DiagnosisWindow::fail("the component's first page was not painted");
    }
    if (!DiagnosisWindow::waitFor([&] { return clock.vin >= 0; }, 20000))
        return DiagnosisWindow::fail("the VIN was not shown");
    if (!clock.vinText.contains(QLatin1String("WBW")))
        std::fprintf(stderr, "unexpected VIN label: %s\n", qPrintable(clock.vinText));
    if (!DialogSeam::requests().isEmpty())
        std::fprintf(stderr, "dialog shown: %s\n", qPrintable(DialogSeam::requests().value(0).text));
    out->page = clock.page;
    out->vin = clock.vin;
    return true;
}

void printStats(const char* what, std::vector<double> v)
{
    if (v.empty())
        return;
    std::sort(v.begin(), v.end());
    std::printf("  %-22s min %7.1f  p50 %7.1f  max %7.1f ms\n", what, v.front(), v[v.size() / 2], v.back());
}

void printRounds(const std::vector<Round>& rounds)
{
    std::vector<double> wait, gate, page, vin, total, work;
    for (const Round& r : rounds) {
        wait.push_back(r.wait);
        gate.push_back(r.tiles - r.wait);
        page.push_back(r.page);
        vin.push_back(r.vin);
        total.push_back(r.tiles + r.page);
        work.push_back(r.tiles - r.wait + r.page);
    }
    printStats("diagnosis timer wait:", wait);
    printStats("gate to tiles shown:", gate);
    printStats("tile to first page:", page);
    printStats("tile to VIN shown:", vin);
    printStats("button to first page:", total);
    printStats("  without timer wait:", work);
}

// One fresh process per round, each reporting its first (cold) round.
int runProcesses(const QString& self, int processes)
{
    std::vector<Round> rounds;
    for (int i = 0; i < processes; ++i) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, {QStringLiteral("--child")});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            std::fprintf(stderr, "round process %d failed\n", i + 1);
            return 1;
        }
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split(' ');
        if (f.size() != 4)
            return 1;
        rounds.push_back({f[0].toDouble(), f[1].toDouble(), f[2].toDouble(), f[3].toDouble()});
    }
    std::printf("diagnosis open, %d fresh processes (each the first load of the component)\n", processes);
    printRounds(rounds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int rounds = 10;
    int processes = 0;
    bool child = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--child")
            child = true;
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (arg == "--processes" && i + 1 < argc)
            processes = std::max(1, QByteArray(argv[++i]).toInt());
    }
    if (processes > 0)
        return runProcesses(QCoreApplication::applicationFilePath(), processes);

    DiagnosisWindow w;
    if (!w.prepare())
        return 1;
    PaintClock clock;
    app.installEventFilter(&clock);
    std::vector<Round> results;
    for (int r = 0; r < (child ? 1 : rounds); ++r) {
        Round one;
        if (!runRound(w, clock, r == 0, &one))
            return 1;
        results.push_back(one);
    }
    app.removeEventFilter(&clock);
    w.close();
    if (child) {
        std::printf("%.2f %.2f %.2f %.2f\n", results[0].wait, results[0].tiles, results[0].page, results[0].vin);
        return 0;
    }
    std::printf("diagnosis open, %d rounds in one process (times to the first paint)\n", rounds);
    std::printf(" round 1 (first load of the component's libraries):\n");
    printRounds({results.front()});
    if (results.size() > 1) {
        std::printf(
            " rounds 2-%d (same window, back to the device page and in again; pages built, VIN read):\n", rounds);
        printRounds({results.begin() + 1, results.end()});
    }
    return 0;
}
