// The device link end to end: the adapter emulator and the real background
// service on loopback, the manager's controller and pages offscreen, with a
// status thread that runs one pass per second like the main window's; and a
// real pass-thru session opened through the J2534 library's C ABI (loaded with
// dlopen as an application loads it), which the page shows as "Occupied".
//
// Run with "--hold-session" the program is another holder of that session: it
// opens the adapter the service publishes, prints "open" and waits to be killed.
#include "TestHost.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"

#include "app/StatusThread.h"

#include "device/DeviceController.h"
#include "device/DevicePage.h"
#include "device/LinkDrivers.h"
#include "device/MoreVciPage.h"
#include "device/ServiceWatch.h"
#include "device/VCIItem.h"

#include <InstanceLock.h>
#include <MT7628Config.h>

#include "j2534.h"

#include <QApplication>

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

// The library's entry points the page's check needs.
struct PassThru {
    void* handle = nullptr;
    decltype(&PassThruOpen) open = nullptr;
    decltype(&PassThruClose) close = nullptr;
    decltype(&PassThruConnect) connect = nullptr;
    decltype(&PassThruGetLastError) lastError = nullptr;

    bool load()
    {
        handle = ::dlopen(QFile::encodeName(testBinary("BrindlewickJ2534.so")).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        open = reinterpret_cast<decltype(open)>(::dlsym(handle, "PassThruOpen"));
        close = reinterpret_cast<decltype(close)>(::dlsym(handle, "PassThruClose"));
        connect = reinterpret_cast<decltype(connect)>(::dlsym(handle, "PassThruConnect"));
        lastError = reinterpret_cast<decltype(lastError)>(::dlsym(handle, "PassThruGetLastError"));
        return open && close && connect && lastError;
    }
    QByteArray why() const
    {
        char text[80] = {};
        lastError(text);
        return QByteArray(text);
    }
};

// The other holder: opens the published adapter, says so, waits for its end.
int holdSession()
{
    PassThru library;
    if (!library.load()) {
        std::fprintf(stderr, "cannot load the J2534 library: %s\n", ::dlerror());
        return 2;
    }
    unsigned long device = 0;
    const long status = library.open(nullptr, &device);
    if (status != STATUS_NOERROR) {
        std::fprintf(stderr, "PassThruOpen: %ld %s\n", status, library.why().constData());
        return 3;
    }
    std::printf("open\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

} // namespace

class TestDeviceLinkIntegration : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_base; // "127.0.N."
    EmulatorProcess m_emulator;
    ServiceProcess m_service;
    TestHost m_host;
    std::unique_ptr<MT7628Config> m_cfg;
    DeviceController* m_ctl = nullptr;
    // The main window's status thread: one pass a second or when woken, repaint queued.
    std::unique_ptr<StatusThread> m_passes;
    std::atomic<bool> m_paused{false};
    PassThru m_library;

    QString label(const char* name)
    {
        return m_host.pageHost(DeviceController::kDevicePageIndex)->findChild<QLabel*>(name)->text();
    }
    QString control(const QString& command) { return m_emulator.command(command); }

    bool startService()
    {
        return m_service.start(ServiceProcess::arguments(
            m_base + QStringLiteral("1-3"), m_emulator.port(), m_dir.filePath(QStringLiteral("service.lock"))));
    }

    QByteArray selectedInBlock() const
    {
        platform::SharedMemory block;
        if (!block.open(kCommandBlock, kBlockBytes))
            return QByteArray("<no block>");
        return QByteArray(reinterpret_cast<const char*>(block.data()) + 9, 16);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        useUniqueShmPrefix("link");
        m_base = QStringLiteral("127.0.%1.").arg(150 + QCoreApplication::applicationPid() % 100);
        QVERIFY2(m_emulator.start(
                     {QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--plug"), QStringLiteral("1"),
                         QStringLiteral("--base-address"), m_base + QStringLiteral("1"), QStringLiteral("--reboot-ms"),
                         QStringLiteral("1500"), QStringLiteral("--passthru-port"), QStringLiteral("0")}),
            qPrintable(m_emulator.errorText()));
        QVERIFY(m_emulator.passthruPort() != 0);
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));
        qputenv("BW_PASSTHRU_PORT", QByteArray::number(m_emulator.passthruPort()));
        QVERIFY2(m_library.load(), ::dlerror());

