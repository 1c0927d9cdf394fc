// The adapter's pass-thru session on real emulated buses: channels and their
// rules, pass/block and flow-control filters, ISO 15765 transfers run by the
// adapter, loop-back, periodic messages in simulated time, configuration,
// the end of a session, and the bounded queue toward the client.
#include "passthru/PassThruOutbox.h"
#include "passthru/PassThruSession.h"

#include "vehicle/CanBus.h"
#include "vehicle/IsoTp.h"
#include "vehicle/Scheduler.h"

#include <j2534.h>

#include <QtTest>

#include <atomic>
#include <map>
#include <memory>
#include <optional>

using namespace vciemu;
using passthru::Message;
using passthru::Type;
using vehicle::CanBus;
using vehicle::CanFrame;
using vehicle::Micros;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Heard {
    CanFrame frame;
    Micros at;
};

// Another node on a bus (a tester or an ECU): records what it hears and,
// with a link, answers every whole ISO 15765 request with `answer`.
struct Node : vehicle::CanListener {
    CanBus* bus = nullptr;
    CanBus::NodeId id = 0;
    std::unique_ptr<vehicle::IsoTpLink> link;
    std::vector<Heard> heard;
    std::vector<Bytes> requests;
    Bytes answer;

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
};

Message msg(std::uint32_t protocol, std::uint32_t id, const Bytes& payload, std::uint32_t txFlags = 0)
{
    Message m;
    m.protocolId = protocol;
    m.txFlags = txFlags;
    m.data = {std::uint8_t(id >> 24), std::uint8_t(id >> 16), std::uint8_t(id >> 8), std::uint8_t(id)};
    m.data.insert(m.data.end(), payload.begin(), payload.end());
    return m;
}

std::uint32_t idOf(const Message& m)
{
    return (std::uint32_t(m.data[0]) << 24) | (std::uint32_t(m.data[1]) << 16) | (std::uint32_t(m.data[2]) << 8)
        | m.data[3];
}

// One session on a scheduler with the connector's two buses (500 kbit/s,
// FD data phase 2 Mbit/s). Everything on the buses runs on the scheduler
// thread (on()); the test thread reads the outbox.
struct Rig {
    vehicle::Scheduler s;
    std::unique_ptr<CanBus> bus614, bus311;
    PassThruOutbox outbox;
    std::unique_ptr<PassThruSession> session;
    std::vector<std::unique_ptr<Node>> nodes;
    std::map<std::uint32_t, PassThruOutbox::Item> replies;
    std::vector<PassThruOutbox::Item> events;
    PassThruSession::Device device{"MT7628 V2.0.1", "M5EA0001XJ7B0001", 12340};
    std::uint32_t nextTag = 1;

    explicit Rig(std::size_t maxMessages = PassThruOutbox::kMaxMessages)
        : outbox(maxMessages)
    {
        s.start();
        on([this] {
            bus614 = std::make_unique<CanBus>(s, "6/14", vehicle::BusRate{500000, 2000000});
            bus311 = std::make_unique<CanBus>(s, "3/11", vehicle::BusRate{500000, 2000000});
            session = std::make_unique<PassThruSession>(
                s,
                [this](
                    vehicle::Pins p, std::string*) { return p == vehicle::Pins::P6_14 ? bus614.get() : bus311.get(); },
                outbox);
        });
    }
    ~Rig()
    {
        on([this] {
            session.reset();
            nodes.clear();
            bus614.reset();
            bus311.reset();
        });
        s.stop();
    }
    void on(const std::function<void()>& fn) { s.call(fn); }

    Node* node(CanBus& bus, std::uint32_t bitrate = 500000)
    {
        Node* n = nullptr;
        on([&] {
            nodes.push_back(std::make_unique<Node>());
            n = nodes.back().get();
            n->bus = &bus;
            n->id = bus.attach(n, vehicle::BusRate{bitrate, 2000000});
        });
        return n;
    }
    // An ECU answering ISO 15765 requests on rx/tx with `answer`.
    Node* ecu(CanBus& bus, std::uint32_t rx, std::uint32_t tx, Bytes answer, std::uint8_t stMin = 0,
        bool extended = false, bool fd = false)
    {
        Node* n = node(bus);
        on([&] {
            n->answer = std::move(answer);
            vehicle::IsoTpConfig k;
            k.txId = tx;
            k.rxId = rx;
            k.stMin = stMin;
            k.extended = extended;
            k.fd = fd;
            vehicle::IsoTpLink::Callbacks cb;
            cb.received = [n](const Bytes& m, Micros) {
                n->requests.push_back(m);
                if (!n->answer.empty())
                    n->link->send(n->answer);
            };
            n->link = std::make_unique<vehicle::IsoTpLink>(s, bus, n->id, k, cb);
        });
        return n;
    }
    void send(Node* n, std::uint32_t id, const Bytes& data, bool extended = false, bool fd = false)
    {
        on([&] {
            CanFrame f;
            f.id = id;
            f.extended = extended;
            f.fd = fd;
            f.brs = fd;
            f.length = std::uint8_t(data.size());
            std::copy(data.begin(), data.end(), f.data.begin());
            n->bus->send(n->id, f);
        });
    }
    std::vector<Heard> heard(Node* n)
    {
        std::vector<Heard> out;
        on([&] { out = n->heard; });
        return out;
    }
    // Waits until `d` of simulated time has passed.
    void elapse(Micros d)
    {
        std::atomic<bool> done{false};
        on([&] { s.after(d, [&done] { done = true; }); });
        QVERIFY(QTest::qWaitFor([&] { return done.load(); }, 10000));
    }

