// Remote sessions end to end with real processes: the relay (test CA), the
// cloud emulator as the relay directory, the adapter emulator, a C-end and a
// B-end BrindlewickService with their own blocks, the C-end's ClientRemote
// in its own process and the B-end's libraries in this one. The B-end's
// service must publish the C-end's adapter through the virtual adapter, and a
// reboot sent to that address must reach the emulator.
#include "RemoteTestSupport.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "MT7628Config.h"
#include "platform/Library.h"
#include "platform/NetAdapters.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteApi.h"
#include "remote/VirtualAdapter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const char* const kKey = "KX0001";
const int kCode = 246810;

struct Libraries {
    platform::Library server;
    platform::Library listener;
    decltype(&ServerRemote_Lookup) lookup = nullptr;
    decltype(&ServerRemote_Connect) connect = nullptr;
    decltype(&ServerRemote_Status) status = nullptr;
    decltype(&ServerRemote_State) state = nullptr;
    decltype(&ServerRemote_BytesB) bytesB = nullptr;
    decltype(&ServerRemote_BytesC) bytesC = nullptr;
    decltype(&ServerRemote_Delays) delays = nullptr;
    decltype(&ServerRemote_Destroy) destroy = nullptr;
    decltype(&LocalServerRemote_Construct) listen = nullptr;
    decltype(&LocalServerRemote_State) listenState = nullptr;
    decltype(&LocalServerRemote_BytesC) listenBytesC = nullptr;
    decltype(&LocalServerRemote_Destruct) unlisten = nullptr;

    bool load()
    {
        const std::string dir = QFile::encodeName(testBinary("")).toStdString();
        if (!server.load(dir + "ServerRemote.so") || !listener.load(dir + "LocalServerRemote.so"))
            return false;
        lookup = server.resolveFunction<decltype(lookup)>("ServerRemote_Lookup");
        connect = server.resolveFunction<decltype(connect)>("ServerRemote_Connect");
        status = server.resolveFunction<decltype(status)>("ServerRemote_Status");
        state = server.resolveFunction<decltype(state)>("ServerRemote_State");
        bytesB = server.resolveFunction<decltype(bytesB)>("ServerRemote_BytesB");
        bytesC = server.resolveFunction<decltype(bytesC)>("ServerRemote_BytesC");
        delays = server.resolveFunction<decltype(delays)>("ServerRemote_Delays");
        destroy = server.resolveFunction<decltype(destroy)>("ServerRemote_Destroy");
        listen = listener.resolveFunction<decltype(listen)>("LocalServerRemote_Construct");
        listenState = listener.resolveFunction<decltype(listenState)>("LocalServerRemote_State");
        listenBytesC = listener.resolveFunction<decltype(listenBytesC)>("LocalServerRemote_BytesC");
        unlisten = listener.resolveFunction<decltype(unlisten)>("LocalServerRemote_Destruct");
        return lookup && connect && status && state && bytesB && bytesC && delays && destroy && listen
            && listenState && listenBytesC && unlisten;
    }
};

