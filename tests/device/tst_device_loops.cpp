// The status loop's pass rules and the start-up hint loop, driven through
// their hooks with a scripted status record and adapter probe.
#include "device/DeviceStatusLoop.h"
#include "device/HintLoop.h"

#include "kit/WorkerGroup.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

VciStatusRecord record(const char* sn, std::uint32_t vbatt, std::int32_t conn = CONN_USB)
{
    VciStatusRecord r;
    clearRecord(r);
    std::strncpy(r.SN, sn, sizeof r.SN - 1);
    r.vbatt = vbatt;
    r.connType = conn;
    r.status = 1;
    return r;
}

struct LoopRig {
    VciStatusRecord next;
    bool usbEthernet = false;
    int cleared = 0;
    int wakes = 0;
    QList<bool> remoteDisabled;
    std::atomic<bool> online{false};
    std::atomic<int> internetAsks{0};
    DeviceStatusLoop loop;

    LoopRig()
        : loop(DeviceStatusLoop::Hooks{[this](VciStatusRecord& r) {
                                           r = next;
                                           return next.SN[0] != '\0';
                                       },
            [this] { return usbEthernet; }, [this] { ++cleared; }, [this] { ++wakes; },
            [this](bool b) { remoteDisabled << b; },
            [this] {
                ++internetAsks;
                return online.load();
            }})
    {
        clearRecord(next);
    }
};

} // namespace

class TestDeviceLoops : public QObject {
    Q_OBJECT

private slots:
    // The voltage text and its colour: red below 11 V, down to the largest value.
    void voltageTextsAndColours()
    {
        const char* const red = "rgb(255, 0, 0)";
        const char* const green = "rgb(52, 199, 89)";
        const struct {
            std::uint32_t mv;
            const char* text;
            const char* color;
        } rows[] = {{0, "0V", red}, {5, "0.00V", red}, {10999, "10.99V", red}, {11000, "11.00V", green},
            {12345, "12.34V", green}, {4294967295u, "4294967.29V", green}};
        for (const auto& row : rows) {
            LoopRig rig;
            rig.next = record("M5EC0000XJ70001A", row.mv);
            QVERIFY(rig.loop.runCycle(false));
            const DeviceStatusSnapshot s = rig.loop.snapshot();
            QVERIFY2(s.voltageText == QLatin1String(row.text) && s.voltageColor == QLatin1String(row.color),
                qPrintable(QString::number(row.mv) + ": " + s.voltageText + ' ' + s.voltageColor));
        }
    }

    void repaintsOnlyWhenSomethingShownChanged()
    {
        LoopRig rig;
        rig.next = record("M5EC0000XJ70001A", 12000);
        QVERIFY(rig.loop.runCycle(false));
        QVERIFY(!rig.loop.runCycle(false)); // nothing new
        QVERIFY(rig.loop.runCycle(true));   // page change from the caller
        rig.next.status = 2;                // state shown on the page
        QVERIFY(rig.loop.runCycle(false));
        QVERIFY(!rig.loop.runCycle(false));
        rig.next.vbatt = 11000;
        QVERIFY(rig.loop.runCycle(false));
        QCOMPARE(rig.loop.snapshot().voltageText, QStringLiteral("11.00V"));
    }

    void unplugSetsAbsentOnceAndReplugRepaintsOnce()
    {
        LoopRig rig;
        rig.next = record("M5EC0000XJ70001A", 12000);
        rig.loop.runCycle(false);
        QVERIFY(!rig.loop.snapshot().deviceAbsent);
        QCOMPARE(rig.remoteDisabled.last(), false);

        clearRecord(rig.next);
        QVERIFY(rig.loop.runCycle(false));
        DeviceStatusSnapshot s = rig.loop.snapshot();
        QVERIFY(s.deviceAbsent);
        QCOMPARE(s.voltageText, QStringLiteral("0V"));
        QCOMPARE(s.voltageColor, QStringLiteral("rgb(255, 0, 0)"));
        QCOMPARE(s.lastSerial, QStringLiteral("M5EC0000XJ70001A")); // kept while absent
        QCOMPARE(rig.wakes, 1);
        QCOMPARE(rig.remoteDisabled.last(), true);

        // Still absent: the hint loop is woken on every pass, no repaint.
        QVERIFY(!rig.loop.runCycle(false));
        QVERIFY(!rig.loop.runCycle(false));
        QCOMPARE(rig.wakes, 3);
        QVERIFY(rig.loop.snapshot().deviceAbsent);

        rig.next = record("M5EC0000XJ70002B", 12345);
        QVERIFY(rig.loop.runCycle(false));
        s = rig.loop.snapshot();
        QVERIFY(!s.deviceAbsent);
        QCOMPARE(s.lastSerial, QStringLiteral("M5EC0000XJ70002B"));
        QCOMPARE(s.voltageText, QStringLiteral("12.34V"));
        QCOMPARE(rig.wakes, 3);
        QVERIFY(!rig.loop.runCycle(false));
    }