    void collect()
    {
        PassThruOutbox::Item item;
        while (outbox.take(&item)) {
            if (item.isReply)
                replies[item.tag] = item;
            else
                events.push_back(item);
        }
    }
    // Runs a request and waits for its reply (WRITE may take its timeout).
    passthru::Reply request(PassThruRequest rq, int waitMs = 5000)
    {
        rq.tag = nextTag++;
        on([&] { session->handle(rq, device); });
        static_cast<void>(QTest::qWaitFor(
            [&] {
                collect();
                return replies.count(rq.tag) > 0;
            },
            waitMs));
        const auto it = replies.find(rq.tag);
        if (it == replies.end()) {
            passthru::Reply none;
            none.status = 0xFFFF; // no reply at all
            return none;
        }
        return it->second.reply;
    }
    std::uint32_t status(PassThruRequest rq) { return request(std::move(rq)).status; }

    passthru::Reply open()
    {
        PassThruRequest rq;
        rq.type = Type::Open;
        rq.open.client = "test";
        return request(rq);
    }
    passthru::Reply connect(std::uint32_t protocol, std::uint32_t flags = 0, std::uint32_t baud = 500000)
    {
        PassThruRequest rq;
        rq.type = Type::Connect;
        rq.connect = {protocol, flags, baud};
        return request(rq);
    }
    // Opens the session with one channel of `protocol`; the channel's id.
    std::uint32_t openChannel(std::uint32_t protocol)
    {
        open();
        return connect(protocol).value;
    }
    passthru::Reply filter(std::uint32_t channel, std::uint32_t type, Message mask, Message pattern,
        std::optional<Message> fc = std::nullopt)
    {
        PassThruRequest rq;
        rq.type = Type::StartFilter;
        rq.filter.channel = channel;
        rq.filter.filterType = type;
        rq.filter.mask = std::move(mask);
        rq.filter.pattern = std::move(pattern);
        rq.filter.flowControl = std::move(fc);
        return request(rq);
    }
    passthru::Reply flowControl(
        std::uint32_t channel, std::uint32_t protocol, std::uint32_t rx, std::uint32_t tx, std::uint32_t txFlags = 0)
    {
        return filter(channel, FLOW_CONTROL_FILTER, msg(protocol, 0xFFFFFFFF, {}), msg(protocol, rx, {}),
            msg(protocol, tx, {}, txFlags));
    }
    passthru::Reply write(std::uint32_t channel, std::vector<Message> messages, std::uint32_t timeoutMs = 1000)
    {
        PassThruRequest rq;
        rq.type = Type::Write;
        rq.write.channel = channel;
        rq.write.timeoutMs = timeoutMs;
        rq.write.messages = std::move(messages);
        return request(rq, int(timeoutMs) + 5000);
    }
    passthru::Reply ioctl(std::uint32_t channel, std::uint32_t id, std::vector<passthru::ConfigPair> pairs = {})
    {
        PassThruRequest rq;
        rq.type = Type::Ioctl;
        rq.ioctl.channel = channel;
        rq.ioctl.ioctlId = id;
        rq.ioctl.pairs = std::move(pairs);
        return request(rq);
    }
    std::uint32_t set(std::uint32_t channel, std::uint32_t parameter, std::uint32_t value)
    {
        return ioctl(channel, SET_CONFIG, {{parameter, value}}).status;
    }
    passthru::Reply periodic(std::uint32_t channel, Message m, std::uint32_t intervalMs)
    {
        PassThruRequest rq;
        rq.type = Type::StartPeriodic;
        rq.periodic.channel = channel;
        rq.periodic.intervalMs = intervalMs;
        rq.periodic.message = std::move(m);
        return request(rq);
    }
    passthru::Reply stop(Type type, std::uint32_t channel, std::uint32_t id)
    {
        PassThruRequest rq;
        rq.type = type;
        rq.stop = {channel, id};
        return request(rq);
    }
    // The messages received so far on a channel, in order.
    std::vector<Message> received(std::uint32_t channel)
    {
        collect();
        std::vector<Message> out;
        for (const auto& e : events)
            if (e.type == Type::Rx && e.channel == channel)
                out.insert(out.end(), e.messages.begin(), e.messages.end());
        return out;
    }
    std::vector<std::uint32_t> busStates(std::uint32_t channel)
    {
        collect();
        std::vector<std::uint32_t> out;
        for (const auto& e : events)
            if (e.type == Type::Bus && e.channel == channel)
                out.push_back(e.value);
        return out;
    }
};

} // namespace

class TestPassThruSession : public QObject {
    Q_OBJECT

private slots:
    void openComesFirstAndOnlyOnce()
    {
        Rig r;
        QCOMPARE(r.connect(CAN).status, std::uint32_t(ERR_DEVICE_NOT_CONNECTED));
        PassThruRequest old;
        old.type = Type::Open;
        old.open.version = 7;
        QCOMPARE(r.status(old), std::uint32_t(ERR_NOT_SUPPORTED));
        const passthru::Reply opened = r.open();
        QCOMPARE(opened.status, 0u);
        QCOMPARE(opened.serial, std::string("M5EA0001XJ7B0001"));
        QCOMPARE(opened.supplyMv, 12340u);
        QCOMPARE(r.open().status, std::uint32_t(ERR_DEVICE_IN_USE));
        r.device.supplyMv = 11800; // the supply as the adapter measures it now
        const passthru::Reply vbatt = r.ioctl(0, READ_VBATT);
        QCOMPARE(vbatt.status, 0u);
        QCOMPARE(vbatt.pairs.size(), std::size_t(1));
        QCOMPARE(vbatt.pairs[0].value, 11800u);
    }

