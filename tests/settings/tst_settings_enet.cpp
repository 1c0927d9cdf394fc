// The ENET calls off the GUI thread: answers arrive as signals, a call that
// hangs (an unplugged adapter) is given up within the bound and its late
// answer ignored, requests made meanwhile wait and only the newest runs.
#include "settings/EnetControl.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A call that blocks until released (or 10 s, so a failing test still ends).
class Gate {
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

} // namespace

class TestSettingsEnet : public QObject {
    Q_OBJECT
private slots:
    void readAndWriteReportTheirAnswers()
    {
        std::atomic<bool> adapterOn{true};
        std::atomic<int> writes{0};
        std::string lastIp;
        std::mutex ipMutex;
        EnetControl control(
            [&](const std::string& ip) {
                std::lock_guard<std::mutex> lock(ipMutex);
                lastIp = ip;
                return adapterOn.load();
            },
            [&](const std::string&, bool on) {
                ++writes;
                adapterOn = on;
                return true;
            });
        QSignalSpy busy(&control, &EnetControl::busyChanged);
        QSignalSpy read(&control, &EnetControl::stateRead);
        QSignalSpy written(&control, &EnetControl::writeFinished);

        control.read(QStringLiteral("169.254.100.1"));
        QVERIFY(control.busy());
        QTRY_COMPARE(read.size(), 1);
        QCOMPARE(read.at(0).at(0).toBool(), true);
        QVERIFY(!control.busy());
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy.at(0).at(0).toBool(), true);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
        {
            std::lock_guard<std::mutex> lock(ipMutex);
            QCOMPARE(lastIp, std::string("169.254.100.1"));
        }

        control.write(QStringLiteral("169.254.100.1"), false);
        QTRY_COMPARE(written.size(), 1);
        QCOMPARE(written.at(0).at(0).toBool(), true);
        QCOMPARE(writes.load(), 1);
        QCOMPARE(adapterOn.load(), false);
    }

    void aHangingCallIsGivenUpWithinItsBound()
    {
        Gate gate;
        std::atomic<int> calls{0};
        EnetControl control([](const std::string&) { return false; },
            [&](const std::string&, bool) {
                ++calls;
                gate.wait();
                return true;
            });
        control.setBoundMs(300);
        QSignalSpy gaveUp(&control, &EnetControl::gaveUp);
        QSignalSpy written(&control, &EnetControl::writeFinished);
        QElapsedTimer clock;
        clock.start();
        control.write(QStringLiteral("169.254.100.1"), true);
        QTRY_COMPARE_WITH_TIMEOUT(gaveUp.size(), 1, 3000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 250 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        QVERIFY(!control.busy());

        // The adapter answers at last: too late, nothing is reported.
        gate.open();
        QTest::qWait(100);
        QCOMPARE(written.size(), 0);
        QCOMPARE(calls.load(), 1);
    }

    void requestsWhileBusyWaitAndOnlyTheNewestRuns()
    {
        Gate gate;
        std::mutex mutex;
        QList<bool> seen;
        EnetControl control([](const std::string&) { return true; },
            [&](const std::string&, bool on) {
                bool first = false;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    seen << on;
                    first = seen.size() == 1;
                }
                if (first)
                    gate.wait();
                return true;
            });
        QSignalSpy written(&control, &EnetControl::writeFinished);
        control.write(QStringLiteral("10.0.0.1"), true);
        control.write(QStringLiteral("10.0.0.1"), false);
        control.write(QStringLiteral("10.0.0.1"), true);
        control.write(QStringLiteral("10.0.0.1"), false);
        QTest::qWait(50);
        gate.open();
        QTRY_COMPARE(written.size(), 2);
        QTest::qWait(50);
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(seen, (QList<bool>{true, false}));
    }

    void cancelForgetsTheRunningAnswer()
    {
        Gate gate;
        EnetControl control(
            [&](const std::string&) {
                gate.wait();
                return true;
            },
            [](const std::string&, bool) { return true; });
        QSignalSpy read(&control, &EnetControl::stateRead);
        control.read(QStringLiteral("10.0.0.1"));
        control.cancel();
        QVERIFY(!control.busy());
        gate.open();
        QTest::qWait(100);
        QCOMPARE(read.size(), 0);
    }

    void stopJoinsAndEndsReports()
    {
        Gate gate;
        auto control = std::make_unique<EnetControl>(
            [&](const std::string&) {
                gate.wait();
                return true;
            },
            [](const std::string&, bool) { return true; });
        QSignalSpy read(control.get(), &EnetControl::stateRead);
        control->read(QStringLiteral("10.0.0.1"));
        std::thread opener([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate.open();
        });
        control->stop();
        opener.join();
        control->read(QStringLiteral("10.0.0.1")); // stopped: nothing starts
        QTest::qWait(50);
        QCOMPARE(read.size(), 0);
        control.reset();
    }
};

QTEST_GUILESS_MAIN(TestSettingsEnet)
#include "tst_settings_enet.moc"
