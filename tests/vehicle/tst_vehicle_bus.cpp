// The vehicle clock and the CAN bus time model: events run in simulated-time
// order with exact timestamps, frames take their real bit count on the bus,
// arbitration, acknowledgement and rate errors behave as on a real bus.
#include "CanBus.h"
#include "Scheduler.h"
#include "support/SchedulerWait.h"

#include <QtTest>

#include <atomic>
#include <random>
#include <vector>

Q_DECLARE_METATYPE(vehicle::CanFrame)

using namespace vehicle;

namespace {

struct Recorder : CanListener {
    struct Rx {
        CanFrame frame;
        Micros at;
    };
    std::vector<Rx> frames;
    std::vector<Rx> sent;
    std::vector<NodeState> states;
    void received(const CanFrame& f, Micros at) override { frames.push_back({f, at}); }
    void transmitted(const CanFrame& f, Micros at) override { sent.push_back({f, at}); }
    void stateChanged(NodeState s) override { states.push_back(s); }
};

CanFrame frame(std::uint32_t id, std::vector<std::uint8_t> bytes, bool extended = false)
{
    CanFrame f;
    f.id = id;
    f.extended = extended;
    f.length = std::uint8_t(bytes.size());
    std::copy(bytes.begin(), bytes.end(), f.data.begin());
    return f;
}

// Runs `fn` on the scheduler thread and waits until `done` says so (bounded).
template <typename Done>
bool runUntil(Scheduler& s, const std::function<void()>& fn, Done done)
{
    s.call(fn);
    return waitOnScheduler(s, done, 5000);
}

} // namespace

class TestVehicleBus : public QObject {
    Q_OBJECT

private slots:
    void schedulerRunsEventsInSimulatedOrderWithExactTimes()
    {
        Scheduler s;
        std::vector<std::pair<int, Micros>> seen;
        std::atomic<bool> done{false};
        // Made before the thread runs: a late wake-up must not show in now().
        const Micros base = s.clock() + 20000;
        s.at(base + 300, [&] {
            seen.push_back({3, s.now()});
            done = true;
        });
        s.at(base + 100, [&] { seen.push_back({1, s.now()}); });
        const auto cancelled = s.at(base + 150, [&] { seen.push_back({99, s.now()}); });
        s.at(base + 100, [&] {
            seen.push_back({2, s.now()});
            s.after(50, [&] { seen.push_back({4, s.now()}); });
        });
        s.cancel(cancelled);
        s.start();
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        s.stop();
        const std::vector<std::pair<int, Micros>> expected
            = {{1, base + 100}, {2, base + 100}, {4, base + 150}, {3, base + 300}};
        QCOMPARE(seen, expected);
    }

