// J2534 through a relay-diagnosis session and a P2P session, with real
// processes: the relay (test CA), the cloud emulator as relay directory, the
// adapter emulator with its simulated vehicle, a C-end and a B-end
// BrindlewickService with their own blocks, the C-end's ClientRemote in
// remote_link_peer. This process is the B-end: ServerRemote or
// LocalServerRemote called directly, the J2534 library loaded by path and
// j2534-tool as the application. The C-end's status record must read 2
// (occupied) while a tunnelled pass-thru session holds its adapter and 1 as
// soon as the session ends, whichever end ends it.
#include "../j2534/J2534Library.h"
#include "../remote_link/RemoteWorld.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "passthru/PassThruWire.h"
#include "platform/Library.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteApi.h"
#include "remote/VirtualAdapter.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QtTest>

#include <unistd.h>

using namespace remote;

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const char* const kKey = "KX0001";
const int kCode = 135790;

J2534Library pt;

template <typename F>
bool resolve(platform::Library& library, F& function, const char* name)
{
    function = library.resolveFunction<F>(name);
    return function != nullptr;
}

QString vinOfDefaultVehicle()
{
    QFile f(QStringLiteral(BW_SOURCE_DIR "/emulators/vci/data/vehicles/default.json"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("vin")).toString();
}

} // namespace