// Ends a session when the test leaves its scope, passed or not, so a failed
// check does not leave the virtual adapter's port or the relay pairing held.
struct SessionGuard {
    decltype(&ServerRemote_Destroy) destroy;
    void* handle;
    ~SessionGuard()
    {
        if (handle)
            destroy(handle);
    }
    void end()
    {
        destroy(handle);
        handle = nullptr;
    }
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class RemoteSessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QDir(m_env.path()).mkpath(QStringLiteral("run"));
        QFile::setPermissions(m_env.path() + QStringLiteral("/run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_env.path() + QStringLiteral("/run")));
        m_bPrefix = qgetenv("BRINDLEWICK_SHM_PREFIX"); // this process is the B-end
        m_cPrefix = m_bPrefix + "C_";

        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(m_relay.start(m_tls.serverCert(), m_tls.serverKey(),
                     {QStringLiteral("--max-wrong-address"), QStringLiteral("1000")}),
            qPrintable(m_relay.errorText()));
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(m_relay.port()));
        QVERIFY2(m_cloud.start(QString(), QString(), {QStringLiteral("--relay"), QStringLiteral("127.0.0.1")}),
            qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpBase().toUtf8());

        QVERIFY2(m_emulator.start({QStringLiteral("--reboot-ms"), QStringLiteral("300")}),
            qPrintable(m_emulator.errorText()));
        QCOMPARE(m_emulator.command(QStringLiteral("remotekey 1 %1").arg(kCode)), QStringLiteral("OK"));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));

        // The C-end's service sees the adapter; the B-end's has none of its own.
        QVERIFY(m_serviceC.start(ServiceProcess::arguments(QStringLiteral("127.0.100.1"), m_emulator.port(),
                                     m_env.path() + QStringLiteral("/c.lock")),
            m_cPrefix));
        QVERIFY(m_serviceB.start(ServiceProcess::arguments(QStringLiteral("127.0.100.250"), m_emulator.port(),
            m_env.path() + QStringLiteral("/b.lock"))));
        QVERIFY(m_libs.load());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/dev/shm/%1KestrixVciShareMemory-%2")
                                                   .arg(QString::fromLatin1(m_cPrefix))
                                                   .arg(::getuid())),
            5000);
    }

    void cleanup()
    {
        setMode(0x11);
        QProcess::execute(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
    }

    void virtualAdapterComesAndGoes()
    {
        QProcess tool;
        tool.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-e")});
        QVERIFY(tool.waitForFinished(5000));
        QCOMPARE(tool.exitCode(), 0);
        const QString address = QString::fromLatin1(tool.readAllStandardOutput()).section(QLatin1Char(' '), -1).trimmed();
        QVERIFY(address.startsWith(QStringLiteral("127.0.101.")));
        QCOMPARE(address.toStdString(), remote::virtualAdapterAddress());
        bool listed = false;
        for (const platform::NetAdapter& a : platform::listAdapters())
            listed = listed || (a.description == "Brindlewick remoteDiag" && a.ipv4 == address.toStdString());
        QVERIFY(listed);

        // Another instance gets another address.
        QProcess other;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QStringLiteral("otherInstance_"));
        other.setProcessEnvironment(env);
        other.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-e")});
        QVERIFY(other.waitForFinished(5000));
        const QString otherAddress = QString::fromLatin1(other.readAllStandardOutput()).section(QLatin1Char(' '), -1).trimmed();
        QVERIFY(!otherAddress.isEmpty());
        QVERIFY(otherAddress != address);
        other.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
        QVERIFY(other.waitForFinished(5000));

        QCOMPARE(QProcess::execute(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")}), 0);
        QVERIFY(remote::virtualAdapterAddress().empty());
        QProcess misuse;
        misuse.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-x")});
        QVERIFY(misuse.waitForFinished(5000));
        QCOMPARE(misuse.exitCode(), 2);
        QVERIFY(misuse.readAllStandardError().contains("usage"));
    }

    // Someone who knows the serial registers it first with another key: the
    // adapter's own C-end still takes it over (its adapter answers the
    // relay's check through the link), the B-end reaches the adapter with
    // its code, and the squatter cannot come back.
    void squatterCannotKeepTheAdapterOut()
    {
        RawRelayClient squatter;
        QVERIFY(squatter.connect(m_relay.port()));
        QVERIFY(squatter.send(remote::encodeRegister({kSerial, "SQUATTER", 999999})));
        QCOMPARE(squatter.ackStatus(), int(remote::kStatusOk));

        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        QVERIFY(squatter.closedWithin(3000));
        QVERIFY(enableAdapter());
        void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode);
        QVERIFY(session);
        SessionGuard guard{m_libs.destroy, session};
        QTRY_VERIFY2_WITH_TIMEOUT(m_libs.status(session) == BW_RELAY_CONNECTED, describe(session).constData(), 8000);
        QVERIFY(cEnd.waitFor(QStringLiteral("session with"), 5000));

        RawRelayClient again;
        QVERIFY(again.connect(m_relay.port()));
        QVERIFY(again.send(remote::encodeRegister({kSerial, "SQUATTER", 999999})));
        QCOMPARE(again.ackStatus(), int(remote::kStatusRefused));
    }

    // A relay that refuses more lookups from this address leaves the lookup
    // failed, not the adapter "offline".
    void refusedLookupIsAFailure()
    {
        RelayProcess strict;
        QVERIFY2(strict.start(m_tls.serverCert(), m_tls.serverKey(),
                     {QStringLiteral("--max-lookups-address"), QStringLiteral("1")}),
            qPrintable(strict.errorText()));
        const QByteArray port = qgetenv("BRINDLEWICK_RELAY_PORT");
        qputenv("BRINDLEWICK_RELAY_PORT", QByteArray::number(strict.port()));
        char relay[BW_REMOTE_ADDRESS_SIZE] = "x";
        const int first = m_libs.lookup("NOSUCHSERIAL1", "1", relay);
        const int second = m_libs.lookup("NOSUCHSERIAL2", "1", relay);
        qputenv("BRINDLEWICK_RELAY_PORT", port);
        QCOMPARE(first, 0);
        QCOMPARE(second, 1);
        QCOMPARE(QByteArray(relay), QByteArray());
    }

    void relaySessionFromStartToEnd()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        QVERIFY(enableAdapter());

        char relay[BW_REMOTE_ADDRESS_SIZE] = "x";
        QCOMPARE(m_libs.lookup(kSerial, "246810", relay), 0);
        QCOMPARE(QByteArray(relay), QByteArray("127.0.0.1"));
        QCOMPARE(m_libs.lookup("NOSUCHSERIAL1", "1", relay), 0);
        QCOMPARE(QByteArray(relay), QByteArray());

        void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode);
        QVERIFY(session);
        SessionGuard guard{m_libs.destroy, session};
        QTRY_VERIFY2_WITH_TIMEOUT(m_libs.status(session) == BW_RELAY_CONNECTED, describe(session).constData(), 8000);
        QVERIFY(cEnd.waitFor(QStringLiteral("session with"), 5000));
        setMode(0x10);

        // The B-end's service shows the C-end's adapter at the virtual address.
        const QByteArray address = QByteArray::fromStdString(remote::virtualAdapterAddress());
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QCOMPARE(statusValue(statusBlockText(), "vciIP"), address);

        MT7628Config module;
        QVERIFY(module.RebootVci(address.constData()));
        QCOMPARE(rebootCount(), 1);

        QTRY_VERIFY_WITH_TIMEOUT(m_libs.bytesB(session) > 0 && m_libs.bytesC(session) > m_libs.bytesB(session), 5000);
        int32_t delayB = -5;
        int32_t delayC = -5;
        QTRY_VERIFY_WITH_TIMEOUT((m_libs.delays(session, &delayB, &delayC), delayB >= 0 && delayC >= 0), 5000);
        char text1[BW_REMOTE_STATE_TEXT_SIZE];
        char text2[BW_REMOTE_STATE_TEXT_SIZE];
        QCOMPARE(m_libs.state(session, text1, text2), 0);
        QCOMPARE(QByteArray(text2), QByteArray(kSerial));

        // A second B-end is refused while this one holds the adapter.
        QVERIFY(enableAdapter(m_bPrefix + "second_"));
        PeerProcess second;
        QVERIFY(second.start({QStringLiteral("server"), QStringLiteral("127.0.0.1"), QString::fromLatin1(kSerial),
                                 QString::number(kCode)},
            m_bPrefix + "second_"));
        QVERIFY2(second.waitFor(QStringLiteral("status %1").arg(BW_RELAY_BUSY), 8000), qPrintable(second.lines()));

        // The B-end ends: the C-end is told and stays registered.
        removeAdapter(m_bPrefix + "second_");
        guard.end();
        QVERIFY(cEnd.waitFor(QStringLiteral("state 1 registered"), 5000));
        setMode(0x11);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
    }

    void anotherAdapterIsNeverReached()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        QVERIFY(enableAdapter());
        void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode);
        SessionGuard guard{m_libs.destroy, session};
        QTRY_VERIFY2_WITH_TIMEOUT(m_libs.status(session) == BW_RELAY_CONNECTED, describe(session).constData(), 8000);
        setMode(0x10);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);

        // The C-end's adapter is swapped for another one at the same address:
        // the tunnel stops reaching it, so the B-end's service loses it.
        QCOMPARE(m_emulator.command(QStringLiteral("serial 1 OTHERADAPTER0001")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QCOMPARE(m_emulator.command(QStringLiteral("serial 1 %1").arg(QLatin1String(kSerial))), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
    }

    void wrongCodeIsRefused()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        QVERIFY(enableAdapter());
        void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode + 1);
        QVERIFY(session);
        SessionGuard guard{m_libs.destroy, session};
        QTRY_VERIFY2_WITH_TIMEOUT(m_libs.status(session) == BW_RELAY_WRONG_CODE, describe(session).constData(), 8000);
        char text1[BW_REMOTE_STATE_TEXT_SIZE];
        char text2[BW_REMOTE_STATE_TEXT_SIZE];
        QVERIFY(m_libs.state(session, text1, text2) != 0);
        guard.end();
        // Bad arguments get no handle; unknown handles are refused, not followed.
        QVERIFY(!m_libs.connect("not an address", kSerial, "--", kCode));
        QVERIFY(!m_libs.connect("127.0.0.1", "BAD SERIAL", "--", kCode));
        int dummy = 0;
        QCOMPARE(m_libs.status(&dummy), int(BW_RELAY_DISCONNECTED));
        m_libs.destroy(&dummy);
    }

    void killedAndFrozenEndsAreNoticed_data()
    {
        QTest::addColumn<bool>("freeze");
        QTest::newRow("killed") << false;
        // Stopped: its sockets stay open and nothing more comes from it.
        QTest::newRow("frozen") << true;
    }

    void killedAndFrozenEndsAreNoticed()
    {
        QFETCH(bool, freeze);
        auto end = [freeze](PeerProcess& p) {
            if (freeze)
                ::kill(static_cast<pid_t>(p.pid()), SIGSTOP);
            else
                p.kill();
        };
        auto resume = [freeze](PeerProcess& p) {
            if (freeze)
                ::kill(static_cast<pid_t>(p.pid()), SIGCONT);
        };
        // The C-end goes: the B-end's session ends within 5 s.
        {
            PeerProcess cEnd;
            QVERIFY(startRegistered(cEnd));
            QVERIFY(enableAdapter());
            void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode);
            SessionGuard guard{m_libs.destroy, session};
            QTRY_VERIFY2_WITH_TIMEOUT(m_libs.status(session) == BW_RELAY_CONNECTED, describe(session).constData(), 8000);
            QElapsedTimer t;
            t.start();
            end(cEnd);
            QTRY_COMPARE_WITH_TIMEOUT(m_libs.status(session), int(BW_RELAY_DISCONNECTED), 5000);
            qInfo("B-end saw the end %lld ms after the C-end went", t.elapsed());
            resume(cEnd);
        }
        // The B-end goes: the C-end's session ends within 5 s, its registration stays.
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        PeerProcess bEnd;
        QVERIFY(enableAdapter(m_bPrefix + "killed_"));
        QVERIFY(bEnd.start({QStringLiteral("server"), QStringLiteral("127.0.0.1"), QString::fromLatin1(kSerial),
                               QString::number(kCode)},
            m_bPrefix + "killed_"));
        QVERIFY2(bEnd.waitFor(QStringLiteral("status 0"), 8000), qPrintable(bEnd.lines()));
        QVERIFY(cEnd.waitFor(QStringLiteral("session with"), 5000));
        QElapsedTimer t;
        t.start();
        end(bEnd);
        const int before = cEnd.lines().count(QStringLiteral("registered"));
        QTRY_VERIFY_WITH_TIMEOUT(cEnd.waitFor(QStringLiteral("registered"), 100)
                && cEnd.lines().count(QStringLiteral("registered")) > before,
            5000);
        qInfo("C-end saw the end %lld ms after the B-end went", t.elapsed());
        resume(bEnd);
        removeAdapter(m_bPrefix + "killed_");
    }

    void p2pSessionWithProof()
    {
        QVERIFY(enableAdapter());
        const quint16 port = freePort();
        int status = -9;
        void* listener = m_libs.listen("", port, &status);
        QVERIFY(listener);
        QCOMPARE(status, int(BW_LISTEN_OK));
        setMode(0x10);
        char serial[20];
        char text1[BW_REMOTE_STATE_TEXT_SIZE];
        char text2[BW_REMOTE_STATE_TEXT_SIZE];
        QCOMPARE(m_libs.listenState(listener, serial, text1, text2), 1);

        // Garbage and a cut frame on the P2P port do not take the listener.
        QTcpSocket garbage;
        garbage.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(garbage.waitForConnected(3000));
        garbage.write(QByteArray(70000, 'G'));
        garbage.waitForBytesWritten(3000);
        QTRY_VERIFY_WITH_TIMEOUT(garbage.state() == QAbstractSocket::UnconnectedState, 8000);
        QCOMPARE(m_libs.listenState(listener, serial, text1, text2), 1);
        // A frame cut short holds the listener for its answer time (5 s) at most.
        QTcpSocket cut;
        cut.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(cut.waitForConnected(3000));
        cut.write(QByteArray("\x00\x00\x00\x40\x0f\x01", 6));
        QVERIFY(cut.waitForBytesWritten(3000));
        QTRY_VERIFY_WITH_TIMEOUT(cut.state() == QAbstractSocket::UnconnectedState, 8000);
        QCOMPARE(m_libs.listenState(listener, serial, text1, text2), 1);

        // A C-end with the wrong code is refused after the check through the tunnel.
        PeerProcess wrong;
        QVERIFY(wrong.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(port),
                                QString::fromLatin1(kSerial), QString::number(kCode + 1), QString::fromLatin1(kKey)},
            m_cPrefix));
        QVERIFY2(wrong.waitFor(QStringLiteral("status %1").arg(BW_CLIENT_REFUSED), 10000), qPrintable(wrong.lines()));
        QTRY_COMPARE_WITH_TIMEOUT(m_libs.listenState(listener, serial, text1, text2), 1, 3000);

        // The right one links; the B-end's service sees its adapter, a reboot goes through.
        PeerProcess cEnd;
        QVERIFY(cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(port),
                               QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
            m_cPrefix));
        QVERIFY2(cEnd.waitFor(QStringLiteral("status %1 state 1").arg(BW_CLIENT_LINKED), 10000),
            qPrintable(cEnd.lines() + QLatin1Char(' ') + QString::fromLatin1(text1)));
        QTRY_COMPARE_WITH_TIMEOUT(m_libs.listenState(listener, serial, text1, text2), 0, 3000);
        QCOMPARE(QByteArray(serial), QByteArray(kSerial));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        const int reboots = rebootCount();
        MT7628Config module;
        QVERIFY(module.RebootVci(remote::virtualAdapterAddress().c_str()));
        QCOMPARE(rebootCount(), reboots + 1);
        QVERIFY(m_libs.listenBytesC(listener) > 0);

        // The C-end is killed: the listener reports the end.
        cEnd.kill();
        QTRY_VERIFY_WITH_TIMEOUT(m_libs.listenState(listener, serial, text1, text2) < 0, 5000);
        // One session per listener: a later C-end is refused at once.
        QTcpSocket late;
        late.connectToHost(QStringLiteral("127.0.0.1"), port);
        QVERIFY(!late.waitForConnected(2000));
        m_libs.unlisten(listener);

        // Without the virtual adapter the listener refuses to start.
        removeAdapter(m_bPrefix);
        listener = m_libs.listen("", freePort(), &status);
        QCOMPARE(status, int(BW_LISTEN_NO_ADAPTER));
        m_libs.unlisten(listener);
    }

    void cleanupTestCase()
    {
        m_serviceB.stop();
        m_serviceC.stop();
        // Secrets never reach the logs of this run.
        const QByteArray log = m_relay.log();
        QVERIFY(!log.contains(QByteArray::number(kCode)));
        QVERIFY(!log.contains(kKey));
    }

