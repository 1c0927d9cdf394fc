// The pass-thru codec shared by the J2534 library and the adapter: every
// frame type survives the trip through the stream reader and its decoder,
// every limit of the protocol holds on both sides of its edge, and damaged
// streams (short, long, unknown, oversized, cut anywhere) are refused.
#include <passthru/PassThruWire.h>

#include <QtTest>

#include <functional>

using namespace passthru;

namespace {

Message message(std::uint32_t protocol, std::size_t size, std::uint8_t seed)
{
    Message m;
    m.protocolId = protocol;
    m.rxStatus = 0x80000002u;
    m.txFlags = 0x40u;
    m.timestamp = 0x0123456789ABCDEFull;
    m.extraDataIndex = static_cast<std::uint32_t>(size);
    for (std::size_t i = 0; i < size; ++i)
        m.data.push_back(static_cast<std::uint8_t>(seed + i * 7));
    return m;
}

// The one frame the bytes hold, read through a FrameReader (which must take
// all of them).
Frame single(const std::vector<std::uint8_t>& bytes)
{
    FrameReader r;
    r.feed(bytes.data(), bytes.size());
    auto f = r.next();
    if (!f || r.buffered() != 0 || r.broken() || r.next())
        return Frame{0xFF, 0, {}};
    return *f;
}

// A frame's bytes put back together from its parts.
std::vector<std::uint8_t> bytesOf(const Frame& f)
{
    const auto n = static_cast<std::uint32_t>(f.payload.size() + 5);
    std::vector<std::uint8_t> out{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n),
        f.type, std::uint8_t(f.tag >> 24), std::uint8_t(f.tag >> 16), std::uint8_t(f.tag >> 8), std::uint8_t(f.tag)};
    out.insert(out.end(), f.payload.begin(), f.payload.end());
    return out;
}

// Decodes with the decoder of the frame's type (replies by their bit).
bool decodeAny(const Frame& f, std::string* error)
{
    if (f.type & kReplyBit)
        return decodeReply(f, nullptr, error);
    switch (static_cast<Type>(f.type)) {
    case Type::Open:
        return decodeOpen(f, nullptr, error);
    case Type::Connect:
        return decodeConnect(f, nullptr, error);
    case Type::Disconnect:
        return decodeDisconnect(f, nullptr, error);
    case Type::Write:
        return decodeWrite(f, nullptr, error);
    case Type::StartPeriodic:
        return decodeStartPeriodic(f, nullptr, error);
    case Type::StopPeriodic:
    case Type::StopFilter:
        return decodeStop(f, nullptr, error);
    case Type::StartFilter:
        return decodeStartFilter(f, nullptr, error);
    case Type::Ioctl:
        return decodeIoctl(f, nullptr, error);
    case Type::Version:
        return decodeVersion(f, error);
    case Type::Rx:
        return decodeRx(f, nullptr, error);
    case Type::Lost:
        return decodeLost(f, nullptr, error);
    case Type::Bus:
        return decodeBus(f, nullptr, error);
    }
    return false;
}