    // Every pass records the account library's internet state, with or
    // without an adapter, and the snapshot the remote checks read carries it.
    void everyPassRecordsTheInternetState()
    {
        LoopRig rig;
        QVERIFY(!rig.loop.snapshot().internetOk); // nothing recorded before the first pass
        rig.online = true;
        rig.loop.runCycle(false); // no adapter
        QCOMPARE(rig.internetAsks.load(), 1);
        QVERIFY(rig.loop.snapshot().internetOk);
        rig.next = record("M5EA0001XJ7B0001", 12340);
        rig.loop.runCycle(false);
        QVERIFY(rig.loop.internetOk());
        rig.online = false;
        // Nothing shown changed: no repaint, but the state is still recorded.
        QVERIFY(!rig.loop.runCycle(false));
        QCOMPARE(rig.internetAsks.load(), 3);
        QVERIFY(!rig.loop.snapshot().internetOk);
        QVERIFY(!rig.loop.internetOk());

        // Without a probe the state is offline.
        DeviceStatusLoop::Hooks hooks;
        hooks.read = [](VciStatusRecord& r) {
            clearRecord(r);
            return false;
        };
        DeviceStatusLoop bare(hooks);
        bare.runCycle(false);
        QVERIFY(!bare.snapshot().internetOk);
        bare.setInternetProbe([] { return true; });
        bare.runCycle(false);
        QVERIFY(bare.snapshot().internetOk);
    }

    void routeLinkClearsSelectionOnlyWithTheUsbEthernetAdapter()
    {
        LoopRig rig;
        rig.next = record("M5EC0000XJ70001A", 12000, CONN_ROUTE);
        rig.loop.runCycle(false);
        QCOMPARE(rig.cleared, 0);
        rig.usbEthernet = true;
        rig.loop.runCycle(false);
        QCOMPARE(rig.cleared, 1);
        rig.next.connType = CONN_USB;
        rig.loop.runCycle(false);
        QCOMPARE(rig.cleared, 1);
    }

    void hintLoopWritesTheSerialForTheAdapterMac()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("VCIINFO.ini");
        QString serial;
        bool present = true;
        HintLoop::Hooks hooks;
        hooks.adapterPresent = [&](std::string& mac) {
            mac = "00e04c6801ab";
            return present;
        };
        hooks.currentSerial = [&] { return serial; };
        HintLoop loop(hooks, ini);

        // No serial yet: nothing written, the loop sleeps and retries.
        QCOMPARE(loop.step(), HintLoop::Next::Sleep2000);
        QVERIFY(!QFile::exists(ini) || QSettings(ini, QSettings::IniFormat).allKeys().isEmpty());

