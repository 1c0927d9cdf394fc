// Remote sessions between two managers' processes on one machine. Launching
// the Brindlewick executable itself would leave nothing to drive it with, so
// each end is remote_manager_end: the manager's main window Kestrix built by
// the program's own factory (every subsystem wired as in the program, the
// status thread, its own BrindlewickService), offscreen, clicked through its
// widgets. Around them: the relay (test CA), the cloud emulator as relay
// directory and mapping service, and the adapter emulator with two adapters:
// the C-end's with the default vehicle, the B-end's with every ECU off its
// buses and the emulator's scripted tester standing in for the technician's
// tool. Both ends find the J2534 library through the driver's registration.
#include "../j2534/J2534Library.h"
#include "../remote_link/RemoteWorld.h"
#include "VehicleFacts.h"

#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "kit/Pages.h"

#include <platform/OsConventions.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QtTest>

#include <algorithm>

namespace {

const char* const kCEnd = "M5EA0001XJ7B0001";
const char* const kBEnd = "M5EA0002XJ7B0002";
const int kCode = 357913;
const char* const kControlledByB = "This device is under device control by M5EA0002XJ7B0002";

J2534Library pt;

// One manager end: its lines ("KEY VALUE", "toast TEXT") read as they come.
class ManagerProcess {
public:
    ~ManagerProcess() { stop(); }

    bool start(const QByteArray& prefix, const QString& name, const QString& root)
    {
        m_values.clear();
        m_toasts.clear();
        m_log.clear();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(prefix));
        env.insert(QStringLiteral("BRINDLEWICK_INSTANCE"), name);
        env.insert(QStringLiteral("BRINDLEWICK_DATA_ROOT"), root + QLatin1Char('/') + name + QStringLiteral("/data"));
        env.insert(
            QStringLiteral("BRINDLEWICK_REGISTRY_ROOT"), root + QLatin1Char('/') + name + QStringLiteral("/registry"));
        const QString logs = env.value(QStringLiteral("BRINDLEWICK_LOG_DIR"), root);
        env.insert(QStringLiteral("BRINDLEWICK_LOG_DIR"), logs + QLatin1Char('/') + name);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(testBinary("remote_manager_end"), QStringList());
        return m_process.waitForStarted(5000);
    }

    // The last value reported for `key` (empty before the first).
    QString value(const QString& key)
    {
        readLines();
        return m_values.value(key);
    }
    bool toasted(const QString& text)
    {
        readLines();
        return m_toasts.contains(text);
    }
    QString log()
    {
        readLines();
        return m_log.join(QLatin1Char('\n'));
    }
    // Waits (bounded) until `key` reads `expected`.
    bool waitFor(const QString& key, const QString& expected, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return value(key) == expected; }, timeoutMs);
    }
    void send(const QByteArray& line) { m_process.write(line + '\n'); }
    void forgetToasts()
    {
        readLines();
        m_toasts.clear();
    }
    bool running() const { return m_process.state() == QProcess::Running; }

    // As a crash would end it; reaped before returning.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Closes its input (the window closes, the program ends); killed if it does not.
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000))
            kill();
    }

private:
    void readLines()
    {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            m_log << line;
            const int blank = line.indexOf(QLatin1Char(' '));
            const QString key = blank < 0 ? line : line.left(blank);
            const QString rest = blank < 0 ? QString() : line.mid(blank + 1);
            if (key == QLatin1String("toast"))
                m_toasts << rest;
            else
                m_values[key] = rest;
        }
    }

    QProcess m_process;
    QMap<QString, QString> m_values;
    QStringList m_toasts;
    QStringList m_log;
};

// The default vehicle's file: its VIN and the engine's stored trouble codes
// as UDS records (three bytes of code, one of status), sorted.

} // namespace