// The frame decoded into its fields and encoded again; empty when refused.
template <typename T, typename Decode, typename Encode>
std::vector<std::uint8_t> redo(const Frame& f, Decode decode, Encode encode)
{
    T value{};
    return decode(f, &value, nullptr) ? encode(value) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> again(const Frame& f)
{
    const std::uint32_t tag = f.tag;
    if (f.type & kReplyBit)
        return redo<Reply>(f, decodeReply, [tag](const Reply& v) { return encodeReply(tag, v); });
    switch (static_cast<Type>(f.type)) {
    case Type::Open:
        return redo<OpenRequest>(f, decodeOpen, [tag](const auto& v) { return encodeOpen(tag, v); });
    case Type::Connect:
        return redo<ConnectRequest>(f, decodeConnect, [tag](const auto& v) { return encodeConnect(tag, v); });
    case Type::Disconnect:
        return redo<ChannelRequest>(f, decodeDisconnect, [tag](const auto& v) { return encodeDisconnect(tag, v); });
    case Type::Write:
        return redo<WriteRequest>(f, decodeWrite, [tag](const auto& v) { return encodeWrite(tag, v); });
    case Type::StartPeriodic:
        return redo<StartPeriodicRequest>(
            f, decodeStartPeriodic, [tag](const auto& v) { return encodeStartPeriodic(tag, v); });
    case Type::StopPeriodic:
    case Type::StopFilter: {
        const auto type = static_cast<Type>(f.type);
        return redo<StopRequest>(f, decodeStop, [type, tag](const auto& v) { return encodeStop(type, tag, v); });
    }
    case Type::StartFilter:
        return redo<StartFilterRequest>(
            f, decodeStartFilter, [tag](const auto& v) { return encodeStartFilter(tag, v); });
    case Type::Ioctl:
        return redo<IoctlRequest>(f, decodeIoctl, [tag](const auto& v) { return encodeIoctl(tag, v); });
    case Type::Version:
        return decodeVersion(f, nullptr) ? encodeVersion(tag) : std::vector<std::uint8_t>{};
    case Type::Rx:
        return redo<RxEvent>(f, decodeRx, [](const auto& v) { return encodeRx(v); });
    case Type::Lost:
        return redo<LostEvent>(f, decodeLost, [](const auto& v) { return encodeLost(v); });
    case Type::Bus:
        return redo<BusEvent>(f, decodeBus, [](const auto& v) { return encodeBus(v); });
    }
    return {};
}

// One valid frame of every type and reply shape, with each field at a value
// of its own (the largest where a limit is).
std::vector<std::vector<std::uint8_t>> everyFrame()
{
    std::vector<std::vector<std::uint8_t>> all;
    all.push_back(encodeOpen(0xA1B2C3D4u, {kProtocolVersion, "j2534 test (pid 42)"}));
    all.push_back(encodeConnect(2, {0x8005, 0x100, 1000000}));
    all.push_back(encodeDisconnect(3, {0xFFFFFFFFu}));
    all.push_back(encodeWrite(4, {9, 250, {message(6, 4099, 1), message(6, 0, 2), message(5, 12, 3)}}));
    all.push_back(encodeStartPeriodic(5, {7, 65535, message(5, 12, 3)}));
    all.push_back(encodeStop(Type::StopPeriodic, 6, {7, 1}));
    all.push_back(encodeStop(Type::StopFilter, 7, {9, 3}));
    all.push_back(encodeStartFilter(8, {7, 3, message(6, 4, 4), message(6, 4, 5), message(6, 4, 6)}));
    all.push_back(encodeStartFilter(9, {7, 1, message(5, 4, 4), message(5, 4, 5), std::nullopt}));
    all.push_back(encodeIoctl(10, {0, 1, {{1, 0}, {0x8001, 0x030B}, {0x1F, 0xF1}}}));
    all.push_back(encodeVersion(11));
    const auto reply = [&all](Type request, std::uint32_t status, const char* text, std::uint32_t value) {
        Reply r;
        r.request = request;
        r.status = status;
        r.text = text;
        r.value = value;
        if (request == Type::Open || request == Type::Version) {
            r.firmwareVersion = "MT7628 V2.0.1";
            r.serial = "979300000001";
            r.supplyMv = request == Type::Open ? 12480 : 0;
        }
        if (request == Type::Ioctl)
            for (std::uint32_t i = 0; i < kMaxIoctlPairs; ++i)
                r.pairs.push_back({i, ~i});
        all.push_back(encodeReply(77, r));
    };
    reply(Type::Open, 0, "", 0);
    reply(Type::Version, 0, "", 0);
    for (const Type t : {Type::Connect, Type::Write, Type::StartPeriodic, Type::StartFilter})
        reply(t, 0, "", 0x01020304u);
    reply(Type::Disconnect, 0, "", 0);
    reply(Type::Connect, 0x0E, "adapter in use by another client", 0);
    reply(Type::Write, kStatusTimeout, "3 of 5 messages sent", 3); // a timed-out WRITE: also the number sent
    reply(Type::Ioctl, 0, "", 0);
    RxEvent rx{2, {}};
    for (std::size_t i = 0; i < kMaxMessagesPerFrame; ++i)
        rx.messages.push_back(message(5, i % 13, std::uint8_t(i)));
    all.push_back(encodeRx(rx));
    all.push_back(encodeLost({7, 0xFFFFFFFFu}));
    for (const std::uint32_t state : {kBusActive, kBusErrorPassive, kBusOff})
        all.push_back(encodeBus({7, state}));
    return all;
}

} // namespace