        serial = "M5EC0000XJ70001A";
        QCOMPARE(loop.step(), HintLoop::Next::Sleep2000);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("00e04c6801ab/SN").toString(), serial);
        QCOMPARE(loop.macText(), QStringLiteral("00e04c6801ab"));

        // Recognised in this presence: armed, then waits to be woken.
        QCOMPARE(loop.step(), HintLoop::Next::WaitForWake);
        QVERIFY(loop.armed());

        // Unplugged: disarmed, short sleep.
        present = false;
        QCOMPARE(loop.step(), HintLoop::Next::Sleep500);
        QVERIFY(!loop.armed());
        QCOMPARE(loop.step(), HintLoop::Next::WaitForWake);
    }

    void hintAsksForPowerWhileVoltageIsZero()
    {
        QTemporaryDir dir;
        const QString ini = dir.filePath("VCIINFO.ini");
        {
            QSettings s(ini, QSettings::IniFormat);
            s.setValue("00e04c6801ab/SN", "M5HC0000AB70001A"); // known from an earlier run
        }
        QString voltage = "0V";
        QString remembered = "M5HC0000AB70001A";
        bool present = true;
        int hints = 0;
        bool powerTimer = false;
        bool hintTimer = false;
        QStringList timerCalls;
        HintLoop::Hooks hooks;
        hooks.adapterPresent = [&](std::string& mac) {
            mac = "00e04c6801ab";
            return present;
        };
        hooks.currentSerial = [] { return QString(); };
        hooks.rememberedSerial = [&] { return remembered; };
        hooks.voltageText = [&] { return voltage; };
        hooks.showInitHint = [&] { ++hints; };
        hooks.setTimer = [&](HintTimer t, bool on) {
            (t == HintTimer::PowerDialog ? powerTimer : hintTimer) = on;
            timerCalls << QString("%1:%2").arg(t == HintTimer::PowerDialog ? "power" : "hint").arg(on ? "ON" : "OFF");
        };
        hooks.timerActive = [&](HintTimer t) { return t == HintTimer::PowerDialog ? powerTimer : hintTimer; };
        HintLoop loop(hooks, ini);

        // M5HC at 0V: both timers start once, the hint shows while the hint timer runs.
        QCOMPARE(loop.step(), HintLoop::Next::Sleep50);
        QCOMPARE(loop.step(), HintLoop::Next::Sleep50);
        QCOMPARE(timerCalls, (QStringList{"power:ON", "hint:ON"}));
        QCOMPARE(hints, 2);
        hintTimer = false; // the 60 s window ended
        QCOMPARE(loop.step(), HintLoop::Next::Sleep50);
        QCOMPARE(hints, 2);

        // Power arrives: both timers off, powered-seen ends the hint.
        voltage = "12.34V";
        QCOMPARE(loop.step(), HintLoop::Next::WaitForWake);
        QVERIFY(loop.poweredSeen());
        QVERIFY(!powerTimer);
        QCOMPARE(timerCalls.mid(2), (QStringList{"power:OFF", "hint:OFF"}));
        voltage = "0V";
        QCOMPARE(loop.step(), HintLoop::Next::WaitForWake);

        // Unplug resets the presence flags; an M5EC serial then shows the hint on every step.
        present = false;
        QCOMPARE(loop.step(), HintLoop::Next::Sleep500);
        QVERIFY(!loop.poweredSeen());
        present = true;
        remembered = "M5EC2019A0100017";
        timerCalls.clear();
        QCOMPARE(loop.step(), HintLoop::Next::Sleep50);
        QCOMPARE(loop.step(), HintLoop::Next::Sleep50);
        QCOMPARE(hints, 4);
        QVERIFY(timerCalls.isEmpty());
    }

    // The hint thread waits for a wake-up between steps, and once stopped it
    // never calls a hook again.
    void hintThreadWakesAndStops()
    {
        std::atomic<int> calls{0};
        std::atomic<bool> stopped{false};
        std::atomic<int> callsAfterStop{0};
        HintLoop::Hooks hooks;
        hooks.adapterPresent = [&](std::string&) {
            ++calls;
            if (stopped)
                ++callsAfterStop;
            return false;
        };
        auto loop = std::make_unique<HintLoop>(hooks, QStringLiteral("/nonexistent/VCIINFO.ini"));
        {
            WorkerGroup workers;
            loop->start(workers);
            QTRY_COMPARE(calls.load(), 1);
            QTest::qWait(50);
            QCOMPARE(calls.load(), 1); // waits for a wake-up
            loop->wake();
            QTRY_COMPARE(calls.load(), 2);
            workers.stopAndJoin(); // ends the loop's wait at once and joins it
            stopped = true;
            loop->wake();
        }
        loop.reset();
        QTest::qWait(100);
        QCOMPARE(callsAfterStop.load(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLoops)
#include "tst_device_loops.moc"
