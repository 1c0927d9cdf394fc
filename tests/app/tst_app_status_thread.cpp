// The status thread's handshake: one pass per period, an early pass on wake,
// and a prompt join on stop even in the middle of a long wait.
#include "app/StatusThread.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>

class TestStatusThread : public QObject {
    Q_OBJECT

private slots:
    void passesRepeatEachPeriod()
    {
        std::atomic<int> passes{0};
        StatusThread thread([&] { ++passes; }, std::chrono::milliseconds(20));
        thread.start();
        QTRY_VERIFY(passes.load() >= 3);
        thread.stop();
        QVERIFY(!thread.running());
        const int afterStop = passes.load();
        QTest::qWait(60);
        QCOMPARE(passes.load(), afterStop);
    }

    void wakeRunsThePassAtOnce()
    {
        std::atomic<int> passes{0};
        StatusThread thread([&] { ++passes; }, std::chrono::hours(1));
        thread.start();
        QTRY_COMPARE(passes.load(), 1);
        thread.wake();
        QTRY_COMPARE(passes.load(), 2);
        thread.wake();
        QTRY_COMPARE(passes.load(), 3);
    }

    void stopInterruptsALongWait()
    {
        std::atomic<int> passes{0};
        StatusThread thread([&] { ++passes; }, std::chrono::hours(1));
        thread.start();
        QTRY_COMPARE(passes.load(), 1);
        QElapsedTimer clock;
        clock.start();
        thread.stop();
        QVERIFY2(clock.elapsed() < 5000, "stop waited for the period to end");
        QCOMPARE(passes.load(), 1);
        thread.stop(); // a second stop is harmless
    }

    void wakeBeforeTheWaitIsNotLost()
    {
        // A wake that arrives while a pass runs makes the next pass follow at once.
        std::atomic<int> passes{0};
        std::atomic<bool> inFirstPass{false};
        std::atomic<bool> release{false};
        StatusThread thread(
            [&] {
                if (++passes == 1) {
                    inFirstPass = true;
                    while (!release)
                        std::this_thread::yield();
                }
            },
            std::chrono::hours(1));
        thread.start();
        QTRY_VERIFY(inFirstPass.load());
        thread.wake();
        release = true;
        QTRY_COMPARE(passes.load(), 2);
    }
};

QTEST_GUILESS_MAIN(TestStatusThread)
#include "tst_app_status_thread.moc"
