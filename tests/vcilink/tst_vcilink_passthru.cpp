// The emulator's pass-thru port against raw clients speaking the wire codec:
// one session per adapter, state 2 while it is held, what ends a session,
// hostile clients, vehicle traffic through the port, and the emulator's
// bounds against a client that never reads.
#include "support/AdapterProcesses.h"

#include <passthru/PassThruWire.h>

#include <QFile>
#include <QJsonArray>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char* kAddress = "127.0.119.1";

// J2534 values the test needs (the adapter answers with them).
constexpr std::uint32_t kErrDeviceInUse = 0x0E;
constexpr std::uint32_t kIso15765 = 0x06;
constexpr std::uint32_t kCan = 0x05;
constexpr std::uint32_t kFlowControlFilter = 3;

passthru::Message msg(std::uint32_t protocol, std::uint32_t id, std::vector<std::uint8_t> payload = {})
{
    passthru::Message m;
    m.protocolId = protocol;
    m.data = {std::uint8_t(id >> 24), std::uint8_t(id >> 16), std::uint8_t(id >> 8), std::uint8_t(id)};
    for (std::uint8_t b : payload)
        m.data.push_back(b);
    return m;
}

// A pass-thru client on a QTcpSocket: sends encoded requests, reads frames.
struct Client {
    QTcpSocket socket;
    passthru::FrameReader reader;
    std::vector<passthru::Frame> events;
    std::uint32_t tag = 1;

    bool connectTo(quint16 port)
    {
        socket.connectToHost(QString::fromLatin1(kAddress), port);
        return socket.waitForConnected(3000);
    }
    void send(const std::vector<std::uint8_t>& bytes)
    {
        socket.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        socket.flush();
    }
    // The next frame, within the wait; nothing when the connection ended or nothing came.
    std::optional<passthru::Frame> next(int waitMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            if (auto f = reader.next())
                return f;
            const QByteArray got = socket.readAll();
            if (!got.isEmpty()) {
                reader.feed(reinterpret_cast<const std::uint8_t*>(got.constData()), std::size_t(got.size()));
                continue;
            }
            if (socket.state() != QAbstractSocket::ConnectedState || t.elapsed() > waitMs)
                return std::nullopt;
            socket.waitForReadyRead(100);
        }
    }
    // Sends a request and returns its reply (events that come first are kept).
    std::optional<passthru::Reply> call(const std::vector<std::uint8_t>& request, int waitMs = 5000)
    {
        send(request);
        const std::uint32_t expected = tag++;
        while (auto f = next(waitMs)) {
            if (!(f->type & passthru::kReplyBit)) {
                events.push_back(*f);
                continue;
            }
            passthru::Reply r;
            std::string error;
            if (f->tag != expected || !passthru::decodeReply(*f, &r, &error))
                return std::nullopt;
            return r;
        }
        return std::nullopt;
    }
    std::optional<passthru::Reply> open()
    {
        return call(passthru::encodeOpen(tag, {passthru::kProtocolVersion, "test"}));
    }
    // Whether the adapter closed the connection (within the wait).
    bool closedByPeer(int waitMs = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < waitMs) {
            socket.readAll();
            socket.waitForReadyRead(100);
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }
};

// The kernel's timer on the emulator's end of a connection (from
// /proc/net/tcp): 2 is the keep-alive timer, `ticks` its time left (1/100 s).
bool keepAliveTimer(quint16 serverPort, quint16 clientPort, int* ticks)
{
    QFile f(QStringLiteral("/proc/net/tcp"));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    // kAddress (127.0.119.1) as the kernel prints it.
    const QString local = QStringLiteral("0177007F:%1").arg(serverPort, 4, 16, QLatin1Char('0')).toUpper();
    const QString remote = QStringLiteral(":%1").arg(clientPort, 4, 16, QLatin1Char('0')).toUpper();
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QStringList w = QString::fromLatin1(raw).simplified().split(QLatin1Char(' '));
        if (w.size() < 6 || w[1] != local || !w[2].endsWith(remote))
            continue;
        const QStringList timer = w[5].split(QLatin1Char(':'));
        bool ok = false;
        *ticks = timer.value(1).toInt(&ok, 16);
        return ok && timer.value(0) == QLatin1String("02");
    }
    return false;
}

long rssKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

} // namespace

class TestPassThruPort : public QObject {
    Q_OBJECT

    EmulatorProcess m_emu;

    QJsonObject adapter() { return m_emu.adapterDump(1); }
    QJsonObject passthru() { return adapter().value(QStringLiteral("passthru")).toObject(); }
    int stateCode() { return adapter().value(QStringLiteral("status")).toInt(-1); }

private slots:
    void initTestCase()
    {
#if defined(__SANITIZE_ADDRESS__)
        // AddressSanitizer holds freed memory back (its quarantine), which the
        // flood case would read as growth: the emulator started here frees at once.
        QByteArray asan = qgetenv("ASAN_OPTIONS");
        qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=0");
#endif
        QVERIFY2(m_emu.start({QStringLiteral("--base-address"), QString::fromLatin1(kAddress),
                     QStringLiteral("--reboot-ms"), QStringLiteral("300")}),
            qPrintable(m_emu.errorText()));
        QVERIFY(m_emu.passthruPort() != 0);
        QVERIFY(m_emu.passthruPort() != m_emu.port());
    }

    // Every case starts with no session held (the last case's client has gone).
    void init()
    {
        QTRY_COMPARE(stateCode(), 1);
    }

    void oneClientHoldsTheSessionAndTheStateSaysSo()
    {
        QCOMPARE(stateCode(), 1);
        Client a;
        QVERIFY(a.connectTo(m_emu.passthruPort()));
        const auto opened = a.open();
        QVERIFY(opened);
        QCOMPARE(opened->status, 0u);
        QCOMPARE(opened->serial, adapter().value(QStringLiteral("serial")).toString().toStdString());
        QCOMPARE(opened->supplyMv, 12340u);
        QCOMPARE(stateCode(), 2);
        QVERIFY(passthru().value(QStringLiteral("open")).toBool());
        QCOMPARE(passthru().value(QStringLiteral("clientName")).toString(), QStringLiteral("test"));
        QVERIFY(passthru().value(QStringLiteral("client")).toString().startsWith(QStringLiteral("127.0.0.1:")));
        // The adapter watches its holder with TCP keep-alive: probes after 2 s idle.
        int ticks = -1;
        QVERIFY(keepAliveTimer(m_emu.passthruPort(), a.socket.localPort(), &ticks));
        QVERIFY2(ticks >= 0 && ticks <= 200, qPrintable(QString::number(ticks)));

        // A second client is told the adapter is in use, and let go.
        Client b;
        QVERIFY(b.connectTo(m_emu.passthruPort()));
        const auto refused = b.open();
        QVERIFY(refused);
        QCOMPARE(refused->status, kErrDeviceInUse);
        QVERIFY(!refused->text.empty());
        QVERIFY(b.closedByPeer());
        QCOMPARE(stateCode(), 2);

        // The holder's channels show in the dump; the supply voltage is read live.
        const auto ch = a.call(passthru::encodeConnect(a.tag, {kCan, 0, 500000}));
        QVERIFY(ch && ch->status == 0);
        QCOMPARE(passthru().value(QStringLiteral("channels")).toArray().size(), 1);
        QCOMPARE(m_emu.command(QStringLiteral("voltage 1 11900")), QStringLiteral("OK"));
        const auto vbatt = a.call(passthru::encodeIoctl(a.tag, {0, 0x03, {}}));
        QVERIFY(vbatt && vbatt->status == 0 && vbatt->pairs.size() == 1);
        QCOMPARE(vbatt->pairs[0].value, 11900u);
        QCOMPARE(m_emu.command(QStringLiteral("voltage 1 12340")), QStringLiteral("OK"));

        // The holder goes: state 1 at once, and the next client may open.
        a.socket.abort();
        QTRY_COMPARE(stateCode(), 1);
        QVERIFY(!passthru().value(QStringLiteral("open")).toBool());
        Client c;
        QVERIFY(c.connectTo(m_emu.passthruPort()));
        QCOMPARE(c.open()->status, 0u);
    }