private:
    QByteArray describe(void* session)
    {
        char text1[BW_REMOTE_STATE_TEXT_SIZE];
        char text2[BW_REMOTE_STATE_TEXT_SIZE];
        const int state = m_libs.state(session, text1, text2);
        QByteArray out = "status " + QByteArray::number(m_libs.status(session));
        out += " state " + QByteArray::number(state);
        out += ' ';
        out += QByteArray(text1);
        out += " / ";
        out += QByteArray(text2);
        return out;
    }

    bool startRegistered(PeerProcess& cEnd)
    {
        if (!cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(m_relay.port()),
                            QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
                m_cPrefix))
            return false;
        if (!cEnd.waitFor(QStringLiteral("status 1 state 1 registered"), 8000)) {
            qWarning("C-end: %s", qPrintable(cEnd.lines()));
            return false;
        }
        return true;
    }

    bool enableAdapter(const QByteArray& prefix = QByteArray())
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!prefix.isEmpty())
            env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(prefix));
        tool.setProcessEnvironment(env);
        tool.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-e")});
        return tool.waitForFinished(5000) && tool.exitCode() == 0;
    }

    void removeAdapter(const QByteArray& prefix)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(prefix));
        tool.setProcessEnvironment(env);
        tool.start(testBinary("VirtualNetLoopback"), {QStringLiteral("-d")});
        tool.waitForFinished(5000);
    }

    void setMode(unsigned char mode)
    {
        platform::SharedMemory block;
        if (block.open(kCommandBlock, kBlockBytes))
            block.data()[0] = mode;
    }

    int rebootCount()
    {
        const QJsonObject dump = QJsonDocument::fromJson(m_emulator.command(QStringLiteral("dump")).toUtf8()).object();
        return dump.value(QStringLiteral("adapters")).toArray().at(0).toObject().value(QStringLiteral("rebootCount")).toInt(-1);
    }

    TestEnvironment m_env;
    QByteArray m_bPrefix;
    QByteArray m_cPrefix;
    TestTls m_tls;
    RelayProcess m_relay;
    CloudEmulator m_cloud;
    EmulatorProcess m_emulator;
    ServiceProcess m_serviceC;
    ServiceProcess m_serviceB;
    Libraries m_libs;
};

QTEST_GUILESS_MAIN(RemoteSessionTest)
#include "tst_remote_session_e2e.moc"
