// The session logic against a fake of the session libraries: what each status
// of a relay attempt tells the technician, the page a lost or ended session
// returns to, the start and end records (the end once), P2P listen and
// connect, the registration round and the code upkeep; the shared state's
// objects and all the subsystem's threads at once.
#include "FakeRemoteLibrary.h"

#include "remote/RemoteCode.h"
#include "remote/RemoteEngine.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <functional>
#include <thread>

using namespace remote;

namespace {

// A fake adapter's key store, reached through the engine's key hooks.
struct FakeAdapter {
    std::string key;
    bool notSupported = false;
    bool silent = false; // no answer at all (rebooting)
    int sets = 0;
    int gets = 0;
};

struct Harness {
    FakeRemoteLibrary library;
    FakeAdapter adapter;
    DeviceView device;
    QStringList toasts;
    std::vector<bool> tool;
    std::vector<int> modes;
    std::vector<std::pair<RecordEvent, QString>> records;
    std::vector<int> pages;
    int currentPage = 0;
    int adapterPolls = 0;
    int adapterAppearsAfter = 0; // -1: never
    int listenEnded = 0;
    std::chrono::steady_clock::time_point now = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    QTemporaryDir dir;
    std::unique_ptr<RemoteEngine> engine;
    std::function<void()> duringWait; // runs in each of the engine's waits

    Harness()
    {
        device.sn = QStringLiteral("M5EA0001XJ7B0001");
        device.vciIP = "127.0.100.1";
        device.key = "K3Y";
        device.connType = 0;
        RemoteEngine::Hooks h;
        h.toast = [this](const QString& text, int) { toasts << text; };
        h.adapterTool = [this](bool on) { tool.push_back(on); };
        h.postMode = [this](std::uint8_t mode) { modes.push_back(mode); };
        h.remoteAdapterPresent = [this] {
            ++adapterPolls;
            return adapterAppearsAfter >= 0 && adapterPolls > adapterAppearsAfter;
        };
        h.sleep = [this](std::chrono::milliseconds ms) {
            now += ms;
            if (duringWait)
                duringWait();
            return true;
        };
        h.sendRecord = [this](RecordEvent e, const QString& sn) { records.emplace_back(e, sn); };
        h.showPage = [this](int page) {
            pages.push_back(page);
            currentPage = page;
        };
        h.currentPage = [this] { return currentPage; };
        h.device = [this] { return device; };
        h.getRemoteKey = [this](const DeviceView&, std::string& key) {
            ++adapter.gets;
            if (adapter.silent)
                return false;
            key = adapter.notSupported ? std::string(kNotSupported) : adapter.key;
            return true;
        };
        h.setRemoteKey = [this](const DeviceView&, const std::string& key) {
            ++adapter.sets;
            adapter.key = key;
            return true;
        };
        h.listenEnded = [this] { ++listenEnded; };
        h.clock = [this] { return now; };
        h.codeFilePath = dir.filePath(QStringLiteral("longTimeCode.ini"));
        engine = std::make_unique<RemoteEngine>(library, std::move(h));
    }
    void later(int ms) { now += std::chrono::milliseconds(ms); }
    int recordsOf(RecordEvent e) const
    {
        return static_cast<int>(std::count_if(records.begin(), records.end(), [e](auto& r) { return r.first == e; }));
    }
};

const QString kPartner = QStringLiteral("M5EA0002XJ7B0002");

} // namespace