    void hostileClientsLoseOnlyTheirConnection()
    {
        Client holder;
        QVERIFY(holder.connectTo(m_emu.passthruPort()));
        QCOMPARE(holder.open()->status, 0u);

        Client early; // a request before OPEN
        QVERIFY(early.connectTo(m_emu.passthruPort()));
        early.send(passthru::encodeVersion(1));
        QVERIFY(early.closedByPeer());

        Client huge; // a frame length beyond the protocol's
        QVERIFY(huge.connectTo(m_emu.passthruPort()));
        huge.send({0x7F, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0, 1});
        QVERIFY(huge.closedByPeer());

        Client unknown; // an unknown type
        QVERIFY(unknown.connectTo(m_emu.passthruPort()));
        unknown.send({0, 0, 0, 5, 0x3F, 0, 0, 0, 1});
        QVERIFY(unknown.closedByPeer());

        // The holder's own malformed request (a CONNECT with a byte missing) ends its session.
        const auto version = holder.call(passthru::encodeVersion(holder.tag));
        QVERIFY(version && version->status == 0);
        QVERIFY(!version->firmwareVersion.empty());
        std::vector<std::uint8_t> bad = passthru::encodeConnect(holder.tag, {kCan, 0, 500000});
        bad.pop_back();
        bad[3] = std::uint8_t(bad[3] - 1);
        holder.send(bad);
        QVERIFY(holder.closedByPeer());
        QTRY_COMPARE(stateCode(), 1);
        QVERIFY(m_emu.command(QStringLiteral("list")).contains(QStringLiteral("plugged")));
    }

    void idleConnectionsCannotKeepTheHolderOut()
    {
        std::vector<std::unique_ptr<Client>> idle;
        for (int i = 0; i < 8; ++i) {
            idle.push_back(std::make_unique<Client>());
            QVERIFY(idle.back()->connectTo(m_emu.passthruPort()));
        }
        Client late; // beyond the adapter's connections: closed at once
        QVERIFY(late.connectTo(m_emu.passthruPort()));
        QVERIFY(late.closedByPeer(2000));
        // Connections that never send OPEN are let go after a few seconds.
        for (auto& c : idle)
            QVERIFY(c->closedByPeer(10000));
        Client holder;
        QVERIFY(holder.connectTo(m_emu.passthruPort()));
        QCOMPARE(holder.open()->status, 0u);
    }

    void theVehicleAnswersThroughThePort()
    {
        Client a;
        QVERIFY(a.connectTo(m_emu.passthruPort()));
        QCOMPARE(a.open()->status, 0u);
        const auto ch = a.call(passthru::encodeConnect(a.tag, {kIso15765, 0, 500000}));
        QVERIFY(ch && ch->status == 0);
        passthru::StartFilterRequest f;
        f.channel = ch->value;
        f.filterType = kFlowControlFilter;
        f.mask = msg(kIso15765, 0xFFFFFFFF);
        f.pattern = msg(kIso15765, 0x7E8);
        f.flowControl = msg(kIso15765, 0x7E0);
        const auto filter = a.call(passthru::encodeStartFilter(a.tag, f));
        QVERIFY(filter && filter->status == 0);
        const auto w
            = a.call(passthru::encodeWrite(a.tag, {ch->value, 1000, {msg(kIso15765, 0x7E0, {0x22, 0xF1, 0x90})}}));
        QVERIFY(w);
        QCOMPARE(w->status, 0u);
        QCOMPARE(w->value, 1u);
        // The engine ECU's answer: 62 F1 90 and the 17-character VIN.
        std::optional<passthru::Message> answer;
        QElapsedTimer t;
        t.start();
        while (!answer && t.elapsed() < 5000) {
            for (const auto& e : a.events) {
                passthru::RxEvent rx;
                std::string error;
                if (e.type == std::uint8_t(passthru::Type::Rx) && passthru::decodeRx(e, &rx, &error))
                    for (const auto& m : rx.messages)
                        if (m.rxStatus == 0 && m.data.size() > 7)
                            answer = m;
            }
            if (!answer)
                if (auto e = a.next(200))
                    a.events.push_back(*e);
        }
        QVERIFY(answer);
        QCOMPARE(answer->data.size(), std::size_t(4 + 3 + 17));
        QCOMPARE(answer->data[4], std::uint8_t(0x62));
        QCOMPARE(answer->data[5], std::uint8_t(0xF1));
        QCOMPARE(answer->data[6], std::uint8_t(0x90));
    }

