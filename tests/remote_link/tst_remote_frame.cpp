// The remote-session frame codec: every message survives encode and decode,
// and cut, oversized, unknown or malformed frames are refused with a reason.
#include "remote/Frame.h"

#include <QtTest>

#include <string>

using namespace remote;

namespace {

// Decodes exactly one frame from `bytes`, or fails the test.
Frame one(const std::string& bytes)
{
    FrameReader r;
    r.feed(bytes.data(), bytes.size());
    Frame f;
    const auto result = r.next(f);
    if (result != FrameReader::Result::Frame)
        qFatal("no frame: %s", r.error().c_str());
    Frame extra;
    if (r.next(extra) != FrameReader::Result::NeedMore || r.buffered() != 0)
        qFatal("bytes left after the frame");
    return f;
}

// A frame with a hand-made body (type byte + payload).
std::string raw(std::uint8_t type, const std::string& payload)
{
    const std::uint32_t n = static_cast<std::uint32_t>(payload.size() + 1);
    std::string out;
    out += static_cast<char>(n >> 24);
    out += static_cast<char>(n >> 16);
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n);
    out += static_cast<char>(type);
    return out + payload;
}

std::string text(const std::string& s)
{
    return std::string(1, static_cast<char>(s.size())) + s;
}

std::string u32(std::uint32_t v)
{
    return std::string{
        static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

} // namespace

class RemoteFrameTest : public QObject {
    Q_OBJECT

private slots:
    void messagesRoundTrip()
    {
        RegisterMsg reg;
        QVERIFY(parseRegister(one(encodeRegister({"M5EA0001XJ7B0001", "KX0001", 123456})), reg, nullptr));
        QCOMPARE(reg.serial, std::string("M5EA0001XJ7B0001"));
        QCOMPARE(reg.key, std::string("KX0001"));
        QCOMPARE(reg.code, 123456u);
        QVERIFY(!reg.checkable);
        RegisterMsg offered{"M5EA0001XJ7B0001", "KX0001", 123456};
        offered.checkable = true;
        QVERIFY(parseRegister(one(encodeRegister(offered)), reg, nullptr));
        QVERIFY(reg.checkable);
        QCOMPARE(reg.code, 123456u);

        LookupMsg lookup;
        QVERIFY(parseLookup(one(encodeLookup({"ABC123"})), lookup, nullptr));
        QCOMPARE(lookup.serial, std::string("ABC123"));

        ConnectMsg connect;
        QVERIFY(parseConnect(one(encodeConnect({"ABC123", 999999})), connect, nullptr));
        QCOMPARE(connect.code, 999999u);

        AckMsg ack;
        const Frame ackFrame = one(encodeAck(Type::ConnectAck, {kStatusBusy, "already in a session"}));
        QCOMPARE(ackFrame.type, Type::ConnectAck);
        QVERIFY(parseAck(ackFrame, ack, nullptr));
        QCOMPARE(ack.status, kStatusBusy);
        QCOMPARE(ack.text, std::string("already in a session"));
        QVERIFY(parseAck(one(encodeAck(Type::RegisterAck, {-2, ""})), ack, nullptr));
        QCOMPARE(ack.status, -2);

        std::string peer;
        QVERIFY(parseSession(one(encodeSession("10.0.0.7")), peer, nullptr));
        QCOMPARE(peer, std::string("10.0.0.7"));

        PingMsg ping;
        QVERIFY(parsePing(one(encodePing(Type::Pong, {0x0123456789ABCDEFull, 42})), ping, nullptr));
        QCOMPARE(ping.stamp, 0x0123456789ABCDEFull);
        QCOMPARE(ping.delay, 42);

        EndMsg end;
        QVERIFY(parseEnd(one(encodeEnd({EndReason::Replaced, "registered elsewhere"})), end, nullptr));
        QCOMPARE(end.reason, EndReason::Replaced);
        QCOMPARE(end.text, std::string("registered elsewhere"));

        const std::string nonce(kNonceSize, '\x9c');
        ChallengeMsg challenge;
        QVERIFY(parseChallenge(one(encodeChallenge({nonce})), challenge, nullptr));
        QCOMPARE(challenge.nonce, nonce);

        const std::string proof(kProofSize, '\0');
        ProofMsg p;
        QVERIFY(parseProof(one(encodeProof({"SN1", "K", proof})), p, nullptr));
        QCOMPARE(p.proof, proof);
        QCOMPARE(p.key, std::string("K"));
    }

    void streamFrames()
    {
        StreamMsg m;
        const Frame open = one(encodeOpen(7));
        QVERIFY(parseStream(open, m, nullptr));
        QCOMPARE(m.stream, 7u);
        QVERIFY(m.data.empty());

        // A full piece of binary data, NULs included.
        std::string data(kMaxData, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 31);
        std::string wire;
        appendData(wire, 0xFFFFFFFFu, data.data(), data.size());
        const Frame f = one(wire);
        QVERIFY(parseStream(f, m, nullptr));
        QCOMPARE(m.stream, 0xFFFFFFFFu);
        QVERIFY(m.data == data);

        // More than a piece is cut to one piece, never a frame over the limit.
        std::string big(kMaxData + 100, 'x');
        wire.clear();
        appendData(wire, 1, big.data(), big.size());
        QCOMPARE(wire.size(), kHeaderSize + kMaxBody);

        QVERIFY(parseStream(one(encodeClose(3)), m, nullptr));
        QCOMPARE(m.stream, 3u);
    }

    void bytewiseFeedingGivesTheSameFrames()
    {
        std::string wire = encodeRegister({"SN9", "", 1}) + encodePing(Type::Ping, {5, -1}) + encodeOpen(2);
        appendData(wire, 2, "hello", 5);
        FrameReader r;
        std::vector<Type> types;
        Frame f;
        for (const char c : wire) {
            r.feed(&c, 1);
            while (r.next(f) == FrameReader::Result::Frame)
                types.push_back(f.type);
        }
        QCOMPARE(types, (std::vector<Type>{Type::Register, Type::Ping, Type::Open, Type::Data}));
        QCOMPARE(r.buffered(), std::size_t(0));
    }

    void cutFramesWaitAndNeverDecode()
    {
        const std::string wire = encodeConnect({"ABC", 1});
        for (std::size_t cut = 0; cut < wire.size(); ++cut) {
            FrameReader r;
            r.feed(wire.data(), cut);
            Frame f;
            QCOMPARE(r.next(f), FrameReader::Result::NeedMore);
        }
    }

    void badFramingIsRefusedForGood()
    {
        struct Case {
            const char* name;
            std::string bytes;
            const char* reason;
        };
        const std::string oversized = u32(static_cast<std::uint32_t>(kMaxBody + 1)) + std::string(1, '\x09');
        const Case cases[] = {
            {"empty", u32(0), "empty frame"},
            {"oversized", oversized, "over the limit"},
            {"huge", u32(0xFFFFFFFFu) + "\x09", "over the limit"},
            {"type 0", raw(0, ""), "unknown frame type"},
            {"type 200", raw(200, "x"), "unknown frame type"},
            {"text garbage", std::string("GET / HTTP/1.1\r\n\r\n"), "over the limit"},
        };
        for (const Case& c : cases) {
            FrameReader r;
            r.feed(c.bytes.data(), c.bytes.size());
            Frame f;
            QVERIFY2(r.next(f) == FrameReader::Result::Error, c.name);
            QVERIFY2(r.error().find(c.reason) != std::string::npos, r.error().c_str());
            // A good frame after the bad one is not taken: the reader stays failed.
            const std::string good = encodeOpen(1);
            r.feed(good.data(), good.size());
            QVERIFY2(r.next(f) == FrameReader::Result::Error, c.name);
        }
    }

    void malformedMessagesAreRefused()
    {
        std::string error;
        RegisterMsg reg;
        const std::string v = std::string(1, static_cast<char>(kProtocolVersion));
        // Trailing bytes, a cut field, a serial with a blank, one too long, a key with a blank.
        QVERIFY(!parseRegister(one(raw(1, v + text("SN1") + text("K") + u32(1) + "x")), reg, &error));
        QVERIFY(error.find("flags") != std::string::npos);
        QVERIFY(!parseRegister(one(raw(1, v + text("SN1") + text("K") + u32(1) + "\x01x")), reg, &error));
        QVERIFY(error.find("trailing") != std::string::npos);
        QVERIFY(!parseRegister(one(raw(1, v + text("SN1") + text("K") + "\x00\x01")), reg, &error));
        QVERIFY(error.find("cut short") != std::string::npos);
        QVERIFY(!parseRegister(one(raw(1, v + text("SN 1") + text("K") + u32(1))), reg, &error));
        QVERIFY(!parseRegister(one(raw(1, v + text(std::string(21, 'A')) + text("K") + u32(1))), reg, &error));
        QVERIFY(!parseRegister(one(raw(1, v + text("SN1") + text("K K") + u32(1))), reg, &error));
        QVERIFY(!parseRegister(one(raw(1, v + text("") + text("K") + u32(1))), reg, &error));
        // A code above six digits, and another protocol version.
        QVERIFY(!parseRegister(one(raw(1, v + text("SN1") + text("K") + u32(1000000))), reg, &error));
        QVERIFY(!parseRegister(one(raw(1, std::string("\x02") + text("SN1") + text("K") + u32(1))), reg, &error));
        QVERIFY(error.find("version") != std::string::npos);
        // A length byte that promises more than the frame holds.
        LookupMsg lookup;
        QVERIFY(!parseLookup(one(raw(3, v + std::string("\x10") + "AB")), lookup, &error));
        // The wrong message for the parser.
        QVERIFY(!parseLookup(one(encodeOpen(1)), lookup, &error));
        QVERIFY(error.find("LOOKUP") != std::string::npos);

        StreamMsg stream;
        QVERIFY(!parseStream(one(raw(9, u32(1))), stream, &error));        // DATA without bytes
        QVERIFY(!parseStream(one(raw(8, u32(1) + "xy")), stream, &error)); // OPEN with bytes past its target
        QVERIFY(!parseStream(one(raw(10, u32(1) + "x")), stream, &error)); // CLOSE has no target
        QVERIFY(!parseStream(one(raw(10, "\x01")), stream, &error));

        EndMsg end;
        QVERIFY(!parseEnd(one(raw(13, std::string("\x09") + text(""))), end, &error));
        QVERIFY(!parseEnd(one(raw(13, std::string("\x01") + text("bad\ntext"))), end, &error));

        PingMsg ping;
        QVERIFY(!parsePing(one(raw(11, u32(0) + u32(0) + u32(static_cast<std::uint32_t>(-5)))), ping, &error));

        ChallengeMsg challenge;
        QVERIFY(!parseChallenge(one(raw(14, std::string(kNonceSize - 1, 'n'))), challenge, &error));
        AckMsg ack;
        QVERIFY(!parseAck(one(encodeLookup({"SN"})), ack, &error));
    }

    void serialAndKeyRules()
    {
        QVERIFY(validSerial("M5EA0001XJ7B0001"));
        QVERIFY(validSerial(std::string(kMaxSerial, 'z')));
        QVERIFY(!validSerial(""));
        QVERIFY(!validSerial(std::string(kMaxSerial + 1, 'z')));
        QVERIFY(!validSerial("M5-EA"));
        QVERIFY(validKey(""));
        QVERIFY(validKey(std::string(kMaxKey, 'k')));
        QVERIFY(validKey("KX0001!"));
        QVERIFY(!validKey("KX 01"));
        QVERIFY(!validKey(std::string(kMaxKey + 1, 'k')));
    }
};

QTEST_APPLESS_MAIN(RemoteFrameTest)
#include "tst_remote_frame.moc"