class TestPassThruWire : public QObject {
    Q_OBJECT

private slots:
    // Every frame decoded and encoded again gives its bytes back: no decoder
    // drops or moves a field. What a reply leaves out is checked on its own.
    void framesRoundTrip()
    {
        for (const auto& bytes : everyFrame()) {
            const Frame f = single(bytes);
            QVERIFY2(!bytes.empty() && again(f) == bytes, qPrintable(QString::number(f.type, 16)));
        }
        Reply back;
        Reply version;
        version.request = Type::Version;
        version.serial = "979300000001";
        version.supplyMv = 12480;
        QVERIFY(decodeReply(single(encodeReply(78, version)), &back, nullptr));
        QCOMPARE(QString::fromStdString(back.serial), QStringLiteral("979300000001"));
        QCOMPARE(back.supplyMv, 0u); // VERSION carries no voltage
        for (const Type t : {Type::Disconnect, Type::StopPeriodic, Type::StopFilter}) {
            Reply r;
            r.request = t;
            r.value = 5; // no result field: not carried
            const Frame empty = single(encodeReply(1, r));
            QCOMPARE(empty.payload.size(), std::size_t(4));
            QVERIFY(decodeReply(empty, &back, nullptr));
            QCOMPARE(back.value, 0u);
        }
        // A failure carries its text instead of the result.
        Reply inUse;
        inUse.request = Type::Open;
        inUse.status = 0x0E;
        inUse.text = "adapter in use by 192.168.1.20";
        inUse.serial = "not sent";
        QVERIFY(decodeReply(single(encodeReply(1, inUse)), &back, nullptr));
        QCOMPARE(QString::fromStdString(back.text), QStringLiteral("adapter in use by 192.168.1.20"));
        QVERIFY(back.serial.empty());
        QVERIFY(encodeStop(Type::Connect, 6, {9, 4}).empty());
    }

