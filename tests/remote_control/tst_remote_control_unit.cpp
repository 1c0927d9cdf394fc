// Device control without widgets: the rates "Config Select" hands over, what
// each connect result tells the technician and whether the session object is
// kept, ControlRemotePro's slots, and the device-control attempt, its end and
// its loss through the session logic against fakes of both libraries.
#include "../remote/FakeRemoteLibrary.h"
#include "FakeRemotePro.h"

#include "remote/RemoteEngine.h"
#include "remote/RemotePro.h"

#include <remote/RemoteProApi.h>

#include <QtTest>

using namespace remote;

namespace {

const QString kPartner = QStringLiteral("M5EA0002XJ7B0002");

struct Harness {
    FakeRemoteLibrary library;
    FakeRemotePro pro;
    bool proLoads = true;
    int proRequests = 0;
    QStringList toasts;
    std::vector<bool> tool;
    std::vector<std::pair<RecordEvent, QString>> records;
    std::unique_ptr<RemoteEngine> engine;

    Harness()
    {
        RemoteEngine::Hooks h = quietHooks();
        h.toast = [this](const QString& text, int) { toasts << text; };
        h.adapterTool = [this](bool on) { tool.push_back(on); };
        h.sendRecord = [this](RecordEvent e, const QString& sn) { records.emplace_back(e, sn); };
        h.remotePro = [this]() -> IRemotePro* {
            ++proRequests;
            return proLoads ? &pro : nullptr;
        };
        Timing t;
        t.watchPeriod = 0;
        engine = std::make_unique<RemoteEngine>(library, std::move(h), t);
    }
};

} // namespace

class TestRemoteControlUnit : public QObject {
    Q_OBJECT
private slots:
    // Each combo index gives its rate; an index outside the list gives 500000
    // for CAN and 0 for CAN FD; the start items are "500 Kbps" and "125 Kbps".
    void configValues()
    {
        const std::uint32_t can[] = {100000, 125000, 250000, 500000, 800000, 1000000};
        for (int i = 0; i < kCanRateCount; ++i)
            QCOMPARE(canRateAt(i), can[i]);
        const std::uint32_t fd[] = {0, 1000000, 2000000, 4000000, 5000000};
        for (int i = 0; i < kCanFdRateCount; ++i)
            QCOMPARE(canFdRateAt(i), fd[i]);
        for (int outside : {-1, kCanRateCount, 1000})
            QCOMPARE(canRateAt(outside), 500000u);
        for (int outside : {-1, kCanFdRateCount, 1000})
            QCOMPARE(canFdRateAt(outside), 0u);
        QCOMPARE(QLatin1String(kCanRateItems[kCan1StartIndex]), QLatin1String("500 Kbps"));
        QCOMPARE(QLatin1String(kCanRateItems[kCan2StartIndex]), QLatin1String("125 Kbps"));
        QCOMPARE(QLatin1String(kCanFdRateItems[0]), QLatin1String("None"));
    }

