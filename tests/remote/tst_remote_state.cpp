// The shared remote state under the window's threads at once: a refresh
// worker, the registration worker, attempts and the GUI's own calls. Built
// for ThreadSanitizer in CI; here it checks that objects are destroyed once
// and that what a thread reads is one consistent copy.
#include "FakeRemoteLibrary.h"

#include "remote/RemoteEngine.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace remote;

class TestRemoteState : public QObject {
    Q_OBJECT
private slots:
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

    // Every thread of the subsystem at once for a while.
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

        RemoteEngine::Hooks h;
        h.toast = [](const QString&, int) {};
        h.adapterTool = [](bool) {};
        h.postMode = [](std::uint8_t) {};
        h.remoteAdapterPresent = [] { return true; };
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

QTEST_GUILESS_MAIN(TestRemoteState)
#include "tst_remote_state.moc"