        QVERIFY(startService());
        m_cfg = std::make_unique<MT7628Config>();
        m_ctl = new DeviceController(*m_cfg);
        m_ctl->setAdapterProbe([](std::string&) { return false; });
        m_passes = std::make_unique<StatusThread>([this] {
            if (m_paused || !m_ctl->statusPass(false))
                return;
            DeviceController* ctl = m_ctl;
            QMetaObject::invokeMethod(
                ctl, [ctl] { ctl->repaint(DeviceController::kDevicePageIndex); }, Qt::QueuedConnection);
        });
        m_host.onWake = [this] { m_passes->wake(); };
        m_ctl->attach(m_host);
        m_passes->start();
    }

    void cleanupTestCase()
    {
        if (m_ctl)
            m_ctl->stop(); // the watch wakes the status thread: stop it first
        m_passes.reset();
        delete m_ctl;
        m_service.stop();
        m_emulator.stop();
        platform::SharedMemory::remove(kStatusBlock);
        platform::SharedMemory::remove(kCommandBlock);
    }

    void pluggedAdapterIsShown()
    {
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
        QCOMPARE(label("label_softVer"), QStringLiteral("V1.2.7"));
        QCOMPARE(label("label_DllVersion"), QStringLiteral("V2.3.0"));
        QCOMPARE(label("label_Voltage"), QStringLiteral("12.34V"));
        QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
        QVERIFY(m_ctl->devicePage()->rebootButton()->isEnabled());
        QVERIFY(m_ctl->devicePage()->routerButton()->isEnabled()); // not 127.0.0.1
    }

    void releaseAndBuzzerReachTheAdapter()
    {
        QSignalSpy toasts(m_ctl, &DeviceController::SignalsTMsg);
        m_ctl->devicePage()->buzzButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(toasts.count(), 1, 5000);
        QCOMPARE(toasts.at(0).at(0).toString(), QStringLiteral("Execute successfully"));
        QVERIFY(control(QStringLiteral("dump")).contains(QLatin1String("\"buzz")));
    }

    void silentAdapterFailsTheOperation()
    {
        QSignalSpy toasts(m_ctl, &DeviceController::SignalsTMsg);
        m_paused = true; // keep the adapter's address in the record
        QCOMPARE(control(QStringLiteral("silent 1 on")), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        m_ctl->ClickButton_requestBuzz();
        QVERIFY(t.elapsed() < 1000); // the GUI thread does not wait for the adapter (which takes 3 s to fail)
        QTRY_COMPARE_WITH_TIMEOUT(toasts.count(), 1, 8000);
        QCOMPARE(toasts.at(0).at(0).toString(), QStringLiteral("Execution failed"));
        QCOMPARE(control(QStringLiteral("silent 1 off")), QStringLiteral("OK"));
        m_paused = false;
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 8000);
    }

    void rebootGoesAndComesBack()
    {
        QSignalSpy toasts(m_ctl, &DeviceController::SignalsTMsg);
        m_ctl->devicePage()->rebootButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(toasts.count(), 1, 5000);
        QCOMPARE(toasts.at(0).at(0).toString(), QStringLiteral("Rebooting,please wait..."));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(toasts.count(), 2, 2000);
        QCOMPARE(toasts.at(1).at(0).toString(), QStringLiteral("Execute successfully"));
    }

    // Opened through the library: "Occupied" (also with a channel on the
    // bus); closed: "Idle" again, and it opens again at once.
    void sessionShowsOccupiedUntilClosed()
    {
        unsigned long device = 0;
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(m_library.open(nullptr, &device), long(STATUS_NOERROR));
            QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Occupied"), 3000);
            unsigned long channel = 0;
            QVERIFY2(
                m_library.connect(device, CAN, 0, 500000, &channel) == STATUS_NOERROR, m_library.why().constData());
            QCOMPARE(m_library.close(device), long(STATUS_NOERROR));
            QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 3000);
        }
    }

    // Another process holds the session: this one is refused while the page
    // says "Occupied"; when the holder dies without closing, the adapter is
    // free and the page says "Idle".
    void holdersDeathFreesTheAdapter()
    {
        QProcess holder;
        holder.setProgram(QCoreApplication::applicationFilePath());
        holder.setArguments({QStringLiteral("--hold-session")});
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start();
        QVERIFY(holder.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() != QProcess::Running, 10000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Occupied"), 3000);

        unsigned long device = 0;
        QCOMPARE(m_library.open(nullptr, &device), long(ERR_DEVICE_IN_USE));
        QVERIFY2(!m_library.why().isEmpty(), "a refusal says why");

        holder.kill(); // no PassThruClose: the connection ends with the process
        QVERIFY(holder.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 3000);
        QCOMPARE(m_library.open(nullptr, &device), long(STATUS_NOERROR));
        QCOMPARE(m_library.close(device), long(STATUS_NOERROR));
    }

    void threeAdaptersListedAndOneSelected()
    {
        QCOMPARE(control(QStringLiteral("plug 2-3")), QStringLiteral("OK"));
        MoreVciPage* page = m_ctl->moreVciPage();
        QElapsedTimer t;
        t.start();
        while (page->rowCount() < 3 && t.elapsed() < 10000) {
            m_ctl->requestDeviceList();
            QTest::qWait(200);
        }
        QCOMPARE(page->rowCount(), 3);
        QStringList serials;
        for (int i = 0; i < 3; ++i)
            serials << page->row(i)->serial();
        serials.sort();
        QCOMPARE(serials, (QStringList{"M5EA0001XJ7B0001", "M5EA0002XJ7B0002", "M5EC7003QA200003"}));

        QListWidget* list = page->list();
        int other = -1;
        for (int i = 0; i < 3 && other < 0; ++i) {
            if (page->row(i)->serial() == QLatin1String("M5EA0002XJ7B0002"))
                other = i;
        }
        QVERIFY(other >= 0);
        list->setCurrentRow(other);
        emit list->itemClicked(list->item(other));
        page->selectButton()->click();
        QCOMPARE(selectedInBlock(), QByteArray("M5EA0002XJ7B0002"));
        // The service follows the selection: the page now shows the second adapter.
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0002XJ7B0002"), 5000);
        QCOMPARE(label("label_ConnType"), QStringLiteral("RJ45"));

        page->row(other)->findChild<QPushButton*>(QStringLiteral("Btn_VCIDisconnect"))->click();
        QCOMPARE(selectedInBlock(), QByteArray(16, '\0'));
        QCOMPARE(control(QStringLiteral("unplug 2-3")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
    }

    // A service killed at any point of a list exchange: the manager's wait
    // stays bounded, and the next service answers.
    void serviceKilledDuringListExchanges()
    {
        m_service.stop();
        for (int i = 0; i < 12; ++i) {
            ServiceProcess svc;
            QVERIFY(svc.start(ServiceProcess::arguments(
                m_base + QStringLiteral("1-3"), m_emulator.port(), m_dir.filePath(QStringLiteral("service.lock")))));
            const auto pid = static_cast<pid_t>(svc.process().processId());
            std::thread killer([pid, i] {
                std::this_thread::sleep_for(std::chrono::milliseconds((i * 7) % 45));
                ::kill(pid, SIGKILL);
            });
            QElapsedTimer waited;
            waited.start();
            m_ctl->commandBlock().requestDeviceList();
            killer.join();
            QVERIFY2(waited.elapsed() < 3000, "the list request must end at its own limit");
            svc.kill();
        }
        QVERIFY(startService());
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->commandBlock().requestDeviceList().empty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 5000);
    }

    // The start-up step writes "startService.sh" into the script folder and starts
    // it; the service it starts detached publishes the adapter.
    void startUpScriptStartsTheService()
    {
        m_service.stop();
        QVERIFY(!statusOwnerAlive());
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));

        const QString programDir = m_dir.filePath(QStringLiteral("program dir"));
        QVERIFY(QDir().mkpath(programDir));
        QVERIFY(QFile::link(testBinary("BrindlewickService"), programDir + QStringLiteral("/BrindlewickService")));
        LinkEnvironment env = LinkEnvironment::system();
        env.programDir = programDir;
        env.scriptDir = m_dir.path();
        // Services of other test runs may be running; this one must start its own.
        env.processRunning = [](const std::string&) { return false; };
        qputenv("BRINDLEWICK_PROBE", (m_base + QStringLiteral("1-3")).toUtf8());
        QVERIFY(ensureServiceRunning(env));
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("startService.sh"))));

        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 10000);
        QVERIFY(statusOwnerAlive());
        // The detached service writes its process id into its lock file.
        QFile lock(QString::fromStdString(bwservice::InstanceLock::defaultPath()));
        QVERIFY(lock.open(QIODevice::ReadOnly));
        const pid_t pid = static_cast<pid_t>(lock.readAll().trimmed().toLong());
        QVERIFY(pid > 0);
        QVERIFY(pid != m_service.process().processId());
        ::kill(pid, SIGKILL); // no chance to clear its text: the lock alone tells
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!statusOwnerAlive(), 5000);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-session") == 0)
        return holdSession();
    QApplication app(argc, argv);
    TestDeviceLinkIntegration test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device_link_integration.moc"