class RemotePassThruE2eTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString failed = m_world.start(kCode);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("SN"), QByteArray(kSerial), 8000);
        QCOMPARE(cEndStatus("status"), QByteArray("1"));

        const std::string dir = QFile::encodeName(testBinary("")).toStdString();
        QVERIFY(m_server.load(dir + "ServerRemote.so") && m_listener.load(dir + "LocalServerRemote.so"));
        QVERIFY(resolve(m_server, m_connect, "ServerRemote_Connect")
            && resolve(m_server, m_status, "ServerRemote_Status")
            && resolve(m_server, m_destroy, "ServerRemote_Destroy")
            && resolve(m_listener, m_listen, "LocalServerRemote_Construct")
            && resolve(m_listener, m_unlisten, "LocalServerRemote_Destruct"));
        QVERIFY2(pt.load(), pt.error().c_str());
        m_vin = vinOfDefaultVehicle();
        QCOMPARE(m_vin.size(), 17);
    }

    void cleanup()
    {
        setMode(0x11);
        adapterTool("-d");
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
    }

    // The application on the B-end finds the adapter the service selected (the
    // C-end's, behind the virtual adapter) or names it by serial, and reads
    // the VIN of the car at the C-end. While it holds the adapter the C-end's
    // record says occupied; ending the session at the B-end frees the
    // adapter at once and the application is told.
    void relaySessionCarriesPassThru()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        void* session = connectSession(cEnd);
        QVERIFY(session);
        SessionGuard guard{m_destroy, session};
        setMode(0x10);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QCOMPARE(statusValue(statusBlockText(), "vciIP"), QByteArray::fromStdString(virtualAdapterAddress()));

        QByteArray out;
        QElapsedTimer run;
        run.start();
        QCOMPARE(runTool({QStringLiteral("vin")}, &out), 0);
        QVERIFY2(out.count(m_vin.toLatin1()) == 2, out.constData());
        const qint64 tunnelled = run.restart();
        QCOMPARE(
            runTool({QStringLiteral("--device"), QStringLiteral("127.0.100.1:%1").arg(m_world.emulator.passthruPort()),
                        QStringLiteral("vin")},
                &out),
            0);
        qInfo("j2534-tool vin: %lld ms through the relay, %lld ms at the adapter itself", tunnelled, run.elapsed());
        QCOMPARE(runTool({QStringLiteral("--device"), QString::fromLatin1(kSerial), QStringLiteral("info")}, &out), 0);
        QVERIFY2(out.contains("04.04"), out.constData());
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("1"), 3000);

        unsigned long device = 0;
        QCOMPARE(pt.Open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("2"), 3000);
        unsigned long channel = 0;
        QCOMPARE(pt.Connect(device, CAN, 0, 500000, &channel), long(STATUS_NOERROR));
        QElapsedTimer t;
        t.start();
        guard.end();
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("1"), 3000);
        qInfo("the C-end's record read 1 again %lld ms after the B-end ended the session", t.elapsed());
        char a[80];
        char b[80];
        char c[80];
        QTRY_COMPARE_WITH_TIMEOUT(pt.ReadVersion(device, a, b, c), long(ERR_DEVICE_NOT_CONNECTED), 3000);
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        // The adapter's own session is free: an application at the C-end gets it.
        QVERIFY(openDirectly());
    }

    // The C-end goes (killed): its connection to the adapter goes with it,
    // the relay ends the session and the B-end's application is told.
    void cEndGoingReleasesTheAdapter()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        void* session = connectSession(cEnd);
        QVERIFY(session);
        SessionGuard guard{m_destroy, session};
        setMode(0x10);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        unsigned long device = 0;
        QCOMPARE(pt.Open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("2"), 3000);
        cEnd.kill();
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("1"), 3000);
        char a[80];
        QTRY_COMPARE_WITH_TIMEOUT(pt.ReadVersion(device, a, a, a), long(ERR_DEVICE_NOT_CONNECTED), 6000);
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(m_status(session), int(BW_RELAY_DISCONNECTED), 6000);
    }

    // A B-end speaking frames of its own through the relay: an unknown
    // target is refused with CLOSE, a pass-thru stream reaches the adapter's
    // pass-thru port, and dropping the link releases the adapter.
    void hostileBEndThroughTheRelay()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        {
            RawRelayClient b;
            QVERIFY(b.connect(m_world.relay.port()));
            QVERIFY(b.send(encodeConnect({kSerial, static_cast<std::uint32_t>(kCode)})));
            QCOMPARE(b.ackStatus(), int(kStatusOk));
            QVERIFY(cEnd.waitFor(QStringLiteral("session with"), 5000));

            QVERIFY(b.send(encodeOpen(1, 7)));
            Frame f;
            StreamMsg m;
            QVERIFY(nextStreamFrame(b, f, m));
            QCOMPARE(m.stream, 1u);
            QVERIFY(m.data.empty()); // CLOSE

            // Another adapter at the registered one's address is never reached.
            QCOMPARE(m_world.emulator.command(QStringLiteral("serial 1 OTHERADAPTER0001")), QStringLiteral("OK"));
            QTRY_COMPARE_WITH_TIMEOUT(
                (b.send(encodePing(Type::Ping, {1, -1})), cEndStatus("SN")), QByteArray("OTHERADAPTER0001"), 3000);
            QVERIFY(b.send(encodeOpen(3, kTargetPassThru)));
            QVERIFY(nextStreamFrame(b, f, m));
            QCOMPARE(m.stream, 3u);
            QVERIFY(m.data.empty());
            QCOMPARE(m_world.emulator.command(QStringLiteral("serial 1 %1").arg(QLatin1String(kSerial))),
                QStringLiteral("OK"));
            QTRY_COMPARE_WITH_TIMEOUT(
                (b.send(encodePing(Type::Ping, {1, -1})), cEndStatus("SN")), QByteArray(kSerial), 3000);

            const std::vector<std::uint8_t> open
                = passthru::encodeOpen(5, {passthru::kProtocolVersion, "hostile B-end"});
            std::string data;
            appendData(data, 2, reinterpret_cast<const char*>(open.data()), open.size());
            QVERIFY(b.send(encodeOpen(2, kTargetPassThru) + data));
            QVERIFY(nextStreamFrame(b, f, m));
            QCOMPARE(m.stream, 2u);
            // The adapter's answer: OPEN's reply (0x81), tag 5, status 0.
            QVERIFY(m.data.size() > 13);
            QCOMPARE(int(static_cast<unsigned char>(m.data[4])), 0x81);
            QCOMPARE(QByteArray(m.data.data() + 5, 8), QByteArray("\0\0\0\x05\0\0\0\0", 8));
            // A ping keeps the relay from ending the silent session meanwhile.
            QVERIFY(b.send(encodePing(Type::Ping, {1, -1})));
            QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("2"), 3000);
        } // the link drops without a word
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("1"), 3000);
        QVERIFY(openDirectly());
    }

    // P2P: once the listener accepted the C-end's proof, the B-end's
    // application reaches the adapter the same way.
    void p2pSessionCarriesPassThru()
    {
        QVERIFY(enableAdapter());
        const quint16 port = freePort();
        int status = -9;
        void* listener = m_listen("", port, &status);
        QVERIFY(listener);
        setMode(0x10);
        PeerProcess cEnd;
        QVERIFY(cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(port),
                               QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
            m_world.cPrefix));
        QVERIFY2(
            cEnd.waitFor(QStringLiteral("status %1 state 1").arg(BW_CLIENT_LINKED), 10000), qPrintable(cEnd.lines()));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QByteArray out;
        QCOMPARE(runTool({QStringLiteral("vin")}, &out), 0);
        QVERIFY2(out.count(m_vin.toLatin1()) == 2, out.constData());

        unsigned long device = 0;
        QCOMPARE(pt.Open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("2"), 3000);
        m_unlisten(listener);
        QTRY_COMPARE_WITH_TIMEOUT(cEndStatus("status"), QByteArray("1"), 3000);
        char a[80];
        QTRY_COMPARE_WITH_TIMEOUT(pt.ReadVersion(device, a, a, a), long(ERR_DEVICE_NOT_CONNECTED), 3000);
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    void cleanupTestCase()
    {
        m_world.serviceB.stop();
        m_world.serviceC.stop();
        adapterTool("-d");
    }

