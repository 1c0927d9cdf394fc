// Remote sessions end to end with real processes: the relay (test CA), the
// cloud emulator as relay directory and mapping service, the adapter emulator,
// a C-end and a B-end BrindlewickService with their own blocks. The B-end is
// this process: RemoteEngine over the real libraries, and the libraries
// themselves. The C-end is this program with "--c-end" (RemoteEngine: code
// upkeep through MT7628Config and the registration round) or remote_link_peer
// (ClientRemote alone). The B-end's service must publish the C-end's adapter
// through the virtual adapter, and a reboot sent to that address must reach
// the emulator.
#include "../remote_link/RemoteWorld.h"
#include "FakeRemoteLibrary.h"

#include "CloudEmulator.h"
#include "TestTls.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include "device/CommandBlock.h"
#include "device/VciStatusRecord.h"

#include "MT7628Config.h"
#include "platform/Library.h"
#include "platform/NetAdapters.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteApi.h"
#include "remote/RemoteEngine.h"
#include "remote/SessionRecord.h"
#include "remote/VirtualAdapter.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace remote;

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const char* const kKey = "KX0001";
const int kCode = 246810;

QString text(const char* field, std::size_t size)
{
    return QString::fromLatin1(field, static_cast<int>(qstrnlen(field, size)));
}

template <typename F>
bool resolve(platform::Library& library, F& function, const char* name)
{
    function = library.resolveFunction<F>(name);
    return function != nullptr;
}

// The B-end's session libraries, called directly.
struct Libraries {
    platform::Library server;
    platform::Library listener;
    decltype(&ServerRemote_Lookup) lookup = nullptr;
    decltype(&ServerRemote_Connect) connect = nullptr;
    decltype(&ServerRemote_Status) status = nullptr;
    decltype(&ServerRemote_State) state = nullptr;
    decltype(&ServerRemote_Destroy) destroy = nullptr;
    decltype(&LocalServerRemote_Construct) listen = nullptr;
    decltype(&LocalServerRemote_State) listenState = nullptr;
    decltype(&LocalServerRemote_BytesC) listenBytesC = nullptr;
    decltype(&LocalServerRemote_Destruct) unlisten = nullptr;

    bool load()
    {
        const std::string dir = QFile::encodeName(testBinary("")).toStdString();
        return server.load(dir + "ServerRemote.so") && listener.load(dir + "LocalServerRemote.so")
            && resolve(server, lookup, "ServerRemote_Lookup") && resolve(server, connect, "ServerRemote_Connect")
            && resolve(server, status, "ServerRemote_Status") && resolve(server, state, "ServerRemote_State")
            && resolve(server, destroy, "ServerRemote_Destroy")
            && resolve(listener, listen, "LocalServerRemote_Construct")
            && resolve(listener, listenState, "LocalServerRemote_State")
            && resolve(listener, listenBytesC, "LocalServerRemote_BytesC")
            && resolve(listener, unlisten, "LocalServerRemote_Destruct");
    }
};