    // Every connect result of the device-control library, end to end through
    // the attempt: the toast, whether the session object stays, and that the
    // buses are opened (pins 6/14 then 3/11 with their rates) and the bridge
    // started only when connected.
    void attemptResults_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("toast");
        QTest::addColumn<bool>("kept");
        QTest::newRow("connected") << 0 << "connection established successfully" << true;
        QTest::newRow("no passthru") << 1 << "Failed to load passthru" << true;
        QTest::newRow("unreachable") << 4 << "Failed to connect to the server" << false;
        QTest::newRow("offline") << 6 << "VCI is not online" << false;
        QTest::newRow("wrong code") << 7 << "Password error" << false;
        QTest::newRow("disconnected") << -2 << "The server is disconnected" << false;
        QTest::newRow("timed out") << 3 << "The server response timed out" << false;
        QTest::newRow("unknown") << 99 << "The server response timed out" << false;
    }
    void attemptResults()
    {
        QFETCH(int, result);
        QFETCH(QString, toast);
        QFETCH(bool, kept);
        Harness h;
        h.pro.connectResult = result;
        h.engine->state().setRelayRegistration(
            std::make_shared<FakeHandle>(RemoteHandle::Kind::Client, 1, &h.library.alive));
        RemoteProRates rates;
        rates.can1 = 100000;
        rates.canFd1 = 2000000;
        rates.can2 = 250000;
        rates.canFd2 = 0;
        h.engine->deviceControlAttempt(kPartner, 654321, rates);

        QCOMPARE(h.toasts, QStringList{toast});
        QCOMPARE(h.pro.connects, std::vector<std::string>{"127.0.0.9/M5EA0002XJ7B0002/--/654321"});
        QVERIFY(!h.engine->state().relayRegistration());
        std::shared_ptr<RemoteHandle> session = h.engine->state().remoteSession();
        QCOMPARE(session != nullptr, kept);
        if (result != 0) {
            QVERIFY(h.pro.opens.empty());
            QVERIFY(h.pro.starts.empty());
            return;
        }
        QCOMPARE(h.pro.opens.size(), std::size_t(2));
        QCOMPARE(h.pro.opens[0].protocol, 5u);
        QCOMPARE(h.pro.opens[0].pins, (std::vector<std::uint32_t>{6, 14}));
        QCOMPARE(h.pro.opens[0].can, 100000u);
        QCOMPARE(h.pro.opens[0].canFd, 2000000u);
        QCOMPARE(h.pro.opens[1].pins, (std::vector<std::uint32_t>{3, 11}));
        QCOMPARE(h.pro.opens[1].can, 250000u);
        QCOMPARE(h.pro.opens[1].canFd, 0u);
        QCOMPARE(h.pro.starts, std::vector<int>{1});
        QCOMPARE(session->kind(), RemoteHandle::Kind::DeviceControl);
        QCOMPARE(static_cast<ControlRemotePro&>(*session).channels(), (std::vector<std::uint32_t>{41, 42}));
    }

    // A partner that is not online ends the attempt before the library is
    // even needed; a library that cannot be loaded ends it with its message
    // and no session; neither leaves a session object.
    void attemptEndsEarly()
    {
        Harness offline;
        offline.library.lookupAnswer.clear();
        offline.engine->deviceControlAttempt(kPartner, 111111, RemoteProRates());
        QCOMPARE(offline.toasts, QStringList{QStringLiteral("VCI is not online")});
        QCOMPARE(offline.tool, std::vector<bool>{false});
        QCOMPARE(offline.proRequests, 0);
        QVERIFY(!offline.engine->state().remoteSession());

        Harness missing;
        missing.proLoads = false;
        missing.engine->deviceControlAttempt(kPartner, 111111, RemoteProRates());
        QCOMPARE(missing.toasts, QStringList{QStringLiteral("Failed to load RemotePro.dll")});
        QVERIFY(missing.pro.connects.empty());
        QVERIFY(!missing.engine->state().remoteSession());
    }

    // Slots 0 to 3 hand their very arguments to the library's 6 to 9 and give
    // back its answers; 4 and 5 reach nothing; a poll is those four answers.
    void controlForwards()
    {
        FakeRemotePro pro;
        ControlRemotePro control(pro);
        std::int32_t state = -7;
        char t1[BW_REMOTE_STATE_TEXT_SIZE] = {};
        char t2[BW_REMOTE_STATE_TEXT_SIZE] = {};
        pro.stateValue = 3;
        control.queryState(&state, t1, t2);
        QCOMPARE(state, 3);
        QCOMPARE(pro.lastStateArgs, (std::vector<void*>{&state, t1, t2}));
        std::uint64_t b = 0, c = 0;
        control.bytesB(&b);
        control.bytesC(&c);
        QCOMPARE(pro.lastBytesB, &b);
        QCOMPARE(pro.lastBytesC, &c);
        QCOMPARE(b, pro.bytesBValue);
        QCOMPARE(c, pro.bytesCValue);
        std::int32_t db = 0, dc = 0;
        control.delays(&db, &dc);
        QCOMPARE(pro.lastDelays, (std::vector<std::int32_t*>{&db, &dc}));
        QCOMPARE(db, 12);
        QCOMPARE(dc, 47);

        const int before = pro.stateCalls;
        control.slot4(5);
        control.setDoIpMode(2);
        QCOMPARE(pro.stateCalls.load(), before);
        QVERIFY(pro.connects.empty() && pro.starts.empty() && pro.disconnects == 0);

        pro.stateValue = 0;
        const SessionReading r = control.poll();
        QCOMPARE(r.state, 0);
        QCOMPARE(r.bytesB, pro.bytesBValue);
        QCOMPARE(r.bytesC, pro.bytesCValue);
        QCOMPARE(r.delayB, 12);
        QCOMPARE(r.delayC, 47);
        QCOMPARE(r.peerText, std::string("relay 127.0.0.9"));
    }

    // A running device-control session: the session page's figures are the
    // library's; the user's end disconnects the bridge once and sends the end
    // record; a session the library reports lost is disconnected as well,
    // with a word when an adapter ended it (and none for an ordinary end).
    void sessionEndAndLoss()
    {
        Harness h;
        h.engine->state().setDeviceControlRole(true);
        h.engine->deviceControlAttempt(kPartner, 222222, RemoteProRates());
        QVERIFY(h.engine->attemptFinished(kPartner));
        h.engine->refresh();
        const SessionFigures f = h.engine->state().figures();
        QCOMPARE(f.delayB, 12);
        QCOMPARE(f.delayC, 47);
        QCOMPARE(f.bytesC, h.pro.bytesCValue);
        QCOMPARE(f.partnerSerial, kPartner);
        QCOMPARE(h.engine->endSession(kPartner), int(PageRemote));
        QCOMPARE(h.pro.disconnects.load(), 1);
        QVERIFY(!h.engine->state().deviceControlRole());
        QVERIFY(!h.engine->state().remoteSession());
        QCOMPARE(h.records.back().first, RecordEvent::End);

        Harness lost;
        lost.engine->state().setDeviceControlRole(true);
        lost.engine->deviceControlAttempt(kPartner, 222222, RemoteProRates());
        QVERIFY(lost.engine->attemptFinished(kPartner));
        lost.pro.stateValue = -2;
        lost.engine->refresh();
        QCOMPARE(lost.pro.disconnects.load(), 1);
        QVERIFY(!lost.engine->state().activeSession());
        QVERIFY(!lost.engine->state().remoteActive());
        QVERIFY(!lost.engine->state().deviceControlRole());
        QCOMPARE(lost.records.back(), std::make_pair(RecordEvent::End, kPartner));
        QVERIFY(!lost.toasts.contains(QStringLiteral("Device control ended: this PC's VCI stopped answering")));

        const std::pair<int, const char*> faults[] = {
            {BW_PRO_ENDED_LOCAL_ADAPTER, "Device control ended: this PC's VCI stopped answering"},
            {BW_PRO_ENDED_REMOTE_ADAPTER, "Device control ended: the partner's VCI stopped answering"},
            {BW_PRO_ENDED_LOCAL_RATE, "Device control ended: this PC's VCI cannot use the selected baud rate"},
            {BW_PRO_ENDED_REMOTE_RATE, "Device control ended: the partner's VCI cannot use the selected baud rate"}};
        for (const auto& [state, text] : faults) {
            Harness fault;
            fault.engine->state().setDeviceControlRole(true);
            fault.engine->deviceControlAttempt(kPartner, 222222, RemoteProRates());
            QVERIFY(fault.engine->attemptFinished(kPartner));
            fault.pro.stateValue = state;
            fault.engine->refresh();
            QVERIFY(!fault.engine->state().activeSession());
            QCOMPARE(fault.pro.disconnects.load(), 1);
            QCOMPARE(fault.toasts.count(QLatin1String(text)), 1);
            fault.engine->refresh(); // once only
            QCOMPARE(fault.toasts.count(QLatin1String(text)), 1);
        }
    }

    // C-end: a registration the library reports under device control shows
    // by whom; the user's end drops the registration at once (its library
    // object goes, closing the adapter's channels), and a session that ends
    // by itself clears the notice.
    void cEndUnderControl()
    {
        Harness h;
        auto registration = std::make_shared<FakeHandle>(RemoteHandle::Kind::Client, 1, &h.library.alive);
        registration->state = 1;
        registration->reading.peerText = "device control by M5EA0001XJ7B0001";
        h.engine->state().setRelayRegistration(registration);
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.engine->state().controlledBy(), QStringLiteral("M5EA0001XJ7B0001"));
        QVERIFY(h.engine->state().controlDrops().isEmpty());
        // Frames dropped at either end show while the session runs.
        {
            std::lock_guard<std::mutex> lock(registration->mutex);
            registration->reading.peerText = "device control by M5EA0001XJ7B0001 dropped 3/17";
        }
        QVERIFY(h.engine->refresh());
        QCOMPARE(h.engine->state().controlledBy(), QStringLiteral("M5EA0001XJ7B0001"));
        QCOMPARE(h.engine->state().controlDrops(), QStringLiteral("3/17"));
        {
            std::lock_guard<std::mutex> lock(registration->mutex);
            registration->reading.peerText = "registered";
        }
        h.engine->refresh();
        QVERIFY(h.engine->state().controlledBy().isEmpty());
        QVERIFY(h.engine->state().controlDrops().isEmpty());
        QCOMPARE(h.toasts.count(QStringLiteral("Device control of this device has ended")), 1);
        h.engine->refresh(); // told once
        QCOMPARE(h.toasts.count(QStringLiteral("Device control of this device has ended")), 1);

        {
            std::lock_guard<std::mutex> lock(registration->mutex);
            registration->reading.peerText = "device control by --";
        }
        h.engine->refresh();
        QCOMPARE(h.engine->state().controlledBy(), QStringLiteral("--"));
        registration.reset();
        QCOMPARE(h.library.alive.load(), 1);
        h.engine->endDeviceControl();
        QCOMPARE(h.library.alive.load(), 0);
        QVERIFY(!h.engine->state().relayRegistration());
        QVERIFY(h.engine->state().controlledBy().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRemoteControlUnit)
#include "tst_remote_control_unit.moc"
