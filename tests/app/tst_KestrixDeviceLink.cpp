// The whole device link through the real main window offscreen: the adapter
// emulator and the background service on loopback, the window's own status
// thread, device page and device list.
#include "TestEnvironment.h"

#include "app/Kestrix.h"
#include "app/kit/SettingsStore.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTcpSocket>
#include <QTest>

#include <memory>

class TestKestrixDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pluggedAdapterAppearsOnTheHomePage();
    void drainedSupplyTurnsRed();
    void deviceListShowsEveryAdapterTheServiceSees();
    void killedServiceShowsNoneAndRecovers();
    void unpluggedAdapterShowsNone();

private:
    QString label(const char* name) const
    {
        auto* l = window->findChild<QLabel*>(name);
        return l ? l->text() : QStringLiteral("<no %1>").arg(name);
    }
    QString style(const char* name) const { return window->findChild<QLabel*>(name)->styleSheet(); }
    QString control(const QByteArray& command);
    bool startService();

    std::unique_ptr<TestEnvironment> env;
    QString base;
    quint16 controlPort = 0;
    QByteArray protocolPort;
    QProcess emulator;
    QProcess service;
    QPoint initialPos{0, 0};
    unsigned char showFlag = 0;
    std::unique_ptr<Kestrix> window;
};

QString TestKestrixDeviceLink::control(const QByteArray& command)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), controlPort);
    if (!socket.waitForConnected(2000))
        return QStringLiteral("no control connection");
    socket.write(command + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(3000)) { }
    return QString::fromUtf8(socket.readLine()).trimmed();
}

bool TestKestrixDeviceLink::startService()
{
    service.setProgram(QStringLiteral(BW_BIN_DIR "/BrindlewickService"));
    service.setArguments({"--probe", base + "1-3", "--port", QString::fromLatin1(protocolPort), "--lock",
        env->path() + "/service.lock"});
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start();
    return service.waitForStarted(5000);
}

void TestKestrixDeviceLink::initTestCase()
{
    env = std::make_unique<TestEnvironment>();
    base = QStringLiteral("127.0.%1.").arg(50 + QCoreApplication::applicationPid() % 100);

    emulator.setProgram(QStringLiteral(BW_BIN_DIR "/vci-emulator"));
    emulator.setArguments({"--adapters", "3", "--plug", "all", "--base-address", base + "1", "--port", "0",
        "--control-port", "0", "--no-stdin"});
    emulator.start();
    QVERIFY(emulator.waitForStarted(5000));
    QByteArray banner;
    QElapsedTimer clock;
    clock.start();
    while (!banner.contains("ready\n") && clock.elapsed() < 10000) {
        emulator.waitForReadyRead(500);
        banner += emulator.readAllStandardOutput();
    }
    const auto match = QRegularExpression(QStringLiteral("protocol port (\\d+), control port (\\d+)"))
                           .match(QString::fromUtf8(banner));
    QVERIFY2(match.hasMatch(), banner.constData());
    protocolPort = match.captured(1).toLatin1();
    controlPort = static_cast<quint16>(match.captured(2).toUInt());
    qputenv("BRINDLEWICK_MT7628_PORT", protocolPort);
    QVERIFY(startService());

    SettingsStore::instance().setLanguage(QStringLiteral("en"));
    window = std::make_unique<Kestrix>(initialPos, &showFlag);
    QVERIFY(window->isInitialised());
    window->show();
}

void TestKestrixDeviceLink::cleanupTestCase()
{
    window.reset();
    for (QProcess* p : {&service, &emulator}) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(3000);
        }
    }
}

void TestKestrixDeviceLink::pluggedAdapterAppearsOnTheHomePage()
{
    // With three adapters and none chosen the service publishes the first.
    QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
    QCOMPARE(label("label_softVer"), QStringLiteral("V1.2.7"));
    QCOMPARE(label("label_FirmwareVersion"), QStringLiteral("V2.0.1"));
    QCOMPARE(label("label_ConnType"), QStringLiteral("USB"));
    QCOMPARE(label("label_Voltage"), QStringLiteral("12.34V"));
    QVERIFY(style("label_Voltage").contains("rgb(52, 199, 89)"));
    QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
    QCOMPARE(label("label_DeviceName"), QStringLiteral("Brindlewick J2534"));
    QVERIFY(window->findChild<QPushButton*>("Btn_vciReboot")->isEnabled());
}

void TestKestrixDeviceLink::drainedSupplyTurnsRed()
{
    QCOMPARE(control("voltage 1 10999"), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(label("label_Voltage"), QStringLiteral("10.99V"), 3000);
    QVERIFY(style("label_Voltage").contains("rgb(255, 0, 0)"));
    QCOMPARE(control("voltage 1 12340"), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(label("label_Voltage"), QStringLiteral("12.34V"), 3000);
}

void TestKestrixDeviceLink::deviceListShowsEveryAdapterTheServiceSees()
{
    window->findChild<QPushButton*>("Btn_More_VCI")->click();
    auto* stack = window->findChild<QStackedWidget*>("Tab_Stack");
    QCOMPARE(stack->currentIndex(), 4);
    auto* list = window->findChild<QListWidget*>();
    QVERIFY(list);
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, 3000);
    // The status thread keeps the requested page.
    QTest::qWait(1200);
    QCOMPARE(stack->currentIndex(), 4);
    window->findChild<QPushButton*>("Btn_Device")->click();
    QCOMPARE(stack->currentIndex(), 0);
}

void TestKestrixDeviceLink::killedServiceShowsNoneAndRecovers()
{
    service.kill();
    QVERIFY(service.waitForFinished(5000));
    QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 3000);
    QCOMPARE(label("label_Voltage"), QStringLiteral("0V"));
    QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));

    QVERIFY(startService());
    QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 5000);
    QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
}

void TestKestrixDeviceLink::unpluggedAdapterShowsNone()
{
    QCOMPARE(control("unplug all"), QStringLiteral("OK"));
    QTRY_COMPARE_WITH_TIMEOUT(label("Label_VCI_Status"), QStringLiteral("None"), 3000);
    QCOMPARE(label("label_VCI_SN"), QStringLiteral("--"));
    QVERIFY(!window->findChild<QPushButton*>("Btn_vciReboot")->isEnabled());
}

QTEST_MAIN(TestKestrixDeviceLink)
#include "tst_KestrixDeviceLink.moc"