    void channelsFollowTheProtocolBusAndLimitRules()
    {
        Rig r;
        r.open();
        QCOMPARE(r.connect(ISO9141).status, std::uint32_t(ERR_NOT_SUPPORTED));
        QCOMPARE(r.connect(0x99).status, std::uint32_t(ERR_INVALID_PROTOCOL_ID));
        QCOMPARE(r.connect(CAN, 0x2).status, std::uint32_t(ERR_INVALID_FLAGS));
        QCOMPARE(r.connect(CAN, 0, 200000).status, std::uint32_t(ERR_INVALID_BAUDRATE));
        QCOMPARE(r.connect(CAN, 0, 2000000).status, std::uint32_t(ERR_INVALID_BAUDRATE));
        const std::uint32_t can = r.connect(CAN).value;
        QVERIFY(can != 0);
        QCOMPARE(r.connect(CAN).status, std::uint32_t(ERR_CHANNEL_IN_USE));
        const std::uint32_t iso = r.connect(ISO15765).value;
        QVERIFY(iso != 0 && iso != can);

        // A pin-selectable channel carries nothing until its pins are chosen.
        const passthru::Reply ps = r.connect(CAN_PS);
        QCOMPARE(ps.status, 0u);
        QCOMPARE(r.write(ps.value, {msg(CAN_PS, 0x123, {1})}).status, std::uint32_t(ERR_PIN_INVALID));
        QCOMPARE(r.periodic(ps.value, msg(CAN_PS, 0x123, {1}), 100).status, std::uint32_t(ERR_PIN_INVALID));
        QCOMPARE(r.set(ps.value, J1962_PINS, 0x0708), std::uint32_t(ERR_PIN_INVALID));
        QCOMPARE(r.set(ps.value, J1962_PINS, 0x060E), std::uint32_t(ERR_CHANNEL_IN_USE)); // the CAN channel's bus
        QCOMPARE(r.set(ps.value, J1962_PINS, 0x030B), 0u);
        QCOMPARE(r.ioctl(ps.value, GET_CONFIG, {{J1962_PINS, 0}}).pairs.at(0).value, 0x030Bu);
        QCOMPARE(r.set(ps.value, J1962_PINS, 0x060E), std::uint32_t(ERR_PIN_INVALID)); // chosen already
        QCOMPARE(r.set(can, J1962_PINS, 0x030B), std::uint32_t(ERR_NOT_SUPPORTED));

        const std::uint32_t isoPs = r.connect(ISO15765_PS).value;
        QVERIFY(isoPs != 0);
        QCOMPARE(r.connect(CAN_FD_PS).status, std::uint32_t(ERR_EXCEEDED_LIMIT));
        PassThruRequest d;
        d.type = Type::Disconnect;
        d.channel.channel = can;
        QCOMPARE(r.status(d), 0u);
        QCOMPARE(r.status(d), std::uint32_t(ERR_INVALID_CHANNEL_ID));
        // Room for a fourth channel again.
        QCOMPARE(r.connect(CAN_FD_PS).status, 0u);
    }

