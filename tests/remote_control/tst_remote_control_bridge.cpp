// The device-control messages as bytes from a peer or the relay: every CAN
// frame the buses can carry crosses unchanged (11- and 29-bit identifiers at
// their limits, CAN FD up to 64 bytes, empty frames) and in order however
// the stream is cut; anything no bus can carry, a rate not offered, a bus
// that does not exist or a frame cut short is refused with a reason.
#include "remote/Bridge.h"

#include <QtTest>

#include <vector>

using namespace remote;

namespace {

Frame frameOf(const std::string& bytes)
{
    FrameReader r;
    r.feed(bytes.data(), bytes.size());
    Frame f;
    if (r.next(f) != FrameReader::Result::Frame)
        qWarning("no frame: %s", r.error().c_str());
    return f;
}

CanFrameMsg can(std::uint8_t bus, std::uint8_t flags, std::uint32_t id, std::uint8_t length)
{
    CanFrameMsg m;
    m.bus = bus;
    m.flags = flags;
    m.id = id;
    m.length = length;
    for (std::uint8_t i = 0; i < length; ++i)
        m.data[i] = static_cast<std::uint8_t>(0xA0 + i);
    return m;
}

// A CAN frame's bytes with a raw payload (what a hostile peer may send).
std::string rawCan(const std::string& payload)
{
    const auto n = static_cast<std::uint32_t>(payload.size() + 1);
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
        static_cast<char>(n), static_cast<char>(Type::CanFrame)};
    return out + payload;
}

} // namespace

class TestRemoteControlBridge : public QObject {
    Q_OBJECT
private slots:
    void framesCrossUnchanged_data()
    {
        QTest::addColumn<int>("bus");
        QTest::addColumn<int>("flags");
        QTest::addColumn<uint>("id");
        QTest::addColumn<int>("length");
        QTest::newRow("empty 11-bit") << 0 << 0 << 0u << 0;
        QTest::newRow("11-bit limit, 8 bytes") << 1 << 0 << 0x7FFu << 8;
        QTest::newRow("29-bit limit") << 0 << int(kCanExtended) << 0x1FFFFFFFu << 3;
        QTest::newRow("FD 12") << 1 << int(kCanFd) << 0x7E8u << 12;
        QTest::newRow("FD 64 BRS 29-bit") << 0 << int(kCanFd | kCanBrs | kCanExtended) << 0x18DAF110u << 64;
    }
    void framesCrossUnchanged()
    {
        QFETCH(int, bus);
        QFETCH(int, flags);
        QFETCH(uint, id);
        QFETCH(int, length);
        const CanFrameMsg sent = can(std::uint8_t(bus), std::uint8_t(flags), std::uint32_t(id), std::uint8_t(length));
        QVERIFY(validCanFrame(sent));
        std::string bytes;
        appendCanFrame(bytes, sent);
        QCOMPARE(bytes.size(), kHeaderSize + 1 + 6 + std::size_t(length));
        CanFrameMsg got;
        std::string error;
        QVERIFY2(parseCanFrame(frameOf(bytes), got, &error), error.c_str());
        QCOMPARE(got.bus, sent.bus);
        QCOMPARE(got.flags, sent.flags);
        QCOMPARE(got.id, sent.id);
        QCOMPARE(got.length, sent.length);
        QVERIFY(std::equal(sent.data, sent.data + length, got.data));
    }