    // Each limit of docs/passthru-protocol.md, just inside and just outside,
    // on the encoding side (nothing encoded) and the decoding side (refused).
    void limitsHoldOnBothSides()
    {
        // Message data: 4128 bytes at most.
        QVERIFY(!encodeWrite(1, {1, 0, {message(6, kMaxData, 1)}}).empty());
        QVERIFY(encodeWrite(1, {1, 0, {message(6, kMaxData + 1, 1)}}).empty());
        QVERIFY(encodeRx({1, {message(6, kMaxData + 1, 1)}}).empty());
        QVERIFY(encodeStartPeriodic(1, {1, 100, message(6, kMaxData + 1, 1)}).empty());
        QVERIFY(encodeStartFilter(1, {1, 1, message(6, kMaxData + 1, 1), message(6, 1, 1), std::nullopt}).empty());
        Frame big = single(encodeRx({1, {message(6, kMaxData, 1)}}));
        big.payload[4 + 2 + 24] = 0x10; // DataSize 4128 -> 4129, with one more byte
        big.payload[4 + 2 + 25] = 0x21;
        big.payload.push_back(0);
        std::string error;
        QVERIFY(!decodeRx(big, nullptr, &error));
        QVERIFY2(error.find("4128") != std::string::npos, error.c_str());

        // Messages per WRITE and RX: 1 .. 64.
        std::vector<Message> many(kMaxMessagesPerFrame + 1, message(5, 8, 1));
        QVERIFY(encodeWrite(1, {1, 0, many}).empty());
        QVERIFY(encodeRx({1, many}).empty());
        QVERIFY(encodeWrite(1, {1, 0, {}}).empty());
        QVERIFY(encodeRx({1, {}}).empty());
        many.pop_back();
        Frame write = single(encodeWrite(1, {1, 0, many}));
        QVERIFY(decodeWrite(write, nullptr, nullptr));
        write.payload[9] = 65; // the count, with the 65th message appended
        const auto one = encodeWrite(1, {1, 0, {message(5, 8, 1)}});
        write.payload.insert(write.payload.end(), one.begin() + 9 + 10, one.end());
        QVERIFY(!decodeWrite(write, nullptr, nullptr));
        Frame rx{std::uint8_t(Type::Rx), 0, {0, 0, 0, 1, 0, 0}}; // count 0
        QVERIFY(!decodeRx(rx, nullptr, nullptr));
        Frame writeNone{std::uint8_t(Type::Write), 1, {0, 0, 0, 1, 0, 0, 0, 0, 0, 0}};
        QVERIFY(!decodeWrite(writeNone, nullptr, nullptr));

        // Ioctl pairs: 0 .. 64, in requests and replies.
        std::vector<ConfigPair> pairs(kMaxIoctlPairs + 1);
        QVERIFY(encodeIoctl(1, {1, 1, pairs}).empty());
        Reply reply;
        reply.request = Type::Ioctl;
        reply.pairs = pairs;
        QVERIFY(encodeReply(1, reply).empty());
        QVERIFY(decodeIoctl(single(encodeIoctl(1, {1, 3, {}})), nullptr, nullptr));
        Frame ioctl = single(encodeIoctl(1, {1, 1, std::vector<ConfigPair>(kMaxIoctlPairs)}));
        ioctl.payload[9] = 65;
        ioctl.payload.insert(ioctl.payload.end(), 8, 0);
        QVERIFY(!decodeIoctl(ioctl, nullptr, nullptr));

        // Periodic interval: 5 .. 65535 ms.
        QVERIFY(encodeStartPeriodic(1, {1, 4, message(5, 8, 1)}).empty());
        QVERIFY(encodeStartPeriodic(1, {1, 65536, message(5, 8, 1)}).empty());
        Frame periodic = single(encodeStartPeriodic(1, {1, 5, message(5, 8, 1)}));
        QVERIFY(decodeStartPeriodic(periodic, nullptr, nullptr));
        periodic.payload[7] = 4;
        QVERIFY(!decodeStartPeriodic(periodic, nullptr, nullptr));
        periodic.payload[5] = 1; // 65536 + 4
        QVERIFY(!decodeStartPeriodic(periodic, nullptr, nullptr));

        // Texts: 256 bytes; longer ones are cut on a character boundary.
        const std::string longest(kMaxText, 'x');
        OpenRequest open;
        QVERIFY(decodeOpen(single(encodeOpen(1, {1, longest + "yz"})), &open, nullptr));
        QCOMPARE(open.client.size(), kMaxText);
        std::string accents;
        for (int i = 0; i < 200; ++i)
            accents += "\xC3\xA9"; // é
        QVERIFY(decodeOpen(single(encodeOpen(1, {1, "a" + accents})), &open, nullptr));
        QCOMPARE(open.client.size(), kMaxText - 1); // 255: "a" and 127 whole "é"
        QVERIFY(wellFormedUtf8(open.client));
        Frame text{std::uint8_t(Type::Open), 1, {0, 1, 0x01, 0x01}};
        text.payload.insert(text.payload.end(), 257, 'x');
        QVERIFY(!decodeOpen(text, nullptr, nullptr));
        text.payload = {0, 1, 0x01, 0x00};
        text.payload.insert(text.payload.end(), 256, 'x');
        QVERIFY(decodeOpen(text, nullptr, nullptr));

        // Frame length: 5 .. 16384, the encoders never exceed it.
        std::vector<Message> bulky(4, message(6, kMaxData, 1));
        QVERIFY(encodeWrite(1, {1, 0, bulky}).empty()); // 4 × 4154 bytes > 16384
        bulky.pop_back();
        const auto fits = encodeWrite(1, {1, 0, bulky});
        QCOMPARE(fits.size(), 4 + 5 + 10 + 3 * messageWireSize(bulky[0]));
        for (const std::uint32_t length : {0u, 4u, kMaxLength + 1, 0xFFFFFFFFu}) {
            FrameReader r;
            const std::uint8_t header[] = {std::uint8_t(length >> 24), std::uint8_t(length >> 16),
                std::uint8_t(length >> 8), std::uint8_t(length), 0x0A};
            r.feed(header, sizeof header);
            QVERIFY(!r.next());
            QVERIFY2(r.broken(), qPrintable(QString::number(length)));
        }
        FrameReader longest16k;
        std::vector<std::uint8_t> maxFrame{0, 0, 0x40, 0x00, 0x0A, 0, 0, 0, 1};
        maxFrame.resize(4 + kMaxLength, 0);
        longest16k.feed(maxFrame.data(), maxFrame.size());
        const auto f = longest16k.next();
        QVERIFY(f && f->payload.size() == kMaxLength - 5);
        QVERIFY(!decodeVersion(*f, nullptr)); // a VERSION has no payload

        // The flow-control marker is 0 or 1, a bus state 0 .. 2.
        Frame filter = single(encodeStartFilter(1, {1, 1, message(6, 4, 1), message(6, 4, 1), std::nullopt}));
        filter.payload[8] = 2;
        QVERIFY(!decodeStartFilter(filter, nullptr, nullptr));
        filter.payload[8] = 1; // says a flow-control message follows, but none does
        QVERIFY(!decodeStartFilter(filter, nullptr, nullptr));
        QVERIFY(encodeBus({1, 3}).empty());
        Frame bus = single(encodeBus({1, kBusOff}));
        bus.payload[7] = 3;
        QVERIFY(!decodeBus(bus, nullptr, nullptr));

        // Events carry tag 0.
        for (const auto& bytes : {encodeRx({1, {message(5, 8, 1)}}), encodeLost({1, 1}), encodeBus({1, 0})}) {
            Frame tagged = single(bytes);
            QVERIFY(decodeAny(tagged, nullptr));
            tagged.tag = 1;
            QVERIFY(!decodeAny(tagged, nullptr));
        }
    }

