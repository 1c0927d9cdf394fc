// The device link end to end: the adapter emulator and the real background
// service on loopback, the manager's controller and pages offscreen, with a
// status thread that runs one pass per second like the main window's.
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

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <chrono>
#include <thread>

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

    QString label(const char* name) { return m_host.pageHost(0)->findChild<QLabel*>(name)->text(); }
    QString labelStyle(const char* name) { return m_host.pageHost(0)->findChild<QLabel*>(name)->styleSheet(); }
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
        QVERIFY2(m_emulator.start({QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--plug"),
                     QStringLiteral("1"), QStringLiteral("--base-address"), m_base + QStringLiteral("1"),
                     QStringLiteral("--reboot-ms"), QStringLiteral("1500")}),
            qPrintable(m_emulator.errorText()));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));

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

    void drainedAdapterTurnsRed()
    {
        QCOMPARE(control(QStringLiteral("voltage 1 10999")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("label_Voltage"), QStringLiteral("10.99V"), 3000);
        QVERIFY(labelStyle("label_Voltage").contains(QLatin1String("rgb(255, 0, 0)")));
        QCOMPARE(control(QStringLiteral("state 1 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Occupied"), 3000);
        QCOMPARE(control(QStringLiteral("voltage 1 12340")), QStringLiteral("OK"));
        QCOMPARE(control(QStringLiteral("state 1 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 3000);
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

    void killedServiceShowsNoneAndRecovers()
    {
        m_service.kill();
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 3000);
        QCOMPARE(label("label_Voltage"), QStringLiteral("0V"));
        QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));

        QVERIFY(startService());
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
        QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
    }

    // Another process of the user spoils both blocks while both sides run:
    // nobody crashes and the service puts the adapter back.
    void spoiledBlocksAreTakenBack()
    {
        {
            platform::SharedMemory m;
            QVERIFY(m.open(kStatusBlock, kBlockBytes));
            fillBlock(m, statusText("M5EFORGED0000001", 9000, 2, "USB"));
        }
        QVERIFY(shrinkBlock(kStatusBlock, 0));
        QVERIFY(shrinkBlock(kCommandBlock, 0));
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!m_ctl->commandBlock().requestDeviceList().empty(), 3000);
        QCOMPARE(m_service.process().state(), QProcess::Running);
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

    void unpluggedAdapterShowsNone()
    {
        QCOMPARE(control(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));
        QVERIFY(!m_ctl->devicePage()->rebootButton()->isEnabled());
    }

    // The start-up step writes "startService.sh" into the script folder and starts
    // it; the service it starts detached publishes the adapter.
    void startUpScriptStartsTheService()
    {
        m_service.stop();
        QCOMPARE(control(QStringLiteral("plug 1")), QStringLiteral("OK"));
        QVERIFY(!statusOwnerAlive());

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

QTEST_MAIN(TestDeviceLinkIntegration)
#include "tst_device_link_integration.moc"
