// Whole-process measurement of the maintenance pages against the adapter
// emulator, the cloud emulator and the real background service and upgraders
// (all from the build's bin folder):
//   - CPU use while idle with a connected adapter and the router page built
//     and shown (its once-a-second Wi-Fi read running), device page beside it;
//   - the GUI thread's worst stall during a whole update-all run of the
//     firmware page: a 5 ms timer on the GUI thread, its lateness recorded.
//     The update's clock runs 50 times fast so the run takes seconds.
// Usage: bench_maintenance_live [idle seconds, default 30]
#include "CloudEmulator.h"

#include "device/DeviceController.h"
#include "kit/Subsystem.h"
#include "maintenance/FirmwareController.h"
#include "maintenance/FirmwarePage.h"
#include "maintenance/FirmwareServerHooks.h"
#include "maintenance/RouterController.h"
#include "support/StandInHost.h"

#include <HttpsServer.h>
#include <MT7628Config.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using BenchHost = StandInHost;

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::msleep(1);
    }
    return true;
}

// The subsystems' status passes, once a second on a thread of their own as
// in the window, repaints queued to the GUI thread.
class Passes {
public:
    Passes(std::vector<Subsystem*> subsystems, BenchHost& host)
        : m_subsystems(std::move(subsystems))
        , m_thread([this, &host] {
            while (!m_quit) {
                bool changed = false;
                for (Subsystem* s : m_subsystems)
                    changed = s->statusPass(changed) || changed;
                if (changed)
                    QMetaObject::invokeMethod(
                        &host,
                        [this, &host] {
                            for (Subsystem* s : m_subsystems)
                                s->repaint(host.currentPage());
                        },
                        Qt::QueuedConnection);
                for (int i = 0; i < 10 && !m_quit; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        })
    {
    }
    ~Passes()
    {
        m_quit = true;
        m_thread.join();
    }

private:
    std::vector<Subsystem*> m_subsystems;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BRINDLEWICK_SHM_PREFIX", QByteArray("bwmaint_") + QByteArray::number(qint64(::getpid())) + '_');
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const QString bin = QCoreApplication::applicationDirPath();
    const QString address = QStringLiteral("127.0.%1.1").arg(150 + ::getpid() % 50);

    CloudEmulator cloud;
    if (!cloud.start()) {
        std::fprintf(stderr, "cannot start the cloud emulator: %s\n", qPrintable(cloud.lastError()));
        return 1;
    }
    qputenv("BRINDLEWICK_MAIN_API_BASE", cloud.httpBase().toUtf8());

    QProcess emulator;
    emulator.start(bin + QStringLiteral("/vci-emulator"),
        {QStringLiteral("--base-address"), address, QStringLiteral("--port"), QStringLiteral("0"),
            QStringLiteral("--control-port"), QStringLiteral("0"), QStringLiteral("--flash-ms"), QStringLiteral("300"),
            QStringLiteral("--reboot-ms"), QStringLiteral("500"), QStringLiteral("--passthru-port"),
            QStringLiteral("0"), QStringLiteral("--no-stdin")});
    QByteArray banner;
    QElapsedTimer t;
    t.start();
    while (!banner.contains("ready\n") && t.elapsed() < 10000 && emulator.waitForReadyRead(500))
        banner += emulator.readAllStandardOutput();
    const QRegularExpressionMatch m
        = QRegularExpression(QStringLiteral("protocol port (\\d+)")).match(QString::fromUtf8(banner));
    if (!m.hasMatch()) {
        std::fprintf(stderr, "cannot start %s/vci-emulator\n", qPrintable(bin));
        return 1;
    }
    qputenv("BRINDLEWICK_MT7628_PORT", m.captured(1).toUtf8());

    QTemporaryDir dir;
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(bin + QStringLiteral("/BrindlewickService"),
        {QStringLiteral("--probe"), address, QStringLiteral("--port"), m.captured(1), QStringLiteral("--lock"),
            dir.filePath(QStringLiteral("lock"))});
    if (!service.waitForStarted(5000)) {
        std::fprintf(stderr, "cannot start %s/BrindlewickService\n", qPrintable(bin));
        return 1;
    }

    int rc = 0;
    {
        BenchHost host;
        MT7628Config cfg;
        HttpsServer server;
        DeviceController device(cfg);
        RouterController router(cfg);
        FirmwareUpdate::Hooks hooks = firmwareServerHooks(server);
        hooks.sleep = [](std::chrono::milliseconds ms) {
            std::this_thread::sleep_for(std::max(ms / 50, std::chrono::milliseconds(1)));
            return true;
        };
        FirmwareController firmware(hooks);
        firmware.setFolders(dir.path(), bin);
        for (Subsystem* s : std::initializer_list<Subsystem*>{&device, &router, &firmware})
            s->attach(host);
        Passes passes({&device, &router, &firmware}, host);
        QLabel* serial = host.findChild<QLabel*>(QStringLiteral("label_VCI_SN"));
        if (!waitFor([serial] { return serial->text() != QLatin1String("--"); }, 10000)) {
            std::fprintf(stderr, "the adapter did not show up\n");
            rc = 1;
        } else {
            router.RountInit();
            QEventLoop loop;
            QTimer::singleShot(3000, &loop, &QEventLoop::quit); // the first scan and read settle
            loop.exec();
            const double cpu0 = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            QTimer::singleShot(idleSeconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            const double cpu = cpuSeconds() - cpu0;
            std::printf("idle, adapter connected, router page shown: %.3f s CPU in %.1f s = %.3f %% of one core\n", cpu,
                wall.elapsed() / 1000.0, 100.0 * cpu / (wall.elapsed() / 1000.0));

            firmware.Firmware_Init();
            if (!waitFor([&] { return !firmware.running() && firmware.page(); }, 20000)) {
                std::fprintf(stderr, "the version query did not end\n");
                rc = 1;
            } else {
                std::vector<qint64> late;
                QElapsedTimer tick;
                QTimer probe;
                probe.setTimerType(Qt::PreciseTimer);
                probe.setInterval(5);
                QObject::connect(&probe, &QTimer::timeout, [&] {
                    late.push_back(std::max<qint64>(0, tick.nsecsElapsed() / 1000 - 5000));
                    tick.restart();
                });
                QElapsedTimer run;
                run.start();
                tick.start();
                probe.start();
                firmware.ClickButton_upAll();
                // The program's own event loop, not a polling one, so the probe sees what a window would.
                QEventLoop runLoop;
                QTimer check;
                QObject::connect(&check, &QTimer::timeout, [&] {
                    if (!firmware.running())
                        runLoop.quit();
                });
                check.start(50);
                QTimer::singleShot(300000, &runLoop, &QEventLoop::quit);
                runLoop.exec();
                probe.stop();
                std::sort(late.begin(), late.end());
                const QString result = firmware.page()->resultText(firmware::Image::Can);
                std::printf("update-all run: %.1f s, %zu timer ticks, GUI thread lateness median %.2f ms, "
                            "99th percentile %.2f ms, worst %.2f ms; CAN image: %s\n",
                    run.elapsed() / 1000.0, late.size(), late[late.size() / 2] / 1000.0,
                    late[late.size() * 99 / 100] / 1000.0, late.back() / 1000.0, qPrintable(result));
                if (result != QLatin1String("Congrats,it is already the latest version!"))
                    rc = 1;
            }
        }
        firmware.stop();
        router.stop();
        device.stop();
    }
    service.terminate();
    service.waitForFinished(3000);
    emulator.kill();
    emulator.waitForFinished(3000);
    return rc;
}
