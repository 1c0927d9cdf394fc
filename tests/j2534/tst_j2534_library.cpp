// The J2534 library through its C ABI, loaded with dlopen as an application
// loads it, against a small adapter of the pass-thru protocol played by the
// test (FakeAdapter): names, ids, argument and message checks, the receive
// queue's semantics, and an adapter that refuses, falls silent, goes away or
// sends malformed frames and data without end. Every call returns within
// its bound with the standard's code and a text that says what happened.
#include "FakeAdapter.h"
#include "J2534Library.h"

#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

J2534Library pt;

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

class TestJ2534Library : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<FakeAdapter> m_adapter;

    unsigned long openFake()
    {
        unsigned long id = 0;
        const std::string name = m_adapter->name();
        const long s = pt.Open(const_cast<char*>(name.c_str()), &id);
        if (s != STATUS_NOERROR)
            qWarning("open: %ld %s", s, pt.lastError().c_str());
        return s == STATUS_NOERROR ? id : 0;
    }

    unsigned long connect(unsigned long device, unsigned long protocol = CAN, unsigned long flags = 0)
    {
        unsigned long channel = 0;
        return pt.Connect(device, protocol, flags, 500000, &channel) == STATUS_NOERROR ? channel : 0;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        useUniqueShmPrefix("j2534lib");
        QVERIFY2(pt.load(), pt.error().c_str());
    }

    void init() { m_adapter = std::make_unique<FakeAdapter>(); }
    void cleanup() { m_adapter.reset(); }

    // Open by "IP:PORT", "IP" with BW_PASSTHRU_PORT, the published adapter
    // (NULL, "") and its serial (versions and voltage: the emulator suite).
    void openNames()
    {
        unsigned long id = openFake();
        QVERIFY(id != 0);
        QCOMPARE(pt.Close(id), long(STATUS_NOERROR));

        qputenv("BW_PASSTHRU_PORT", QByteArray::number(m_adapter->port()));
        char ip[] = "127.0.0.1";
        QCOMPARE(pt.Open(ip, &id), long(STATUS_NOERROR));
        QCOMPARE(pt.Close(id), long(STATUS_NOERROR));

        // Nothing published: NULL says the service has no adapter.
        QCOMPARE(pt.Open(nullptr, &id), long(ERR_DEVICE_NOT_CONNECTED));
        QVERIFY2(text(pt.lastError()).contains(QStringLiteral("service")), pt.lastError().c_str());

        platform::SharedMemory block;
        QVERIFY(block.create(kStatusBlock, kBlockBytes) && block.holdOwnership());
        fillBlock(block, statusText("979300000042", 12600, 1, "USB", "127.0.0.1"));
        QCOMPARE(pt.Open(nullptr, &id), long(STATUS_NOERROR));
        QCOMPARE(pt.Close(id), long(STATUS_NOERROR));
        char empty[] = "";
        QCOMPARE(pt.Open(empty, &id), long(STATUS_NOERROR));
        QCOMPARE(pt.Close(id), long(STATUS_NOERROR));
        char serial[] = "979300000042";
        QCOMPARE(pt.Open(serial, &id), long(STATUS_NOERROR));
        QCOMPARE(pt.Close(id), long(STATUS_NOERROR));
        char otherSerial[] = "979300000043";
        QCOMPARE(pt.Open(otherSerial, &id), long(ERR_DEVICE_NOT_CONNECTED));
        QVERIFY2(text(pt.lastError()).contains(QStringLiteral("979300000043")), pt.lastError().c_str());
        block.close();
        platform::SharedMemory::remove(kStatusBlock);
        qunsetenv("BW_PASSTHRU_PORT");

        for (const char* bad : {"127.0.0.1:0", "127.0.0.1:70000", "127.0.0.1:x", "300.1.2.3:7630"}) {
            std::string name = bad;
            QCOMPARE(pt.Open(name.data(), &id), long(ERR_DEVICE_NOT_CONNECTED));
            QVERIFY(!pt.lastError().empty());
        }
        // Nobody listens: refused at once, with the address in the text.
        std::string closedPort = "127.0.0.1:1";
        QCOMPARE(pt.Open(closedPort.data(), &id), long(ERR_DEVICE_NOT_CONNECTED));
        QVERIFY2(text(pt.lastError()).contains(QStringLiteral("127.0.0.1:1")), pt.lastError().c_str());
        // A name without its terminator within 256 characters is refused, not overread.
        std::vector<char> longName(300, 'a');
        QCOMPARE(pt.Open(longName.data(), &id), long(ERR_DEVICE_NOT_CONNECTED));
    }

    // NULL pointers, unknown ids and ids after Close, in every call.
    void nullPointersUnknownIdsAndCallsAfterClose()
    {
        PASSTHRU_MSG msg = canMessage(CAN, 0x7E0, {1, 2});
        unsigned long n = 1, out = 0;
        char buf[80];
        QCOMPARE(pt.Open(nullptr, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.GetLastError(nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(text(pt.lastError()), QStringLiteral("pErrorDescription is NULL"));

        const unsigned long device = openFake();
        const unsigned long channel = connect(device);
        QVERIFY(device && channel);
        QCOMPARE(pt.Connect(device, CAN, 0, 500000, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.ReadMsgs(channel, nullptr, &n, 0), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.ReadMsgs(channel, &msg, nullptr, 0), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.WriteMsgs(channel, nullptr, &n, 0), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.WriteMsgs(channel, &msg, nullptr, 0), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.StartPeriodicMsg(channel, nullptr, &out, 100), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.StartPeriodicMsg(channel, &msg, nullptr, 100), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.StartMsgFilter(channel, PASS_FILTER, nullptr, &msg, nullptr, &out), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.StartMsgFilter(channel, PASS_FILTER, &msg, nullptr, nullptr, &out), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.StartMsgFilter(channel, PASS_FILTER, &msg, &msg, nullptr, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.ReadVersion(device, nullptr, buf, buf), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.ReadVersion(device, buf, nullptr, buf), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.ReadVersion(device, buf, buf, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.Ioctl(device, READ_VBATT, nullptr, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(pt.Ioctl(channel, GET_CONFIG, nullptr, nullptr), long(ERR_NULL_PARAMETER));
        SCONFIG_LIST noPtr{2, nullptr};
        QCOMPARE(pt.Ioctl(channel, SET_CONFIG, &noPtr, nullptr), long(ERR_NULL_PARAMETER));
        QCOMPARE(text(pt.lastError()), QStringLiteral("the SCONFIG_LIST's ConfigPtr is NULL"));

        // Unknown ids: the channel calls want a channel, the device calls a device.
        const unsigned long unknown = 0xDEAD;
        QCOMPARE(pt.Close(unknown), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.Connect(unknown, CAN, 0, 500000, &out), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.ReadVersion(unknown, buf, buf, buf), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.SetProgrammingVoltage(unknown, 12, 5000), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.Ioctl(unknown, READ_VBATT, nullptr, &out), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.Disconnect(unknown), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.ReadMsgs(unknown, &msg, &n, 0), long(ERR_INVALID_CHANNEL_ID));
        n = 1;
        QCOMPARE(pt.WriteMsgs(unknown, &msg, &n, 0), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.StartPeriodicMsg(unknown, &msg, &out, 100), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.StopPeriodicMsg(unknown, 1), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.StartMsgFilter(unknown, PASS_FILTER, &msg, &msg, nullptr, &out), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.StopMsgFilter(unknown, 1), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.Ioctl(unknown, CLEAR_RX_BUFFER, nullptr, nullptr), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(text(pt.lastError()), QStringLiteral("no connected channel with ChannelID 57005"));

        // After Close every id of the device is gone, and the adapter's session with it.
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        QTRY_VERIFY(!m_adapter->sessionOpen());
        n = 1;
        QCOMPARE(pt.WriteMsgs(channel, &msg, &n, 0), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.ReadMsgs(channel, &msg, &n, 0), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.Disconnect(channel), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.Connect(device, CAN, 0, 500000, &out), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.Close(device), long(ERR_INVALID_DEVICE_ID));
        QCOMPARE(pt.ReadVersion(device, buf, buf, buf), long(ERR_INVALID_DEVICE_ID));
        // A disconnected channel is gone too, its device stays.
        const unsigned long again = openFake();
        const unsigned long ch = connect(again);
        QCOMPARE(pt.Disconnect(ch), long(STATUS_NOERROR));
        QCOMPARE(pt.Disconnect(ch), long(ERR_INVALID_CHANNEL_ID));
        QCOMPARE(pt.ReadVersion(again, buf, buf, buf), long(STATUS_NOERROR));
        QCOMPARE(pt.Close(again), long(STATUS_NOERROR));
    }

    void protocolsFlagsAndTheAdaptersRefusal()
    {
        const unsigned long device = openFake();
        unsigned long ch = 0;
        // J1850, K-line, SCI and another pin-selectable protocol of J2534-2.
        for (const unsigned long p : {0x01ul, 0x02ul, 0x03ul, 0x04ul, 0x07ul, 0x0Aul, 0x8000ul}) {
            QCOMPARE(pt.Connect(device, p, 0, 10400, &ch), long(ERR_NOT_SUPPORTED));
            QVERIFY2(text(pt.lastError()).contains(QStringLiteral("not supported")), pt.lastError().c_str());
        }
        for (const unsigned long p : {0ul, 0x0Bul, 0x7FFFul, 0x9000ul})
            QCOMPARE(pt.Connect(device, p, 0, 500000, &ch), long(ERR_INVALID_PROTOCOL_ID));
        QCOMPARE(pt.Connect(device, CAN, ISO9141_NO_CHECKSUM, 500000, &ch), long(ERR_INVALID_FLAGS));
        // The adapter's own refusal comes through with its text.
        QCOMPARE(pt.Connect(device, CAN, 0, 123456, &ch), long(ERR_INVALID_BAUDRATE));
        QCOMPARE(text(pt.lastError()), QStringLiteral("bit rate 123456 not supported"));
        for (const unsigned long p : {0x05ul, 0x06ul, 0x8004ul, 0x8005ul, 0x8011ul, 0x8012ul}) // CAN, ISO15765, _PS, FD
            QVERIFY(connect(device, p) != 0);
        QCOMPARE(pt.SetProgrammingVoltage(device, 12, 5000), long(ERR_NOT_SUPPORTED));
        QCOMPARE(text(pt.lastError()), QStringLiteral("this adapter has no programming voltage output"));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // Messages are checked before anything is sent; good ones go out in
    // frames of at most 64 and come back as loop-back copies.
    void writeChecksAndLoopback()
    {
        const unsigned long device = openFake();
        const unsigned long can = connect(device, CAN);
        const unsigned long iso = connect(device, ISO15765);
        const unsigned long fd = connect(device, CAN_FD_PS, CAN_29BIT_ID);
        struct Case {
            const char* what;
            unsigned long channel;
            PASSTHRU_MSG msg;
            long status;
        };
        PASSTHRU_MSG big = canMessage(ISO15765, 0x7E0, {});
        big.DataSize = 4 + 4096;
        PASSTHRU_MSG huge = canMessage(CAN, 0x7E0, {});
        huge.DataSize = 5000;
        const std::vector<Case> cases = {
            {"protocol", can, canMessage(ISO15765, 0x7E0, {1}), ERR_MSG_PROTOCOL_ID},
            {"no id", can,
                [] {
                    PASSTHRU_MSG m = canMessage(CAN, 0, {});
                    m.DataSize = 3;
                    return m;
                }(),
                ERR_INVALID_MSG},
            {"nine bytes", can, canMessage(CAN, 0x7E0, {1, 2, 3, 4, 5, 6, 7, 8, 9}), ERR_INVALID_MSG},
            {"over 4128", can, huge, ERR_INVALID_MSG},
            {"id over 11 bits", can, canMessage(CAN, 0x800, {1}), ERR_INVALID_MSG},
            {"29-bit on 11-bit", can, canMessage(CAN, 0x18DA10F1, {1}, CAN_29BIT_ID), ERR_INVALID_MSG},
            {"iso empty", iso, canMessage(ISO15765, 0x7E0, {}), ERR_INVALID_MSG},
            {"iso 4096", iso, big, ERR_INVALID_MSG},
            {"fd 9 bytes", fd, canMessage(CAN_FD_PS, 0x18DA10F1, {1, 2, 3, 4, 5, 6, 7, 8, 9}, CAN_29BIT_ID),
                ERR_INVALID_MSG},
            {"11-bit on 29-bit", fd, canMessage(CAN_FD_PS, 0x7E0, {1}), ERR_INVALID_MSG},
        };
        for (const Case& c : cases) {
            PASSTHRU_MSG m = c.msg;
            unsigned long n = 1;
            QCOMPARE(pt.WriteMsgs(c.channel, &m, &n, 100), c.status);
            QVERIFY2(n == 0, c.what);
            QVERIFY2(!pt.lastError().empty(), c.what);
        }
        QVERIFY(m_adapter->written().empty()); // nothing bad reached the adapter

        // One bad message in a batch stops the whole batch.
        std::vector<PASSTHRU_MSG> batch(3, canMessage(CAN, 0x7DF, {2, 1, 0}));
        batch[2] = canMessage(CAN, 0x900, {1});
        unsigned long n = 3;
        QCOMPARE(pt.WriteMsgs(can, batch.data(), &n, 100), long(ERR_INVALID_MSG));
        QVERIFY2(text(pt.lastError()).startsWith(QStringLiteral("message 2:")), pt.lastError().c_str());

        // 150 good ones: three WRITE frames, all sent, all looped back.
        std::vector<PASSTHRU_MSG> many;
        for (unsigned char i = 0; i < 150; ++i)
            many.push_back(canMessage(CAN, 0x7E0, {i}));
        n = 150;
        QCOMPARE(pt.WriteMsgs(can, many.data(), &n, 1000), long(STATUS_NOERROR));
        QCOMPARE(n, 150ul);
        QCOMPARE(m_adapter->writeFrames(), std::size_t(3));
        QCOMPARE(m_adapter->written().size(), std::size_t(150));
        QCOMPARE(m_adapter->written()[149].data.back(), std::uint8_t(149));
        std::vector<PASSTHRU_MSG> back(150);
        unsigned long got = 150;
        QCOMPARE(pt.ReadMsgs(can, back.data(), &got, 2000), long(STATUS_NOERROR));
        QCOMPARE(got, 150ul);
        QCOMPARE(back[0].RxStatus, static_cast<unsigned long>(TX_MSG_TYPE));
        QCOMPARE(back[0].DataSize, 5ul);
        QCOMPARE(back[0].Data[4], static_cast<unsigned char>(0));
        QCOMPARE(back[149].Data[4], static_cast<unsigned char>(149));

        // The largest ISO 15765 message and 12 large ones: split by size, not count.
        std::vector<PASSTHRU_MSG> large(12, canMessage(ISO15765, 0x7E0, {}));
        for (auto& m : large)
            m.DataSize = 4 + 4095;
        n = 12;
        QCOMPARE(pt.WriteMsgs(iso, large.data(), &n, 1000), long(STATUS_NOERROR));
        QCOMPARE(n, 12ul);
        QCOMPARE(m_adapter->writeFrames(), std::size_t(3 + 4)); // 3 of 4099 bytes fit a frame
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // ReadMsgs: empty, partial within the time-out, overflow of the bounded
    // queue and the adapter's LOST count, CLEAR_RX_BUFFER.
    void readQueueSemantics()
    {
        const unsigned long device = openFake();
        const unsigned long ch = connect(device);
        PASSTHRU_MSG msgs[4];
        unsigned long n = 4;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 0), long(ERR_BUFFER_EMPTY));
        QCOMPARE(n, 0ul);
        n = 0;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 0), long(STATUS_NOERROR));

        // Two arrive, four were asked for: ERR_TIMEOUT with the two.
        passthru::RxEvent rx{1, {}};
        for (unsigned char i = 0; i < 2; ++i) {
            passthru::Message m;
            m.protocolId = CAN;
            m.timestamp = 1000 + i;
            m.data = {0, 0, 7, 0xE8, i};
            rx.messages.push_back(m);
        }
        QVERIFY(m_adapter->send(passthru::encodeRx(rx)));
        n = 4;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 300), long(ERR_TIMEOUT));
        QCOMPARE(n, 2ul);
        QCOMPARE(msgs[1].Timestamp, 1001ul);
        QCOMPARE(msgs[1].Data[4], static_cast<unsigned char>(1));

        // A waiting read returns as soon as enough arrived.
        std::thread later([&] {
            QTest::qSleep(50);
            m_adapter->send(passthru::encodeRx(rx));
        });
        n = 2;
        QElapsedTimer t;
        t.start();
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 10000), long(STATUS_NOERROR));
        later.join();
        QCOMPARE(n, 2ul);
        QVERIFY(t.elapsed() < 5000);

        // Over 16384 queued: the rest is lost, and the next read says so once.
        passthru::RxEvent full{1, std::vector<passthru::Message>(64, rx.messages[0])};
        for (int i = 0; i < 16384 / 64 + 2; ++i)
            QVERIFY(m_adapter->send(passthru::encodeRx(full)));
        std::vector<PASSTHRU_MSG> all(20000);
        unsigned long total = 0;
        long status = STATUS_NOERROR;
        for (int i = 0; i < 200 && total < 16384; ++i) {
            n = 20000 - total;
            status = pt.ReadMsgs(ch, all.data() + total, &n, 50);
            total += n;
            if (status == ERR_BUFFER_OVERFLOW)
                break;
        }
        QCOMPARE(status, long(ERR_BUFFER_OVERFLOW));
        QCOMPARE(total, 16384ul);
        QVERIFY2(text(pt.lastError()).contains(QStringLiteral("128 messages lost")), pt.lastError().c_str());
        n = 1;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 0), long(ERR_BUFFER_EMPTY));

        // The adapter's LOST count is reported the same way.
        QVERIFY(m_adapter->send(passthru::encodeLost({1, 7})));
        QVERIFY(m_adapter->send(passthru::encodeRx(rx)));
        n = 2;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 2000), long(ERR_BUFFER_OVERFLOW));
        QCOMPARE(n, 2ul);
        QVERIFY2(text(pt.lastError()).contains(QStringLiteral("dropped 7")), pt.lastError().c_str());

        // CLEAR_RX_BUFFER empties the library's queue too.
        QVERIFY(m_adapter->send(passthru::encodeRx(rx)));
        QTest::qWait(0);
        n = 1;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 1000), long(STATUS_NOERROR));
        QCOMPARE(pt.Ioctl(ch, CLEAR_RX_BUFFER, nullptr, nullptr), long(STATUS_NOERROR));
        n = 1;
        QCOMPARE(pt.ReadMsgs(ch, msgs, &n, 0), long(ERR_BUFFER_EMPTY));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    void periodicFiltersAndIoctls()
    {
        const unsigned long device = openFake();
        const unsigned long can = connect(device, CAN);
        const unsigned long iso = connect(device, ISO15765);
        unsigned long id = 0;
        PASSTHRU_MSG tp = canMessage(CAN, 0x7DF, {2, 0x3E, 0x80});
        QCOMPARE(pt.StartPeriodicMsg(can, &tp, &id, 4), long(ERR_INVALID_TIME_INTERVAL));
        QCOMPARE(pt.StartPeriodicMsg(can, &tp, &id, 65536), long(ERR_INVALID_TIME_INTERVAL));
        QCOMPARE(pt.StartPeriodicMsg(can, &tp, &id, 100), long(STATUS_NOERROR));
        QVERIFY(id != 0);
        QCOMPARE(pt.StopPeriodicMsg(can, id), long(STATUS_NOERROR));
        QCOMPARE(pt.StopPeriodicMsg(can, 999), long(ERR_INVALID_MSG_ID));
        PASSTHRU_MSG isoLong = canMessage(ISO15765, 0x7DF, {1, 2, 3, 4, 5, 6, 7, 8});
        QCOMPARE(pt.StartPeriodicMsg(iso, &isoLong, &id, 100), long(ERR_INVALID_MSG)); // not a single frame

        PASSTHRU_MSG mask = canMessage(CAN, 0xFFFFFFFF, {});
        PASSTHRU_MSG pattern = canMessage(CAN, 0x7E8, {});
        PASSTHRU_MSG flow = canMessage(CAN, 0x7E0, {});
        QCOMPARE(pt.StartMsgFilter(can, PASS_FILTER, &mask, &pattern, nullptr, &id), long(STATUS_NOERROR));
        QCOMPARE(pt.StopMsgFilter(can, id), long(STATUS_NOERROR));
        QCOMPARE(pt.StopMsgFilter(can, 999), long(ERR_INVALID_FILTER_ID));
        QCOMPARE(pt.StartMsgFilter(can, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &id), long(ERR_INVALID_MSG));
        QCOMPARE(pt.StartMsgFilter(can, 7, &mask, &pattern, nullptr, &id), long(ERR_FAILED));
        PASSTHRU_MSG shortPattern = canMessage(CAN, 0x7E8, {});
        shortPattern.DataSize = 3;
        QCOMPARE(pt.StartMsgFilter(can, BLOCK_FILTER, &mask, &shortPattern, nullptr, &id), long(ERR_INVALID_MSG));
        PASSTHRU_MSG isoMask = canMessage(ISO15765, 0xFFFFFFFF, {});
        PASSTHRU_MSG isoPattern = canMessage(ISO15765, 0x7E8, {});
        PASSTHRU_MSG isoFlow = canMessage(ISO15765, 0x7E0, {});
        QCOMPARE(
            pt.StartMsgFilter(iso, FLOW_CONTROL_FILTER, &isoMask, &isoPattern, nullptr, &id), long(ERR_NULL_PARAMETER));
        QCOMPARE(
            pt.StartMsgFilter(iso, FLOW_CONTROL_FILTER, &mask, &isoPattern, &isoFlow, &id), long(ERR_MSG_PROTOCOL_ID));
        PASSTHRU_MSG isoFlowLong = canMessage(ISO15765, 0x7E0, {0});
        QCOMPARE(pt.StartMsgFilter(iso, FLOW_CONTROL_FILTER, &isoMask, &isoPattern, &isoFlowLong, &id),
            long(ERR_INVALID_MSG));
        QCOMPARE(
            pt.StartMsgFilter(iso, FLOW_CONTROL_FILTER, &isoMask, &isoPattern, &isoFlow, &id), long(STATUS_NOERROR));

        // GET_CONFIG / SET_CONFIG carry the list both ways; the adapter's refusal comes through.
        SCONFIG set[2] = {{DATA_RATE, 250000}, {LOOPBACK, 1}};
        SCONFIG_LIST setList{2, set};
        QCOMPARE(pt.Ioctl(can, SET_CONFIG, &setList, nullptr), long(STATUS_NOERROR));
        SCONFIG get[2] = {{LOOPBACK, 77}, {DATA_RATE, 77}};
        SCONFIG_LIST getList{2, get};
        QCOMPARE(pt.Ioctl(can, GET_CONFIG, &getList, nullptr), long(STATUS_NOERROR));
        QCOMPARE(get[0].Value, 1ul);
        QCOMPARE(get[1].Value, 250000ul);
        SCONFIG unknown[1] = {{P1_MIN, 0}};
        SCONFIG_LIST unknownList{1, unknown};
        QCOMPARE(pt.Ioctl(can, GET_CONFIG, &unknownList, nullptr), long(ERR_INVALID_IOCTL_VALUE));
        // More than 64 parameters go in several requests.
        std::vector<SCONFIG> many(100, SCONFIG{DATA_RATE, 0});
        SCONFIG_LIST manyList{100, many.data()};
        QCOMPARE(pt.Ioctl(can, GET_CONFIG, &manyList, nullptr), long(STATUS_NOERROR));
        QCOMPARE(many[99].Value, 250000ul);

        for (const unsigned long io :
            {0x07ul, 0x09ul, 0x0Aul}) // CLEAR_TX_BUFFER, CLEAR_PERIODIC_MSGS, CLEAR_MSG_FILTERS
            QCOMPARE(pt.Ioctl(can, io, nullptr, nullptr), long(STATUS_NOERROR));
        unsigned long volts = 0;
        // READ_PROG_VOLTAGE, FIVE_BAUD_INIT, FAST_INIT
        for (const unsigned long io : {0x0Eul, 0x04ul, 0x05ul}) {
            QCOMPARE(pt.Ioctl(device, io, nullptr, &volts), long(ERR_NOT_SUPPORTED));
            QVERIFY(!pt.lastError().empty());
        }
        QCOMPARE(pt.Ioctl(can, 0x99, nullptr, nullptr), long(ERR_INVALID_IOCTL_ID));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // The adapter goes away or misbehaves: the codes within their bounds, a
    // text that says what happened, and the device usable for nothing but Close.
    void hostileOrVanishingAdapter_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown frame type") << 1 << "malformed frame";
        QTest::newRow("length out of range") << 2 << "malformed frame";
        QTest::newRow("reply to no request") << 3 << "reply to no request";
        QTest::newRow("RX of 65 messages") << 4 << "malformed frame";
        QTest::newRow("request from the adapter") << 5 << "malformed frame";
        QTest::newRow("silent") << 6 << "did not answer";
        QTest::newRow("garbage without end") << 7 << "malformed frame";
    }

    void hostileOrVanishingAdapter()
    {
        QFETCH(int, kind);
        QFETCH(QString, says);
        if (kind == 7)
            m_adapter->setMode(FakeAdapter::Mode::Garbage);
        const unsigned long device = openFake();
        QVERIFY(device);
        const unsigned long ch = kind == 7 ? 0 : connect(device);
        QVERIFY(kind == 7 || ch);
        std::vector<std::uint8_t> bytes;
        switch (kind) {
        case 1:
            bytes = {0, 0, 0, 5, 0x55, 0, 0, 0, 0};
            break;
        case 2:
            bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0x40};
            break;
        case 3: {
            passthru::Reply r;
            r.request = passthru::Type::Version;
            r.firmwareVersion = "x";
            bytes = passthru::encodeReply(0x7777, r);
            break;
        }
        case 4:
            bytes = {0, 0, 0, 11, 0x40, 0, 0, 0, 0, 0, 0, 0, 1, 0, 65};
            break;
        case 5:
            bytes = passthru::encodeVersion(3);
            break;
        default:
            break;
        }
        QElapsedTimer t;
        t.start();
        PASSTHRU_MSG msg;
        unsigned long n = 1;
        if (kind == 6) {
            m_adapter->setMode(FakeAdapter::Mode::Silent);
            msg = canMessage(CAN, 0x7E0, {1});
            QCOMPARE(pt.WriteMsgs(ch, &msg, &n, 0), long(ERR_DEVICE_NOT_CONNECTED));
        } else if (kind == 7) {
            char b[80];
            QTRY_COMPARE_WITH_TIMEOUT(pt.ReadVersion(device, b, b, b), long(ERR_DEVICE_NOT_CONNECTED), 5000);
        } else {
            QVERIFY(m_adapter->send(bytes));
            QCOMPARE(pt.ReadMsgs(ch, &msg, &n, 10000), long(ERR_DEVICE_NOT_CONNECTED));
        }
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QVERIFY2(text(pt.lastError()).contains(says), pt.lastError().c_str());
        QVERIFY(text(pt.lastError()).contains(QString::number(m_adapter->port())));
        // Every later call says the same, at once; Close still works.
        char b[80];
        QCOMPARE(pt.ReadVersion(device, b, b, b), long(ERR_DEVICE_NOT_CONNECTED));
        QVERIFY2(text(pt.lastError()).contains(says), pt.lastError().c_str());
        if (ch) {
            n = 1;
            QCOMPARE(pt.ReadMsgs(ch, &msg, &n, 1000), long(ERR_DEVICE_NOT_CONNECTED));
        }
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // Data without end from the adapter: the queue stays bounded, calls are answered.
    void floodingAdapterStaysBounded()
    {
        m_adapter->setMode(FakeAdapter::Mode::Endless);
        const unsigned long device = openFake();
        const unsigned long ch = connect(device);
        QVERIFY(ch); // the adapter's channel 1, which the flood names
        std::vector<PASSTHRU_MSG> msgs(1000);
        long status = STATUS_NOERROR;
        unsigned long n = 0;
        // Until the queue overflowed once: the loss is reported, nothing grows without bound.
        for (int i = 0; i < 400 && status != ERR_BUFFER_OVERFLOW; ++i) {
            QTest::qWait(10);
            n = 1;
            status = pt.ReadMsgs(ch, msgs.data(), &n, 0);
        }
        QCOMPARE(status, long(ERR_BUFFER_OVERFLOW));
        char b[80];
        QCOMPARE(pt.ReadVersion(device, b, b, b), long(STATUS_NOERROR));
        n = 1000;
        QCOMPARE(pt.ReadMsgs(ch, msgs.data(), &n, 1000), long(ERR_BUFFER_OVERFLOW));
        QCOMPARE(n, 1000ul);
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // Several threads on one device at once: every call gets its own reply.
    void concurrentCallsFromThreads()
    {
        const unsigned long device = openFake();
        std::vector<unsigned long> channels;
        for (const unsigned long p : {0x05ul, 0x06ul, 0x8004ul, 0x8005ul}) // CAN, ISO15765, CAN_PS, ISO15765_PS
            channels.push_back(connect(device, p));
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                const unsigned long ch = channels[static_cast<std::size_t>(t)];
                const unsigned long protocol = t % 2 ? (t == 1 ? ISO15765 : ISO15765_PS) : (t == 0 ? CAN : CAN_PS);
                for (unsigned char i = 0; i < 50; ++i) {
                    PASSTHRU_MSG m = canMessage(protocol, 0x7E0, {i});
                    unsigned long n = 1;
                    if (pt.WriteMsgs(ch, &m, &n, 100) != STATUS_NOERROR || n != 1)
                        ++failures;
                    PASSTHRU_MSG back;
                    n = 1;
                    if (pt.ReadMsgs(ch, &back, &n, 2000) != STATUS_NOERROR || back.Data[4] != i
                        || back.ProtocolID != protocol)
                        ++failures;
                    unsigned long mv = 0;
                    if (pt.Ioctl(device, READ_VBATT, nullptr, &mv) != STATUS_NOERROR || mv != 12600)
                        ++failures;
                }
            });
        for (auto& th : threads)
            th.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
    }

    // The trace: a file per session while the folder exists, nothing without it.
    void traceOnlyWithItsFolder()
    {
        const QString folder = qEnvironmentVariable("BRINDLEWICK_DATA_ROOT") + QStringLiteral("/passThru4log");
        QDir().rmpath(folder);
        unsigned long device = openFake();
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        QVERIFY(!QDir(folder).exists());

        QVERIFY(QDir().mkpath(folder));
        device = openFake();
        const unsigned long ch = connect(device);
        PASSTHRU_MSG m = canMessage(CAN, 0x7DF, {2, 1, 0x0C});
        unsigned long n = 1;
        QCOMPARE(pt.WriteMsgs(ch, &m, &n, 100), long(STATUS_NOERROR));
        n = 1;
        QCOMPARE(pt.ReadMsgs(ch, &m, &n, 2000), long(STATUS_NOERROR));
        QCOMPARE(pt.Connect(device, ISO9141, 0, 10400, &n), long(ERR_NOT_SUPPORTED));
        QCOMPARE(pt.Close(device), long(STATUS_NOERROR));
        const QStringList files = QDir(folder).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files[0].contains(QStringLiteral("pid") + QString::number(QCoreApplication::applicationPid())));
        QFile f(folder + QLatin1Char('/') + files[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString trace = QString::fromUtf8(f.readAll());
        QVERIFY(trace.contains(QStringLiteral("PassThruOpen(pName=\"127.0.0.1:")));
        QVERIFY(trace.contains(QStringLiteral("TX Protocol=0x5")));
        QVERIFY(trace.contains(QStringLiteral("Data=00 00 07 DF 02 01 0C")));
        QVERIFY(trace.contains(QStringLiteral("RX Protocol=0x5 RxStatus=0x1")));
        QVERIFY(trace.contains(QStringLiteral("-> ERR_NOT_SUPPORTED")));
        QVERIFY(QDir(folder).removeRecursively());
    }
};

QTEST_GUILESS_MAIN(TestJ2534Library)
#include "tst_j2534_library.moc"