    void schedulerPostsAndCallsFromOtherThreads()
    {
        Scheduler s;
        s.start();
        int counter = 0; // touched only on the scheduler thread
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 100; ++i)
                    s.post([&] { ++counter; });
            });
        for (auto& t : threads)
            t.join();
        int seen = 0;
        s.call([&] { seen = counter; }); // posts run in order, so all came first
        QCOMPARE(seen, 400);
        // After stop() nothing runs on the thread and call() does not hang.
        s.stop();
        bool ran = false;
        s.call([&] { ran = true; });
        QVERIFY(ran);
    }

    void frameBitsCountRealStuffing_data()
    {
        QTest::addColumn<CanFrame>("f");
        QTest::addColumn<int>("bits");
        // Identifier 0, eight zero bytes: SOF..r0 is 15 zeros (3 stuff
        // bits); DLC 1000; 3 + 64 zeros and the CRC 0x145B
        // (001010001011011) starts with 2 more: 69 zeros, 13 stuff bits.
        // 98 + 16 stuffed + 10 fixed + 3 IFS.
        QTest::newRow("zeros") << frame(0x000, {0, 0, 0, 0, 0, 0, 0, 0}) << 127;
        // An OBD request padded with 0x55: 4 stuff bits, two in the
        // identifier 11111011111, one in DLC 1000 + 0x02 (9 zeros), one in
        // the 8 zeros ending 0x02 and starting 0x01: 98 + 4 + 10 + 3.
        QTest::newRow("obd") << frame(0x7DF, {2, 1, 0x0C, 0x55, 0x55, 0x55, 0x55, 0x55}) << 115;
        // No data: SOF..r0 15 zeros (3), DLC 0000 and CRC 0 -> 19 zeros (3).
        QTest::newRow("empty") << frame(0x000, {}) << 1 + 11 + 3 + 4 + 15 + 6 + 10 + 3;
    }
    void frameBitsCountRealStuffing()
    {
        QFETCH(CanFrame, f);
        QFETCH(int, bits);
        QCOMPARE(int(CanBus::frameBits(f)), bits);
        Scheduler s;
        CanBus bus(s, "t", BusRate{500000, 0});
        QCOMPARE(bus.frameTime(f), Micros(bits) * 2);
    }

    void frameBitsStayWithinTheStandardBounds()
    {
        // 8 data bytes, 11-bit id: 108 bits + 3 IFS unstuffed; stuffing adds
        // at most (34 + 64 - 1) / 4 = 24 bits. 29-bit: 128 + 3 and 29 more.
        std::mt19937 rng(7);
        for (int i = 0; i < 2000; ++i) {
            CanFrame f;
            f.extended = i % 2;
            f.id = f.extended ? rng() & 0x1FFFFFFF : rng() & 0x7FF;
            f.length = 8;
            for (auto& b : f.data)
                b = std::uint8_t(rng());
            const auto bits = CanBus::frameBits(f);
            if (f.extended) {
                QVERIFY2(bits >= 131 && bits <= 131 + 29, qPrintable(QString::number(bits)));
            } else {
                QVERIFY2(bits >= 111 && bits <= 135, qPrintable(QString::number(bits)));
            }
        }
    }

    void fdFramesUseTheDataRateForTheDataPhase()
    {
        CanFrame f = frame(0x123, {});
        f.fd = true;
        f.brs = true;
        f.length = 64;
        for (auto& b : f.data)
            b = 0x55; // alternating bits: no dynamic stuffing in the data
        const auto bits = CanBus::phaseBits(f);
        // Nominal: SOF, 11 id, RRS, IDE, FDF, res, BRS + CRC delim, ACK,
        // ACK delim, 7 EOF, 3 IFS = 17 + 13 (no stuffing in 0x123 region).
        QCOMPARE(int(bits.nominal), 30);
        // Data: ESI + DLC(1111) + 512 + stuff count 4 + CRC-21 + 7 fixed
        // stuff bits, and at least one dynamic stuff bit (ESI 0 follows the
        // BRS 1, DLC 1111 then 0 of 0x55: a run of four ones, no stuff;
        // exactly that layout gives none).
        QVERIFY(bits.data >= 1 + 4 + 512 + 4 + 21 + 7);
        QVERIFY(bits.data <= 1 + 4 + 512 + 4 + 21 + 7 + 2);
        Scheduler s;
        CanBus bus(s, "fd", BusRate{500000, 2000000});
        const Micros expected = (Micros(bits.nominal) * 2000 + Micros(bits.data) * 500 + 500) / 1000;
        QCOMPARE(bus.frameTime(f), expected);
        // Without the switch the whole frame runs at the nominal rate.
        f.brs = false;
        QCOMPARE(bus.frameTime(f), Micros(CanBus::frameBits(f)) * 2);
    }

    void deliveryTimestampsAndArbitrationOrder()
    {
        Scheduler s;
        s.start();
        CanBus bus(s, "6-14", BusRate{500000, 0});
        Recorder a, b, c, rx;
        CanBus::NodeId na = 0, nb = 0, nc = 0;
        Micros t0 = 0;
        const CanFrame fa = frame(0x7E8, {1, 2, 3, 4, 5, 6, 7, 8});
        const CanFrame fb = frame(0x100, {1});
        // Extended id whose first 11 bits equal 0x100: the base frame wins.
        const CanFrame fc = frame(0x100u << 18, {2}, true);
        QVERIFY(runUntil(
            s,
            [&] {
                na = bus.attach(&a, bus.rate());
                nb = bus.attach(&b, bus.rate());
                nc = bus.attach(&c, bus.rate());
                bus.attach(&rx, bus.rate());
                t0 = s.now();
                // All three queue while the bus is idle: one arbitration.
                bus.send(na, fa);
                bus.send(nc, fc);
                bus.send(nb, fb);
            },
            [&] { return rx.frames.size() == 3; }));
        s.stop();
        QCOMPARE(rx.frames[0].frame.id, 0x100u);
        QVERIFY(!rx.frames[0].frame.extended);
        QCOMPARE(rx.frames[1].frame.id, 0x100u << 18);
        QCOMPARE(rx.frames[2].frame.id, 0x7E8u);
        // Back to back: each frame ends its own bit time (less the 3-bit
        // interframe space) after the previous one's interframe space.
        const Micros endB = t0 + bus.frameTime(fb) - 6;
        QCOMPARE(rx.frames[0].at, endB);
        const Micros endC = endB + 6 + bus.frameTime(fc) - 6;
        QCOMPARE(rx.frames[1].at, endC);
        QCOMPARE(rx.frames[2].at, endC + 6 + bus.frameTime(fa) - 6);
        // The sender is told at the same moment, the others hear the frame.
        QCOMPARE(a.sent.size(), size_t(1));
        QCOMPARE(a.sent[0].at, rx.frames[2].at);
        QCOMPARE(b.frames.size(), size_t(2));
        QVERIFY(bus.load() > 0.0);
    }

    void loneNodeWithoutAcknowledgementGoesBusOff()
    {
        Scheduler s;
        s.start();
        CanBus bus(s, "lonely", BusRate{500000, 0});
        Recorder a, deaf;
        CanBus::NodeId na = 0;
        QVERIFY(runUntil(
            s,
            [&] {
                na = bus.attach(&a, bus.rate());
                // A node at another rate cannot acknowledge.
                bus.attach(&deaf, BusRate{250000, 0});
                QVERIFY(bus.send(na, frame(0x7DF, {2, 1, 0})));
                QVERIFY(bus.send(na, frame(0x7DF, {2, 1, 0x0C})));
            },
            [&] { return bus.nodeState(na) == NodeState::BusOff; }));
        std::vector<NodeState> states;
        bool refused = false;
        std::size_t queued = 1;
        s.call([&] {
            states = a.states;
            refused = !bus.send(na, frame(0x7DF, {1}));
            queued = bus.queued(na);
        });
        s.stop();
        // Error passive at 128, bus-off above 255 (32 tries of +8).
        QCOMPARE(states, (std::vector<NodeState>{NodeState::ErrorPassive, NodeState::BusOff}));
        QVERIFY(refused);
        QCOMPARE(queued, size_t(0));
        QVERIFY(a.sent.empty());
        QVERIFY(deaf.frames.empty());
    }

    void nodeAtAnotherRateHearsNothingAndGoesBusOffWhenSending()
    {
        Scheduler s;
        s.start();
        CanBus bus(s, "6-14", BusRate{500000, 0});
        Recorder good, other, wrong;
        CanBus::NodeId ngood = 0, nwrong = 0;
        QVERIFY(runUntil(
            s,
            [&] {
                ngood = bus.attach(&good, bus.rate());
                bus.attach(&other, bus.rate());
                nwrong = bus.attach(&wrong, BusRate{250000, 0});
                bus.send(ngood, frame(0x7E0, {2, 0x10, 0x01}));
                bus.send(nwrong, frame(0x7E1, {2, 0x10, 0x01}));
            },
            [&] { return bus.nodeState(nwrong) == NodeState::BusOff && other.frames.size() == 1; }));
        s.stop();
        QVERIFY(wrong.frames.empty());            // heard nothing
        QCOMPARE(other.frames.size(), size_t(1)); // only the good frame got through
        QCOMPARE(other.frames[0].frame.id, 0x7E0u);
        QCOMPARE(good.sent.size(), size_t(1));
        QCOMPARE(wrong.states.back(), NodeState::BusOff);
        // Once set to the bus's rate the node is restarted and works.
        s.start();
        QVERIFY(runUntil(
            s,
            [&] {
                bus.setNodeRate(nwrong, bus.rate());
                QVERIFY(bus.send(nwrong, frame(0x7E1, {1, 0x3E})));
            },
            [&] { return other.frames.size() == 2; }));
        s.stop();
    }

    void listenerDetachingDuringDeliveryIsSafe()
    {
        Scheduler s;
        s.start();
        CanBus bus(s, "6-14", BusRate{500000, 0});
        struct Detacher : CanListener {
            CanBus* bus = nullptr;
            CanBus::NodeId self = 0, victim = 0;
            int seen = 0;
            void received(const CanFrame&, Micros) override
            {
                ++seen;
                bus->detach(victim);
                bus->detach(self);
            }
        };
        Recorder sender, later;
        Detacher d;
        d.bus = &bus;
        QVERIFY(runUntil(
            s,
            [&] {
                const auto ns = bus.attach(&sender, bus.rate());
                d.self = bus.attach(&d, bus.rate());
                d.victim = bus.attach(&later, bus.rate());
                bus.send(ns, frame(0x10, {1}));
                bus.send(ns, frame(0x11, {2}));
            },
            [&] { return sender.sent.size() == 1 && sender.states.size() >= 1; }));
        s.stop();
        QCOMPARE(d.seen, 1);
        QVERIFY(later.frames.empty()); // detached before its turn
    }
};

QTEST_GUILESS_MAIN(TestVehicleBus)
#include "tst_vehicle_bus.moc"