private:
    // A value of the C-end's status record, read from its block as its
    // manager reads it.
    QByteArray cEndStatus(const QByteArray& key) const
    {
        QFile f(QStringLiteral("/dev/shm/%1KestrixVciShareMemory-%2")
                    .arg(QString::fromLatin1(m_world.cPrefix))
                    .arg(::getuid()));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QByteArray block = f.read(kBlockBytes);
        const int end = block.indexOf('\0');
        if (end >= 0)
            block.truncate(end);
        return statusValue(block, key);
    }

    int runTool(const QStringList& args, QByteArray* out)
    {
        QProcess tool;
        tool.start(testBinary("j2534-tool"),
            QStringList{QStringLiteral("--library"), testBinary("BrindlewickJ2534.so")} + args);
        if (!tool.waitForFinished(30000))
            return -1;
        *out = tool.readAllStandardOutput() + tool.readAllStandardError();
        return tool.exitCode();
    }

    // The adapter's pass-thru session, opened at its own address and closed.
    bool openDirectly()
    {
        const std::string name = "127.0.100.1:" + std::to_string(m_world.emulator.passthruPort());
        unsigned long device = 0;
        QElapsedTimer t;
        t.start();
        while (pt.Open(const_cast<char*>(name.c_str()), &device) != STATUS_NOERROR) {
            if (t.elapsed() > 5000)
                return false;
            QTest::qWait(50);
        }
        return pt.Close(device) == STATUS_NOERROR;
    }

    // The next OPEN, DATA or CLOSE from the relay (pings skipped).
    // `m.data` views `f`'s payload. Bounded: every frame within 3 s, the
    // answers to this test's own pings at most.
    static bool nextStreamFrame(RawRelayClient& client, Frame& f, StreamMsg& m)
    {
        for (int i = 0; i < 1000; ++i) {
            if (!client.next(f))
                return false;
            if (f.type == Type::Data || f.type == Type::Close)
                return parseStream(f, m, nullptr);
        }
        return false;
    }

    bool startRegistered(PeerProcess& cEnd)
    {
        if (!cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(m_world.relay.port()),
                            QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
                m_world.cPrefix))
            return false;
        return cEnd.waitFor(QStringLiteral("status 1 state 1 registered"), 8000);
    }

    void* connectSession(PeerProcess& cEnd)
    {
        if (!enableAdapter())
            return nullptr;
        void* session = m_connect("127.0.0.1", kSerial, "--", kCode);
        QElapsedTimer t;
        t.start();
        while (session && m_status(session) != BW_RELAY_CONNECTED && t.elapsed() < 8000)
            QTest::qWait(20);
        if (session && m_status(session) == BW_RELAY_CONNECTED && cEnd.waitFor(QStringLiteral("session with"), 5000))
            return session;
        if (session)
            m_destroy(session);
        return nullptr;
    }

    static void adapterTool(const char* flag, int* code = nullptr)
    {
        QProcess tool;
        tool.start(testBinary("VirtualNetLoopback"), {QString::fromLatin1(flag)});
        const bool done = tool.waitForFinished(5000);
        if (code)
            *code = done ? tool.exitCode() : -1;
    }
    static bool enableAdapter()
    {
        int code = -1;
        adapterTool("-e", &code);
        return code == 0;
    }

    static void setMode(unsigned char mode)
    {
        platform::SharedMemory block;
        if (block.open(kCommandBlock, kBlockBytes))
            block.data()[0] = mode;
    }

    RemoteWorld m_world;
    platform::Library m_server;
    platform::Library m_listener;
    decltype(&ServerRemote_Connect) m_connect = nullptr;
    decltype(&ServerRemote_Status) m_status = nullptr;
    decltype(&ServerRemote_Destroy) m_destroy = nullptr;
    decltype(&LocalServerRemote_Construct) m_listen = nullptr;
    decltype(&LocalServerRemote_Destruct) m_unlisten = nullptr;
    QString m_vin;
};

QTEST_GUILESS_MAIN(RemotePassThruE2eTest)
#include "tst_remote_passthru_e2e.moc"
