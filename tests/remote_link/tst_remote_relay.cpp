// remote-relay as a process, driven by bare TLS clients: registration,
// lookup, pairing and forwarding, the refusals (offline, wrong code, lockout,
// busy), bad input (garbage, oversized and cut frames, no TLS at all) and
// hostile or broken links (floods, silence, lookups in bulk, descriptors
// running out).
#include "RemoteTestSupport.h"

#include "TestTls.h"
#include "support/TestEnvironment.h"

#include "remote/Bridge.h"
#include "remote/Frame.h"
#include "remote/Net.h"

#include <QDir>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

using namespace remote;

namespace {
const char* const kSerial = "M5EA0001XJ7B0001";

std::string checkableRegister(const char* serial, const char* key, std::uint32_t code)
{
    RegisterMsg m{serial, key, code};
    m.checkable = true;
    return encodeRegister(m);
}

// Serves the relay's adapter check as a C-end whose adapter shows `serial`
// and `key`: the relay opens a stream and asks for the status.
bool answerCheck(RawRelayClient& c, const char* serial, const char* key)
{
    Frame f;
    StreamMsg open;
    StreamMsg ask;
    if (!c.next(f) || !parseStream(f, open, nullptr) || f.type != Type::Open)
        return false;
    if (!c.next(f) || !parseStream(f, ask, nullptr) || f.type != Type::Data || ask.stream != open.stream
        || std::string(ask.data).find("\"op\":\"status\"") == std::string::npos)
        return false;
    const std::string reply = std::string("{\"ok\":true,\"serial\":\"") + serial + "\",\"key\":\"" + key + "\"}\n";
    std::string out;
    appendData(out, open.stream, reply.data(), reply.size());
    return c.send(out);
}

// User plus system CPU time of a process in clock ticks, -1 when unknown.
long long cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// The share of one core a process used over a window of about windowMs.
double cpuShare(qint64 pid, int windowMs)
{
    const long long before = cpuTicks(pid);
    QElapsedTimer t;
    t.start();
    QTest::qWait(windowMs);
    const long long after = cpuTicks(pid);
    if (before < 0 || after < 0)
        return -1;
    return double(after - before) / double(::sysconf(_SC_CLK_TCK)) / (double(t.elapsed()) / 1000.0);
}

QList<int> openDescriptors(qint64 pid)
{
    QList<int> fds;
    for (const QString& name :
        QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        fds << name.toInt();
    return fds;
}

// Whether the relay's log shows `text` at least `times` times within timeoutMs
// (reading the log takes a while, so no QTRY, which counts rounds, not time).
bool logShows(RelayProcess& relay, const char* text, int times, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    do {
        if (relay.log().count(text) >= times)
            return true;
    } while (t.elapsed() < timeoutMs);
    return false;
}

// Plain TCP connections that the kernel completes whether or not the relay
// accepts them; closed when the holder goes.
struct PlainLinks {
    std::vector<net::Socket> sockets;
    ~PlainLinks() { closeAll(); }
    bool open(quint16 port, int count)
    {
        for (int i = 0; i < count; ++i) {
            std::string error;
            const net::Socket s = net::connectTcp("127.0.0.1", port, 3000, &error);
            if (s == net::kNoSocket)
                return false;
            sockets.push_back(s);
        }
        return true;
    }
    void closeAll()
    {
        for (const net::Socket s : sockets)
            net::closeSocket(s);
        sockets.clear();
    }
};

// Connects `c`, sends `frame` and returns the acknowledgement's status (-100: none came).
int sendFirst(RawRelayClient& c, quint16 port, const std::string& frame)
{
    return c.connect(port) && c.send(frame) ? c.ackStatus() : -100;
}

// The same on a link of its own, closed afterwards.
int ask(quint16 port, const std::string& frame)
{
    RawRelayClient c;
    return sendFirst(c, port, frame);
}

int lookupStatus(quint16 port, const std::string& serial)
{
    return ask(port, encodeLookup({serial}));
}
} // namespace

class RemoteRelayTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(m_tls.create(), qPrintable(m_tls.lastError()));
        qputenv("BRINDLEWICK_CA_FILE", m_tls.caFile().toUtf8());
        QVERIFY2(
            m_relay.start(m_tls.serverCert(), m_tls.serverKey(),
                {QStringLiteral("--hello-timeout-ms"), QStringLiteral("1000"), QStringLiteral("--max-wrong-address"),
                    QStringLiteral("1000"), QStringLiteral("--session-silence-ms"), QStringLiteral("30000")}),
            qPrintable(m_relay.errorText()));
    }

    void registerLookupConnectAndForward()
    {
        RawRelayClient c;
        QVERIFY(c.connect(m_relay.port()));
        RawRelayClient lookup;
        QCOMPARE(sendFirst(lookup, m_relay.port(), encodeLookup({kSerial})), int(kStatusOffline));

        QVERIFY(c.send(encodeRegister({kSerial, "KX0001", 123456})));
        QCOMPARE(c.ackStatus(), int(kStatusOk));
        QVERIFY(lookup.send(encodeLookup({kSerial})));
        QCOMPARE(lookup.ackStatus(), int(kStatusOk));

        RawRelayClient b;
        QVERIFY(b.connect(m_relay.port()));
        QVERIFY(b.send(encodeConnect({kSerial, 123456})));
        Frame f;
        AckMsg ack;
        QVERIFY(b.next(f));
        QCOMPARE(f.type, Type::ConnectAck);
        QVERIFY(parseAck(f, ack, nullptr));
        QCOMPARE(ack.status, int(kStatusOk));
        QCOMPARE(ack.text, std::string(kSerial));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::Session);

        // Streams pass both ways unchanged; the relay answers pings itself
        // with the other end's reported delay.
        std::string data = encodeOpen(1);
        appendData(data, 1, "status?", 7);
        QVERIFY(b.send(data));
        StreamMsg m;
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::Open);
        QVERIFY(c.next(f));
        QVERIFY(parseStream(f, m, nullptr));
        QCOMPARE(std::string(m.data), std::string("status?"));
        std::string back;
        appendData(back, 1, "ok", 2);
        QVERIFY(c.send(back + encodePing(Type::Ping, {77, 12})));
        QVERIFY(b.next(f));
        QVERIFY(parseStream(f, m, nullptr));
        QCOMPARE(std::string(m.data), std::string("ok"));
        PingMsg pong;
        QVERIFY(b.send(encodePing(Type::Ping, {99, 5})));
        QVERIFY(b.next(f));
        QCOMPARE(f.type, Type::Pong);
        QVERIFY(parsePing(f, pong, nullptr));
        QCOMPARE(pong.stamp, std::uint64_t(99));
        QCOMPARE(pong.delay, 12);
        QVERIFY(c.next(f)); // the C-end's own pong
        QCOMPARE(f.type, Type::Pong);

        // A second B-end is refused while the first is paired.
        RawRelayClient second;
        QCOMPARE(sendFirst(second, m_relay.port(), encodeConnect({kSerial, 123456})), int(kStatusBusy));
        QVERIFY(second.closedWithin(2000));

        // The B-end leaves: the C-end hears it and stays registered.
        QVERIFY(b.send(encodeEnd({EndReason::Closing, "done"})));
        QVERIFY(c.next(f));
        EndMsg end;
        QVERIFY(parseEnd(f, end, nullptr));
        QCOMPARE(end.reason, EndReason::PeerLeft);
        QVERIFY(lookup.send(encodeLookup({kSerial})));
        QCOMPARE(lookup.ackStatus(), int(kStatusOk));

        // A new B-end pairs again; then the C-end drops without a word.
        RawRelayClient b2;
        QCOMPARE(sendFirst(b2, m_relay.port(), encodeConnect({kSerial, 123456})), int(kStatusOk));
        c = RawRelayClient(); // closes the link
        QVERIFY(b2.next(f));
        QVERIFY(parseEnd(f, end, nullptr));
        QCOMPARE(end.reason, EndReason::PeerLeft);
        QVERIFY(b2.closedWithin(2000));
        QVERIFY(lookup.send(encodeLookup({kSerial})));
        QCOMPARE(lookup.ackStatus(), int(kStatusOffline));
        // The first session's stream bytes are in the log: 7 from the B-end, 2 from the C-end.
        QVERIFY2(m_relay.log().contains("bytes from the B-end 7, from the C-end 2"), m_relay.log().constData());
    }

    // Bus frames a C-end sent before it heard its device-control session end
    // cross that end on the wire: they are dropped and the adapter stays
    // registered. A C-end that never had such a session is still refused.
    void lateBusFramesOfAnEndedSessionAreDropped()
    {
        const char* serial = "M5EA0031XJ7B0031";
        RawRelayClient c;
        QVERIFY(c.connect(m_relay.port()));
        QVERIFY(c.send(encodeRegister({serial, "KX0031", 313131})));
        QCOMPARE(c.ackStatus(), int(kStatusOk));
        RawRelayClient b;
        QCOMPARE(
            sendFirst(b, m_relay.port(), encodeControlConnect({serial, 313131, "M5EA0032XJ7B0032"})), int(kStatusOk));
        Frame f;
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::ControlSession);
        QVERIFY(b.send(encodeEnd({EndReason::Closing, "done"})));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::End);

        CanFrameMsg late;
        late.bus = 1;
        late.id = 0x7E8;
        late.length = 8;
        std::string frames;
        appendCanFrame(frames, late);
        QVERIFY(c.send(frames + encodeBusStatus({1, kBusOpen, 9}) + encodePing(Type::Ping, {5, 1})));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::Pong); // no End before it
        QCOMPARE(lookupStatus(m_relay.port(), serial), int(kStatusOk));

        RawRelayClient fresh;
        QVERIFY(fresh.connect(m_relay.port()));
        QVERIFY(fresh.send(encodeRegister({"M5EA0033XJ7B0033", "KX0033", 323232})));
        QCOMPARE(fresh.ackStatus(), int(kStatusOk));
        QVERIFY(fresh.send(frames));
        QVERIFY(fresh.next(f));
        QCOMPARE(f.type, Type::End);
        QVERIFY(fresh.closedWithin(2000));
    }

    // The code of a device-control session opens the car's buses, not the
    // adapter: a stream (its module operations, its pass-thru port) from
    // the B-end is refused and never reaches the C-end, which only hears
    // that the session ended; a C-end that opens one is refused too.
    void deviceControlSessionCarriesNoStreams_data()
    {
        QTest::addColumn<int>("target");
        QTest::newRow("module port") << int(kTargetModule);
        QTest::newRow("pass-thru port") << int(kTargetPassThru);
    }
    void deviceControlSessionCarriesNoStreams()
    {
        QFETCH(int, target);
        const char* serial = "M5EA0034XJ7B0034";
        RawRelayClient c;
        QVERIFY(c.connect(m_relay.port()));
        QVERIFY(c.send(encodeRegister({serial, "KX0034", 343434})));
        QCOMPARE(c.ackStatus(), int(kStatusOk));
        RawRelayClient b;
        QCOMPARE(
            sendFirst(b, m_relay.port(), encodeControlConnect({serial, 343434, "M5EA0035XJ7B0035"})), int(kStatusOk));
        Frame f;
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::ControlSession);

        std::string open = encodeOpen(1, static_cast<std::uint8_t>(target));
        appendData(open, 1, "\x01", 1);
        QVERIFY(b.send(open));
        QVERIFY(b.next(f));
        QCOMPARE(f.type, Type::End);
        QVERIFY(b.closedWithin(2000));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::End); // not the OPEN
        QVERIFY2(m_relay.log().contains("stream frame in a device-control session"), m_relay.log().constData());

        // The C-end side of such a session cannot open one either.
        RawRelayClient b2;
        QCOMPARE(
            sendFirst(b2, m_relay.port(), encodeControlConnect({serial, 343434, "M5EA0035XJ7B0035"})), int(kStatusOk));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::ControlSession);
        std::string data;
        appendData(data, 1, "\x02", 1);
        QVERIFY(c.send(encodeOpen(1, static_cast<std::uint8_t>(target)) + data));
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::End);
        QVERIFY(b2.next(f));
        QCOMPARE(f.type, Type::End); // not the OPEN or the DATA
    }

    void linksPerAddressAreCapped()
    {
        RelayProcess relay;
        QVERIFY(start(relay, {QStringLiteral("--max-links-per-address"), QStringLiteral("2")}));
        RawRelayClient first;
        RawRelayClient second;
        RawRelayClient third;
        QVERIFY(first.connect(relay.port()));
        QVERIFY(second.connect(relay.port()));
        QVERIFY(!third.connect(relay.port()));
        first = RawRelayClient();
        // The slot is free again once the relay has seen the close (each try
        // is a link of its own, so no QTRY, which evaluates twice).
        bool again = false;
        for (int i = 0; i < 60 && !again; ++i) {
            RawRelayClient next;
            again = next.connect(relay.port());
            if (!again)
                QTest::qWait(50);
        }
        QVERIFY(again);
    }

    void latestRegistrationWins()
    {
        RawRelayClient first;
        RawRelayClient second;
        QVERIFY(first.connect(m_relay.port()));
        QVERIFY(second.connect(m_relay.port()));
        QVERIFY(first.send(encodeRegister({"LATEST1", "K1", 111111})));
        QCOMPARE(first.ackStatus(), int(kStatusOk));
        // A registration without a code is refused.
        QCOMPARE(ask(m_relay.port(), encodeRegister({"NOCODE1", "K", 0})), int(kStatusRefused));
        // Another key cannot take the serial over.
        RawRelayClient thief;
        QCOMPARE(sendFirst(thief, m_relay.port(), encodeRegister({"LATEST1", "K9", 999999})), int(kStatusRefused));
        QVERIFY(thief.closedWithin(2000));
        // The same adapter from a new link (a new code) does.
        QVERIFY(second.send(encodeRegister({"LATEST1", "K1", 222222})));
        QCOMPARE(second.ackStatus(), int(kStatusOk));
        Frame f;
        EndMsg end;
        QVERIFY(first.next(f));
        QVERIFY(parseEnd(f, end, nullptr));
        QCOMPARE(end.reason, EndReason::Replaced);
        // The code now in force is the second one's.
        QCOMPARE(ask(m_relay.port(), encodeConnect({"LATEST1", 222222})), int(kStatusOk));
    }

    // Squatting: a serial registered first by someone with another key is
    // taken over by the registration its adapter vouches for (the relay asks
    // the adapter through the C-end's link), which then keeps it. A check the
    // adapter does not pass counts as no check.
    void checkedAdapterTakesTheSerialFromASquatter()
    {
        RawRelayClient squatter;
        QCOMPARE(sendFirst(squatter, m_relay.port(), encodeRegister({"SQUAT1", "WRONG", 111111})), int(kStatusOk));

        // A second squatter offers the check but its "adapter" shows another key.
        RawRelayClient liar;
        QCOMPARE(sendFirst(liar, m_relay.port(), checkableRegister("SQUAT1", "LIAR", 333333)), int(kStatusChecking));
        QVERIFY(answerCheck(liar, "SQUAT1", "KX0001"));
        QCOMPARE(liar.ackStatus(), int(kStatusRefused));

        RawRelayClient owner;
        QCOMPARE(sendFirst(owner, m_relay.port(), checkableRegister("SQUAT1", "KX0001", 222222)), int(kStatusChecking));
        QVERIFY(answerCheck(owner, "SQUAT1", "KX0001"));
        QCOMPARE(owner.ackStatus(), int(kStatusOk));
        Frame f;
        EndMsg end;
        QVERIFY(squatter.next(f));
        QVERIFY(parseEnd(f, end, nullptr));
        QCOMPARE(end.reason, EndReason::Replaced);

        // The squatter's code opens nothing any more, the adapter's does.
        QCOMPARE(ask(m_relay.port(), encodeConnect({"SQUAT1", 111111})), int(kStatusWrongCode));
        QCOMPARE(ask(m_relay.port(), encodeConnect({"SQUAT1", 222222})), int(kStatusOk));

        // Back again, with or without a check, the squatter is refused at once.
        QCOMPARE(ask(m_relay.port(), encodeRegister({"SQUAT1", "WRONG", 111111})), int(kStatusRefused));
        QCOMPARE(ask(m_relay.port(), checkableRegister("SQUAT1", "WRONG", 111111)), int(kStatusRefused));
        // Nor does the adapter's own key without the check replace a checked registration.
        RawRelayClient unchecked;
        QCOMPARE(
            sendFirst(unchecked, m_relay.port(), encodeRegister({"SQUAT1", "KX0001", 444444})), int(kStatusRefused));
        QVERIFY(!owner.closedWithin(300));
    }

    // A C-end that offers the check and never answers it, or answers with
    // garbage, is registered unchecked once the serial is free, never hangs
    // the relay.
    void unansweredOrGarbledChecksCountAsNone()
    {
        RawRelayClient garbled;
        QCOMPARE(sendFirst(garbled, m_relay.port(), checkableRegister("GARBLE1", "K1", 121212)), int(kStatusChecking));
        Frame f;
        QVERIFY(garbled.next(f));
        QCOMPARE(f.type, Type::Open);
        StreamMsg open;
        QVERIFY(parseStream(f, open, nullptr));
        std::string junk;
        const std::string bytes(40, '\xff');
        appendData(junk, open.stream, bytes.data(), bytes.size());
        appendData(junk, open.stream, "}{\n", 3);
        QVERIFY(garbled.send(junk));
        QCOMPARE(garbled.ackStatus(), int(kStatusOk));

        RawRelayClient silent;
        QCOMPARE(sendFirst(silent, m_relay.port(), checkableRegister("SILENT1", "K1", 131313)), int(kStatusChecking));
        RawRelayClient lookup;
        QVERIFY(lookup.connect(m_relay.port()));
        QVERIFY(lookup.send(encodeLookup({"SILENT1"})));
        QCOMPARE(lookup.ackStatus(), int(kStatusOffline)); // not registered while the check runs
        QCOMPARE(silent.ackStatus(6000), int(kStatusOk));  // the check's time ran out
        QVERIFY(lookup.send(encodeLookup({"SILENT1"})));
        QCOMPARE(lookup.ackStatus(), int(kStatusOk));
    }

    void wrongCodesLockTheSerial()
    {
        RawRelayClient c; // registered while it stays open
        QCOMPARE(sendFirst(c, m_relay.port(), encodeRegister({"LOCKME1", "K", 424242})), int(kStatusOk));
        auto attempt = [&](std::uint32_t code) { return ask(m_relay.port(), encodeConnect({"LOCKME1", code})); };
        // Four wrong codes leave the right one working (its session ends with its link) ...
        for (std::uint32_t i = 0; i < 4; ++i)
            QCOMPARE(attempt(100000 + i), int(kStatusWrongCode));
        QCOMPARE(attempt(424242), int(kStatusOk));
        // ... the fifth locks the serial: now even the right one is refused.
        QCOMPARE(attempt(424242 + 1), int(kStatusWrongCode));
        QCOMPARE(attempt(424242), int(kStatusWrongCode));
        // The lock holds for device control too, whichever kind of attempt tried the codes.
        QCOMPARE(
            ask(m_relay.port(), encodeControlConnect({"LOCKME1", 424242, "M5EA0036XJ7B0036"})), int(kStatusWrongCode));
        RawRelayClient c2;
        QCOMPARE(sendFirst(c2, m_relay.port(), encodeRegister({"LOCKME2", "K", 434343})), int(kStatusOk));
        for (std::uint32_t i = 0; i < 5; ++i)
            QCOMPARE(ask(m_relay.port(), encodeControlConnect({"LOCKME2", 200000 + i, ""})), int(kStatusWrongCode));
        QCOMPARE(ask(m_relay.port(), encodeConnect({"LOCKME2", 434343})), int(kStatusWrongCode));
        // Another serial is not affected.
        RawRelayClient other; // registered while it stays open
        QCOMPARE(sendFirst(other, m_relay.port(), encodeRegister({"FREE1", "K", 555555})), int(kStatusOk));
        QCOMPARE(ask(m_relay.port(), encodeConnect({"FREE1", 555555})), int(kStatusOk));
        // Neither the code nor the key reaches the relay's log.
        const QByteArray log = m_relay.log();
        QVERIFY(log.contains("wrong code for LOCKME1"));
        QVERIFY(!log.contains("424242"));
        QVERIFY(!log.contains("100003"));
    }

    void wrongCodesLockTheSourceAddress()
    {
        RelayProcess relay;
        QVERIFY(start(relay, {QStringLiteral("--max-wrong-address"), QStringLiteral("3")}));
        RawRelayClient c1;
        RawRelayClient c2;
        QVERIFY(c1.connect(relay.port()) && c2.connect(relay.port()));
        QVERIFY(c1.send(encodeRegister({"ADDRA", "K", 111111})));
        QVERIFY(c2.send(encodeRegister({"ADDRB", "K", 222222})));
        QCOMPARE(c1.ackStatus(), int(kStatusOk));
        QCOMPARE(c2.ackStatus(), int(kStatusOk));
        auto attempt = [&](const char* serial, std::uint32_t code) {
            return ask(relay.port(), encodeConnect({serial, code}));
        };
        // Two wrong codes spread over the serials leave the right one working,
        // a third locks this address out.
        QCOMPARE(attempt("ADDRA", 1), int(kStatusWrongCode));
        QCOMPARE(attempt("ADDRB", 2), int(kStatusWrongCode));
        QCOMPARE(attempt("ADDRB", 222222), int(kStatusOk));
        QCOMPARE(attempt("ADDRA", 3), int(kStatusWrongCode));
        QCOMPARE(attempt("ADDRB", 222222), int(kStatusWrongCode));
    }

    void badInputIsRefusedAndTheRelayGoesOn_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("answersEnd");
        const std::string oversized = std::string("\x00\x01\x00\x00\x09", 5) + std::string(200, 'x');
        QTest::newRow("garbage") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << true;
        QTest::newRow("oversized") << QByteArray(oversized.data(), int(oversized.size())) << true;
        QTest::newRow("unknown type") << QByteArray("\x00\x00\x00\x01\x63", 5) << true;
        QTest::newRow("data before a session") << QByteArray("\x00\x00\x00\x06\x09\x00\x00\x00\x01z", 10) << true;
        const std::string badRegister = encodeRegister({"SN", "K", 1}).substr(0, 6) + std::string(40, '\xff');
        QTest::newRow("malformed register") << QByteArray(badRegister.data(), int(badRegister.size())) << false;
        QTest::newRow("cut frame") << QByteArray("\x00\x00\x01\x00\x01\x01", 6) << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }

    void badInputIsRefusedAndTheRelayGoesOn()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, answersEnd);
        RawRelayClient bad;
        QVERIFY(bad.connect(m_relay.port()));
        QVERIFY(bad.send(std::string(bytes.constData(), std::size_t(bytes.size()))));
        if (answersEnd) {
            Frame f;
            QVERIFY(bad.next(f));
            EndMsg end;
            QVERIFY(parseEnd(f, end, nullptr));
            QCOMPARE(end.reason, EndReason::Protocol);
        }
        // A cut or missing first frame is dropped after the hello time (1 s here).
        QVERIFY(bad.closedWithin(4000));
        QCOMPARE(ask(m_relay.port(), encodeLookup({"ANY1"})), int(kStatusOffline));
    }

    void plainTcpAndBrokenHandshakesAreDropped()
    {
        QTcpSocket plain;
        plain.connectToHost(QStringLiteral("127.0.0.1"), m_relay.port());
        QVERIFY(plain.waitForConnected(3000));
        plain.write(QByteArray(4096, '\x16'));
        QVERIFY(plain.waitForBytesWritten(3000));
        QTRY_VERIFY_WITH_TIMEOUT(plain.state() == QAbstractSocket::UnconnectedState, 5000);

        QTcpSocket silent;
        silent.connectToHost(QStringLiteral("127.0.0.1"), m_relay.port());
        QVERIFY(silent.waitForConnected(3000));
        QTRY_VERIFY_WITH_TIMEOUT(silent.state() == QAbstractSocket::UnconnectedState, 5000);
    }

    void linksThatDoNotReadAreDropped()
    {
        RelayProcess relay;
        QVERIFY(start(relay, {QStringLiteral("--session-silence-ms"), QStringLiteral("60000")}));
        // Pings, 1 MiB at a time, from clients that never read the answers.
        std::string pings;
        while (pings.size() < (1u << 20))
            pings += encodePing(Type::Ping, {1, -1});
        auto flood = [&](RawRelayClient& c) {
            for (int i = 0; i < 128 && c.send(pings); ++i) { }
        };
        RawRelayClient alone;
        QVERIFY(alone.connect(relay.port()));
        flood(alone);
        QVERIFY(alone.closedWithin(5000));

        // In a session: the B-end that floods is dropped, the C-end hears the
        // end and stays registered.
        RawRelayClient c;
        QCOMPARE(sendFirst(c, relay.port(), encodeRegister({"FLOOD1", "K", 313131})), int(kStatusOk));
        RawRelayClient b;
        QCOMPARE(sendFirst(b, relay.port(), encodeConnect({"FLOOD1", 313131})), int(kStatusOk));
        Frame f;
        QVERIFY(c.next(f));
        QCOMPARE(f.type, Type::Session);
        flood(b);
        QVERIFY(b.closedWithin(5000));
        // While the B-end's answers pile up the relay holds the C-end back
        // and pings it once a second; a slow flood lets some of those through.
        EndMsg end;
        do
            QVERIFY(c.next(f));
        while (f.type == Type::Ping);
        QVERIFY(parseEnd(f, end, nullptr));
        QCOMPARE(end.reason, EndReason::PeerLeft);
        QCOMPARE(lookupStatus(relay.port(), "FLOOD1"), int(kStatusOk));

        // What waited for each of them stayed within its limit plus one frame:
        // 64 KiB outside a session, 1 MiB of stream frames + 256 KiB in one.
        const QString log = QString::fromLatin1(relay.log());
        auto it = QRegularExpression(QStringLiteral("does not read \\((\\d+) bytes waiting\\)")).globalMatch(log);
        QList<qulonglong> waiting;
        while (it.hasNext())
            waiting << it.next().captured(1).toULongLong();
        QCOMPARE(waiting.size(), 2);
        QVERIFY2(waiting[0] < (64u << 10) + kMaxData + 5, qPrintable(log));
        QVERIFY2(waiting[1] < (1u << 20) + (256u << 10) + kMaxData + 5, qPrintable(log));
    }

    void aSilentEndEndsTheSessionOnBothSides()
    {
        // Default limits: both ends ping every second, so a few silent
        // seconds mean a frozen end.
        RelayProcess relay;
        QVERIFY(start(relay));
        auto pair = [&](RawRelayClient& c, RawRelayClient& b, const char* serial) {
            Frame f;
            return c.connect(relay.port()) && c.send(encodeRegister({serial, "K", 121212}))
                && c.ackStatus() == kStatusOk && b.connect(relay.port()) && b.send(encodeConnect({serial, 121212}))
                && b.ackStatus() == kStatusOk && c.next(f) && f.type == Type::Session;
        };
        // The live side pings every half second and waits at most 5 s for END.
        auto endWithin5s = [](RawRelayClient& live) {
            QElapsedTimer t;
            t.start();
            Frame f;
            std::uint64_t stamp = 0;
            while (t.elapsed() < 5000) {
                if (!live.send(encodePing(Type::Ping, {++stamp, 1})))
                    return false;
                QElapsedTimer slice;
                slice.start();
                while (slice.elapsed() < 500 && live.next(f, 100)) {
                    EndMsg end;
                    if (f.type == Type::End)
                        return parseEnd(f, end, nullptr) && end.reason == EndReason::PeerLeft;
                }
            }
            return false;
        };
        {
            // The C-end freezes: the B-end hears the end; the C-end's link and
            // registration are gone.
            RawRelayClient c;
            RawRelayClient b;
            QVERIFY(pair(c, b, "FROZENC1"));
            QVERIFY(endWithin5s(b));
            QVERIFY(c.closedWithin(3000));
            QCOMPARE(lookupStatus(relay.port(), "FROZENC1"), int(kStatusOffline));
        }
        {
            // The B-end freezes: the C-end hears the end and stays registered.
            RawRelayClient c;
            RawRelayClient b;
            QVERIFY(pair(c, b, "FROZENB1"));
            QVERIFY(endWithin5s(c));
            QVERIFY(b.closedWithin(3000));
            QCOMPARE(lookupStatus(relay.port(), "FROZENB1"), int(kStatusOk));
        }
        QVERIFY(relay.log().contains("silent too long in a session"));
    }

    void lookupsAreLimitedPerAddress()
    {
        RelayProcess relay;
        QVERIFY(start(relay, {QStringLiteral("--max-lookups-address"), QStringLiteral("5")}));
        RawRelayClient c; // registered while it stays open
        QCOMPARE(sendFirst(c, relay.port(), encodeRegister({"SEEN1", "K", 656565})), int(kStatusOk));
        QCOMPARE(lookupStatus(relay.port(), "SEEN1"), int(kStatusOk));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(lookupStatus(relay.port(), "UNSEEN" + std::to_string(i)), int(kStatusOffline));
        // Beyond the limit every lookup from this address is refused, on a new
        // link or the same, the registered serial too: nothing to learn.
        QCOMPARE(lookupStatus(relay.port(), "SEEN1"), int(kStatusWrongCode));
        QCOMPARE(lookupStatus(relay.port(), "UNSEEN9"), int(kStatusWrongCode));
        // Connecting with the code is not affected.
        QCOMPARE(ask(relay.port(), encodeConnect({"SEEN1", 656565})), int(kStatusOk));
        QVERIFY(relay.log().contains("lookups from 127.0.0.1 locked out"));
    }

    void runningOutOfDescriptorsNeitherSpinsNorStops()
    {
        // A descriptor limit far below the default link caps.
        RelayProcess relay;
        QVERIFY(start(relay, {QStringLiteral("--hello-timeout-ms"), QStringLiteral("60000")}, 64));
        const qint64 pid = relay.pid();
        // More connections than the limit allows: the relay refuses those
        // beyond its caps instead of running out, and does not spin.
        PlainLinks links;
        QVERIFY(links.open(relay.port(), 80));
        QVERIFY(logShows(relay, "refused: too many links", 60, 10000));
        QVERIFY(openDescriptors(pid).size() < 64);
        const double busy = cpuShare(pid, 1000);
        QVERIFY2(busy >= 0 && busy < 0.25, qPrintable(QString::number(busy)));

        // The limit drops below what it holds (as other files may take the
        // room): accepting fails, the relay waits instead of spinning ...
        const QList<int> held = openDescriptors(pid);
        int lowestFree = 0;
        while (held.contains(lowestFree))
            ++lowestFree;
        rlimit tight{};
        tight.rlim_cur = static_cast<rlim_t>(lowestFree);
        tight.rlim_max = 64;
        QCOMPARE(::prlimit(static_cast<pid_t>(pid), RLIMIT_NOFILE, &tight, nullptr), 0);
        PlainLinks more;
        QVERIFY(more.open(relay.port(), 4));
        QVERIFY(logShows(relay, "out of descriptors", 1, 10000));
        const double waiting = cpuShare(pid, 1000);
        QVERIFY2(waiting >= 0 && waiting < 0.25, qPrintable(QString::number(waiting)));

        // ... and serves again once descriptors are free.
        rlimit back{};
        back.rlim_cur = 64;
        back.rlim_max = 64;
        QCOMPARE(::prlimit(static_cast<pid_t>(pid), RLIMIT_NOFILE, &back, nullptr), 0);
        links.closeAll();
        more.closeAll();
        bool served = false;
        for (int i = 0; i < 60 && !served; ++i) {
            served = lookupStatus(relay.port(), "ANY1") == kStatusOffline;
            if (!served)
                QTest::qWait(50);
        }
        QVERIFY(served);
    }

    void untrustedCertificatesAreRefusedByClients()
    {
        for (const auto& pair : {qMakePair(m_tls.untrustedCert(), m_tls.untrustedKey()),
                 qMakePair(m_tls.otherHostCert(), m_tls.otherHostKey())}) {
            RelayProcess relay;
            QVERIFY2(relay.start(pair.first, pair.second), qPrintable(relay.errorText()));
            RawRelayClient c;
            std::string error;
            QVERIFY(!c.connect(relay.port(), &error));
            QVERIFY2(error.find("certificate") != std::string::npos, error.c_str());
        }
    }

private:
    // Starts `relay` with the test certificate and `extra` options (a descriptor limit when > 0).
    bool start(RelayProcess& relay, const QStringList& extra = {}, int descriptorLimit = 0)
    {
        if (relay.start(m_tls.serverCert(), m_tls.serverKey(), extra, descriptorLimit))
            return true;
        qWarning("%s", qPrintable(relay.errorText()));
        return false;
    }

    TestEnvironment m_env;
    TestTls m_tls;
    RelayProcess m_relay;
};

QTEST_GUILESS_MAIN(RemoteRelayTest)
#include "tst_remote_relay.moc"