    // Frames no bus can carry are refused, each with its reason.
    void impossibleFramesRefused_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("reason");
        auto head = [](int bus, int flags, quint32 id) {
            QByteArray b;
            b.append(char(bus)).append(char(flags));
            for (int s = 24; s >= 0; s -= 8)
                b.append(char(id >> s));
            return b;
        };
        QTest::newRow("11-bit id over 0x7FF") << head(0, 0, 0x800) << "not a CAN frame";
        QTest::newRow("29-bit id over limit") << head(0, kCanExtended, 0x20000000) << "not a CAN frame";
        QTest::newRow("classic 9 bytes") << head(0, 0, 1) + QByteArray(9, 'x') << "not a CAN frame";
        QTest::newRow("FD 13 bytes") << head(0, kCanFd, 1) + QByteArray(13, 'x') << "not a CAN frame";
        QTest::newRow("FD 65 bytes") << head(0, kCanFd, 1) + QByteArray(65, 'x') << "CAN frame over 64 bytes";
        QTest::newRow("BRS without FD") << head(0, kCanBrs, 1) << "not a CAN frame";
        QTest::newRow("unknown flag") << head(0, 0x10, 1) << "not a CAN frame";
        QTest::newRow("third bus") << head(2, 0, 1) << "not a CAN frame";
        QTest::newRow("cut short") << head(0, 0, 1).left(5) << "frame cut short";
    }
    void impossibleFramesRefused()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, reason);
        CanFrameMsg got;
        std::string error;
        QVERIFY(!parseCanFrame(frameOf(rawCan(payload.toStdString())), got, &error));
        QCOMPARE(QString::fromStdString(error), reason);
    }

    // A bus opens only with the offered rates; status and session messages
    // keep their fields; each parser refuses another message's frame.
    void busAndSessionMessages()
    {
        BusOpenMsg open{1, 125000, 2000000};
        BusOpenMsg gotOpen;
        std::string error;
        QVERIFY(parseBusOpen(frameOf(encodeBusOpen(open)), gotOpen, &error));
        QCOMPARE(gotOpen.bus, 1);
        QCOMPARE(gotOpen.canBaud, 125000u);
        QCOMPARE(gotOpen.canFdBaud, 2000000u);
        QVERIFY(!parseBusOpen(frameOf(encodeBusOpen({0, 83333, 0})), gotOpen, &error));
        QCOMPARE(error, std::string("CAN rate not offered"));
        QVERIFY(!parseBusOpen(frameOf(encodeBusOpen({0, 500000, 8000000})), gotOpen, &error));
        QCOMPARE(error, std::string("CAN FD rate not offered"));
        QVERIFY(!parseBusOpen(frameOf(encodeBusOpen({2, 500000, 0})), gotOpen, &error));

        BusStatusMsg status{0, kBusClosed, 1234567};
        BusStatusMsg gotStatus;
        QVERIFY(parseBusStatus(frameOf(encodeBusStatus(status)), gotStatus, &error));
        QCOMPARE(gotStatus.status, kBusClosed);
        QCOMPARE(gotStatus.drops, 1234567u);
        QVERIFY(!parseBusStatus(frameOf(encodeBusStatus({0, -3, 0})), gotStatus, &error));

        ControlConnectMsg connect{"M5EA0002XJ7B0002", 999999, "M5EA0001XJ7B0001"};
        ControlConnectMsg gotConnect;
        QVERIFY(parseControlConnect(frameOf(encodeControlConnect(connect)), gotConnect, &error));
        QCOMPARE(gotConnect.serial, connect.serial);
        QCOMPARE(gotConnect.code, 999999u);
        QCOMPARE(gotConnect.ownSerial, connect.ownSerial);
        QVERIFY(!parseControlConnect(frameOf(encodeControlConnect({"M5EA 0002", 1, ""})), gotConnect, &error));
        QVERIFY(!parseControlConnect(frameOf(encodeControlConnect({"M5EA0002", 1000000, ""})), gotConnect, &error));

        ControlSessionMsg session{"203.0.113.7", "M5EA0001XJ7B0001"};
        ControlSessionMsg gotSession;
        QVERIFY(parseControlSession(frameOf(encodeControlSession(session)), gotSession, &error));
        QCOMPARE(gotSession.ownSerial, session.ownSerial);
        QVERIFY(!parseControlSession(frameOf(encodeControlSession({"a\nb", ""})), gotSession, &error));

        CanFrameMsg notCan;
        QVERIFY(!parseCanFrame(frameOf(encodeBusOpen(open)), notCan, &error));
        QCOMPARE(error, std::string("expected CAN, got BUS_OPEN"));
        QCOMPARE(busOfPins(14, 6), 0);
        QCOMPARE(busOfPins(3, 11), 1);
        QCOMPARE(busOfPins(6, 11), -1);
    }

    // A stream of bridge frames cut at every size yields the same frames in
    // the same order; the first type after the bridge's is refused.
    void streamKeepsOrder()
    {
        std::string stream;
        std::vector<CanFrameMsg> sent;
        for (int i = 0; i < 40; ++i) {
            sent.push_back(can(std::uint8_t(i % 2), i % 3 ? kCanFd : 0, std::uint32_t(0x700 + i), i % 3 ? 64 : 8));
            appendCanFrame(stream, sent.back());
        }
        for (std::size_t chunk : {std::size_t(1), std::size_t(7), std::size_t(75), stream.size()}) {
            FrameReader r;
            std::vector<CanFrameMsg> got;
            for (std::size_t pos = 0; pos < stream.size(); pos += chunk) {
                r.feed(stream.data() + pos, std::min(chunk, stream.size() - pos));
                Frame f;
                while (r.next(f) == FrameReader::Result::Frame) {
                    CanFrameMsg m;
                    QVERIFY(parseCanFrame(f, m, nullptr));
                    got.push_back(m);
                }
            }
            QCOMPARE(got.size(), sent.size());
            for (std::size_t i = 0; i < got.size(); ++i)
                QCOMPARE(got[i].id, sent[i].id);
        }
        const std::string unknown{0, 0, 0, 1, char(static_cast<int>(kLastType) + 1)};
        FrameReader r;
        r.feed(unknown.data(), unknown.size());
        Frame f;
        QCOMPARE(r.next(f), FrameReader::Result::Error);
    }
};

QTEST_GUILESS_MAIN(TestRemoteControlBridge)
#include "tst_remote_control_bridge.moc"
