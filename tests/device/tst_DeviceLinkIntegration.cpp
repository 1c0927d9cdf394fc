// The device link end to end: the adapter emulator and the real background
// service on loopback, the manager's controller and pages offscreen, with a
// status thread that runs one pass per second like the main window's.
#include "TestBlocks.h"
#include "TestHost.h"

#include "app/StatusThread.h"

#include "device/DeviceController.h"
#include "device/DevicePage.h"
#include "device/LinkDrivers.h"
#include "device/MoreVciPage.h"
#include "device/ServiceWatch.h"
#include "device/VCIItem.h"

#include <MT7628Config.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <signal.h>

class TestDeviceLinkIntegration : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_base; // "127.0.N."
    quint16 m_port = 0;
    quint16 m_controlPort = 0;
    QProcess m_emulator;
    QProcess m_service;
    TestHost m_host;
    std::unique_ptr<MT7628Config> m_cfg;
    DeviceController* m_ctl = nullptr;
    // The main window's status thread: one pass a second or when woken, repaint queued.
    std::unique_ptr<StatusThread> m_passes;
    std::atomic<bool> m_paused{false};

    QString label(const char* name) { return m_host.pageHost(0)->findChild<QLabel*>(name)->text(); }
    QString labelStyle(const char* name) { return m_host.pageHost(0)->findChild<QLabel*>(name)->styleSheet(); }

    QString control(const QString& command)
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_controlPort);
        if (!socket.waitForConnected(2000))
            return QStringLiteral("no control connection");
        socket.write(command.toUtf8() + '\n');
        socket.waitForBytesWritten(1000);
        while (!socket.canReadLine() && socket.waitForReadyRead(3000)) { }
        return QString::fromUtf8(socket.readLine()).trimmed();
    }

    bool startService()
    {
        m_service.setProgram(QStringLiteral(BW_BIN_DIR "/BrindlewickService"));
        m_service.setArguments({QStringLiteral("--probe"), m_base + QStringLiteral("1-3"), QStringLiteral("--port"),
            QString::number(m_port), QStringLiteral("--lock"), m_dir.filePath(QStringLiteral("service.lock"))});
        m_service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_service.start();
        return m_service.waitForStarted(5000);
    }

    QByteArray selectedInBlock() const
    {
        platform::SharedMemory block;
        if (!block.open(CommandBlock::kDefaultName, CommandBlock::kSize))
            return QByteArray("<no block>");
        return QByteArray(reinterpret_cast<const char*>(block.data()) + 9, 16);
    }