    void canFiltersPassAndBlockOnTheFirstBytes()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(CAN);
        Node* tester = r.node(*r.bus614);
        // No pass filter: nothing is received.
        r.send(tester, 0x7E8, {0x02, 0x41, 0x0C});
        r.elapse(2000);
        QVERIFY(r.received(ch).empty());

        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0xFFFFFFF0, {}), msg(CAN, 0x7E0, {})).status, 0u);
        QCOMPARE(r.filter(ch, BLOCK_FILTER, msg(CAN, 0xFFFFFFFF, {0xFF}), msg(CAN, 0x7E9, {0x10})).status, 0u);
        r.send(tester, 0x7E8, {0x02, 0x41, 0x0C});
        r.send(tester, 0x7E9, {0x10, 0x14}); // blocked: first data byte 0x10
        r.send(tester, 0x7E9, {0x21, 0x00});
        r.send(tester, 0x100, {0x01}); // not passed
        QTRY_COMPARE(r.received(ch).size(), std::size_t(2));
        const auto got = r.received(ch);
        QCOMPARE(idOf(got[0]), 0x7E8u);
        QCOMPARE(got[0].data, (Bytes{0, 0, 7, 0xE8, 0x02, 0x41, 0x0C}));
        QCOMPARE(idOf(got[1]), 0x7E9u);
        QCOMPARE(got[1].rxStatus, 0u);
        QVERIFY(got[1].timestamp > got[0].timestamp);
        // Frames of the other identifier kind are not for an 11-bit channel.
        r.send(tester, 0x7E8, {0x01}, true);
        r.send(tester, 0x7EA, {0x02});
        QTRY_COMPARE(r.received(ch).size(), std::size_t(3));
        QCOMPARE(idOf(r.received(ch)[2]), 0x7EAu);

        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0, Bytes(9)), msg(CAN, 0, Bytes(9))).status,
            std::uint32_t(ERR_INVALID_MSG)); // 13 bytes
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0, {1}), msg(CAN, 0, {})).status, std::uint32_t(ERR_INVALID_MSG));
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(ISO15765, 0, {}), msg(ISO15765, 0, {})).status,
            std::uint32_t(ERR_MSG_PROTOCOL_ID));
        QCOMPARE(r.flowControl(ch, CAN, 0x7E8, 0x7E0).status, std::uint32_t(ERR_INVALID_MSG));
        QCOMPARE(r.stop(Type::StopFilter, ch, 99).status, std::uint32_t(ERR_INVALID_FILTER_ID));
        for (int i = 2; i < 10; ++i)
            QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0xFFFFFFFF, {}), msg(CAN, 0x100 + i, {})).status, 0u);
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0xFFFFFFFF, {}), msg(CAN, 0x200, {})).status,
            std::uint32_t(ERR_EXCEEDED_LIMIT));
        QCOMPARE(r.ioctl(ch, CLEAR_MSG_FILTERS).status, 0u);
        r.send(tester, 0x7E8, {0x05});
        r.elapse(2000);
        QCOMPARE(r.received(ch).size(), std::size_t(3));
    }

    void writesAnswerOnceOnTheBusWithLoopbackCopies()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(CAN);
        Node* tester = r.node(*r.bus614);
        QCOMPARE(r.set(ch, LOOPBACK, 1), 0u);
        const passthru::Reply w = r.write(
            ch, {msg(CAN, 0x7DF, {2, 1, 0}), msg(CAN, 0x7E0, {2, 1, 0x0C}), msg(CAN, 0x18DB33F1, {1}, CAN_29BIT_ID)});
        QCOMPARE(w.status, std::uint32_t(ERR_INVALID_MSG)); // a 29-bit message on an 11-bit channel: none is sent
        QVERIFY(r.heard(tester).empty());
        QCOMPARE(r.write(ch, {msg(CAN, 0x7DF, Bytes(9))}).status, std::uint32_t(ERR_INVALID_MSG));
        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7DF, {1})}).status, std::uint32_t(ERR_MSG_PROTOCOL_ID));

        const passthru::Reply ok = r.write(ch, {msg(CAN, 0x7DF, {2, 1, 0}), msg(CAN, 0x7E0, {2, 1, 0x0C})});
        QCOMPARE(ok.status, 0u);
        QCOMPARE(ok.value, 2u);
        // The reply came after both frames were on the bus, in order.
        const auto heard = r.heard(tester);
        QCOMPARE(heard.size(), std::size_t(2));
        QCOMPARE(heard[0].frame.id, 0x7DFu);
        QCOMPARE(heard[1].frame.id, 0x7E0u);
        const auto copies = r.received(ch);
        QCOMPARE(copies.size(), std::size_t(2));
        QCOMPARE(copies[1].rxStatus, std::uint32_t(TX_MSG_TYPE));
        QCOMPARE(copies[1].data, (Bytes{0, 0, 7, 0xE0, 2, 1, 0x0C}));
        QCOMPARE(copies[0].timestamp, std::uint64_t(heard[0].at));
        QCOMPARE(copies[1].timestamp, std::uint64_t(heard[1].at));

        // A long write goes back to back: each frame starts as the last one ends.
        std::vector<Message> many(40, msg(CAN, 0x7E0, {8, 7, 6, 5, 4, 3, 2, 1}));
        QCOMPARE(r.write(ch, many).value, 40u);
        const auto burst = r.heard(tester);
        QCOMPARE(burst.size(), std::size_t(42));
        Micros frameTime = 0;
        r.on([&] { frameTime = r.bus614->frameTime(burst.back().frame); });
        for (std::size_t i = 3; i < burst.size(); ++i)
            QVERIFY2(std::abs(burst[i].at - burst[i - 1].at - frameTime) <= 1, "a gap between frames of one write");
    }

    void aChannelAtTheWrongRateGoesBusOffAndRecovers()
    {
        Rig r;
        r.open();
        // The bus runs at 500 kbit/s: this channel's frames only break it.
        const std::uint32_t ch = r.connect(CAN, 0, 250000).value;
        Node* listener = r.node(*r.bus614);
        const passthru::Reply w = r.write(ch, {msg(CAN, 0x7DF, {2, 1, 0})}, 1000);
        QCOMPARE(w.status, std::uint32_t(ERR_FAILED));
        QVERIFY2(w.text.find("0 of 1") == 0, w.text.c_str());
        QTRY_COMPARE(r.busStates(ch).size(), std::size_t(2));
        QCOMPARE(r.busStates(ch)[0], passthru::kBusErrorPassive);
        QCOMPARE(r.busStates(ch)[1], passthru::kBusOff);
        QVERIFY(r.heard(listener).empty());
        // The right rate restarts the controller.
        QCOMPARE(r.set(ch, DATA_RATE, 500000), 0u);
        QTRY_COMPARE(r.busStates(ch).back(), passthru::kBusActive);
        QCOMPARE(r.write(ch, {msg(CAN, 0x7DF, {2, 1, 0})}).status, 0u);
        QCOMPARE(r.heard(listener).size(), std::size_t(1));
    }

    void writesThatWaitTooLongTimeOutOrAreCleared()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(CAN);
        Node* busy = r.node(*r.bus614);
        // A node with 200 frames of a higher priority holds the bus for about 45 ms.
        const auto flood = [&] {
            r.on([&] {
                CanFrame f;
                f.id = 0x001;
                f.length = 8;
                for (int i = 0; i < 200; ++i)
                    busy->bus->send(busy->id, f);
            });
        };
        flood();
        const passthru::Reply w = r.write(ch, {msg(CAN, 0x7DF, {2, 1, 0})}, 5);
        QCOMPARE(w.status, std::uint32_t(ERR_TIMEOUT));
        QCOMPARE(w.value, 0u); // the number sent travels with the error
        // It stays queued and goes once the bus is free.
        QTRY_COMPARE(r.heard(busy).size(), std::size_t(1));

        flood();
        PassThruRequest rq;
        rq.type = Type::Write;
        rq.tag = 500;
        rq.write.channel = ch;
        rq.write.timeoutMs = 60000;
        rq.write.messages = {msg(CAN, 0x100, {1})};
        r.on([&] { r.session->handle(rq, r.device); });
        QCOMPARE(r.ioctl(ch, CLEAR_TX_BUFFER).status, 0u);
        QVERIFY(r.replies.count(500) > 0); // answered at once, before the clear's own reply
        QCOMPARE(r.replies[500].reply.status, std::uint32_t(ERR_FAILED));
        QVERIFY(r.replies[500].reply.text.find("0 of 1") == 0);
        r.elapse(100000);
        QCOMPARE(r.heard(busy).size(), std::size_t(1)); // the cleared frame never left
    }

    void isoTpTransfersRunOnTheAdapter()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(ISO15765);
        Bytes vin = {0x62, 0xF1, 0x90};
        for (char c : std::string("WBW11111111111111"))
            vin.push_back(std::uint8_t(c));
        Node* ecu = r.ecu(*r.bus614, 0x7E0, 0x7E8, vin);
        // A message needing flow control without a filter for its identifier.
        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7E0, Bytes(20, 1))}).status, std::uint32_t(ERR_NO_FLOW_CONTROL));
        QCOMPARE(r.flowControl(ch, ISO15765, 0x7E8, 0x7E0).status, 0u);
        QCOMPARE(r.flowControl(ch, ISO15765, 0x7E8, 0x7E1).status, std::uint32_t(ERR_NOT_UNIQUE));
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(ISO15765, 0xFFFFFFFF, {}), msg(ISO15765, 0x7E8, {})).status,
            std::uint32_t(ERR_NOT_SUPPORTED));
        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7E0, {0x22, 0xF1, 0x90}, ISO15765_ADDR_TYPE)}).status,
            std::uint32_t(ERR_NOT_SUPPORTED));

        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7E0, {0x22, 0xF1, 0x90})}).status, 0u);
        // TxDone, then the answer's first-frame indication, then the whole answer.
        QTRY_COMPARE(r.received(ch).size(), std::size_t(3));
        const auto got = r.received(ch);
        QCOMPARE(got[0].rxStatus, std::uint32_t(TX_MSG_TYPE | TX_INDICATION));
        QCOMPARE(got[0].data, (Bytes{0, 0, 7, 0xE0}));
        QCOMPARE(got[1].rxStatus, std::uint32_t(START_OF_MESSAGE));
        QCOMPARE(got[1].data, (Bytes{0, 0, 7, 0xE8}));
        QCOMPARE(got[2].rxStatus, 0u);
        QCOMPARE(Bytes(got[2].data.begin() + 4, got[2].data.end()), vin);
        QVERIFY(got[2].timestamp > got[1].timestamp);

        // A long message goes out segmented, paced by the ECU's flow control
        // unless STMIN_TX overrides it; padded frames carry the pad value.
        QCOMPARE(r.set(ch, STMIN_TX, 1), 0u);
        QCOMPARE(r.set(ch, ISO15765_PAD_VALUE, 0xAA), 0u);
        r.on([&] {
            ecu->answer.clear();
            ecu->heard.clear();
        });
        Bytes big(4095);
        for (std::size_t i = 0; i < big.size(); ++i)
            big[i] = std::uint8_t(i * 7);
        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7E0, big, ISO15765_FRAME_PAD)}, 10000).status, 0u);
        Bytes request;
        std::vector<Heard> frames;
        r.on([&] {
            request = ecu->requests.back();
            frames = ecu->heard;
        });
        QCOMPARE(request, big);
        QCOMPARE(frames.size(), std::size_t(1 + 585)); // first frame + ceil((4095 - 6) / 7)
        QCOMPARE(int(frames.back().frame.length), 8);
        QCOMPARE(frames.back().frame.data[7], std::uint8_t(0xAA)); // 4095 = 6 + 584 * 7 + 5
        for (std::size_t i = 2; i < frames.size(); ++i)
            QVERIFY2(frames[i].at - frames[i - 1].at >= 1000, "STMIN_TX paces the consecutive frames");

        // Our own flow control frames carry ISO15765_BS and ISO15765_STMIN.
        QCOMPARE(r.ioctl(ch, SET_CONFIG, {{ISO15765_BS, 8}, {ISO15765_STMIN, 0xF5}}).status, 0u);
        r.on([&] {
            ecu->heard.clear();
            ecu->link->send(Bytes(100, 0x55));
        });
        QTRY_COMPARE(r.received(ch).size(), std::size_t(6)); // + TxDone of the long message, FF indication, answer
        r.on([&] { frames = ecu->heard; });
        QVERIFY(!frames.empty());
        QCOMPARE(frames[0].frame.id, 0x7E0u);
        QCOMPARE(frames[0].frame.data[0], std::uint8_t(0x30));
        QCOMPARE(frames[0].frame.data[1], std::uint8_t(8));
        QCOMPARE(frames[0].frame.data[2], std::uint8_t(0xF5));
        QCOMPARE(r.received(ch).back().data.size(), std::size_t(104));
    }

    // With FD_CAN_FRAME_FLAGS a CAN FD channel sends each message in its own
    // format (classic, FD, FD with the faster data phase; over 8 bytes always
    // FD) and tells the format of each frame it receives; only raw CAN FD
    // channels take the parameter, and only 0 or 1.
    void canFdFrameFormatPerMessage()
    {
        Rig r;
        r.open();
        const std::uint32_t classic = r.connect(CAN_PS).value;
        QCOMPARE(r.set(classic, FD_CAN_FRAME_FLAGS, 1), std::uint32_t(ERR_NOT_SUPPORTED));
        const std::uint32_t fd = r.connect(CAN_FD_PS).value;
        QCOMPARE(r.set(fd, FD_CAN_FRAME_FLAGS, 2), std::uint32_t(ERR_INVALID_IOCTL_VALUE));
        QCOMPARE(r.set(fd, J1962_PINS, 0x030B), 0u);
        QCOMPARE(r.ioctl(fd, GET_CONFIG, {{FD_CAN_FRAME_FLAGS, 9}}).pairs.at(0).value, 0u);
        QCOMPARE(r.set(fd, FD_CAN_FRAME_FLAGS, 1), 0u);
        QCOMPARE(r.ioctl(fd, GET_CONFIG, {{FD_CAN_FRAME_FLAGS, 0}}).pairs.at(0).value, 1u);
        Node* tester = r.node(*r.bus311);
        QCOMPARE(
            r.write(fd,
                 {msg(CAN_FD_PS, 0x123, {1, 2}), msg(CAN_FD_PS, 0x124, {1, 2}, CAN_FD_FORMAT),
                     msg(CAN_FD_PS, 0x125, {1, 2}, CAN_FD_FORMAT | CAN_FD_BRS), msg(CAN_FD_PS, 0x126, Bytes(12, 7))})
                .status,
            0u);
        QTRY_COMPARE(r.heard(tester).size(), std::size_t(4));
        const auto heard = r.heard(tester);
        QVERIFY(!heard[0].frame.fd && !heard[0].frame.brs);
        QVERIFY(heard[1].frame.fd && !heard[1].frame.brs);
        QVERIFY(heard[2].frame.fd && heard[2].frame.brs);
        QVERIFY(heard[3].frame.fd && !heard[3].frame.brs);
        QCOMPARE(int(heard[3].frame.length), 12);

        QCOMPARE(r.filter(fd, PASS_FILTER, msg(CAN_FD_PS, 0, {}), msg(CAN_FD_PS, 0, {})).status, 0u);
        r.send(tester, 0x456, {9}, false, true);
        r.send(tester, 0x457, {9});
        QTRY_COMPARE(r.received(fd).size(), std::size_t(2));
        QCOMPARE(r.received(fd)[0].rxStatus, std::uint32_t(CAN_FD_FORMAT | CAN_FD_BRS));
        QCOMPARE(r.received(fd)[1].rxStatus, 0u);
    }

    void canFdAndExtendedIdentifiersOnThePinSelectedBus()
    {
        Rig r;
        r.open();
        // Raw CAN FD on pins 3/11, both identifier kinds.
        const std::uint32_t fd = r.connect(CAN_FD_PS, CAN_ID_BOTH).value;
        QCOMPARE(r.set(fd, FD_CAN_DATA_PHASE_RATE, 3000000), std::uint32_t(ERR_INVALID_BAUDRATE));
        QCOMPARE(r.ioctl(fd, GET_CONFIG, {{FD_CAN_DATA_PHASE_RATE, 0}}).pairs.at(0).value, 2000000u);
        QCOMPARE(r.set(fd, J1962_PINS, 0x030B), 0u);
        Node* tester = r.node(*r.bus311);
        QCOMPARE(r.write(fd, {msg(CAN_FD_PS, 0x18DA10F1, Bytes(10, 1), CAN_29BIT_ID)}).status,
            std::uint32_t(ERR_INVALID_MSG)); // 10 is not a CAN FD length
        QCOMPARE(
            r.write(fd, {msg(CAN_FD_PS, 0x18DA10F1, Bytes(12, 1), CAN_29BIT_ID), msg(CAN_FD_PS, 0x123, {5})}).status,
            0u);
        auto heard = r.heard(tester);
        QCOMPARE(heard.size(), std::size_t(2));
        QVERIFY(heard[0].frame.fd && heard[0].frame.brs && heard[0].frame.extended);
        QCOMPARE(int(heard[0].frame.length), 12);
        QVERIFY(!heard[1].frame.extended);
        QCOMPARE(r.filter(fd, PASS_FILTER, msg(CAN_FD_PS, 0, {}), msg(CAN_FD_PS, 0, {})).status, 0u);
        r.send(tester, 0x18DAF110, {1, 2}, true);
        QTRY_COMPARE(r.received(fd).size(), std::size_t(1));
        QCOMPARE(r.received(fd)[0].rxStatus, std::uint32_t(CAN_29BIT_ID));
        QCOMPARE(idOf(r.received(fd)[0]), 0x18DAF110u);

        // ISO 15765 with 29-bit identifiers and CAN FD frames on pins 6/14.
        const std::uint32_t iso = r.connect(ISO15765_FD_PS, CAN_29BIT_ID).value;
        QCOMPARE(r.set(iso, J1962_PINS, 0x060E), 0u);
        Bytes answer(300);
        for (std::size_t i = 0; i < answer.size(); ++i)
            answer[i] = std::uint8_t(i);
        r.ecu(*r.bus614, 0x18DA10F1, 0x18DAF110, answer, 0, true, true);
        QCOMPARE(r.flowControl(iso, ISO15765_FD_PS, 0x18DAF110, 0x18DA10F1).status,
            std::uint32_t(ERR_INVALID_MSG)); // an 11-bit filter on a 29-bit channel
        QCOMPARE(r.flowControl(iso, ISO15765_FD_PS, 0x18DAF110, 0x18DA10F1, CAN_29BIT_ID).status, 0u);
        QCOMPARE(r.write(iso, {msg(ISO15765_FD_PS, 0x18DA10F1, Bytes(20, 0x22), CAN_29BIT_ID)}).status, 0u);
        QTRY_COMPARE(r.received(iso).size(), std::size_t(3)); // TxDone, first frame, answer
        const auto got = r.received(iso);
        QCOMPARE(got[0].rxStatus, std::uint32_t(TX_MSG_TYPE | TX_INDICATION | CAN_29BIT_ID));
        QCOMPARE(got[1].rxStatus, std::uint32_t(START_OF_MESSAGE | CAN_29BIT_ID));
        QCOMPARE(got[2].rxStatus, std::uint32_t(CAN_29BIT_ID));
        QCOMPARE(Bytes(got[2].data.begin() + 4, got[2].data.end()), answer);
    }

    void functionalSingleFramesNeedNoFlowControl()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(ISO15765);
        Node* tester = r.node(*r.bus614);
        QCOMPARE(r.write(ch, {msg(ISO15765, 0x7DF, {0x01, 0x0C}, ISO15765_FRAME_PAD)}).status, 0u);
        const auto heard = r.heard(tester);
        QCOMPARE(heard.size(), std::size_t(1));
        QCOMPARE(int(heard[0].frame.length), 8);
        QCOMPARE(heard[0].frame.data[0], std::uint8_t(0x02));
        QCOMPARE(r.received(ch).at(0).rxStatus, std::uint32_t(TX_MSG_TYPE | TX_INDICATION));
    }

    void periodicMessagesKeepTheirPeriodAndStopWithTheSession()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(CAN);
        Node* tester = r.node(*r.bus614);
        QCOMPARE(r.periodic(ch, msg(CAN, 0x7DF, {2, 0x3E, 0}), 4).status, std::uint32_t(ERR_INVALID_TIME_INTERVAL));
        QCOMPARE(r.periodic(ch, msg(CAN, 0x7DF, Bytes(9)), 10).status, std::uint32_t(ERR_INVALID_MSG));
        const passthru::Reply p = r.periodic(ch, msg(CAN, 0x7DF, {2, 0x3E, 0}), 20);
        QCOMPARE(p.status, 0u);
        QTRY_VERIFY(r.heard(tester).size() >= 6);
        auto heard = r.heard(tester);
        for (std::size_t i = 1; i < heard.size(); ++i)
            QCOMPARE(heard[i].at - heard[i - 1].at, Micros(20000));
        QCOMPARE(r.stop(Type::StopPeriodic, ch, p.value + 100).status, std::uint32_t(ERR_INVALID_MSG_ID));
        for (int i = 1; i < 10; ++i)
            QCOMPARE(r.periodic(ch, msg(CAN, 0x700 + i, {1}), 1000).status, 0u);
        QCOMPARE(r.periodic(ch, msg(CAN, 0x7FF, {1}), 1000).status, std::uint32_t(ERR_EXCEEDED_LIMIT));
        QCOMPARE(r.ioctl(ch, CLEAR_PERIODIC_MSGS).status, 0u);
        std::size_t cleared = r.heard(tester).size();
        r.elapse(60000);
        QVERIFY(r.heard(tester).size() <= cleared + PassThruSession::kMaxOnBus); // already with the controller
        std::vector<std::uint32_t> ids;
        for (int i = 0; i < 10; ++i) {
            const passthru::Reply started = r.periodic(ch, msg(CAN, 0x700 + i, {1}), 1000);
            QCOMPARE(started.status, 0u);
            ids.push_back(started.value);
        }
        QCOMPARE(r.periodic(ch, msg(CAN, 0x7DF, {2, 0x3E, 0}), 20).status, std::uint32_t(ERR_EXCEEDED_LIMIT));
        QCOMPARE(r.stop(Type::StopPeriodic, ch, p.value).status, std::uint32_t(ERR_INVALID_MSG_ID)); // cleared
        QCOMPARE(r.stop(Type::StopPeriodic, ch, ids[3]).status, 0u);
        QCOMPARE(r.periodic(ch, msg(CAN, 0x7DF, {2, 0x3E, 0}), 20).status, 0u);

        // The session ends: nothing more goes on the bus, at once.
        std::size_t atEnd = 0;
        r.on([&] {
            r.session.reset();
            atEnd = tester->heard.size();
        });
        r.elapse(100000);
        QVERIFY(r.heard(tester).size() <= atEnd + 1); // a frame already on the wire ends
        // Nothing of the session is left on the bus: the tester's own frame finds nobody to acknowledge it.
        r.send(tester, 0x123, {1});
        r.elapse(20000);
        vehicle::NodeState state = vehicle::NodeState::Active;
        r.on([&] { state = r.bus614->nodeState(tester->id); });
        QVERIFY(state != vehicle::NodeState::Active); // unacknowledged: error passive, then bus off
    }

    void configurationIsCheckedBeforeAnythingChanges()
    {
        Rig r;
        const std::uint32_t can = r.openChannel(CAN);
        const std::uint32_t iso = r.connect(ISO15765).value;
        const passthru::Reply defaults = r.ioctl(iso, GET_CONFIG,
            {{DATA_RATE, 0}, {LOOPBACK, 0}, {ISO15765_BS, 0}, {ISO15765_STMIN, 0}, {BS_TX, 0}, {STMIN_TX, 0},
                {ISO15765_WFT_MAX, 0}});
        QCOMPARE(defaults.status, 0u);
        QCOMPARE(defaults.pairs.size(), std::size_t(7));
        QCOMPARE(defaults.pairs[0].value, 500000u);
        QCOMPARE(defaults.pairs[1].value, 0u);
        QCOMPARE(defaults.pairs[4].value, 0xFFFFu);
        QCOMPARE(defaults.pairs[5].value, 0xFFFFu);

        QCOMPARE(r.set(iso, ISO15765_STMIN, 0x80), std::uint32_t(ERR_INVALID_IOCTL_VALUE));
        QCOMPARE(r.set(iso, LOOPBACK, 2), std::uint32_t(ERR_INVALID_IOCTL_VALUE));
        QCOMPARE(r.set(iso, DATA_RATE, 300000), std::uint32_t(ERR_INVALID_BAUDRATE));
        QCOMPARE(r.set(can, ISO15765_BS, 1), std::uint32_t(ERR_NOT_SUPPORTED));
        QCOMPARE(r.set(can, P1_MIN, 1), std::uint32_t(ERR_NOT_SUPPORTED));
        QCOMPARE(r.set(can, FD_CAN_DATA_PHASE_RATE, 2000000), std::uint32_t(ERR_NOT_SUPPORTED));
        // One bad pair: none of the pairs takes effect.
        QCOMPARE(r.ioctl(iso, SET_CONFIG, {{LOOPBACK, 1}, {ISO15765_BS, 300}}).status,
            std::uint32_t(ERR_INVALID_IOCTL_VALUE));
        QCOMPARE(r.ioctl(iso, GET_CONFIG, {{LOOPBACK, 0}}).pairs.at(0).value, 0u);

        QCOMPARE(r.ioctl(can, 0x77).status, std::uint32_t(ERR_INVALID_IOCTL_ID));
        QCOMPARE(r.ioctl(can, FIVE_BAUD_INIT).status, std::uint32_t(ERR_NOT_SUPPORTED));
        QCOMPARE(r.ioctl(0, GET_CONFIG, {{DATA_RATE, 0}}).status, std::uint32_t(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(r.ioctl(42, CLEAR_RX_BUFFER).status, std::uint32_t(ERR_INVALID_CHANNEL_ID));
        const std::uint32_t fd = r.connect(CAN_FD_PS).status;
        QCOMPARE(fd, 0u);
    }

    void clearRxBufferDropsWhatTheClientHasNotTaken()
    {
        Rig r;
        const std::uint32_t ch = r.openChannel(CAN);
        Node* tester = r.node(*r.bus614);
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0, {}), msg(CAN, 0, {})).status, 0u);
        r.send(tester, 0x100, {1});
        r.send(tester, 0x101, {2});
        QTRY_COMPARE(r.outbox.messages(), std::size_t(2));
        QCOMPARE(r.ioctl(ch, CLEAR_RX_BUFFER).status, 0u);
        QCOMPARE(r.outbox.messages(), std::size_t(0));
        QVERIFY(r.received(ch).empty());
    }

    void aClientThatDoesNotReadLosesMessagesAndIsToldHowMany()
    {
        Rig r(4); // room for 4 received messages
        r.open();
        const std::uint32_t ch = r.connect(CAN).value;
        Node* tester = r.node(*r.bus614);
        QCOMPARE(r.filter(ch, PASS_FILTER, msg(CAN, 0, {}), msg(CAN, 0, {})).status, 0u);
        for (std::uint8_t i = 0; i < 10; ++i)
            r.send(tester, 0x100 + i, {i});
        r.elapse(10000);
        const auto got = r.received(ch);
        QCOMPARE(got.size(), std::size_t(4));
        QCOMPARE(idOf(got[3]), 0x103u); // the first ones are kept
        std::uint32_t lost = 0;
        for (const auto& e : r.events)
            if (e.type == Type::Lost && e.channel == ch)
                lost += e.value;
        QCOMPARE(lost, 6u);
        // Read: room again.
        r.send(tester, 0x200, {1});
        QTRY_COMPARE(r.received(ch).size(), std::size_t(5));
    }

    void theOutboxIsBoundedAndSaysWhatItDropped()
    {
        PassThruOutbox box(4);
        int wakeups = 0;
        box.setWakeup([&wakeups] { ++wakeups; });
        for (std::uint32_t i = 0; i < 10; ++i) {
            Message m;
            m.data = {0, 0, 1, std::uint8_t(i)};
            box.pushMessage(1, m);
        }
        QCOMPARE(box.messages(), std::size_t(4));
        QCOMPARE(wakeups, 1); // empty to not empty once
        passthru::Reply reply;
        reply.request = Type::Version;
        box.pushReply(9, reply); // replies are never dropped
        PassThruOutbox::Item item;
        QVERIFY(box.take(&item));
        QCOMPARE(item.messages.size(), std::size_t(4)); // one RX event
        QVERIFY(box.take(&item));
        QVERIFY(item.isReply);
        QCOMPARE(item.tag, 9u);
        QVERIFY(box.take(&item));
        QCOMPARE(item.type, Type::Lost);
        QCOMPARE(item.channel, 1u);
        QCOMPARE(item.value, 6u);
        QVERIFY(!box.take(&item));
        // With room again, a drop is reported before the next message.
        for (std::uint32_t i = 0; i < 5; ++i)
            box.pushMessage(2, Message{});
        box.take(&item);
        box.pushMessage(2, Message{});
        QVERIFY(box.take(&item));
        QCOMPARE(item.type, Type::Lost);
        QCOMPARE(item.value, 1u);
        QVERIFY(box.take(&item));
        QCOMPARE(item.messages.size(), std::size_t(1));

        // RX events stay within a frame: at most 64 messages and 16 KiB.
        PassThruOutbox big;
        for (int i = 0; i < 70; ++i)
            big.pushMessage(3, Message{});
        for (int i = 0; i < 5; ++i) {
            Message m;
            m.data.assign(4128, 0x11);
            big.pushMessage(3, m);
        }
        std::vector<std::uint8_t> bytes;
        big.takeEncoded(&bytes, std::size_t(1) << 30);
        passthru::FrameReader reader;
        reader.feed(bytes.data(), bytes.size());
        std::size_t messages = 0;
        int frames = 0;
        while (auto f = reader.next()) {
            passthru::RxEvent rx;
            std::string error;
            QVERIFY2(passthru::decodeRx(*f, &rx, &error), error.c_str());
            messages += rx.messages.size();
            ++frames;
        }
        QVERIFY(!reader.broken());
        QCOMPARE(messages, std::size_t(75));
        QCOMPARE(frames, 3); // 64 short; 6 short and 3 long; 2 long (16 KiB frames)
    }
};

QTEST_GUILESS_MAIN(TestPassThruSession)
#include "tst_vcilink_passthru_session.moc"
