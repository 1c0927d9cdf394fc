// The drivers page live, against the cloud emulator, the adapter emulator and
// the real background service (all from the build's bin folder):
//   - the catalogue request until all 24 rows are painted (10 runs);
//   - installing a 50 MB package through the page (download, SHA-256, safe
//     unpacking, registry, enabling with the adapter's mode switched) against
//     curl and `7za x` of the same file in the same run;
//   - the GUI thread's worst stall during install, disable, enable and
//     uninstall: a 5 ms timer on the GUI thread, its lateness recorded.
// Usage: bench_drivers_live [package MB, default 50]
#include "BenchPackages.h"
#include "CloudEmulator.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "device/AppShared.h"
#include "device/VciStatusRecord.h"
#include "drivers/DriverView.h"
#include "drivers/DriversController.h"
#include "kit/DialogSeam.h"
#include "support/StandInHost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The window as the subsystem sees it, at the size of the drivers page's area.
class BenchHost : public StandInHost {
public:
    BenchHost() { resize(738, 600); }
};

// The worst lateness of a 5 ms timer on the GUI thread while it runs.
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const double late = (now - m_last) / 1000000.0 - 5.0;
            if (m_last > 0 && late > m_worst) {
                m_worst = late;
                m_worstAt = now / 1000000.0;
            }
            m_last = now;
        });
    }
    void start()
    {
        m_worst = 0;
        m_worstAt = 0;
        m_last = 0;
        m_clock.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return m_worst;
    }
    // When the worst stall ended, in ms from start().
    double worstAt() const { return m_worstAt; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    double m_worst = 0;
    double m_worstAt = 0;
};

template <typename Signal>
bool waitFor(const typename QtPrivate::FunctionPointer<Signal>::Object* sender, Signal signal, int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, [&] { loop.exit(1); });
    QObject::connect(sender, signal, &loop, [&] { loop.exit(0); });
    return loop.exec() == 0;
}

QString adapterMode(const EmulatorProcess& emulator)
{
    const auto doc = QJsonDocument::fromJson(emulator.command(QStringLiteral("dump")).toUtf8());
    return doc.object()[QStringLiteral("adapters")].toArray().at(0)[QStringLiteral("mode")].toString();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    TestEnvironment env;
    useUniqueShmPrefix("drv-bench");
    const QString packages = env.path() + QStringLiteral("/packages");
    if (!makeDriverPackages(packages, megabytes)) {
        std::fprintf(stderr, "cannot build the %d MB package\n", megabytes);
        return 1;
    }
    CloudEmulator cloud;
    if (!cloud.start(QString(), QString(), {QStringLiteral("--packages"), packages})) {
        std::fprintf(stderr, "%s\n", qPrintable(cloud.lastError()));
        return 1;
    }
    EmulatorProcess emulator;
    const QString address = QStringLiteral("127.0.%1.1").arg(30 + QCoreApplication::applicationPid() % 100);
    ServiceProcess service;
    if (!emulator.start({"--base-address", address})) {
        std::fprintf(stderr, "%s\n", qPrintable(emulator.errorText()));
        return 1;
    }
    qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(emulator.port()));
    if (!service.start(ServiceProcess::arguments(address, emulator.port(), env.path() + "/service.lock")))
        return 1;
    VciStatusRecord record{};
    for (int i = 0; i < 150 && !(readVciStatus(record) && record.SN[0] != '\0'); ++i)
        QThread::msleep(100);

    BenchHost host;
    DriversController controller;
    controller.setApiBase(cloud.httpBase());
    controller.setAdapterProbe([] { return QStringLiteral("M5EA0001XJ7B0001"); });
    controller.attach(host);
    host.showPage(DriversController::kDriversPageIndex);
    host.show();
    DialogSeam::answerAlways(1);

    // Catalogue to painted rows.
    std::vector<double> listMs;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        emit AppShared::instance()->signal(DriversPageShown, QString());
        if (!waitFor(&controller, &DriversController::listShown, 15000))
            return 1;
        controller.page()->repaint();
        listMs.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(listMs.begin(), listMs.end());
    std::printf("catalogue to %d rows painted: median %.1f ms, worst %.1f ms (10 runs)\n",
        controller.page()->driverCount(), listMs[listMs.size() / 2], listMs.back());

    // curl + 7za x of the same file.
    const QString url = controller.drivers().value(QStringLiteral("Kestrix_J0500")).downloadUrl();
    QElapsedTimer t;
    t.start();
    const QString file = env.path() + QStringLiteral("/curl.zip");
    if (!runTool(QStringLiteral("curl"), {"-s", "-f", "-o", file, url})
        || !runTool(QStringLiteral("7za"), {"x", "-y", "-bso0", "-o" + env.path() + "/curl-out", file}))
        return 1;
    const double baseline = t.nsecsElapsed() / 1e6;

    // Install through the page, the GUI thread watched.
    StallProbe probe;
    auto operation = [&](const char* what, const std::function<void()>& start) {
        probe.start();
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        bool ok = false;
        auto c = QObject::connect(&controller, &DriversController::operationFinished,
            [&](const QString&, bool done, const QString&) { ok = done, loop.quit(); });
        start();
        loop.exec();
        QObject::disconnect(c);
        const double ms = clock.nsecsElapsed() / 1e6;
        const double stall = probe.stop();
        std::printf("%-10s %8.1f ms, GUI thread worst stall %.1f ms (ending at %.0f ms), adapter mode %s%s\n", what, ms,
            stall, probe.worstAt(), qPrintable(adapterMode(emulator)), ok ? "" : " (FAILED)");
        return ms;
    };
    const double install = operation("install", [&] { controller.downloadDriver(QStringLiteral("Kestrix_J0500")); });
    std::printf("install of a %d MB package: %.1f ms; curl + 7za x: %.1f ms; ratio %.2f\n", megabytes, install,
        baseline, install / baseline);
    operation("disable", [&] { controller.enableDriver(QStringLiteral("Kestrix_J0500"), false); });
    operation("enable", [&] { controller.enableDriver(QStringLiteral("Kestrix_J0500"), true); });
    operation("uninstall", [&] { controller.uninstallDriver(QStringLiteral("Kestrix_J0500")); });
    controller.stop();
    return 0;
}