private slots:
    void initTestCase()
    {
        if (!QFile::exists(QStringLiteral(BW_BIN_DIR "/BrindlewickService"))
            || !QFile::exists(QStringLiteral(BW_BIN_DIR "/vci-emulator")))
            QSKIP("the service and the adapter emulator are not built");
        QVERIFY(m_dir.isValid());
        useUniqueShmPrefix("link");
        setStatusOwnerCheck({}); // the real check: the service process is watched
        m_base = QStringLiteral("127.0.%1.").arg(150 + QCoreApplication::applicationPid() % 100);

        m_emulator.setProgram(QStringLiteral(BW_BIN_DIR "/vci-emulator"));
        m_emulator.setArguments({QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--plug"),
            QStringLiteral("1"), QStringLiteral("--base-address"), m_base + QStringLiteral("1"),
            QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--control-port"), QStringLiteral("0"),
            QStringLiteral("--reboot-ms"), QStringLiteral("1500"), QStringLiteral("--no-stdin")});
        m_emulator.start();
        QVERIFY(m_emulator.waitForStarted(5000));
        QByteArray banner;
        QElapsedTimer t;
        t.start();
        while (!banner.contains("ready\n") && t.elapsed() < 10000) {
            m_emulator.waitForReadyRead(500);
            banner += m_emulator.readAllStandardOutput();
        }
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("protocol port (\\d+), control port (\\d+)"))
                  .match(QString::fromUtf8(banner));
        QVERIFY2(m.hasMatch(), banner.constData());
        m_port = static_cast<quint16>(m.captured(1).toUInt());
        m_controlPort = static_cast<quint16>(m.captured(2).toUInt());
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_port));

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
        if (m_ctl) {
            delete m_ctl;
        }
        if (m_service.state() != QProcess::NotRunning) {
            m_service.terminate();
            if (!m_service.waitForFinished(3000))
                m_service.kill();
        }
        if (m_emulator.state() != QProcess::NotRunning) {
            m_emulator.kill();
            m_emulator.waitForFinished(3000);
        }
        platform::SharedMemory::remove(kVciStatusBlockName);
        platform::SharedMemory::remove(CommandBlock::kDefaultName);
    }

    void pluggedAdapterIsShown()
    {
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
        QCOMPARE(label("label_softVer"), QStringLiteral("V1.2.7"));
        QCOMPARE(label("label_FirmwareVersion"), QStringLiteral("V2.0.1"));
        QCOMPARE(label("label_DllVersion"), QStringLiteral("V2.3.0"));
        QCOMPARE(label("label_ConnType"), QStringLiteral("USB"));
        QCOMPARE(label("label_Voltage"), QStringLiteral("12.34V"));
        QVERIFY(labelStyle("label_Voltage").contains(QLatin1String("rgb(52, 199, 89)")));
        QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
        QCOMPARE(label("label_DeviceName"), QStringLiteral("Brindlewick J2534"));
        QVERIFY(m_ctl->devicePage()->rebootButton()->isEnabled());
        QVERIFY(m_ctl->devicePage()->routerButton()->isEnabled()); // not 127.0.0.1
    }

    void drainedAdapterTurnsRed()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(control(QStringLiteral("voltage 1 10999")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("label_Voltage"), QStringLiteral("10.99V"), 3000);
        qInfo("emulator voltage change to repainted label: %lld ms", t.elapsed());
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
        qInfo("silent adapter: failure reported after %lld ms", t.elapsed());
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
        QCOMPARE(toasts.at(0).at(1).toInt(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("Idle"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(toasts.count(), 2, 2000);
        QCOMPARE(toasts.at(1).at(0).toString(), QStringLiteral("Execute successfully"));
        QCOMPARE(toasts.at(1).at(1).toInt(), 1200);
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

        // The list round trip through the real service.
        QList<qint64> times;
        for (int i = 0; i < 21; ++i) {
            QElapsedTimer one;
            one.start();
            const auto listed = m_ctl->commandBlock().requestDeviceList();
            times << one.nsecsElapsed() / 1000;
            QCOMPARE(int(listed.size()), 3);
        }
        std::sort(times.begin(), times.end());
        qInfo("device list round trip with the service: median %lld us, worst %lld us", times.at(10), times.last());

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
        QElapsedTimer t;
        t.start();
        ::kill(static_cast<pid_t>(m_service.processId()), SIGKILL);
        m_service.waitForFinished(3000);
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 3000);
        qInfo("service killed to \"None\": %lld ms", t.elapsed());
        QCOMPARE(label("label_Voltage"), QStringLiteral("0V"));
        QVERIFY(labelStyle("label_Voltage").contains(QLatin1String("rgb(255, 0, 0)")));
        QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));
        QCOMPARE(label("label_softVer"), QStringLiteral("--"));

        QVERIFY(startService());
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
        QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
    }

    void unpluggedAdapterShowsNone()
    {
        qInfo("%s", qPrintable(control(QStringLiteral("list"))));
        QElapsedTimer t;
        t.start();
        QCOMPARE(control(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        qInfo("unplug to \"None\": %lld ms", t.elapsed());
        QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));
        QVERIFY(!m_ctl->devicePage()->rebootButton()->isEnabled());
    }

    // The start-up step writes "startService.sh" next to the program and starts
    // it; the service it starts detached publishes the adapter.
    void startUpScriptStartsTheService()
    {
        m_service.terminate();
        QVERIFY(m_service.waitForFinished(5000));
        QCOMPARE(control(QStringLiteral("plug 1")), QStringLiteral("OK"));
        QVERIFY(!statusOwnerAlive());

        const QString programDir = m_dir.filePath(QStringLiteral("program dir"));
        QVERIFY(QDir().mkpath(programDir));
        QVERIFY(QFile::link(
            QStringLiteral(BW_BIN_DIR "/BrindlewickService"), programDir + QStringLiteral("/BrindlewickService")));
        LinkEnvironment env = LinkEnvironment::system();
        env.programDir = programDir;
        // Services of other test runs may be running; this one must start its own.
        env.processRunning = [](const std::string&) { return false; };
        qputenv("BRINDLEWICK_PROBE", (m_base + QStringLiteral("1-3")).toUtf8());
        QVERIFY(ensureServiceRunning(env));
        QVERIFY(QFile::exists(programDir + QStringLiteral("/startService.sh")));

        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 10000);
        long pid = 0;
        QVERIFY(statusOwnerAlive(&pid));
        QVERIFY(pid > 0);
        QVERIFY(pid != m_service.processId());
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!statusOwnerAlive(), 5000);
    }
};

QTEST_MAIN(TestDeviceLinkIntegration)
#include "tst_DeviceLinkIntegration.moc"
