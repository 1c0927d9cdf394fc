// Device control end to end on one machine: the relay, two emulated
// adapters (the B-end's without a vehicle, its scripted tester standing in
// for the technician's tool; the C-end's with the default vehicle), the
// C-end registration in its own process (remote_link_peer, ClientRemote) and
// the device-control library in this one. The tester's requests reach the
// car and the engine's answers come back; the C-end says who controls it;
// the end closes the C-end adapter's channels.
#include "RemoteTestSupport.h"
#include "TestTls.h"
#include "VehicleFacts.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "remote/Bridge.h"
#include "remote/Frame.h"

#include "j2534.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>
#include <platform/SharedMemory.h>
#include <remote/RemoteProApi.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <algorithm>
#include <cstring>

using namespace remote;

namespace {

const char* const kCEnd = "M5EA0009XJ7B0009";
const char* const kBEnd = "M5EA0008XJ7B0008";

std::uint64_t bytesC(BwRemotePro* pro)
{
    std::uint64_t n = 0;
    pro->ops->bytesC(pro, &n);
    return n;
}

// The pass-thru channels the emulator's adapter `n` (1-based) has open.
int openChannels(EmulatorProcess& emulator, int n)
{
    const QJsonObject dump = QJsonDocument::fromJson(emulator.command(QStringLiteral("dump")).toUtf8()).object();
    const QJsonObject passthru = dump.value(QStringLiteral("adapters"))
                                     .toArray()
                                     .at(n - 1)
                                     .toObject()
                                     .value(QStringLiteral("passthru"))
                                     .toObject();
    return passthru.value(QStringLiteral("channels")).toArray().size();
}

// The default vehicle's file: its VIN and the engine's stored trouble codes
// as UDS records (three bytes of code, one of status), sorted.

// Whether the C-end's latest report line contains `text` within `ms`.
bool lastLineSays(PeerProcess& peer, const QString& text, int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        if (peer.lastLine().contains(text))
            return true;
        peer.waitFor(QStringLiteral("\x01"), 50); // reads the lines meanwhile
    } while (t.elapsed() < ms);
    return peer.lastLine().contains(text);
}

std::int32_t proState(BwRemotePro* pro, std::string* text = nullptr)
{
    std::int32_t state = 0;
    char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
    char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
    pro->ops->state(pro, &state, t1, t2);
    if (text)
        *text = std::string(t1, strnlen(t1, sizeof t1));
    return state;
}

// The last frame adapter `n`'s watch on pins 3/11 heard, as "FD BRS 64 HEX"
// ("-" for a classic frame's format, "-" for no data rate switch).
QString lastWatched(EmulatorProcess& emulator, int n)
{
    const QJsonObject watch = emulator.adapterDump(n)
                                  .value(QStringLiteral("vehicle"))
                                  .toObject()
                                  .value(QStringLiteral("buses"))
                                  .toArray()
                                  .at(1)
                                  .toObject()
                                  .value(QStringLiteral("watch"))
                                  .toObject()
                                  .value(QStringLiteral("last"))
                                  .toObject();
    if (watch.isEmpty())
        return QString();
    return QStringLiteral("%1 %2 %3 %4")
        .arg(watch.value(QStringLiteral("fd")).toBool() ? QStringLiteral("FD") : QStringLiteral("-"),
            watch.value(QStringLiteral("brs")).toBool() ? QStringLiteral("BRS") : QStringLiteral("-"))
        .arg(watch.value(QStringLiteral("length")).toInt())
        .arg(watch.value(QStringLiteral("data")).toString());
}

} // namespace

