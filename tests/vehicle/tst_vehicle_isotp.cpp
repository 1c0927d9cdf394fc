// ISO 15765-2 on the emulated bus: segmentation and reassembly, flow control
// honoured as sent (block size, STmin, wait, overflow), time-outs, sequence
// errors and padding, all timed in simulated microseconds.
#include "CanBus.h"
#include "IsoTp.h"
#include "Scheduler.h"
#include "support/SchedulerWait.h"

#include <QtTest>

#include <memory>
#include <optional>
#include <vector>

using namespace vehicle;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Seen {
    CanFrame frame;
    Micros at;
};

// A node on the bus that records what it hears and feeds its link, if any.
struct Node : CanListener {
    CanBus* bus = nullptr;
    CanBus::NodeId id = 0;
    std::unique_ptr<IsoTpLink> link;
    std::vector<Seen> heard;
    std::vector<Bytes> messages;
    std::vector<std::pair<IsoTpResult, Micros>> sent;
    std::vector<IsoTpResult> failed;

    void received(const CanFrame& f, Micros at) override
    {
        heard.push_back({f, at});
        if (link)
            link->onFrame(f, at);
    }
    void transmitted(const CanFrame& f, Micros at) override
    {
        if (link)
            link->onTransmitted(f, at);
    }
    void attach(Scheduler& s, CanBus& b, std::optional<IsoTpConfig> config)
    {
        bus = &b;
        id = b.attach(this, b.rate());
        if (!config)
            return;
        IsoTpLink::Callbacks cb;
        cb.received = [this](const Bytes& m, Micros) { messages.push_back(m); };
        cb.sent = [this](IsoTpResult r, Micros at) { sent.push_back({r, at}); };
        cb.receiveFailed = [this](IsoTpResult r, Micros) { failed.push_back(r); };
        link = std::make_unique<IsoTpLink>(s, b, id, *config, cb);
    }
    void raw(std::uint32_t canId, Bytes bytes)
    {
        CanFrame f;
        f.id = canId;
        f.length = std::uint8_t(bytes.size());
        std::copy(bytes.begin(), bytes.end(), f.data.begin());
        QVERIFY(bus->send(id, f));
    }
};

IsoTpConfig cfg(std::uint32_t tx, std::uint32_t rx)
{
    IsoTpConfig c;
    c.txId = tx;
    c.rxId = rx;
    return c;
}

// A scheduler with one 500 kbit/s bus; everything touching them runs on
// the scheduler thread through on().
struct Rig {
    Scheduler s;
    std::unique_ptr<CanBus> bus;
    Rig(BusRate rate = BusRate{500000, 0})
    {
        bus = std::make_unique<CanBus>(s, "6-14", rate);
        s.start();
    }
    ~Rig() { s.stop(); }
    void on(const std::function<void()>& fn) { s.call(fn); }
    bool waitFor(const std::function<bool()>& done) { return waitOnScheduler(s, done); }
};

Bytes pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = std::uint8_t(i * 7 + 3);
    return b;
}

} // namespace

