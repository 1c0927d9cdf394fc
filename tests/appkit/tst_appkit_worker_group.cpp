// The worker group: a stop ends every wait at once and joins every worker,
// finished workers do not pile up, and nothing starts after a stop.
#include "kit/WorkerGroup.h"

#include <QtTest>

#include <atomic>

class TestWorkerGroup : public QObject {
    Q_OBJECT
private slots:
    void stopEndsLongWaitsAndJoins()
    {
        WorkerGroup group;
        std::atomic<int> ended{0};
        std::atomic<bool> interrupted{false};
        for (int i = 0; i < 3; ++i) {
            group.start("sleeper", [&] {
                while (group.sleepFor(std::chrono::hours(1))) { }
                ++ended;
            });
        }
        // A worker with a wait of its own is ended through its interrupt.
        std::mutex mutex;
        std::condition_variable cv;
        group.start(
            "own-wait",
            [&] {
                std::unique_lock<std::mutex> lock(mutex);
                cv.wait(lock, [&] { return interrupted.load(); });
                ++ended;
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                interrupted = true;
                cv.notify_all();
            });
        group.stopAndJoin(); // returns only once the hour-long waits were cut short
        QCOMPARE(ended.load(), 4);
        QCOMPARE(group.size(), std::size_t(0));
    }

    void finishedWorkersAreReapedAndNothingStartsAfterStop()
    {
        WorkerGroup group;
        std::atomic<int> runs{0};
        for (int i = 0; i < 50; ++i) {
            group.start("short", [&] { ++runs; });
            QTRY_COMPARE(runs.load(), i + 1);
        }
        group.start("short", [&] { ++runs; });
        QVERIFY(group.size() <= 2); // the 50 before were joined on the way
        group.stopAndJoin();
        group.start("late", [&] { runs += 100; });
        QCOMPARE(group.size(), std::size_t(0));
        QCOMPARE(runs.load(), 51);
        QVERIFY(group.stopping());
        QVERIFY(!group.sleepFor(std::chrono::milliseconds(10)));
    }
};

QTEST_APPLESS_MAIN(TestWorkerGroup)
#include "tst_appkit_worker_group.moc"