    // Every valid frame cut short anywhere, or with a byte more, is refused.
    void truncatedAndTrailingPayloadsAreRefused()
    {
        for (const auto& bytes : everyFrame()) {
            QVERIFY(!bytes.empty());
            const Frame f = single(bytes);
            QVERIFY2(decodeAny(f, nullptr), qPrintable(QString::number(f.type, 16)));
            for (std::size_t cut = 0; cut < f.payload.size(); ++cut) {
                Frame shorter = f;
                shorter.payload.resize(cut);
                std::string error;
                QVERIFY2(!decodeAny(shorter, &error), qPrintable(QString::number(f.type, 16)));
                QVERIFY(!error.empty());
            }
            Frame longer = f;
            longer.payload.push_back(0);
            std::string error;
            QVERIFY(!decodeAny(longer, &error));
            QVERIFY2(error.find("trailing") != std::string::npos, error.c_str());
        }
    }

    void unknownAndMismatchedTypesAreRefused()
    {
        for (const std::uint8_t type : {0x00, 0x0B, 0x3F, 0x43, 0x80, 0x8B, 0xC0, 0xFF}) {
            FrameReader r;
            const std::vector<std::uint8_t> bytes{0, 0, 0, 5, type, 0, 0, 0, 0};
            r.feed(bytes.data(), bytes.size());
            QVERIFY(!r.next());
            QVERIFY2(r.broken(), qPrintable(QString::number(type, 16)));
            QVERIFY(r.error().find("type") != std::string::npos);
        }
        // A decoder takes only its own type: a CONNECT payload is no DISCONNECT and no reply.
        const Frame connect = single(encodeConnect(1, {5, 0, 500000}));
        QVERIFY(!decodeDisconnect(connect, nullptr, nullptr));
        QVERIFY(!decodeReply(connect, nullptr, nullptr));
        QVERIFY(!decodeStop(single(encodeLost({1, 1})), nullptr, nullptr));
        const Frame event{
            std::uint8_t(std::uint8_t(Type::Rx) | kReplyBit), 1, {0, 0, 0, 0}}; // 0xC0: no request's reply
        QVERIFY(!decodeReply(event, nullptr, nullptr));
        // A reply text that is not UTF-8 is refused; the encoder never writes one.
        Frame bad{0x82, 1, {0, 0, 0, 7, 0, 2, 0xC3, 0x28}};
        QVERIFY(!decodeReply(bad, nullptr, nullptr));
        Reply r;
        r.request = Type::Connect;
        r.status = 7;
        r.text = "bad \xC3\x28 byte \xFF";
        Reply back;
        QVERIFY(decodeReply(single(encodeReply(1, r)), &back, nullptr));
        QCOMPARE(QString::fromStdString(back.text), QStringLiteral("bad ?( byte ?"));
    }