class TestRemoteEngine : public QObject {
    Q_OBJECT
private slots:
    // Each status the relay reports ends the attempt with its message; only a
    // connected session is kept, every failure switches the adapter off again.
    void relayAttemptStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("toast");
        QTest::newRow("connected") << 0 << "connection established successfully";
        QTest::newRow("unreachable") << 2 << "Failed to connect to the server";
        QTest::newRow("offline") << 4 << "VCI is not online";
        QTest::newRow("wrong code") << 5 << "Password error";
        QTest::newRow("disconnected") << -2 << "The server is disconnected";
        QTest::newRow("busy") << 6 << "The VCI is in a session with another technician";
        QTest::newRow("no answer") << 1 << "The server response timed out";
    }
    void relayAttemptStatus()
    {
        QFETCH(int, status);
        QFETCH(QString, toast);
        Harness h;
        h.library.relayStatus = status;
        h.engine->relayAttempt(kPartner, 123456, 2);

        QCOMPARE(h.toasts, QStringList{toast});
        QCOMPARE(h.library.relayConnects.size(), std::size_t(1));
        QCOMPARE(h.library.relayConnects[0], std::string("127.0.0.9/M5EA0002XJ7B0002/--/123456"));
        QCOMPARE(h.library.lookups[0], std::string("M5EA0002XJ7B0002/123456"));
        const bool connected = status == 0;
        QCOMPARE(h.engine->state().remoteSession() != nullptr, connected);
        QCOMPARE(h.library.alive.load(), connected ? 1 : 0);
        QCOMPARE(h.tool.front(), true);
        QCOMPARE(h.tool.back(), connected); // "-d" on every failure
        if (connected) {
            QCOMPARE(h.modes, (std::vector<int>{kLocalMode, kRemoteMode}));
            QCOMPARE(h.library.lastRelay.lock()->doip.load(), 2);
        }
        // The wait for a status that never comes is bounded (8 s of 10 ms polls).
        if (status == 1)
            QVERIFY(h.library.lastRelay.expired());
        QCOMPARE(h.engine->attemptFinished(kPartner), connected);
        QCOMPARE(h.recordsOf(RecordEvent::Start), connected ? 1 : 0);
    }

    // An empty lookup ends at once: no wait for the adapter, no connect.
    void relayAttemptPartnerOffline()
    {
        Harness h;
        h.library.lookupAnswer.clear();
        h.engine->relayAttempt(kPartner, 654321, 0);
        QCOMPARE(h.toasts, QStringList{QStringLiteral("VCI is not online")});
        QCOMPARE(h.adapterPolls, 0);
        QVERIFY(h.library.relayConnects.empty());
        QCOMPARE(h.tool, (std::vector<bool>{true, false}));
    }

    // The virtual adapter must appear within 6 s; polled every 100 ms.
    void relayAttemptAdapterWait()
    {
        Harness h;
        h.adapterAppearsAfter = 30;
        h.engine->relayAttempt(kPartner, 111111, 0);
        QCOMPARE(h.toasts, QStringList{QStringLiteral("connection established successfully")});

        Harness never;
        never.adapterAppearsAfter = -1;
        never.engine->relayAttempt(kPartner, 111111, 0);
        QCOMPARE(never.toasts, QStringList{QStringLiteral("enable netcard failure")});
        QCOMPARE(never.adapterPolls, 61);
        QVERIFY(never.library.relayConnects.empty());
        QCOMPARE(never.tool.back(), false);

        Harness refused;
        refused.library.relayObject = false;
        refused.engine->relayAttempt(kPartner, 111111, 0);
        QCOMPARE(refused.toasts, QStringList{QStringLiteral("connect server timeout")});
    }

    // A relay session that reports a non-zero state ends: records "end" once,
    // returns from the session page to the remote page, adapter off, local mode.
    void sessionLostEndsOnce()
    {
        Harness h;
        h.engine->relayAttempt(kPartner, 123456, 0);
        QVERIFY(h.engine->attemptFinished(kPartner));
        QVERIFY(h.engine->state().remoteActive());
        h.currentPage = PageSession;

        auto session = h.library.lastRelay.lock();
        {
            std::lock_guard<std::mutex> lock(session->mutex);
            session->reading.delayB = 30;
            session->reading.delayC = 51;
            session->reading.bytesB = 2048;
            session->reading.peerText = "peer";
        }
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.engine->state().figures().delayB, 30);
        QCOMPARE(h.engine->state().figures().bytesB, std::uint64_t(2048));
        QCOMPARE(h.engine->state().figures().peerText, QStringLiteral("peer"));

        // Polled at most once per 2 s.
        h.engine->refresh();
        QCOMPARE(session->polls.load(), 1);

        session->state = 3;
        session.reset();
        h.later(2000);
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.pages, std::vector<int>{PageRemote});
        QVERIFY(!h.engine->state().remoteActive());
        QVERIFY(!h.engine->state().activeSession());
        QCOMPARE(h.engine->state().figures().delayB, -1);
        QCOMPARE(h.library.alive.load(), 0);
        QCOMPARE(h.tool.back(), false);
        QCOMPARE(h.modes.back(), int(kLocalMode));

        h.later(5000);
        h.engine->refresh();
        h.engine->endSession(kPartner);
        QCOMPARE(h.recordsOf(RecordEvent::End), 1);
        QCOMPARE(h.records.back().second, kPartner);
    }

    // A lost session while another page shows leaves that page.
    void sessionLostElsewhereKeepsPage()
    {
        Harness h;
        h.engine->relayAttempt(kPartner, 123456, 0);
        h.engine->attemptFinished(kPartner);
        h.currentPage = 22;
        auto session = h.library.lastRelay.lock();
        QVERIFY(session);
        session->state = -2;
        session.reset();
        h.engine->refresh();
        QVERIFY(h.pages.empty());
        QCOMPARE(h.recordsOf(RecordEvent::End), 1);
    }

    // The user ends a relay session: page 1, one end record; a P2P one: page 20.
    void userEndsSession()
    {
        Harness h;
        h.engine->relayAttempt(kPartner, 123456, 0);
        h.engine->attemptFinished(kPartner);
        QCOMPARE(h.engine->endSession(kPartner), int(PageRemote));
        QCOMPARE(h.recordsOf(RecordEvent::End), 1);
        QCOMPARE(h.library.alive.load(), 0);
        QVERIFY(!h.engine->state().remoteActive());
        QCOMPARE(h.modes.back(), int(kLocalMode));

        Harness p;
        QVERIFY(p.engine->p2pListen(6000, 1));
        QCOMPARE(p.engine->endSession(QString()), int(PageP2P));
        QCOMPARE(p.listenEnded, 1);
        QVERIFY(p.records.empty());
        QCOMPARE(p.library.alive.load(), 0);
    }

    // Listen: refused statuses give no listener; construction is retried a bounded number of times.
    void p2pListen()
    {
        Harness h;
        QVERIFY(h.engine->p2pListen(5000, 3));
        QCOMPARE(h.library.listenPorts, std::vector<int>{5000});
        QCOMPARE(h.modes, std::vector<int>{kRemoteMode});
        QVERIFY(h.engine->p2pListen(5000, 3)); // already listening: no second listener
        QCOMPARE(h.library.listenCalls, 1);

        Harness taken;
        taken.library.listenStatus = BW_LISTEN_BIND_FAILED;
        QVERIFY(!taken.engine->p2pListen(5000, 0));
        QVERIFY(!taken.engine->state().p2pListener());
        QCOMPARE(taken.library.alive.load(), 0);

        Harness flaky;
        flaky.library.listenNullTimes = 2;
        QVERIFY(flaky.engine->p2pListen(5001, 0));
        QCOMPARE(flaky.library.listenCalls, 3);

        // The listener is made once the virtual adapter is there.
        Harness late;
        late.adapterAppearsAfter = 20;
        QVERIFY(late.engine->p2pListen(5002, 0));
        QCOMPARE(late.adapterPolls, 21);
        QCOMPARE(late.library.listenCalls, 1);

        Harness dead;
        dead.library.listenNullTimes = 1000;
        QVERIFY(!dead.engine->p2pListen(5001, 0));
        QCOMPARE(dead.library.listenCalls, 5);
    }

    // The listener's watch: a linked client opens the session page once with
    // the pending DoIP mode; a failed listener returns to the P2P page.
    void listenerWatch()
    {
        Harness h;
        h.device.sn.clear(); // the B-end needs no adapter of its own
        h.currentPage = PageP2P;
        h.engine->p2pListen(6000, 2);
        auto listener = h.library.lastListener.lock();
        QVERIFY(listener);
        listener->state = 1; // waiting for a client
        QVERIFY(!h.engine->refresh());
        QVERIFY(!h.engine->state().remoteActive());

        listener->state = 0;
        listener->reading.serial = "M5EA0003XJ7B0003";
        h.later(2000);
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.pages, std::vector<int>{PageSession});
        QCOMPARE(listener->doip.load(), 2);
        QVERIFY(h.engine->state().remoteActive());
        QCOMPARE(h.engine->state().figures().partnerSerial, QStringLiteral("M5EA0003XJ7B0003"));
        listener->doip = -1;
        h.later(2000);
        h.engine->refresh();
        QCOMPARE(listener->doip.load(), -1); // handed over once
        QCOMPARE(h.pages.size(), std::size_t(1));

        listener->state = 4;
        listener.reset();
        h.later(2000);
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.pages.back(), int(PageP2P));
        QCOMPARE(h.listenEnded, 1);
        QVERIFY(!h.engine->state().remoteActive());
        QCOMPARE(h.library.alive.load(), 0);
        QCOMPARE(h.tool.back(), false);
        QCOMPARE(h.modes.back(), int(kLocalMode));
    }

    // Connect (C-end): needs a code; a link opens page 7, its loss page 20.
    void p2pConnect()
    {
        Harness h;
        QVERIFY(!h.engine->p2pConnect("127.0.0.1", 6000));
        QCOMPARE(h.toasts, QStringList{QStringLiteral("Remote verification code not obtained")});
        QVERIFY(h.library.clientConnects.empty());

        h.engine->state().setRemoteCode(345678);
        h.library.clientStatus = BW_CLIENT_REFUSED;
        QVERIFY(!h.engine->p2pConnect("127.0.0.1", 6000));
        QCOMPARE(h.toasts.back(), QStringLiteral("Connection failed, please try again"));
        QCOMPARE(h.library.alive.load(), 0);

        h.library.clientStatus = BW_CLIENT_LINKED;
        QVERIFY(h.engine->p2pConnect("127.0.0.1", 6000));
        QCOMPARE(h.library.clientConnects.back(), std::string("127.0.0.1:6000/M5EA0001XJ7B0001/345678/K3Y"));
        QCOMPARE(h.pages, std::vector<int>{PageSession});
        QVERIFY(h.engine->state().remoteActive());

        auto client = h.library.lastClient.lock();
        client->state = 1;
        client->reading.delayC = 12;
        h.engine->refresh();
        QCOMPARE(h.engine->state().figures().delayC, 12);
        client->state = 0; // lost
        client.reset();
        h.later(2000);
        h.engine->refresh();
        QCOMPARE(h.pages.back(), int(PageP2P));
        QVERIFY(!h.engine->state().p2pClient());
        QCOMPARE(h.engine->state().figures().delayC, -1);
    }

    // While the status pass records no internet, the relay is neither looked
    // up nor registered with; once online again both happen.
    void offlineLeavesTheRelayAlone()
    {
        Harness h;
        h.device.internetOk = false;
        h.adapter.key = "222333";
        h.engine->refresh();
        QCOMPARE(h.engine->state().remoteCode(), 222333); // the adapter is still asked for its code
        QCOMPARE(h.library.relayAddressCalls.load(), 0);
        QVERIFY(h.engine->state().relayAddress().empty());

        h.device.internetOk = true;
        h.later(2000);
        h.engine->refresh();
        QCOMPARE(h.library.relayAddressCalls.load(), 1);
        QCOMPARE(h.engine->state().relayAddress(), std::string("127.0.0.9"));

        h.device.internetOk = false; // offline with a relay known: no registration attempt
        h.engine->registrationRound();
        QVERIFY(h.library.clientConnects.empty());
        h.device.internetOk = true;
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(1));
    }

    // Registration: only with a relay address and a code; a refused answer drops
    // the object; a standing registration is renewed only when the code changed.
    void registrationRound()
    {
        Harness h;
        h.engine->registrationRound();
        QVERIFY(h.library.clientConnects.empty()); // no relay, no code

        h.engine->refresh(); // code upkeep: relay address and the adapter's code
        h.adapter.key = "222333";
        h.later(2000);
        h.engine->refresh();
        QCOMPARE(h.engine->state().remoteCode(), 222333);
        QCOMPARE(h.engine->state().relayAddress(), std::string("127.0.0.9"));

        h.library.clientStatus = BW_CLIENT_REFUSED;
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.back(), std::string("127.0.0.9:11923/M5EA0001XJ7B0001/222333/K3Y"));
        QVERIFY(!h.engine->state().relayRegistration());

        // The relay's port may be moved; registrations follow it.
        qputenv("BRINDLEWICK_RELAY_PORT", "41000");
        h.library.clientStatus = BW_CLIENT_CONNECTED;
        h.engine->registrationRound();
        qunsetenv("BRINDLEWICK_RELAY_PORT");
        QCOMPARE(h.library.clientConnects.back(), std::string("127.0.0.9:41000/M5EA0001XJ7B0001/222333/K3Y"));
        QVERIFY(h.engine->state().relayRegistration());
        QCOMPARE(h.library.clientConnects.size(), std::size_t(2));
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(2));

        h.engine->applyCode(false, QString()); // a new temporary code renews it
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(3));
        QCOMPARE(h.library.alive.load(), 1);

        // An adapter that does not answer for a moment (rebooting) keeps its
        // code and the registration; an answer of no code drops it.
        h.adapter.silent = true;
        const int asked = h.adapter.gets;
        h.later(2000);
        h.engine->refresh();
        QCOMPARE(h.adapter.gets, asked + 1);
        QVERIFY(h.engine->state().remoteCode() != 0);
        QVERIFY(h.engine->state().relayRegistration());
        h.adapter.silent = false;

        // The relay dropping the registration makes the next round register again.
        auto registration = h.library.lastClient.lock();
        QVERIFY(registration);
        registration->statusValue = BW_CLIENT_DISCONNECTED;
        registration.reset();
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(4));

        // Off ends the registration at once (the library object is destroyed)
        // and no round makes one; On registers again.
        QCOMPARE(h.library.alive.load(), 1);
        h.engine->setRemoteDisabled(true);
        QVERIFY(!h.engine->state().relayRegistration());
        QCOMPARE(h.library.alive.load(), 0);
        h.engine->state().setCodeRefreshed(true);
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(4));
        h.engine->setRemoteDisabled(false);
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(5));
        QVERIFY(h.engine->state().relayRegistration());

        // A B-end's record shows the partner's adapter: never registered from here.
        h.engine->state().setRelayRegistration(nullptr);
        QVERIFY(h.engine->p2pListen(6000, 0));
        h.engine->registrationRound();
        const int gets = h.adapter.gets;
        h.later(5000);
        h.engine->refresh();
        QCOMPARE(h.adapter.gets, gets);
        QCOMPARE(h.library.clientConnects.size(), std::size_t(5));
        h.engine->p2pCloseListen();
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(6));
    }

    // "Remote Off" while a round waits for the relay's answer: the
    // registration being made is not kept, so nothing stays reachable.
    void switchedOffWhileRegistering()
    {
        Harness h;
        h.engine->refresh();
        QVERIFY(h.engine->state().remoteCode() > 0);
        h.library.clientStatus = BW_CLIENT_PENDING;
        h.duringWait = [&h] {
            if (!h.engine->state().remoteDisabled())
                h.engine->setRemoteDisabled(true);
        };
        h.engine->registrationRound();
        QCOMPARE(h.library.clientConnects.size(), std::size_t(1));
        QVERIFY(!h.engine->state().relayRegistration());
        QCOMPARE(h.library.alive.load(), 0);
    }

    // Code upkeep and the code area: a stored persistent code is applied, an
    // adapter without code gets a fresh one on USB, "NotSupported" is -1.
    void codeUpkeep()
    {
        Harness h;
        QVERIFY(
            CodeFile(h.dir.filePath(QStringLiteral("longTimeCode.ini"))).write(h.device.sn, QStringLiteral("045678")));
        h.engine->refresh();
        QCOMPARE(h.adapter.key, std::string("045678"));
        QCOMPARE(h.engine->state().remoteCode(), 45678);
        const CodeAreaView shown = codeAreaView(h.engine->state().snapshot(), h.device);
        QCOMPARE(shown.text, QStringLiteral("045678"));
        QVERIFY(shown.buttonsVisible);

        // Two adapters without a code each get their own fresh code, never a
        // fixed one that anybody knowing a serial could connect with.
        Harness empty;
        Harness otherEmpty;
        empty.engine->refresh();
        otherEmpty.engine->refresh();
        const QString given = QString::fromStdString(empty.adapter.key);
        QVERIFY(isTemporaryCodeShape(given));
        QVERIFY(isTemporaryCodeShape(QString::fromStdString(otherEmpty.adapter.key)));
        QVERIFY(empty.adapter.key != otherEmpty.adapter.key);
        QVERIFY(given != QLatin1String("583920"));
        QCOMPARE(empty.engine->state().remoteCode(), given.toInt());

        Harness noKeyModel;
        noKeyModel.device.portNumber = QStringLiteral("M3aK");
        noKeyModel.engine->refresh();
        QCOMPARE(noKeyModel.adapter.sets, 0);
        QCOMPARE(noKeyModel.engine->state().remoteCode(), 0);

        Harness old;
        old.adapter.notSupported = true;
        old.engine->refresh();
        QCOMPARE(old.engine->state().remoteCode(), -1);
        const CodeAreaView refused = codeAreaView(old.engine->state().snapshot(), old.device);
        QCOMPARE(refused.text, QStringLiteral("Remote is not supported"));
        QVERIFY(!refused.buttonsVisible);

        // The key is asked at most once per 2 s.
        const int gets = old.adapter.gets;
        old.engine->refresh();
        QCOMPARE(old.adapter.gets, gets);
    }

    // The toggle: a persistent code of fewer than six digits applies a fresh
    // temporary code and writes nothing; six digits are stored as text.
    void persistentCode()
    {
        Harness h;
        const QString file = h.dir.filePath(QStringLiteral("longTimeCode.ini"));
        h.engine->applyCode(true, QStringLiteral("12345"));
        QVERIFY(isTemporaryCodeShape(QString::fromStdString(h.adapter.key)));
        QVERIFY(h.adapter.key != "583920");
        QVERIFY(!QFile::exists(file));
        QCOMPARE(h.toasts.back(), QStringLiteral("Successfully modified"));

        h.engine->applyCode(true, QStringLiteral("012345"));
        QCOMPARE(CodeFile(file).read(h.device.sn), QStringLiteral("012345"));
        QCOMPARE(h.engine->state().remoteCode(), 12345);
        QVERIFY(h.engine->state().codeRefreshed());

        h.engine->applyCode(false, QString());
        QVERIFY(isTemporaryCodeShape(QString::fromStdString(h.adapter.key)));
        QCOMPARE(CodeFile(file).read(h.device.sn), QStringLiteral("012345"));

        // An adapter that keeps answering no code: three rounds, then it gives up.
        Harness deaf;
        deaf.device.sn = QStringLiteral("M5EA0009XJ7B0009");
        RemoteEngine::Hooks hooks = quietHooks();
        int rounds = 0;
        hooks.device = [&deaf] { return deaf.device; };
        hooks.setRemoteKey = [&rounds](const DeviceView&, const std::string&) { return ++rounds > 0; };
        hooks.getRemoteKey = [](const DeviceView&, std::string& key) {
            key.clear();
            return false;
        };
        RemoteEngine engine(deaf.library, hooks);
        engine.applyCode(false, QString());
        QCOMPARE(rounds, 3);
        QCOMPARE(engine.state().remoteCode(), 0);
    }

    // What the code field shows for each connection kind and switch.
    void codeArea_data()
    {
        QTest::addColumn<QString>("sn");
        QTest::addColumn<int>("connType");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("buttons");
        const QString sn = QStringLiteral("M5EA0001XJ7B0001");
        QTest::newRow("no device") << QString() << -1 << 123456 << false << "--" << false;
        QTest::newRow("router") << sn << 3 << 123456 << false << "LAN verification codes disabled" << false;
        QTest::newRow("wifi") << sn << 2 << 123456 << false << "Verification codes disabled" << false;
        QTest::newRow("usb, no code yet") << sn << 0 << 0 << false << "--" << false;
        QTest::newRow("cable") << sn << 1 << 123456 << false << "123456" << true;
        QTest::newRow("switched off") << sn << 0 << 123456 << true << "Remote assistance has been disabled" << false;
    }
    void codeArea()
    {
        QFETCH(QString, sn);
        QFETCH(int, connType);
        QFETCH(int, code);
        QFETCH(bool, disabled);
        QFETCH(QString, text);
        QFETCH(bool, buttons);
        RemoteSnapshot s;
        s.remoteCode = code;
        s.remoteDisabled = disabled;
        DeviceView d;
        d.sn = sn;
        d.connType = connType;
        const CodeAreaView view = codeAreaView(s, d);
        QCOMPARE(view.text, text);
        QCOMPARE(view.buttonsVisible, buttons);
        QCOMPARE(nextCodeArea(CodeArea::SessionRunning, !sn.isEmpty()),
            sn.isEmpty() ? CodeArea::NoDevice : CodeArea::DevicePresent);
        QCOMPARE(nextCodeArea(CodeArea::CodeShown, true), CodeArea::CodeShown);
    }

    // Setters hand back the object they replace; the last owner destroys it.
    void replacedObjectsGoOnce()
    {
        FakeRemoteLibrary library;
        RemoteState state;
        int status = 0;
        auto first = library.listen(std::string(), 5000, status);
        state.setP2pListener(first);
        first.reset();
        QCOMPARE(library.alive.load(), 1);
        auto old = state.setP2pListener(library.listen(std::string(), 5001, status));
        QCOMPARE(library.alive.load(), 2);
        old.reset();
        QCOMPARE(library.alive.load(), 1);
        state.setP2pListener(nullptr);
        QCOMPARE(library.alive.load(), 0);

        // Only the session that is still active is taken.
        auto first2 = library.listen(std::string(), 5002, status);
        auto second = library.listen(std::string(), 5003, status);
        state.setActiveSession(second);
        QVERIFY(!state.takeActiveSession(first2));
        QVERIFY(state.activeSession() == second);
        QVERIFY(state.takeActiveSession(second));
        QVERIFY(!state.activeSession());
        QVERIFY(!state.takeActiveSession(nullptr));

        int mode = -1;
        QVERIFY(!state.takePendingDoIpMode(mode));
        state.setPendingDoIpMode(3);
        QVERIFY(state.takePendingDoIpMode(mode));
        QCOMPARE(mode, 3);
        QVERIFY(!state.takePendingDoIpMode(mode));
    }

    // Every thread of the subsystem at once for a while (also run under
    // ThreadSanitizer): objects are destroyed once and what a thread reads is
    // one consistent copy.
    void threadsTogether()
    {
        FakeRemoteLibrary library;
        QTemporaryDir dir;
        std::atomic<int> records{0};
        std::atomic<int> page{0};
        DeviceView device;
        device.sn = QStringLiteral("M5EA0001XJ7B0001");
        device.connType = 0;
        std::mutex keyMutex;
        std::string key = "123456";

        RemoteEngine::Hooks h = quietHooks();
        h.sleep = [](std::chrono::milliseconds) {
            std::this_thread::yield();
            return true;
        };
        h.sendRecord = [&records](RecordEvent, const QString&) { ++records; };
        h.showPage = [&page](int p) { page = p; };
        h.currentPage = [&page] { return page.load(); };
        h.device = [&device] { return device; };
        h.getRemoteKey = [&](const DeviceView&, std::string& k) {
            std::lock_guard<std::mutex> lock(keyMutex);
            k = key;
            return true;
        };
        h.setRemoteKey = [&](const DeviceView&, const std::string& k) {
            std::lock_guard<std::mutex> lock(keyMutex);
            key = k;
            return true;
        };
        h.codeFilePath = dir.filePath(QStringLiteral("longTimeCode.ini"));
        Timing fast;
        fast.watchPeriod = 0;
        fast.keyQueryPeriod = 0;
        fast.connectWait = 50;
        fast.clientWait = 50;
        RemoteEngine engine(library, h, fast);

        std::atomic<bool> stop{false};
        std::atomic<int> badCodes{0};
        std::vector<std::thread> threads;
        threads.emplace_back([&] {
            while (!stop)
                engine.refresh();
        });
        threads.emplace_back([&] {
            while (!stop)
                engine.registrationRound();
        });
        threads.emplace_back([&] {
            while (!stop) {
                engine.relayAttempt(QStringLiteral("M5EA0002XJ7B0002"), 123456, 1);
                engine.attemptFinished(QStringLiteral("M5EA0002XJ7B0002"));
                engine.endSession(QStringLiteral("M5EA0002XJ7B0002"));
            }
        });
        threads.emplace_back([&] {
            while (!stop) {
                engine.applyCode(false, QString());
                engine.p2pListen(6000, 2);
                const RemoteSnapshot s = engine.state().snapshot();
                if (s.remoteCode < 0 || s.remoteCode > 999999)
                    ++badCodes; // checked on the test's thread: QTest is not thread-safe
                engine.p2pCloseListen();
                engine.setRemoteDisabled(!s.remoteDisabled);
            }
        });
        QTest::qWait(400);
        stop = true;
        for (std::thread& t : threads)
            t.join();

        QVERIFY(records.load() > 0);
        QCOMPARE(badCodes.load(), 0);
        engine.endSession(QString());
        engine.state().setRelayRegistration(nullptr);
        engine.state().setP2pListener(nullptr);
        engine.state().setP2pClient(nullptr);
        QCOMPARE(library.alive.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestRemoteEngine)
#include "tst_remote_engine.moc"