// The C-end: this PC's adapter from its status block, its code through
// MT7628Config, the relay from the directory, registered every round. Prints
// "registered" each time a registration is made; the lines "off" and "on" on
// its input work the remote switch ("off" is printed once it took effect).
// Runs until killed (at most two minutes).
int runCEnd()
{
    std::unique_ptr<RemoteLibrary> library = loadRemoteLibraries(QFile::encodeName(testBinary("")).toStdString());
    MT7628Config module;
    RemoteEngine::Hooks h = quietHooks();
    h.toast = [](const QString& t, int) { std::printf("toast %s\n", qPrintable(t)); };
    h.remoteAdapterPresent = [] { return false; };
    h.sleep = [](std::chrono::milliseconds ms) {
        std::this_thread::sleep_for(ms);
        return true;
    };
    h.device = [] {
        const VciStatusRecord r = readStatusBlock().record;
        DeviceView d;
        d.sn = text(r.SN, sizeof r.SN);
        d.vciIP = text(r.vciIP, sizeof r.vciIP).toStdString();
        d.key = text(r.key, sizeof r.key).toStdString();
        d.portNumber = text(r.portNumber, sizeof r.portNumber);
        d.connType = r.connType;
        return d;
    };
    h.getRemoteKey = [&module](const DeviceView& d, std::string& key) {
        return module.GetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    h.setRemoteKey = [&module](const DeviceView& d, const std::string& key) {
        return module.SetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    h.codeFilePath = QDir::tempPath() + QStringLiteral("/tst_remote_e2e_c_end.ini");
    Timing timing;
    timing.keyQueryPeriod = 200;
    RemoteEngine engine(*library, h, timing);
    std::atomic<int> switchTo{-1}; // -1 nothing asked, 0 on, 1 off
    std::thread input([&switchTo] {
        char line[16];
        while (std::fgets(line, sizeof line, stdin))
            switchTo = qstrncmp(line, "off", 3) == 0 ? 1 : 0;
    });
    input.detach();
    bool told = false;
    for (int round = 0; round < 600; ++round) {
        const int asked = switchTo.exchange(-1);
        if (asked >= 0) {
            engine.setRemoteDisabled(asked == 1);
            if (asked == 1) {
                std::printf("off\n");
                std::fflush(stdout);
            }
            told = false;
        }
        engine.refresh();
        engine.registrationRound();
        if (!told && engine.state().relayRegistration()) {
            std::printf("registered\n");
            std::fflush(stdout);
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(asked >= 0 ? 0 : 200));
    }
    return 0;
}

} // namespace

class TestRemoteE2e : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString failed = m_world.start(kCode, {QStringLiteral("--max-wrong-address"), QStringLiteral("1000")},
            {QStringLiteral("--reboot-ms"), QStringLiteral("300")});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(m_libs.load());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QStringLiteral("/dev/shm/%1KestrixVciShareMemory-%2")
                                                   .arg(QString::fromLatin1(m_world.cPrefix))
                                                   .arg(::getuid())),
            5000);

        m_library = loadRemoteLibraries(QFile::encodeName(testBinary("")).toStdString());
        QVERIFY2(m_library->available(), m_library->problem().c_str());
        RemoteEngine::Hooks h = quietHooks(); // the B-end has no adapter of its own
        h.toast = [this](const QString& text, int) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_toasts << text;
        };
        h.adapterTool = [](bool enable) { adapterTool(enable ? "-e" : "-d"); };
        h.postMode = [](std::uint8_t mode) { CommandBlock().postMode(mode); };
        h.remoteAdapterPresent = [] {
            for (const platform::NetAdapter& a : platform::listAdapters()) {
                if (a.description == "Brindlewick remoteDiag")
                    return true;
            }
            return false;
        };
        h.sleep = [](std::chrono::milliseconds ms) {
            std::this_thread::sleep_for(ms);
            return true;
        };
        h.sendRecord = [this](RecordEvent event, const QString& sn) {
            QVERIFY(SessionRecordClient(m_world.cloud.httpBase()).post(sn, event));
        };
        h.codeFilePath = m_world.env.path() + QStringLiteral("/longTimeCode.ini");
        Timing timing;
        timing.watchPeriod = 0;
        m_engine = std::make_unique<RemoteEngine>(*m_library, h, timing);
        startCEnd();
    }

    void cleanup()
    {
        setMode(0x11);
        adapterTool("-d");
    }

    // A wrong code: the relay says so, no session starts and nothing is
    // recorded. Bad arguments get no handle; unknown handles are refused, not followed.
    void wrongCodeIsRefused()
    {
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode + 1, 0);
        QCOMPARE(lastToast(), QStringLiteral("Password error"));
        QVERIFY(!m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QVERIFY(records().isEmpty());

        QVERIFY(!m_libs.connect("not an address", kSerial, "--", kCode));
        QVERIFY(!m_libs.connect("127.0.0.1", "BAD SERIAL", "--", kCode));
        int dummy = 0;
        QCOMPARE(m_libs.status(&dummy), int(BW_RELAY_DISCONNECTED));
        m_libs.destroy(&dummy);
    }

    // The B-end finds the C-end through the directory, connects by serial and
    // code; its service shows the C-end's adapter at the virtual address and a
    // reboot sent there reaches the adapter. The end leaves a start and an end
    // record.
    void relaySessionFromStartToEnd()
    {
        char relay[BW_REMOTE_ADDRESS_SIZE] = "x";
        QCOMPARE(m_libs.lookup(kSerial, "246810", relay), 0);
        QCOMPARE(QByteArray(relay), QByteArray("127.0.0.1"));
        QCOMPARE(m_libs.lookup("NOSUCHSERIAL1", "1", relay), 0);
        QCOMPARE(QByteArray(relay), QByteArray());

        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("connection established successfully"));
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QVERIFY(m_engine->state().remoteActive());
        const QByteArray address = QByteArray::fromStdString(remote::virtualAdapterAddress());
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QCOMPARE(statusValue(statusBlockText(), "vciIP"), address);
        MT7628Config module;
        QVERIFY(module.RebootVci(address.constData()));
        QCOMPARE(rebootCount(), 1);
        const auto measured = [this] {
            m_engine->refresh();
            const SessionFigures f = m_engine->state().figures();
            return f.delayB >= 0 && f.bytesB > 0 && f.bytesC > f.bytesB;
        };
        // A ping a second; under a loaded sanitizer run the first round trips
        // can take several seconds (seen in CI beside two other builds).
        QTRY_VERIFY_WITH_TIMEOUT(measured(), 20000);

        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QVERIFY(!m_engine->state().remoteActive());
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        const QJsonArray list = records();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toObject().value(QLatin1String("event")).toString(), QStringLiteral("start"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QCOMPARE(list.at(1).toObject().value(QLatin1String("sn")).toString(), QString::fromLatin1(kSerial));
    }

    // "Remote Off" on the C-end ends its registration at once: a B-end with
    // the right code is refused right after, and reaches the adapter again
    // once the C-end switches back on.
    void remoteOffRefusesSessions()
    {
        m_cEnd.write("off\n");
        QVERIFY(waitForCEnd("off"));
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("VCI is not online"));
        QVERIFY(!m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QCOMPARE(records().size(), 2);

        m_cEnd.write("on\n");
        QVERIFY(waitForCEnd("registered"));
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QCOMPARE(lastToast(), QStringLiteral("connection established successfully"));
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QCOMPARE(records().size(), 4);
    }

    // The C-end goes away mid-session: the B-end's watch ends the session and
    // records its end once.
    void lostSessionEndsOnce()
    {
        m_engine->relayAttempt(QString::fromLatin1(kSerial), kCode, 0);
        QVERIFY(m_engine->attemptFinished(QString::fromLatin1(kSerial)));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        m_cEnd.kill();
        m_cEnd.waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT((m_engine->refresh(), !m_engine->state().remoteActive()), 10000);
        for (int i = 0; i < 3; ++i)
            m_engine->refresh();
        const QJsonArray list = records();
        QCOMPARE(list.size(), 6);
        QCOMPARE(list.at(4).toObject().value(QLatin1String("event")).toString(), QStringLiteral("start"));
        QCOMPARE(list.at(5).toObject().value(QLatin1String("event")).toString(), QStringLiteral("end"));
        QCOMPARE(m_engine->endSession(QString::fromLatin1(kSerial)), int(PageRemote));
        QCOMPARE(records().size(), 6);
    }

    // A record with another pattern's authorization is refused and not kept.
    void forgedRecordRefused()
    {
        QVERIFY(!SessionRecordClient(m_world.cloud.httpBase(), QByteArray("not-the-pattern:{sn}:{event}"))
                     .post(QString::fromLatin1(kSerial), RecordEvent::Start));
        QCOMPARE(records().size(), 6);
        QVERIFY(!SessionRecordClient(QStringLiteral("http://127.0.0.1:1/"))
                     .post(QString::fromLatin1(kSerial), RecordEvent::End));
    }

    // The virtual adapter tool: the address it enables is listed, -d removes it, misuse is refused.
    void virtualAdapterComesAndGoes()
    {
        int code = -1;
        const QString address
            = QString::fromLatin1(adapterTool("-e", {}, &code)).section(QLatin1Char(' '), -1).trimmed();
        QCOMPARE(code, 0);
        QVERIFY(address.startsWith(QStringLiteral("127.0.101.")));
        QCOMPARE(address.toStdString(), remote::virtualAdapterAddress());
        bool listed = false;
        for (const platform::NetAdapter& a : platform::listAdapters())
            listed = listed || (a.description == "Brindlewick remoteDiag" && a.ipv4 == address.toStdString());
        QVERIFY(listed);

        adapterTool("-d", {}, &code);
        QCOMPARE(code, 0);
        QVERIFY(remote::virtualAdapterAddress().empty());
        QByteArray complaint;
        adapterTool("-x", {}, &code, &complaint);
        QCOMPARE(code, 2);
        QVERIFY(complaint.contains("usage"));
    }

    // Someone who knows the serial registers it first with another key: the
    // adapter's own C-end still takes it over (its adapter answers the
    // relay's check through the link), the B-end reaches the adapter with
    // its code, and the squatter cannot come back.
    void squatterCannotKeepTheAdapterOut()
    {
        RawRelayClient squatter;
        QVERIFY(squatter.connect(m_world.relay.port()));
        QVERIFY(squatter.send(remote::encodeRegister({kSerial, "SQUATTER", 999999})));
        QCOMPARE(squatter.ackStatus(), int(remote::kStatusOk));

        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        QVERIFY(squatter.closedWithin(3000));
        void* session = connectSession(cEnd);
        QVERIFY(session);
        SessionGuard guard{m_libs.destroy, session};

        RawRelayClient again;
        QVERIFY(again.connect(m_world.relay.port()));
        QVERIFY(again.send(remote::encodeRegister({kSerial, "SQUATTER", 999999})));
        QCOMPARE(again.ackStatus(), int(remote::kStatusRefused));
    }

    // A relay that refuses more lookups from this address leaves the lookup
    // failed, not the adapter "offline".
    void refusedLookupIsAFailure()
    {
        RelayProcess strict;
        QVERIFY2(strict.start(m_world.tls.serverCert(), m_world.tls.serverKey(),
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

    void anotherAdapterIsNeverReached()
    {
        PeerProcess cEnd;
        QVERIFY(startRegistered(cEnd));
        void* session = connectSession(cEnd);
        QVERIFY(session);
        SessionGuard guard{m_libs.destroy, session};
        setMode(0x10);
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
        // A second B-end is refused while this one holds the adapter.
        QVERIFY(enableAdapter(m_world.bPrefix + "second_"));
        PeerProcess second;
        QVERIFY(second.start({QStringLiteral("server"), QStringLiteral("127.0.0.1"), QString::fromLatin1(kSerial),
                                 QString::number(kCode)},
            m_world.bPrefix + "second_"));
        QVERIFY2(second.waitFor(QStringLiteral("status %1").arg(BW_RELAY_BUSY), 8000), qPrintable(second.lines()));
        removeAdapter(m_world.bPrefix + "second_");

        // The C-end's adapter is swapped for another one at the same address:
        // the tunnel stops reaching it, so the B-end's service loses it.
        QCOMPARE(m_world.emulator.command(QStringLiteral("serial 1 OTHERADAPTER0001")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(), 8000);
        QCOMPARE(
            m_world.emulator.command(QStringLiteral("serial 1 %1").arg(QLatin1String(kSerial))), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(statusValue(statusBlockText(), "SN"), QByteArray(kSerial), 8000);
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
            void* session = connectSession(cEnd);
            QVERIFY(session);
            SessionGuard guard{m_libs.destroy, session};
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
        QVERIFY(enableAdapter(m_world.bPrefix + "killed_"));
        QVERIFY(bEnd.start({QStringLiteral("server"), QStringLiteral("127.0.0.1"), QString::fromLatin1(kSerial),
                               QString::number(kCode)},
            m_world.bPrefix + "killed_"));
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
        removeAdapter(m_world.bPrefix + "killed_");
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
            m_world.cPrefix));
        QVERIFY2(wrong.waitFor(QStringLiteral("status %1").arg(BW_CLIENT_REFUSED), 10000), qPrintable(wrong.lines()));
        QTRY_COMPARE_WITH_TIMEOUT(m_libs.listenState(listener, serial, text1, text2), 1, 3000);

        // The right one links; the B-end's service sees its adapter, a reboot goes through.
        PeerProcess cEnd;
        QVERIFY(cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(port),
                               QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
            m_world.cPrefix));
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
        removeAdapter(m_world.bPrefix);
        listener = m_libs.listen("", freePort(), &status);
        QCOMPARE(status, int(BW_LISTEN_NO_ADAPTER));
        m_libs.unlisten(listener);
    }

    void cleanupTestCase()
    {
        m_engine.reset();
        m_cEnd.kill();
        m_cEnd.waitForFinished(5000);
        m_world.serviceB.stop();
        m_world.serviceC.stop();
        adapterTool("-d");
        // Secrets never reach the logs of this run.
        const QByteArray log = m_world.relay.log();
        QVERIFY(!log.contains(QByteArray::number(kCode)));
        QVERIFY(!log.contains(kKey));
    }

private:
    void startCEnd()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(m_world.cPrefix));
        m_cEnd.setProcessEnvironment(env);
        m_cEnd.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_cEnd.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--c-end")});
        QVERIFY(m_cEnd.waitForStarted(5000));
        QVERIFY(waitForCEnd("registered"));
    }

    // Waits for the C-end to print `word` (bounded); what came before it is used up.
    bool waitForCEnd(const char* word)
    {
        for (int i = 0; i < 150; ++i) {
            m_cEndOut += m_cEnd.readAllStandardOutput();
            const int at = m_cEndOut.indexOf(word);
            if (at >= 0) {
                m_cEndOut.remove(0, at + int(qstrlen(word)));
                return true;
            }
            m_cEnd.waitForReadyRead(100);
        }
        return false;
    }

    QString lastToast()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_toasts.isEmpty() ? QString() : m_toasts.last();
    }

    QJsonArray records()
    {
        QNetworkAccessManager manager;
        QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(m_world.cloud.httpBase()
            + QStringLiteral("__control/mapping-records?sn=") + QString::fromLatin1(kSerial))));
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(5000);
        const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        return body.value(QLatin1String("records")).toArray();
    }

    QByteArray describe(void* session)
    {
        char text1[BW_REMOTE_STATE_TEXT_SIZE];
        char text2[BW_REMOTE_STATE_TEXT_SIZE];
        const int state = m_libs.state(session, text1, text2);
        return "status " + QByteArray::number(m_libs.status(session)) + " state " + QByteArray::number(state) + ' '
            + QByteArray(text1) + " / " + QByteArray(text2);
    }

    bool startRegistered(PeerProcess& cEnd)
    {
        if (!cEnd.start({QStringLiteral("client"), QStringLiteral("127.0.0.1"), QString::number(m_world.relay.port()),
                            QString::fromLatin1(kSerial), QString::number(kCode), QString::fromLatin1(kKey)},
                m_world.cPrefix))
            return false;
        if (!cEnd.waitFor(QStringLiteral("status 1 state 1 registered"), 8000)) {
            qWarning("C-end: %s", qPrintable(cEnd.lines()));
            return false;
        }
        return true;
    }

    // A relay session of the library from this B-end to a registered C-end,
    // once both ends report it; null otherwise (the session is ended then).
    void* connectSession(PeerProcess& cEnd)
    {
        if (!enableAdapter())
            return nullptr;
        void* session = m_libs.connect("127.0.0.1", kSerial, "--", kCode);
        QElapsedTimer t;
        t.start();
        while (session && m_libs.status(session) != BW_RELAY_CONNECTED && t.elapsed() < 8000)
            QTest::qWait(20);
        if (session && m_libs.status(session) == BW_RELAY_CONNECTED
            && cEnd.waitFor(QStringLiteral("session with"), 5000))
            return session;
        qWarning("session: %s", session ? describe(session).constData() : "no handle");
        if (session)
            m_libs.destroy(session);
        return nullptr;
    }

    // Runs the virtual adapter tool with `flag` under `prefix` (this instance's
    // when empty): its output, its exit code and error output where asked.
    static QByteArray adapterTool(
        const char* flag, const QByteArray& prefix = {}, int* code = nullptr, QByteArray* errors = nullptr)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!prefix.isEmpty())
            env.insert(QStringLiteral("BRINDLEWICK_SHM_PREFIX"), QString::fromLatin1(prefix));
        tool.setProcessEnvironment(env);
        tool.start(testBinary("VirtualNetLoopback"), {QString::fromLatin1(flag)});
        const bool done = tool.waitForFinished(5000);
        if (code)
            *code = done ? tool.exitCode() : -1;
        if (errors)
            *errors = tool.readAllStandardError();
        return tool.readAllStandardOutput();
    }
    bool enableAdapter(const QByteArray& prefix = {})
    {
        int code = -1;
        adapterTool("-e", prefix, &code);
        return code == 0;
    }
    void removeAdapter(const QByteArray& prefix) { adapterTool("-d", prefix); }

    void setMode(unsigned char mode)
    {
        platform::SharedMemory block;
        if (block.open(kCommandBlock, kBlockBytes))
            block.data()[0] = mode;
    }

    int rebootCount()
    {
        const QJsonObject dump
            = QJsonDocument::fromJson(m_world.emulator.command(QStringLiteral("dump")).toUtf8()).object();
        return dump.value(QStringLiteral("adapters"))
            .toArray()
            .at(0)
            .toObject()
            .value(QStringLiteral("rebootCount"))
            .toInt(-1);
    }

    RemoteWorld m_world;
    Libraries m_libs;
    QProcess m_cEnd;
    QByteArray m_cEndOut;
    std::unique_ptr<RemoteLibrary> m_library;
    std::unique_ptr<RemoteEngine> m_engine;
    std::mutex m_mutex;
    QStringList m_toasts;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--c-end") == 0)
        return runCEnd();
    TestRemoteE2e test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_remote_e2e.moc"