    // "vehicle N load" drives the vehicle's load generator; "vehicle N use"
    // replaces the vehicle.
    void vehicleLoadCommandsReachTheirTargets()
    {
        QCOMPARE(m_emu.command(QStringLiteral("vehicle 1 load 6-14 100 0x600")),
            QStringLiteral("OK 6-14 load 100 % with 0x600"));
        const auto generator = [this] {
            const QJsonArray buses
                = adapter().value(QStringLiteral("vehicle")).toObject().value(QStringLiteral("buses")).toArray();
            return buses.at(0).toObject().value(QStringLiteral("generatorPercent")).toInt(-1);
        };
        QCOMPARE(generator(), 100);
        QCOMPARE(
            m_emu.command(QStringLiteral("vehicle 1 load 6-14 0")), QStringLiteral("OK 6-14 load generator stopped"));
        QCOMPARE(generator(), 0);
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 load 6-14 101")).startsWith(QLatin1String("ERR")));
        QCOMPARE(m_emu.command(QStringLiteral("vehicle 1 use default")), QStringLiteral("OK"));
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 use")).startsWith(QLatin1String("ERR expected vehicle N use")));
    }

    void unpluggingEndsTheSessionAndStopsThePort()
    {
        Client a;
        QVERIFY(a.connectTo(m_emu.passthruPort()));
        QCOMPARE(a.open()->status, 0u);
        QCOMPARE(m_emu.command(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QVERIFY(a.closedByPeer());
        QCOMPARE(stateCode(), 1);
        Client b;
        QVERIFY(!b.connectTo(m_emu.passthruPort()));
        QCOMPARE(m_emu.command(QStringLiteral("plug 1")), QStringLiteral("OK"));
        Client c;
        QVERIFY(c.connectTo(m_emu.passthruPort()));
        QCOMPARE(c.open()->status, 0u);
        // Releasing the adapter's occupation (the manager's button) ends the session.
        QTcpSocket module;
        module.connectToHost(QString::fromLatin1(kAddress), m_emu.port());
        QVERIFY(module.waitForConnected(3000));
        module.write("{\"op\":\"release\"}\n");
        QVERIFY(module.waitForReadyRead(3000));
        QVERIFY(c.closedByPeer());
        QCOMPARE(stateCode(), 1);
        Client again;
        QVERIFY(again.connectTo(m_emu.passthruPort()));
        QCOMPARE(again.open()->status, 0u);
        // The boot loader runs no pass-thru either.
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 on")), QStringLiteral("OK"));
        QVERIFY(again.closedByPeer());
        Client d;
        QVERIFY(!d.connectTo(m_emu.passthruPort()));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 off")), QStringLiteral("OK"));
        QVERIFY(d.connectTo(m_emu.passthruPort()));
        QCOMPARE(d.open()->status, 0u);
        // A reboot ends it too; the port is back with the adapter.
        QCOMPARE(m_emu.command(QStringLiteral("reboot 1")), QStringLiteral("OK"));
        QVERIFY(d.closedByPeer());
        QCOMPARE(stateCode(), 1);
        Client e;
        QTRY_VERIFY(e.connectTo(m_emu.passthruPort()));
        QCOMPARE(e.open()->status, 0u);
    }

    void vehicleCommandsReachTheAdaptersVehicle()
    {
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 info")).startsWith(QStringLiteral("OK")));
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 nonsense")).startsWith(QStringLiteral("ERR")));
        QVERIFY(m_emu.command(QStringLiteral("vehicle 2 info")).startsWith(QStringLiteral("ERR no such adapter")));
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1")).startsWith(QStringLiteral("ERR")));
        const QString before
            = adapter().value(QStringLiteral("vehicle")).toObject().value(QStringLiteral("name")).toString();
        QVERIFY(!before.isEmpty());

        // The vehicle is not swapped under a session.
        Client a;
        QVERIFY(a.connectTo(m_emu.passthruPort()));
        QCOMPARE(a.open()->status, 0u);
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 use diesel-van")).startsWith(QStringLiteral("ERR")));
        a.socket.abort();
        QTRY_COMPARE(stateCode(), 1);
        QVERIFY(m_emu.command(QStringLiteral("vehicle 1 use no-such-vehicle")).startsWith(QStringLiteral("ERR")));
        QCOMPARE(m_emu.command(QStringLiteral("vehicle 1 use diesel-van")), QStringLiteral("OK"));
        const QString after
            = adapter().value(QStringLiteral("vehicle")).toObject().value(QStringLiteral("name")).toString();
        QVERIFY2(after != before, qPrintable(after));
        QCOMPARE(m_emu.command(QStringLiteral("vehicle 1 use default")), QStringLiteral("OK"));
    }

    void aBadVehicleFileStopsTheStart()
    {
        EmulatorProcess bad;
        QVERIFY(!bad.start({QStringLiteral("--base-address"), QStringLiteral("127.0.119.9"),
            QStringLiteral("--vehicle"), QStringLiteral("/nonexistent/vehicle.json")}));
        QVERIFY2(bad.errorText().contains(QStringLiteral("--vehicle")), qPrintable(bad.errorText()));
    }

    // A client that sends requests without end and reads nothing is held
    // back by TCP once its unread replies reach the emulator's bound; it gets
    // every reply when it reads.
    void aClientThatNeverReadsIsHeldBack()
    {
        // Made before connecting: building it takes seconds in a sanitizer build,
        // longer than the emulator waits for a connection's OPEN.
        std::vector<std::uint8_t> stream = passthru::encodeOpen(1, {passthru::kProtocolVersion, "flood"});
        // 5.4 MB of requests, about 28 MB of replies: more than the system's
        // socket buffers (at most 6 MB on the emulator's side) can hide.
        constexpr int kRequests = 600000;
        for (int i = 0; i < kRequests; ++i) {
            const auto v = passthru::encodeVersion(std::uint32_t(i + 2));
            stream.insert(stream.end(), v.begin(), v.end());
        }
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(m_emu.passthruPort());
        ::inet_pton(AF_INET, kAddress, &a.sin_addr);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        const long before = rssKiB(m_emu.pid());
        std::size_t sent = 0;
        auto push = [&] {
            for (ssize_t n = 1; n > 0 && sent < stream.size();) {
                n = ::send(fd, stream.data() + sent, stream.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
                sent += n > 0 ? std::size_t(n) : 0;
            }
        };
        std::size_t last = 0;
        do {
            last = sent;
            push();
            QThread::msleep(300);
            push();
        } while (sent != last);
        const long held = rssKiB(m_emu.pid());
        QVERIFY2(sent < stream.size(), "the emulator took every request without its replies being read");
        qInfo("held back after %zu of %zu request bytes; emulator resident %ld -> %ld KiB", sent, stream.size(), before,
            held);
        QVERIFY2(held - before < 16 * 1024, qPrintable(QStringLiteral("%1 -> %2 KiB").arg(before).arg(held)));
        // The control port still answers meanwhile.
        QVERIFY(m_emu.command(QStringLiteral("list")).startsWith(QStringLiteral("OK")));

        // Reading: every request gets its reply, in order.
        const timeval wait{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        passthru::FrameReader reader;
        std::uint32_t expected = 1;
        char buf[65536];
        while (expected <= std::uint32_t(kRequests + 1)) {
            push();
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            reader.feed(reinterpret_cast<const std::uint8_t*>(buf), std::size_t(n));
            while (auto f = reader.next()) {
                QCOMPARE(f->tag, expected);
                ++expected;
            }
        }
        ::close(fd);
        QCOMPARE(expected, std::uint32_t(kRequests + 2)); // OPEN and every VERSION
        QTRY_COMPARE(stateCode(), 1);
    }
};

QTEST_GUILESS_MAIN(TestPassThruPort)
#include "tst_vcilink_passthru.moc"