class TestRemoteControlManagers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_world.bEndProbe = QStringLiteral("127.0.100.2");
        const QString failed = m_world.start(kCode, {}, {QStringLiteral("--adapters"), QStringLiteral("2")});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // The session records go to the cloud emulator's mapping service.
        qputenv("BRINDLEWICK_MAPPING_BASE", m_world.cloud.httpBase().toUtf8());
        QCOMPARE(m_world.emulator.command(QStringLiteral("list")).count(QStringLiteral("M5EA000")), 2);
        QVERIFY(m_world.emulator.command(QStringLiteral("list")).contains(QLatin1String(kBEnd)));
        // The pass-thru library as the "J2534_0404" driver registers it, for both ends.
        const QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        qputenv("XDG_CONFIG_DIRS", config.toLocal8Bit());
        QVERIFY(QDir().mkpath(config + QStringLiteral("/j2534/04.04")));
        QFile reg(config + QStringLiteral("/j2534/04.04/brindlewick-j2534.json"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write(QByteArray("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \"") + BW_TEST_BIN_DIR
            + "/BrindlewickJ2534" + platform::sharedLibrarySuffix() + "\"}");
        reg.close();
        QVERIFY2(pt.load(), pt.error().c_str());

        // No vehicle on the B-end adapter's buses; both cars' body bus runs
        // at 125 kbit/s, the rate "Config Select" gives pins 3/11 at first.
        for (const char* ecu : {"engine", "transmission", "abs", "body", "gateway"})
            QVERIFY(vehicle(2, QStringLiteral("ecu %1 off").arg(QLatin1String(ecu))).startsWith(QLatin1String("OK")));
        QVERIFY(vehicle(1, QStringLiteral("rate 3-11 125000")).startsWith(QLatin1String("OK")));
        QVERIFY(vehicle(2, QStringLiteral("rate 3-11 125000")).startsWith(QLatin1String("OK")));
        m_car = defaultVehicle();
        QCOMPARE(m_car.vin.size(), 17);
        QCOMPARE(m_car.engineDtcs.size(), 3);

        m_cName = QStringLiteral("rcc%1").arg(QCoreApplication::applicationPid());
        m_bName = QStringLiteral("rcb%1").arg(QCoreApplication::applicationPid());
        QVERIFY(startCEnd());
        QVERIFY(startBEnd());
    }

    void cleanup()
    {
        // A case that failed half-way may have left an end killed.
        if (!m_c.running())
            QVERIFY(startCEnd());
        if (!m_b.running())
            QVERIFY(startBEnd());
        if (m_b.running() && m_b.value(QStringLiteral("active")) == QLatin1String("1")) {
            m_b.send("end");
            QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("active")), QStringLiteral("0"), 10000);
        }
        vehicle(2, QStringLiteral("tester 6-14 clear"));
        vehicle(2, QStringLiteral("tester 3-11 clear"));
    }

    void cleanupTestCase()
    {
        m_b.stop();
        m_c.stop();
        m_world.serviceB.stop();
        m_world.serviceC.stop();
        QProcess tool;
        tool.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
        tool.waitForFinished(5000);
        for (const QString& name : {m_cName, m_bName})
            QDir(testBinary("") + QStringLiteral("instances/") + name).removeRecursively();
        QDir().rmdir(testBinary("") + QStringLiteral("instances")); // only when no other copy uses it
        // The code never reaches a log of the run.
        QVERIFY(!m_world.relay.log().contains(QByteArray::number(kCode)));
    }

    // "Config Select" at 500 / 125 kbit/s: the C-end adapter opens both buses
    // at those rates, the C-end's page says who controls it, and the B-end
    // tester reads the car's VIN and the engine's trouble codes through the
    // bridge (segmented answers: the tester's flow control crosses too), and
    // the body controller on the 125 kbit/s bus answers. The session page
    // shows live delays and bytes; ending it at the B-end frees the car.
    void testerReadsTheCarBehindTheCEnd()
    {
        startSession();
        if (QTest::currentTestFailed())
            return;
        QStringList rates;
        for (const QJsonValue c : channels(1))
            rates << QString::number(c.toObject().value(QStringLiteral("bitrate")).toInt());
        std::sort(rates.begin(), rates.end());
        QCOMPARE(rates, QStringList({QStringLiteral("125000"), QStringLiteral("500000")}));

        QCOMPARE(answerBytes(vehicle(2, QStringLiteral("tester 6-14 ask 7E0 7E8 22F190 3000"))),
            QByteArray("\x62\xF1\x90") + m_car.vin);
        const QByteArray dtcs = answerBytes(vehicle(2, QStringLiteral("tester 6-14 ask 7E0 7E8 1902FF 3000")));
        QCOMPARE(dtcs.left(3).toHex(), QByteArray("5902ff"));
        QList<QByteArray> records;
        for (int i = 3; i + 4 <= dtcs.size(); i += 4)
            records << dtcs.mid(i, 4).toHex().toUpper();
        std::sort(records.begin(), records.end());
        QCOMPARE(records, m_car.engineDtcs);
        QCOMPARE(dtcs.size(), 3 + 4 * m_car.engineDtcs.size());
        const QByteArray body = answerBytes(vehicle(2, QStringLiteral("tester 3-11 ask 740 748 1902FF 3000")));
        QCOMPARE(body.left(2).toHex(), QByteArray("5902"));

        // The bridge holds the C-end's adapter: its page says so, and a
        // pass-thru OPEN from anywhere else is refused.
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("vci")), QStringLiteral("Occupied"), 5000);
        QByteArray out;
        QVERIFY(runTool({QStringLiteral("--device"), atTheCEndAdapter(), QStringLiteral("info")}, &out) != 0);
        QVERIFY2(out.contains(inUse()), out.constData());

        // The session page: live figures of the bridge, not the placeholders.
        QTRY_VERIFY_WITH_TIMEOUT(m_b.value(QStringLiteral("bytesC")).endsWith(QLatin1Char('B'))
                && m_b.value(QStringLiteral("bytesC")) != QLatin1String("0B"),
            10000);
        QTRY_VERIFY_WITH_TIMEOUT(m_b.value(QStringLiteral("delayB")).startsWith(QLatin1String("B:")), 10000);
        QCOMPARE(m_b.value(QStringLiteral("deviceNumber")), QLatin1String(kCEnd));

        m_b.send("end");
        QTRY_COMPARE_WITH_TIMEOUT(channels(1).size(), 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(channels(2).size(), 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("page")), QString::number(Pages::Remote), 5000);
        QCOMPARE(m_b.value(QStringLiteral("active")), QStringLiteral("0"));
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("controlled")), QStringLiteral("-"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("registered")), QStringLiteral("1"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("vci")), QStringLiteral("Idle"), 5000);
        // The B-end recorded the session's start and end for the partner's serial.
        QTRY_COMPARE_WITH_TIMEOUT(recordEvents(), QStringList({QStringLiteral("start"), QStringLiteral("end")}), 5000);
    }

    // "End device control" at the C-end: its adapter's channels close at
    // once, the notice goes, and the B-end's watch ends the session there
    // (back to the remote page, the B-end adapter's buses closed too).
    void cEndEndsTheSession()
    {
        startSession();
        if (QTest::currentTestFailed())
            return;
        QElapsedTimer t;
        t.start();
        m_c.send("endcontrol");
        QTRY_COMPARE_WITH_TIMEOUT(channels(1).size(), 0, 2000);
        qInfo("the C-end adapter's channels closed %lld ms after \"End device control\"", t.elapsed());
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("controlled")), QStringLiteral("-"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("active")), QStringLiteral("0"), 10000);
        qInfo("the B-end's session ended %lld ms after \"End device control\"", t.elapsed());
        QCOMPARE(m_b.value(QStringLiteral("page")), QString::number(Pages::Remote));
        QTRY_COMPARE_WITH_TIMEOUT(channels(2).size(), 0, 3000);
        // The adapter is registered again for the next session.
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("registered")), QStringLiteral("1"), 10000);
    }

    // The B-end manager killed mid-session while its tester keeps the bus
    // busy: within one ping interval (1 s) the C-end adapter has no channel
    // left, so nothing more reaches the car, and the car's bus falls quiet.
    // The C-end then takes a new session from a new B-end manager.
    void killedBEndSilencesTheCar()
    {
        const double quiet = busLoad(1, "6-14");
        startSession();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(vehicle(2, QStringLiteral("tester 6-14 add 5A5 5 0102030405060708")).startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(busLoad(1, "6-14") > quiet + 1.0, 5000);

        QElapsedTimer t;
        t.start();
        m_b.kill();
        QTRY_COMPARE_WITH_TIMEOUT(channels(1).size(), 0, 1000);
        const qint64 closed = t.elapsed();
        qInfo("the C-end adapter's channels closed %lld ms after the B-end was killed", closed);
        QVERIFY(closed <= 1000);
        // The bus load covers the last second: it falls back once the last
        // bridged frame is that old.
        QTRY_VERIFY_WITH_TIMEOUT(busLoad(1, "6-14") <= quiet, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("controlled")), QStringLiteral("-"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("registered")), QStringLiteral("1"), 10000);
        vehicle(2, QStringLiteral("tester 6-14 clear"));

        QVERIFY(startBEnd());
        startSession();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(answerBytes(vehicle(2, QStringLiteral("tester 6-14 ask 7E0 7E8 22F190 3000"))),
            QByteArray("\x62\xF1\x90") + m_car.vin);
    }

    // The C-end manager killed mid-session: the B-end's watch finds the
    // session lost within a few seconds, closes its own buses, records the
    // end and returns to the remote page; once a C-end manager runs again the B-end connects
    // and reaches the car.
    void killedCEndEndsTheBSession()
    {
        startSession();
        if (QTest::currentTestFailed())
            return;
        const int ends = int(recordEvents().count(QStringLiteral("end")));
        QElapsedTimer t;
        t.start();
        m_c.kill();
        QTRY_COMPARE_WITH_TIMEOUT(channels(1).size(), 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("active")), QStringLiteral("0"), 10000);
        qInfo("the B-end's session ended %lld ms after the C-end was killed", t.elapsed());
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("page")), QString::number(Pages::Remote), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(channels(2).size(), 0, 3000);
        // The lost session is recorded as ended, once.
        QTRY_COMPARE_WITH_TIMEOUT(int(recordEvents().count(QStringLiteral("end"))), ends + 1, 5000);

        QVERIFY(startCEnd());
        startSession();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(answerBytes(vehicle(2, QStringLiteral("tester 6-14 ask 7E0 7E8 22F190 3000"))),
            QByteArray("\x62\xF1\x90") + m_car.vin);
    }

    // Relay diagnosis between the two managers (the B-end's own adapter
    // unplugged, as the mode asks): a J2534 application at the B-end reads
    // the VIN of the car at the C-end; while one holds the adapter the
    // C-end's device page says "Occupied" and a pass-thru OPEN from the
    // C-end's side of the link is refused, and the adapter is free again
    // once it lets go.
    void relayDiagnosisCarriesPassThru()
    {
        QCOMPARE(m_world.emulator.command(QStringLiteral("unplug 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("vci")), QStringLiteral("None"), 5000);
        m_b.forgetToasts();
        m_b.send(QByteArray("connect ") + kCEnd + ' ' + QByteArray::number(kCode));
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_b.toasted(QStringLiteral("connection established successfully")), qPrintable(m_b.log()), 40000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("page")), QString::number(Pages::RemoteInfo), 5000);
        // The B-end's service shows the C-end's adapter behind the virtual adapter.
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kCEnd), 8000);

        QByteArray out;
        QCOMPARE(runTool({QStringLiteral("vin")}, &out), 0);
        QVERIFY2(out.contains(m_car.vin), out.constData());

        unsigned long device = 0;
        QCOMPARE(pt.Open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("vci")), QStringLiteral("Occupied"), 5000);
        QVERIFY(runTool({QStringLiteral("--device"), atTheCEndAdapter(), QStringLiteral("info")}, &out) != 0);
        QVERIFY2(out.contains(inUse()), out.constData());
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("vci")), QStringLiteral("Idle"), 5000);

        m_b.send("end");
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("active")), QStringLiteral("0"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QCOMPARE(m_world.emulator.command(QStringLiteral("plug 2")), QStringLiteral("OK"));
    }