class TestRemoteControlBridgeE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(m_relay.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_relay.errorText()));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));
        QVERIFY2(
            m_emulator.start({QStringLiteral("--adapters"), QStringLiteral("2")}), qPrintable(m_emulator.errorText()));
        qputenv("BW_PASSTHRU_PORT", QByteArray::number(m_emulator.passthruPort()));
        // The pass-thru library as its driver registers it, for both ends.
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        qputenv("XDG_CONFIG_DIRS", m_config.path().toUtf8());
        QDir().mkpath(m_config.path() + QStringLiteral("/j2534/04.04"));
        QFile reg(m_config.path() + QStringLiteral("/j2534/04.04/brindlewick-j2534.json"));
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write(QByteArray("{\"Name\": \"Brindlewick J2534\", \"FunctionLibrary\": \"") + BW_TEST_BIN_DIR
            + "/BrindlewickJ2534" + platform::sharedLibrarySuffix() + "\"}");
        reg.close();

        // Each end's service publishes its own adapter.
        m_cPrefix = useUniqueShmPrefix("rcC");
        QVERIFY(m_cBlock.create(kStatusBlock, kBlockBytes) && m_cBlock.holdOwnership());
        fillBlock(m_cBlock, statusText(kCEnd, 12600, 1, "USB", "127.0.100.1", "127.0.100.1"));
        useUniqueShmPrefix("rcB");
        QVERIFY(m_bBlock.create(kStatusBlock, kBlockBytes) && m_bBlock.holdOwnership());
        fillBlock(m_bBlock, statusText(kBEnd, 12600, 1, "USB", "127.0.100.2", "127.0.100.2"));

        // No vehicle on the B-end adapter's buses.
        for (const char* ecu : {"engine", "transmission", "abs", "body", "gateway"})
            QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 ecu %1 off").arg(QLatin1String(ecu)))
                        .startsWith(QLatin1String("OK")));

        const std::string path = std::string(BW_TEST_BIN_DIR) + "/RemotePro" + platform::sharedLibrarySuffix();
        QVERIFY2(m_library.load(path), m_library.errorString().c_str());
        m_pro = m_library.resolveFunction<BwCreateRemoteProFn>("CreateRemotePro")();
        QVERIFY(m_pro);
    }

    // The tester's requests (ReadDataByIdentifier F190, ReadDTCInformation
    // 19 02 FF to the engine) cross to the car and its answers come back; ending the session closes the
    // C-end adapter's channels and its notice goes.
    void testerReachesTheCar()
    {
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 424242));

        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 424242), int(BW_PRO_CONNECTED));
        QVERIFY2(cEnd.waitFor(QStringLiteral("device control by M5EA0008XJ7B0008"), 5000), qPrintable(cEnd.lines()));
        const std::uint32_t obd[2] = {6, 14};
        const std::uint32_t body[2] = {3, 11};
        std::uint32_t id1 = 0, id2 = 0;
        QCOMPARE(m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, obd, 2, 500000, 0, &id1), 0);
        QCOMPARE(m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, body, 2, 500000, 0, &id2), 0);
        QVERIFY(id1 != id2);
        m_pro->ops->start(m_pro, 1);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 2, 5000);

        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 add 7E0 200 0322F190"))
                    .startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(bytesC(m_pro) > 0, 5000);
        std::int32_t state = -1;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        m_pro->ops->state(m_pro, &state, t1, t2);
        QCOMPARE(state, 0);
        std::uint64_t sent = 0;
        m_pro->ops->bytesB(m_pro, &sent);
        QVERIFY(sent > 0);

        // The tester's own diagnostic requests, through the bridge: the VIN
        // and the engine's trouble codes are those of the car's file. Both
        // answers are segmented, so the tester's flow control crosses too.
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 clear")).startsWith(QLatin1String("OK")));
        const VehicleFacts car = defaultVehicle();
        QCOMPARE(car.vin.size(), 17);
        QCOMPARE(car.engineDtcs.size(), 3);
        const QString vin = m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 ask 7E0 7E8 22F190 2000"));
        QCOMPARE(answerBytes(vin), QByteArray("\x62\xF1\x90") + car.vin);
        const QByteArray dtcs
            = answerBytes(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 ask 7E0 7E8 1902FF 2000")));
        QCOMPARE(dtcs.left(3).toHex(), QByteArray("5902ff"));
        QList<QByteArray> records;
        for (int i = 3; i + 4 <= dtcs.size(); i += 4)
            records << dtcs.mid(i, 4).toHex().toUpper();
        std::sort(records.begin(), records.end());
        QCOMPARE(records, car.engineDtcs);
        QCOMPARE(dtcs.size(), 3 + 4 * car.engineDtcs.size());
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 add 7E0 200 0322F190"))
                    .startsWith(QLatin1String("OK")));

        // The engine off the C-end bus: nothing answers any more.
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 ecu engine off")).startsWith(QLatin1String("OK")));
        QTest::qWait(600); // answers already on their way arrive
        const std::uint64_t before = bytesC(m_pro);
        QTest::qWait(1000);
        QCOMPARE(bytesC(m_pro), before);
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 ecu engine on")).startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(bytesC(m_pro) > before, 5000);
        // The session page's delays are the pings' real round trips (each a second).
        const auto delays = [this] {
            std::int32_t b = -1, c = -1;
            m_pro->ops->delays(m_pro, &b, &c);
            return std::make_pair(b, c);
        };
        QTRY_VERIFY_WITH_TIMEOUT(delays().first >= 0 && delays().second >= 0, 5000);
        QVERIFY(delays().first < 1000 && delays().second < 1000);

        m_pro->ops->disconnect(m_pro);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 1000);
        QVERIFY2(cEnd.waitFor(QStringLiteral("registered"), 5000), qPrintable(cEnd.lines()));
        m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 clear"));
        cEnd.stop();
    }

    // A B-end killed with SIGKILL: the relay sees its link close and the
    // C-end closes its adapter's channels within one ping interval (1 s);
    // the registration stays for the next session.
    void killedBEndSilencesTheCar()
    {
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 515151));

        QProcess bEnd;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(qgetenv("BRINDLEWICK_SHM_PREFIX")));
        bEnd.setProcessEnvironment(env);
        bEnd.start(testBinary("remote_control_bend"),
            {QStringLiteral("127.0.0.1"), QLatin1String(kCEnd), QStringLiteral("515151")});
        QVERIFY(bEnd.waitForStarted(5000));
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (said += bEnd.readAllStandardOutput()).contains("bridging") || bEnd.state() != QProcess::Running,
            (said + bEnd.readAllStandardError()).constData(), 10000);
        QCOMPARE(bEnd.state(), QProcess::Running);
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 add 7E0 50 0322F190"))
                    .startsWith(QLatin1String("OK")));
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 2, 5000);

        QElapsedTimer silent;
        bEnd.kill(); // SIGKILL
        silent.start();
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 1000);
        QVERIFY(silent.elapsed() <= 1000);
        QTRY_COMPARE(bEnd.state(), QProcess::NotRunning);
        QVERIFY2(cEnd.waitFor(QStringLiteral("state 1 registered"), 10000), qPrintable(cEnd.lines()));
        m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 clear"));
        cEnd.stop();
    }

    // A B-end (here a bare relay client) gets each bus at the rates it first
    // asked for and no other: asking again with other rates is refused by
    // the C-end and the car's bus keeps running at the first; the end of
    // the session closes the bus.
    void aBusKeepsTheRatesItWasOpenedWith()
    {
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 818181));
        RawRelayClient b;
        QVERIFY(b.connect(m_relay.port()));
        QVERIFY(b.send(encodeControlConnect({kCEnd, 818181, kBEnd})));
        QCOMPARE(b.ackStatus(), int(kStatusOk));
        // The C-end's answer to a BUS_OPEN.
        const auto busStatus = [&b](std::int32_t& status) {
            Frame f;
            BusStatusMsg m;
            while (b.next(f)) {
                if (f.type == Type::BusStatus)
                    return parseBusStatus(f, m, nullptr) && (status = m.status, true);
                if (f.type != Type::Ping && f.type != Type::Pong)
                    return false;
            }
            return false;
        };
        const auto rates = [this] {
            QStringList r;
            const QJsonArray channels = m_emulator.adapterDump(1)
                                            .value(QStringLiteral("passthru"))
                                            .toObject()
                                            .value(QStringLiteral("channels"))
                                            .toArray();
            for (const QJsonValue c : channels)
                r << QString::number(c.toObject().value(QStringLiteral("bitrate")).toInt());
            return r;
        };

        std::int32_t status = -100;
        QVERIFY(b.send(encodeBusOpen({0, 500000, 0})));
        QVERIFY(busStatus(status));
        QCOMPARE(status, kBusOpen);
        QCOMPARE(rates(), QStringList{QStringLiteral("500000")});
        QVERIFY(b.send(encodeBusOpen({0, 250000, 0})));
        QVERIFY(busStatus(status));
        QCOMPARE(status, std::int32_t(ERR_INVALID_BAUDRATE));
        QVERIFY(b.send(encodeBusOpen({0, 500000, 2000000})));
        QVERIFY(busStatus(status));
        QCOMPARE(status, std::int32_t(ERR_INVALID_BAUDRATE));
        QCOMPARE(rates(), QStringList{QStringLiteral("500000")});
        // The same rates again are the bus already open, not a second one.
        QVERIFY(b.send(encodeBusOpen({0, 500000, 0})));
        QVERIFY(busStatus(status));
        QCOMPARE(status, kBusOpen);
        QCOMPARE(rates(), QStringList{QStringLiteral("500000")});

        QVERIFY(b.send(encodeEnd({EndReason::Closing, "done"})));
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 1000);
        cEnd.stop();
    }

    // Device control comes through the relay only. A P2P listener the C-end
    // linked to (it has not even answered the C-end's proof yet) that asks
    // for a device-control session and a bus gets neither: the C-end ends
    // its side of the link, nothing is opened on its adapter and no bus
    // status answers.
    void p2pListenerCannotTakeTheBuses()
    {
        QTcpServer listener;
        QVERIFY(listener.listen(QHostAddress::LocalHost));
        PeerProcess cEnd;
        QVERIFY(
            cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(listener.serverPort()),
                           QLatin1String(kCEnd), QStringLiteral("626262"), QStringLiteral("KEY9")},
                m_cPrefix));
        QVERIFY(listener.waitForNewConnection(10000));
        QTcpSocket* link = listener.nextPendingConnection();
        QVERIFY(link);
        link->write(QByteArray::fromStdString(encodeChallenge({std::string(kNonceSize, 'n')})));
        FrameReader reader;
        Frame f;
        const auto nextFrame = [&] {
            for (;;) {
                const FrameReader::Result r = reader.next(f);
                if (r != FrameReader::Result::NeedMore)
                    return r == FrameReader::Result::Frame;
                if (!link->waitForReadyRead(5000))
                    return false;
                const QByteArray bytes = link->readAll();
                reader.feed(bytes.constData(), std::size_t(bytes.size()));
            }
        };
        QVERIFY(nextFrame());
        QCOMPARE(f.type, Type::Proof);

        link->write(QByteArray::fromStdString(encodeControlSession({"127.0.0.1", kBEnd}) + encodeBusOpen({0, 500000, 0})
            + encodeBusOpen({1, 500000, 0})));
        QVERIFY(link->waitForBytesWritten(5000));
        QVERIFY2(cEnd.waitFor(QStringLiteral("disconnected"), 5000), qPrintable(cEnd.lines()));
        link->waitForReadyRead(500); // its last word, if any
        const QByteArray rest = link->readAll();
        reader.feed(rest.constData(), std::size_t(rest.size()));
        while (reader.next(f) == FrameReader::Result::Frame)
            QVERIFY2(f.type != Type::BusStatus, "the C-end answered a bus request from a P2P listener");
        QCOMPARE(openChannels(m_emulator, 1), 0);
        QVERIFY2(!cEnd.lines().contains(QLatin1String("device control")), qPrintable(cEnd.lines()));
        cEnd.stop();
    }

    // An adapter that goes away mid-session (unplugged), at either end: the
    // session ends on both sides within a few seconds with the reason, the
    // C-end adapter's channels close (nothing more reaches the car), and
    // once plugged in again a new session runs.
    void unpluggedAdapterEndsTheSession_data()
    {
        QTest::addColumn<int>("adapter");
        QTest::addColumn<int>("endState");
        QTest::newRow("B-end adapter") << 2 << int(BW_PRO_ENDED_LOCAL_ADAPTER);
        QTest::newRow("C-end adapter") << 1 << int(BW_PRO_ENDED_REMOTE_ADAPTER);
    }
    void unpluggedAdapterEndsTheSession()
    {
        QFETCH(int, adapter);
        QFETCH(int, endState);
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 616161));
        QVERIFY(bridge(616161));
        // The B-end's tester keeps sending: the C-end's bus is busy until the end.
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 add 7E0 20 0322F190"))
                    .startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(bytesC(m_pro) > 0, 5000);

        QElapsedTimer t;
        t.start();
        QVERIFY(m_emulator.command(QStringLiteral("unplug %1").arg(adapter)).startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(proState(m_pro) != 0, 3000);
        std::string why;
        QCOMPARE(int(proState(m_pro, &why)), endState);
        QVERIFY2(why.find("adapter lost") != std::string::npos, why.c_str());
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 2), 0, 3000);
        QVERIFY2(lastLineSays(cEnd, QStringLiteral("state 1 registered"), 10000), qPrintable(cEnd.lines()));
        QVERIFY(t.elapsed() < 5000);
        m_pro->ops->disconnect(m_pro); // the manager's session-lost path

        QVERIFY(m_emulator.command(QStringLiteral("plug %1").arg(adapter)).startsWith(QLatin1String("OK")));
        QVERIFY(bridge(616161));
        QCOMPARE(proState(m_pro), 0);
        m_pro->ops->disconnect(m_pro);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 clear"));
        cEnd.stop();
    }

    // A rate an adapter cannot run (an older adapter up to 250 kbit/s): at
    // the B-end the channel is refused and the session ends at once; at the
    // C-end its answer ends the session. Either way the C-end adapter's
    // channels close, the reason is given, and the next session runs.
    void rateTheAdapterCannotDoEndsTheSession_data()
    {
        QTest::addColumn<int>("adapter");
        QTest::addColumn<int>("endState");
        QTest::newRow("B-end adapter") << 2 << int(BW_PRO_ENDED_LOCAL_RATE);
        QTest::newRow("C-end adapter") << 1 << int(BW_PRO_ENDED_REMOTE_RATE);
    }
    void rateTheAdapterCannotDoEndsTheSession()
    {
        QFETCH(int, adapter);
        QFETCH(int, endState);
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 626262));
        QVERIFY(m_emulator.command(QStringLiteral("maxrate %1 250000").arg(adapter)).startsWith(QLatin1String("OK")));

        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 626262), int(BW_PRO_CONNECTED));
        const std::uint32_t obd[2] = {6, 14};
        std::uint32_t id = 0;
        const std::int32_t rc = m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, obd, 2, 500000, 0, &id);
        QCOMPARE(rc == 0, adapter == 1); // the local adapter answers at once
        m_pro->ops->start(m_pro, 1);
        QTRY_VERIFY_WITH_TIMEOUT(proState(m_pro) != 0, 3000);
        std::string why;
        QCOMPARE(int(proState(m_pro, &why)), endState);
        QVERIFY2(why.find("refused pins 6/14") != std::string::npos, why.c_str());
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 2), 0, 3000);
        QVERIFY2(lastLineSays(cEnd, QStringLiteral("state 1 registered"), 10000), qPrintable(cEnd.lines()));
        m_pro->ops->disconnect(m_pro);

        // A later attempt that ends at once with 1 (this PC's adapter gone
        // once the partner accepted) reads as an ordinary end, not with the
        // last session's reason.
        QCOMPARE(m_emulator.command(QStringLiteral("unplug 2")), QStringLiteral("OK"));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 626262), int(BW_PRO_NO_PASSTHRU));
        QCOMPARE(int(proState(m_pro, &why)), int(BW_PRO_DISCONNECTED));
        QCOMPARE(why, std::string("local adapter not available"));
        QCOMPARE(m_emulator.command(QStringLiteral("plug 2")), QStringLiteral("OK"));
        QVERIFY2(lastLineSays(cEnd, QStringLiteral("state 1 registered"), 10000), qPrintable(cEnd.lines()));

        // A rate both adapters run.
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 626262), int(BW_PRO_CONNECTED));
        QCOMPARE(m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, obd, 2, 250000, 0, &id), 0);
        m_pro->ops->start(m_pro, 1);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 1, 3000);
        QCOMPARE(proState(m_pro), 0);
        m_pro->ops->disconnect(m_pro);
        QVERIFY(m_emulator.command(QStringLiteral("maxrate %1 1000000").arg(adapter)).startsWith(QLatin1String("OK")));
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        cEnd.stop();
    }

    // More frames than the C-end's bus can carry: its own high-priority
    // traffic fills it, so the frames from the B-end wait in the adapter's
    // and the bridge's bounded queues and the rest is dropped. The drops are
    // counted and reach both ends while the session runs.
    void dropsAreCountedAndShownWhileTheSessionRuns()
    {
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 636363));
        QVERIFY(bridge(636363));
        const auto partnerText = [this] {
            std::int32_t state = 0;
            char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
            char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
            m_pro->ops->state(m_pro, &state, t1, t2);
            return QString::fromLatin1(t2, int(strnlen(t2, sizeof t2)));
        };
        QCOMPARE(partnerText(), QLatin1String(kCEnd));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 load 6-14 100 100")).startsWith(QLatin1String("OK")));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 load 6-14 100 700")).startsWith(QLatin1String("OK")));
        // "SERIAL dropped HERE/THERE": the C-end's count, reported to the B-end.
        // Which end drops first depends on the machine's load; the C-end's count must come.
        QTRY_VERIFY_WITH_TIMEOUT(partnerText().contains(QLatin1String(" dropped ")), 15000);
        QTRY_VERIFY2_WITH_TIMEOUT(
            partnerText().section(QLatin1Char('/'), 1).toUInt() > 0, qPrintable(partnerText()), 15000);
        const QString there = partnerText().section(QLatin1Char('/'), 1);
        QVERIFY2(lastLineSays(cEnd, QStringLiteral("device control by M5EA0008XJ7B0008 dropped "), 5000),
            qPrintable(cEnd.lines()));
        QCOMPARE(proState(m_pro), 0); // drops do not end the session
        // The counts go on rising while it runs.
        QTRY_VERIFY_WITH_TIMEOUT(partnerText().section(QLatin1Char('/'), 1).toUInt() > there.toUInt(), 5000);

        m_emulator.command(QStringLiteral("vehicle 1 load 6-14 0"));
        m_emulator.command(QStringLiteral("vehicle 2 load 6-14 0"));
        m_pro->ops->disconnect(m_pro);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        QVERIFY2(lastLineSays(cEnd, QStringLiteral("state 1 registered"), 10000), qPrintable(cEnd.lines()));
        cEnd.stop();
    }

    // A CAN FD bus bridged (500 kbit/s, 2 Mbit/s data phase on pins 3/11 at
    // both ends): a 64-byte FD frame with the faster data phase crosses as
    // it was, a short classic frame on the same bus stays classic, and the
    // other way a 12-byte FD frame comes back as it was.
    void canFdFramesCrossAsTheyWere()
    {
        for (int n = 1; n <= 2; ++n)
            QVERIFY(m_emulator.command(QStringLiteral("vehicle %1 rate 3-11 500000 2000000").arg(n))
                        .startsWith(QLatin1String("OK")));
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 646464));
        QCOMPARE(m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", 646464), int(BW_PRO_CONNECTED));
        const std::uint32_t body[2] = {3, 11};
        std::uint32_t id = 0;
        QCOMPARE(m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, body, 2, 500000, 2000000, &id), 0);
        m_pro->ops->start(m_pro, 1);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 1, 5000);

        QString long64;
        for (int i = 0; i < 64; ++i)
            long64 += QStringLiteral("%1").arg(i, 2, 16, QLatin1Char('0')).toUpper();
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 watch 3-11 123")).startsWith(QLatin1String("OK")));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 3-11 add 123 100 %1").arg(long64))
                    .startsWith(QLatin1String("OK")));
        QTRY_COMPARE_WITH_TIMEOUT(lastWatched(m_emulator, 1), QStringLiteral("FD BRS 64 ") + long64, 5000);

        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 3-11 clear")).startsWith(QLatin1String("OK")));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 watch 3-11 124")).startsWith(QLatin1String("OK")));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 3-11 add 124 100 0102"))
                    .startsWith(QLatin1String("OK")));
        QTRY_COMPARE_WITH_TIMEOUT(lastWatched(m_emulator, 1), QStringLiteral("- - 2 0102"), 5000);

        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 watch 3-11 125")).startsWith(QLatin1String("OK")));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 tester 3-11 add 125 100 112233445566778899AABBCC"))
                    .startsWith(QLatin1String("OK")));
        QTRY_COMPARE_WITH_TIMEOUT(
            lastWatched(m_emulator, 2), QStringLiteral("FD BRS 12 112233445566778899AABBCC"), 5000);

        m_pro->ops->disconnect(m_pro);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 3000);
        for (int n = 1; n <= 2; ++n) {
            m_emulator.command(QStringLiteral("vehicle %1 tester 3-11 clear").arg(n));
            m_emulator.command(QStringLiteral("vehicle %1 watch 3-11 off").arg(n));
            m_emulator.command(QStringLiteral("vehicle %1 rate 3-11 500000").arg(n));
        }
        cEnd.stop();
    }

    // The relay killed with SIGKILL while the B-end's tester keeps the bus
    // busy: both ends see their link close, the C-end adapter's channels
    // close within one ping interval (1 s) and the B-end's session reads
    // lost. (Last: the relay comes back on another port.)
    void killedRelaySilencesTheCar()
    {
        PeerProcess cEnd;
        QVERIFY(registerCEnd(cEnd, 717171));
        QVERIFY(bridge(717171));
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 add 7E0 50 0322F190"))
                    .startsWith(QLatin1String("OK")));
        QTRY_VERIFY_WITH_TIMEOUT(bytesC(m_pro) > 0, 5000);

        QElapsedTimer silent;
        QCOMPARE(::kill(static_cast<pid_t>(m_relay.pid()), SIGKILL), 0);
        silent.start();
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 1), 0, 1000);
        qInfo("the C-end adapter's channels closed %lld ms after the relay was killed", silent.elapsed());
        QVERIFY(silent.elapsed() <= 1000);
        QTRY_VERIFY_WITH_TIMEOUT(proState(m_pro) != 0, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(openChannels(m_emulator, 2), 0, 3000);
        m_pro->ops->disconnect(m_pro);
        m_emulator.command(QStringLiteral("vehicle 2 tester 6-14 clear"));
        cEnd.stop();
        m_relay.stop();
        QVERIFY2(m_relay.start(m_tls.serverCert(), m_tls.serverKey()), qPrintable(m_relay.errorText()));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));
    }

