// Whole-process measurement of the device link against the adapter emulator
// and the real background service (both from the build's bin folder):
//   - CPU use of the manager side while idle with a connected adapter
//     (controller, pages, a status pass per second, the hint thread);
//   - the delay from a voltage change in the emulator to the repainted label,
//     worst of N changes.
// Usage: bench_device_live [idle seconds, default 30] [changes, default 50]
#include "device/DeviceController.h"
#include "device/DevicePage.h"
#include "kit/Subsystem.h"
#include "support/AdapterProcesses.h"
#include "support/StandInHost.h"

#include <MT7628Config.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace {

class PassThread {
public:
    explicit PassThread(DeviceController* ctl)
        : m_ctl(ctl)
        , m_thread([this] { run(); })
    {
    }
    void wake()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_wake = true;
        }
        m_cv.notify_all();
    }
    ~PassThread()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        m_thread.join();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_quit) {
            lock.unlock();
            if (m_ctl->statusPass(false)) {
                DeviceController* ctl = m_ctl;
                QMetaObject::invokeMethod(
                    ctl, [ctl] { ctl->repaint(DeviceController::kDevicePageIndex); }, Qt::QueuedConnection);
            }
            lock.lock();
            m_cv.wait_for(lock, std::chrono::seconds(1), [this] { return m_quit || m_wake; });
            m_wake = false;
        }
    }

    DeviceController* m_ctl;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_quit = false;
    bool m_wake = false;
    std::thread m_thread;
};

// The window as the controller sees it: a wake-up reaches the pass thread.
class BenchHost : public StandInHost {
public:
    BenchHost()
    {
        onWake = [this] {
            if (passes)
                passes->wake();
        };
    }
    PassThread* passes = nullptr;
};

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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("BRINDLEWICK_SHM_PREFIX", QByteArray("bwlive_") + QByteArray::number(qint64(::getpid())) + '_');
    QApplication app(argc, argv);
    const int idleSeconds = argc > 1 ? std::max(1, atoi(argv[1])) : 30;
    const int changes = argc > 2 ? std::max(1, atoi(argv[2])) : 50;
    const QString base = QStringLiteral("127.0.%1.").arg(100 + ::getpid() % 50);

    EmulatorProcess emulator;
    if (!emulator.start({QStringLiteral("--adapters"), QStringLiteral("1"), QStringLiteral("--base-address"),
            base + QLatin1Char('1')})) {
        std::fprintf(stderr, "%s\n", qPrintable(emulator.errorText()));
        return 1;
    }
    qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(emulator.port()));
    QTemporaryDir dir;
    ServiceProcess service;
    if (!service.start(ServiceProcess::arguments(base + QLatin1Char('1'), emulator.port(), dir.filePath("lock")))) {
        std::fprintf(stderr, "cannot start BrindlewickService\n");
        return 1;
    }

    int rc = 0;
    {
        BenchHost host;
        MT7628Config cfg;
        DeviceController ctl(cfg);
        PassThread passes(&ctl);
        host.passes = &passes;
        ctl.attach(host);
        QLabel* voltage = host.findChild<QLabel*>(QStringLiteral("label_Voltage"));
        QLabel* serial = host.findChild<QLabel*>(QStringLiteral("label_VCI_SN"));
        if (!waitFor([serial] { return serial->text() != QLatin1String("--"); }, 10000)) {
            std::fprintf(stderr, "the adapter did not show up\n");
            rc = 1;
        } else {
            // Idle: only the event loop runs, as in the program.
            QEventLoop loop;
            QTimer::singleShot(1000, &loop, &QEventLoop::quit);
            loop.exec();
            const double cpu0 = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            QTimer::singleShot(idleSeconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
            const double cpu = cpuSeconds() - cpu0;
            std::printf("idle with a connected adapter: %.3f s CPU in %.1f s = %.3f %% of one core\n", cpu,
                wall.elapsed() / 1000.0, 100.0 * cpu / (wall.elapsed() / 1000.0));

            // Device list round trips with the real service.
            QList<qint64> trips;
            for (int i = 0; i < 101; ++i) {
                QElapsedTimer one;
                one.start();
                const auto list = ctl.commandBlock().requestDeviceList();
                trips << one.nsecsElapsed() / 1000;
                if (list.size() != 1) {
                    std::fprintf(stderr, "list round trip %d: %d entries\n", i, int(list.size()));
                    rc = 1;
                }
            }
            std::sort(trips.begin(), trips.end());
            std::printf(
                "device list round trip with the service: median %lld us, worst %lld us\n", trips.at(50), trips.last());

            QList<qint64> delays;
            for (int i = 0; i < changes; ++i) {
                QThread::msleep(QRandomGenerator::global()->bounded(1000));
                const unsigned mv = 11000 + static_cast<unsigned>(i % 2) * 1000 + static_cast<unsigned>(i);
                const QString expected = DeviceStatusLoop::voltageTextFor(mv);
                QElapsedTimer one;
                one.start();
                if (emulator.command(QStringLiteral("voltage 1 %1").arg(mv)) != QLatin1String("OK")
                    || !waitFor([voltage, expected] { return voltage->text() == expected; }, 5000)) {
                    std::fprintf(stderr, "change %d not seen\n", i);
                    rc = 1;
                    break;
                }
                delays << one.elapsed();
            }
            if (!delays.isEmpty()) {
                std::sort(delays.begin(), delays.end());
                std::printf("emulator change to repainted label over %d changes: median %lld ms, worst %lld ms\n",
                    int(delays.size()), delays.at(delays.size() / 2), delays.last());
            }
        }
        ctl.stop();
    }
    return rc;
}