class TestVehicleIsoTp : public QObject {
    Q_OBJECT

private slots:
    void longMessageHonoursBlockSizeAndStMin()
    {
        Rig rig;
        Node tester, ecu, sniffer;
        IsoTpConfig ecuCfg = cfg(0x7E8, 0x7E0);
        ecuCfg.blockSize = 8;
        ecuCfg.stMin = 0xF5; // 500 µs
        const Bytes message = pattern(4095);
        rig.on([&] {
            tester.attach(rig.s, *rig.bus, cfg(0x7E0, 0x7E8));
            ecu.attach(rig.s, *rig.bus, ecuCfg);
            sniffer.attach(rig.s, *rig.bus, std::nullopt);
            QVERIFY(tester.link->send(message));
            QVERIFY(!tester.link->send(message)); // one at a time
        });
        QVERIFY(rig.waitFor([&] { return !tester.sent.empty(); }));
        std::vector<Seen> frames;
        rig.on([&] { frames = sniffer.heard; });
        QCOMPARE(ecu.messages.size(), size_t(1));
        QVERIFY(ecu.messages[0] == message);
        QCOMPARE(tester.sent[0].first, IsoTpResult::Ok);

        // FF + 585 CFs of 7 bytes, a flow control after the FF and after
        // every 8th CF but the last: 74.
        int cfs = 0, fcs = 0, inBlock = 0;
        std::uint8_t sn = 1;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const CanFrame& f = frames[i].frame;
            QCOMPARE(int(f.length), 8);
            if (f.id == 0x7E8) {
                QCOMPARE(f.data[0], std::uint8_t(0x30));
                QCOMPARE(f.data[1], std::uint8_t(8));
                QCOMPARE(f.data[2], std::uint8_t(0xF5));
                ++fcs;
                inBlock = 0;
                continue;
            }
            if ((f.data[0] >> 4) != 2)
                continue;
            ++cfs;
            QCOMPARE(int(f.data[0] & 0x0F), int(sn));
            sn = (sn + 1) & 0x0F;
            QVERIFY(++inBlock <= 8);
            // Within a block the next CF is queued exactly STmin after the
            // previous one left the bus, and the bus was idle then.
            if (inBlock > 1) {
                const Micros gap = frames[i].at - frames[i - 1].at;
                QCOMPARE(gap, 500 + rig.bus->frameTime(f) - 6);
            }
        }
        QCOMPARE(cfs, 585);
        QCOMPARE(fcs, 74);
        // The transfer ends when the last CF leaves the bus.
        QCOMPARE(tester.sent[0].second, frames.back().at);
    }

    void fullSpeedTransferKeepsTheBusBusy()
    {
        // BS 0 and STmin 0: after the flow control every consecutive frame
        // starts the moment the previous one's interframe space ends, so
        // the transfer runs at the bus's full rate.
        Rig rig;
        Node tester, ecu, sniffer;
        const Bytes message = pattern(4095);
        Micros started = 0;
        rig.on([&] {
            tester.attach(rig.s, *rig.bus, cfg(0x7E0, 0x7E8));
            ecu.attach(rig.s, *rig.bus, cfg(0x7E8, 0x7E0));
            sniffer.attach(rig.s, *rig.bus, std::nullopt);
            QVERIFY(!tester.link->send(Bytes()));
            QVERIFY(!tester.link->send(pattern(4096))); // classic CAN stops at 4095
            started = rig.s.now();
            QVERIFY(tester.link->send(message));
        });
        QVERIFY(rig.waitFor([&] { return !ecu.messages.empty(); }));
        std::vector<Seen> frames;
        rig.on([&] { frames = sniffer.heard; });
        QVERIFY(ecu.messages[0] == message);
        QCOMPARE(frames.size(), size_t(1 + 1 + 585)); // FF, FC, CFs
        Micros busy = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            busy += rig.bus->frameTime(frames[i].frame);
            if (i >= 3) // CF after CF
                QCOMPARE(frames[i].at - frames[i - 1].at, rig.bus->frameTime(frames[i].frame));
        }
        // Only the two answer turn-arounds (FF -> FC -> first CF) are idle.
        const Micros total = frames.back().at + 6 - started;
        QVERIFY2(total - busy < 50, qPrintable(QStringLiteral("%1 of %2 µs idle").arg(total - busy).arg(total)));
    }

    void stMinEncodings()
    {
        QCOMPARE(IsoTpLink::stMinMicros(0x00), Micros(0));
        QCOMPARE(IsoTpLink::stMinMicros(0x7F), Micros(127000));
        QCOMPARE(IsoTpLink::stMinMicros(0xF1), Micros(100));
        QCOMPARE(IsoTpLink::stMinMicros(0xF9), Micros(900));
        // Reserved values count as the longest time.
        QCOMPARE(IsoTpLink::stMinMicros(0x80), Micros(127000));
        QCOMPARE(IsoTpLink::stMinMicros(0xF0), Micros(127000));
        QCOMPARE(IsoTpLink::stMinMicros(0xFA), Micros(127000));
    }

    void missingFlowControlTimesOut()
    {
        Rig rig;
        Node tester, deafEcu;
        IsoTpConfig c = cfg(0x7E0, 0x7E8);
        c.nBs = 50000;
        rig.on([&] {
            tester.attach(rig.s, *rig.bus, c);
            deafEcu.attach(rig.s, *rig.bus, std::nullopt); // acknowledges, never answers
            QVERIFY(tester.link->send(pattern(20)));
        });
        QVERIFY(rig.waitFor([&] { return !tester.sent.empty(); }));
        QCOMPARE(tester.sent[0].first, IsoTpResult::TimeoutBs);
        // N_Bs runs from the moment the first frame left the bus.
        QCOMPARE(deafEcu.heard.size(), size_t(1));
        QCOMPARE(tester.sent[0].second, deafEcu.heard[0].at + 50000);
        bool idle = false;
        rig.on([&] { idle = !tester.link->busy(); });
        QVERIFY(idle);
    }

    void busOffNodeCannotSend()
    {
        // Alone on the bus nothing is acknowledged: the node ends bus-off.
        Rig rig;
        Node tester;
        rig.on([&] {
            tester.attach(rig.s, *rig.bus, cfg(0x7E0, 0x7E8));
            QVERIFY(tester.link->send({0x3E, 0x00}));
        });
        QVERIFY(rig.waitFor([&] { return rig.bus->nodeState(tester.id) == NodeState::BusOff; }));
        // The pending frame is reported once it is clear it will not leave;
        // a new message is refused at once and leaves the link idle.
        QVERIFY(rig.waitFor([&] { return !tester.sent.empty(); }));
        QCOMPARE(tester.sent[0].first, IsoTpResult::BusOff);
        bool accepted = true, busy = true;
        rig.on([&] {
            accepted = tester.link->send(pattern(100));
            busy = tester.link->busy();
        });
        QVERIFY(!accepted);
        QVERIFY(!busy);
        QCOMPARE(tester.sent.size(), size_t(1));
    }

    void flowControlWaitAndOverflow()
    {
        Rig rig;
        Node tester, fake;
        IsoTpConfig c = cfg(0x7E0, 0x7E8);
        c.nBs = 50000;
        rig.on([&] {
            tester.attach(rig.s, *rig.bus, c);
            fake.attach(rig.s, *rig.bus, std::nullopt);
            QVERIFY(tester.link->send(pattern(10)));
        });
        QVERIFY(rig.waitFor([&] { return fake.heard.size() == 1; }));
        // Two waits 40 ms apart keep the sender waiting past one N_Bs of
        // 50 ms; the transfer goes on with the continue that follows.
        bool stillWaiting = false;
        rig.on([&] {
            const Micros ff = fake.heard[0].at;
            rig.s.at(ff + 40000, [&] { fake.raw(0x7E8, {0x31, 0, 0}); });
            rig.s.at(ff + 80000, [&] { fake.raw(0x7E8, {0x31, 0, 0}); });
            rig.s.at(ff + 110000, [&] {
                stillWaiting = tester.sent.empty() && tester.link->busy();
                fake.raw(0x7E8, {0x30, 0, 0});
            });
        });
        QVERIFY(rig.waitFor([&] { return !tester.sent.empty(); }));
        QVERIFY(stillWaiting);
        QCOMPARE(tester.sent[0].first, IsoTpResult::Ok);
        QCOMPARE(fake.heard.size(), size_t(2)); // FF + one CF with the last 4 bytes

        // An overflow answer ends the send with Overflow.
        rig.on([&] { QVERIFY(tester.link->send(pattern(100))); });
        QVERIFY(rig.waitFor([&] { return fake.heard.size() == 3; }));
        rig.on([&] { fake.raw(0x7E8, {0x32, 0, 0}); });
        QVERIFY(rig.waitFor([&] { return tester.sent.size() == 2; }));
        QCOMPARE(tester.sent[1].first, IsoTpResult::Overflow);
    }

    void receptionErrors()
    {
        Rig rig;
        Node ecu, tester;
        IsoTpConfig c = cfg(0x7E8, 0x7E0);
        c.nCr = 30000;
        rig.on([&] {
            ecu.attach(rig.s, *rig.bus, c);
            tester.attach(rig.s, *rig.bus, std::nullopt);
            // Out of sequence: FF then a CF numbered 2.
            tester.raw(0x7E0, {0x10, 0x0A, 1, 2, 3, 4, 5, 6});
            tester.raw(0x7E0, {0x22, 7, 8, 9, 10});
        });
        QVERIFY(rig.waitFor([&] { return !ecu.failed.empty(); }));
        QCOMPARE(ecu.failed[0], IsoTpResult::WrongSequence);
        QVERIFY(ecu.messages.empty());

        // A new first frame restarts the reception in progress.
        rig.on([&] {
            tester.raw(0x7E0, {0x10, 0x0A, 1, 2, 3, 4, 5, 6});
            tester.raw(0x7E0, {0x10, 0x09, 9, 8, 7, 6, 5, 4});
            tester.raw(0x7E0, {0x21, 3, 2, 1, 0xCC, 0xCC, 0xCC, 0xCC});
        });
        QVERIFY(rig.waitFor([&] { return ecu.messages.size() == 1; }));
        QCOMPARE(ecu.failed.size(), size_t(2));
        QCOMPARE(ecu.failed[1], IsoTpResult::Aborted);
        QVERIFY(ecu.messages[0] == (Bytes{9, 8, 7, 6, 5, 4, 3, 2, 1}));

        // A missing consecutive frame: N_Cr after the FF's flow control.
        rig.on([&] { tester.raw(0x7E0, {0x10, 0x14, 1, 2, 3, 4, 5, 6}); });
        QVERIFY(rig.waitFor([&] { return ecu.failed.size() == 3; }));
        QCOMPARE(ecu.failed[2], IsoTpResult::TimeoutCr);
        // Nonsense is ignored: CF with no reception, SF with bad lengths.
        rig.on([&] {
            tester.raw(0x7E0, {0x21, 1, 2});
            tester.raw(0x7E0, {0x08, 1, 2, 3, 4, 5, 6, 7});
            tester.raw(0x7E0, {0x05, 1, 2});
            tester.raw(0x7E0, {});
            tester.raw(0x7E0, {0x02, 0x3E, 0x00});
        });
        QVERIFY(rig.waitFor([&] { return ecu.messages.size() == 2; }));
        QVERIFY(ecu.messages[1] == (Bytes{0x3E, 0x00}));
        QCOMPARE(ecu.failed.size(), size_t(3));
    }

    void paddingAndFdFrames()
    {
        Rig rig(BusRate{500000, 2000000});
        Node a, b, c;
        IsoTpConfig padded = cfg(0x7E0, 0x7E8);
        padded.padValue = 0xAA;
        IsoTpConfig unpadded = cfg(0x7E1, 0x7E9);
        unpadded.pad = false;
        IsoTpConfig fd = cfg(0x7E2, 0x7EA);
        fd.fd = true;
        fd.pad = false;
        rig.on([&] {
            a.attach(rig.s, *rig.bus, padded);
            b.attach(rig.s, *rig.bus, unpadded);
            c.attach(rig.s, *rig.bus, std::nullopt);
            rig.bus->setNodeRate(a.id, rig.bus->rate());
        });
        rig.on([&] {
            QVERIFY(a.link->send({0x22, 0xF1, 0x90}));
            QVERIFY(b.link->send({0x3E, 0x00}));
        });
        QVERIFY(rig.waitFor([&] { return c.heard.size() == 2; }));
        const CanFrame& fa = c.heard[0].frame;
        QCOMPARE(int(fa.length), 8);
        QVERIFY(std::equal(
            fa.data.begin(), fa.data.begin() + 8, Bytes{0x03, 0x22, 0xF1, 0x90, 0xAA, 0xAA, 0xAA, 0xAA}.begin()));
        const CanFrame& fb = c.heard[1].frame;
        QCOMPARE(int(fb.length), 3);

        // FD: 20 bytes fit one single frame with the escaped length, padded
        // to the next valid length (24); 200 bytes go FF (62) + CFs of 63.
        Node d;
        IsoTpConfig fdRx = cfg(0x7EA, 0x7E2);
        fdRx.fd = true;
        rig.on([&] {
            c.link = nullptr;
            c.heard.clear();
            a.link.reset();
            b.link.reset();
            c.attach(rig.s, *rig.bus, fd);
            d.attach(rig.s, *rig.bus, fdRx);
            QVERIFY(c.link->send(pattern(20)));
        });
        QVERIFY(rig.waitFor([&] { return d.messages.size() == 1; }));
        rig.on([&] { QVERIFY(c.link->send(pattern(200))); });
        QVERIFY(rig.waitFor([&] { return d.messages.size() == 2; }));
        QVERIFY(d.messages[0] == pattern(20));
        QVERIFY(d.messages[1] == pattern(200));
        std::vector<int> lengths;
        for (const Seen& s : a.heard) {
            if (s.frame.id == 0x7E2 && s.frame.fd)
                lengths.push_back(s.frame.length);
        }
        // SF(24), FF(64), CF(64), CF(64), last CF: 200-62-126 = 12 bytes + PCI = 13 -> 16.
        QCOMPARE(lengths, (std::vector<int>{24, 64, 64, 64, 16}));

        // A first frame announcing more than the receiver takes (32-bit
        // length, 1 MiB) is answered with flow control overflow.
        rig.on([&] {
            a.heard.clear();
            CanFrame ff;
            ff.id = 0x7E2;
            ff.fd = true;
            ff.brs = true;
            ff.length = 64;
            const Bytes head = {0x10, 0x00, 0x00, 0x10, 0x00, 0x00};
            std::copy(head.begin(), head.end(), ff.data.begin());
            QVERIFY(rig.bus->send(a.id, ff));
        });
        QVERIFY(rig.waitFor([&] { return !a.heard.empty(); }));
        QCOMPARE(a.heard[0].frame.id, 0x7EAu);
        QCOMPARE(a.heard[0].frame.data[0], std::uint8_t(0x32));
        QCOMPARE(d.messages.size(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestVehicleIsoTp)
#include "tst_vehicle_isotp.moc"