private:
    // The C-end registered at the relay with `code`; its output is printed when it is not.
    bool registerCEnd(PeerProcess& cEnd, int code)
    {
        if (cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(m_relay.port()),
                           QLatin1String(kCEnd), QString::number(code), QStringLiteral("KEY9")},
                m_cPrefix)
            && cEnd.waitFor(QStringLiteral("status 1 state 1"), 10000))
            return true;
        qWarning("%s", qPrintable(cEnd.lines()));
        return false;
    }
    // A session with both buses at 500 kbit/s, bridged; true once the C-end
    // adapter's channels are open.
    bool bridge(int code)
    {
        if (m_pro->ops->connect(m_pro, "127.0.0.1", kCEnd, "--", code) != BW_PRO_CONNECTED)
            return false;
        const std::uint32_t pins[2][2] = {{6, 14}, {3, 11}};
        for (const auto& p : pins) {
            std::uint32_t id = 0;
            if (m_pro->ops->openCanChannel(m_pro, BW_PRO_PROTOCOL_CAN, p, 2, 500000, 0, &id) != 0)
                return false;
        }
        m_pro->ops->start(m_pro, 1);
        QElapsedTimer t;
        t.start();
        while (openChannels(m_emulator, 1) != 2) {
            if (t.elapsed() > 5000)
                return false;
            QTest::qWait(20);
        }
        return true;
    }

    std::unique_ptr<TestEnvironment> m_env;
    TestTls m_tls;
    RelayProcess m_relay;
    EmulatorProcess m_emulator;
    QTemporaryDir m_config;
    QByteArray m_cPrefix;
    platform::SharedMemory m_cBlock;
    platform::SharedMemory m_bBlock;
    platform::Library m_library;
    BwRemotePro* m_pro = nullptr;
};

QTEST_GUILESS_MAIN(TestRemoteControlBridgeE2e)
#include "tst_remote_control_bridge_e2e.moc"