    // The same frames come out however the stream is cut: at every byte into
    // two parts, and byte by byte.
    void streamSplitAtEveryByteGivesTheSameFrames()
    {
        std::vector<std::uint8_t> stream;
        const auto frames = everyFrame();
        for (const auto& f : frames)
            stream.insert(stream.end(), f.begin(), f.end());

        const auto check = [&](const std::function<void(FrameReader&, std::vector<Frame>&)>& run) {
            FrameReader r;
            std::vector<Frame> got;
            run(r, got);
            if (got.size() != frames.size() || r.broken() || r.buffered() != 0)
                return false;
            for (std::size_t i = 0; i < frames.size(); ++i)
                if (bytesOf(got[i]) != frames[i])
                    return false;
            return true;
        };
        for (std::size_t split = 0; split <= stream.size(); ++split) {
            QVERIFY2(check([&](FrameReader& r, std::vector<Frame>& got) {
                r.feed(stream.data(), split);
                while (auto f = r.next())
                    got.push_back(*f);
                r.feed(stream.data() + split, stream.size() - split);
                while (auto f = r.next())
                    got.push_back(*f);
            }),
                qPrintable(QString::number(split)));
        }
        QVERIFY(check([&](FrameReader& r, std::vector<Frame>& got) {
            for (std::size_t i = 0; i < stream.size(); ++i) {
                r.feed(&stream[i], 1);
                QVERIFY(r.buffered() <= 4 + kMaxLength);
                while (auto f = r.next())
                    got.push_back(*f);
            }
        }));
    }

    // After a bad header the reader gives nothing more, whatever follows, and
    // keeps no more of it.
    void brokenReaderStaysBroken()
    {
        FrameReader r;
        const auto good = encodeVersion(1);
        r.feed(good.data(), good.size());
        const std::vector<std::uint8_t> bad{0x7F, 0xFF, 0xFF, 0xFF, 0x01};
        r.feed(bad.data(), bad.size());
        QVERIFY(r.next());
        QVERIFY(!r.next());
        QVERIFY(r.broken());
        const std::size_t held = r.buffered();
        for (int i = 0; i < 100; ++i)
            r.feed(good.data(), good.size());
        QVERIFY(!r.next());
        QCOMPARE(r.buffered(), held);
        r.feed(nullptr, 10); // no crash on a null pointer
        QVERIFY(r.broken());
    }
};

QTEST_GUILESS_MAIN(TestPassThruWire)
#include "tst_passthru_wire.moc"