private:
    QString vehicle(int adapter, const QString& words)
    {
        return m_world.emulator.command(QStringLiteral("vehicle %1 %2").arg(adapter).arg(words));
    }

    // The pass-thru channels adapter `n` (1-based) has open.
    QJsonArray channels(int n)
    {
        return m_world.emulator.adapterDump(n)
            .value(QStringLiteral("passthru"))
            .toObject()
            .value(QStringLiteral("channels"))
            .toArray();
    }

    // The share of the last second bus `pins` of adapter `n`'s vehicle was busy, percent.
    double busLoad(int n, const char* pins)
    {
        const QJsonArray buses = m_world.emulator.adapterDump(n)
                                     .value(QStringLiteral("vehicle"))
                                     .toObject()
                                     .value(QStringLiteral("buses"))
                                     .toArray();
        for (const QJsonValue b : buses)
            if (b.toObject().value(QStringLiteral("pins")).toString() == QLatin1String(pins))
                return b.toObject().value(QStringLiteral("load")).toDouble();
        return -1;
    }

    bool startCEnd()
    {
        if (!m_c.start(m_world.cPrefix, m_cName, m_world.env.path()))
            return false;
        if (m_c.waitFor(QStringLiteral("vci"), QStringLiteral("Idle"), 30000)
            && m_c.waitFor(QStringLiteral("registered"), QStringLiteral("1"), 20000))
            return true;
        qWarning("C-end manager: %s", qPrintable(m_c.log()));
        return false;
    }

    bool startBEnd()
    {
        if (!m_b.start(m_world.bPrefix, m_bName, m_world.env.path()))
            return false;
        if (m_b.waitFor(QStringLiteral("vci"), QStringLiteral("Idle"), 30000))
            return true;
        qWarning("B-end manager: %s", qPrintable(m_b.log()));
        return false;
    }

    // A device-control session from the B-end manager to the C-end's
    // adapter, as the technician starts it; both ends report it.
    void startSession()
    {
        // Both ends idle: the last session's end has reached both adapters.
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("controlled")), QStringLiteral("-"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("vci")), QStringLiteral("Idle"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("vci")), QStringLiteral("Idle"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("registered")), QStringLiteral("1"), 10000);
        m_b.forgetToasts();
        m_b.send(QByteArray("control ") + kCEnd + ' ' + QByteArray::number(kCode) + " 500000 125000");
        QTRY_VERIFY2_WITH_TIMEOUT(
            m_b.value(QStringLiteral("active")) == QLatin1String("1"), qPrintable(m_b.log()), 40000);
        QVERIFY(m_b.toasted(QStringLiteral("connection established successfully")));
        QTRY_COMPARE_WITH_TIMEOUT(m_b.value(QStringLiteral("page")), QString::number(Pages::RemoteInfo), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_c.value(QStringLiteral("controlled")), QLatin1String(kControlledByB), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(channels(1).size(), 2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(channels(2).size(), 2, 5000);
    }

    // How j2534-tool reports an adapter whose pass-thru session another holds.
    static QByteArray inUse() { return "(status " + QByteArray::number(ERR_DEVICE_IN_USE) + ')'; }

    QString atTheCEndAdapter() const { return QStringLiteral("127.0.100.1:%1").arg(m_world.emulator.passthruPort()); }

    // The events of the session records the mapping service keeps for the C-end's serial.
    QStringList recordEvents()
    {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(
            QUrl(m_world.cloud.httpBase() + QStringLiteral("__control/mapping-records?sn=") + QLatin1String(kCEnd))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(5000);
        QStringList events;
        for (const QJsonValue r :
            QJsonDocument::fromJson(reply->readAll()).object().value(QStringLiteral("records")).toArray())
            events << r.toObject().value(QStringLiteral("event")).toString();
        reply->deleteLater();
        return events;
    }

    int runTool(const QStringList& args, QByteArray* out)
    {
        QProcess tool;
        tool.start(testBinary("j2534-tool"),
            QStringList{QStringLiteral("--library"),
                testBinary("BrindlewickJ2534") + QLatin1String(platform::sharedLibrarySuffix())}
                + args);
        if (!tool.waitForFinished(30000)) {
            tool.kill();
            tool.waitForFinished(3000);
            return -1;
        }
        *out = tool.readAllStandardOutput() + tool.readAllStandardError();
        return tool.exitCode();
    }

    RemoteWorld m_world;
    ManagerProcess m_c;
    ManagerProcess m_b;
    QString m_cName;
    QString m_bName;
    VehicleFacts m_car;
};

QTEST_GUILESS_MAIN(TestRemoteControlManagers)
#include "tst_remote_control_managers.moc"
