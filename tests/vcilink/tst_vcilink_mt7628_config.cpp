// MT7628Config against the adapter emulator on loopback: every operation, and
// the failure bounds for silent, closed, rebooting and hostile modules; the
// emulator's own bounds against a client that floods it.
#include "MT7628Config.h"
#include "support/AdapterProcesses.h"

#include <QElapsedTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

namespace {
const char* kA1 = "127.0.101.1";
const char* kA2 = "127.0.101.2";
const char* kA3 = "127.0.101.3";
// Unbalanced replies of a hostile module, kept out of the test class for moc.
const char* kTruncatedReply = R"({"ok":true,"serial":"M5EA)";
const char* kEndlessReply = R"({"ok":true,"pad":")";

// A blocking connection to ip:port (a small receive buffer when rcvbuf > 0); -1 on failure.
int connectTo(const char* ip, quint16 port, int rcvbuf = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (rcvbuf > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, ip, &a.sin_addr);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// A module on ip (ephemeral port) that treats every connection alike: after the
// request it sends fixed bytes and closes (Reply), or then adds a byte every
// 20 ms until the client goes (Drip); or it closes at once.
struct HostilePeer {
    enum Mode { Reply, Drip, CloseAtOnce };
    HostilePeer(const char* ip, Mode mode, const QByteArray& bytes)
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, ip, &a.sin_addr);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 8) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port = ntohs(a.sin_port);
        thread = std::thread([this, mode, bytes] {
            auto readable = [](int s, int ms) {
                pollfd p{s, POLLIN, 0};
                return ::poll(&p, 1, ms) > 0;
            };
            char buf[4096];
            while (!stop) {
                const int c = readable(fd, 50) ? ::accept(fd, nullptr, nullptr) : -1;
                if (c >= 0 && mode != CloseAtOnce && readable(c, 2000) && ::recv(c, buf, sizeof buf, 0) > 0) {
                    bool alive = ::send(c, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) >= 0;
                    // The client going shows as the end of its stream.
                    while (alive && mode == Drip && !stop && !(readable(c, 20) && ::recv(c, buf, sizeof buf, 0) <= 0))
                        alive = ::send(c, "x", 1, MSG_NOSIGNAL) == 1;
                }
                if (c >= 0)
                    ::close(c);
            }
        });
    }
    ~HostilePeer()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        ::close(fd);
    }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    quint16 port = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
};
} // namespace

class TestLibrary : public QObject {
    Q_OBJECT
    EmulatorProcess m_emu;
    MT7628Config m_lib;

private slots:
    void initTestCase()
    {
        QVERIFY2(m_emu.start({QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--base-address"),
                     QString::fromLatin1(kA1), QStringLiteral("--reboot-ms"), QStringLiteral("1500")}),
            qPrintable(m_emu.errorText()));
        m_lib.setPort(m_emu.port());
        m_lib.setTimeouts(1000, 1500);
    }
    void cleanupTestCase() { m_emu.stop(); }

    void statusIdentifiesTheAdapter()
    {
        vci_status s;
        QVERIFY(m_lib.GetVciStatus(kA2, s));
        QCOMPARE(QString::fromStdString(s.serial), QStringLiteral("M5EA0002XJ7B0002"));
        QCOMPARE(QString::fromStdString(s.ip), QString::fromLatin1(kA2));
        QCOMPARE(QString::fromStdString(s.connType), QStringLiteral("RJ45"));
        QCOMPARE(s.vbatt, 12340u);
        QCOMPARE(s.status, 1u);
        QCOMPARE(m_emu.command(QStringLiteral("set voltage 2 10999")), QStringLiteral("OK"));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 2 on")), QStringLiteral("OK"));
        QVERIFY(m_lib.GetVciStatus(kA2, s));
        QCOMPARE(s.vbatt, 10999u);
        QVERIFY(s.bootloader);
        QCOMPARE(s.status, 0u);
        QVERIFY(QString::fromStdString(s.firmwareVersion).contains(QStringLiteral("boot")));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 2 off")), QStringLiteral("OK"));
    }

    void buzzerAndReleaseChangeTheAdapter()
    {
        QVERIFY(m_lib.RequestBuzz(kA1));
        QVERIFY(m_lib.RequestBuzz(kA1));
        QCOMPARE(m_emu.adapterDump(1).value(QStringLiteral("buzzCount")).toInt(), 2);

        QCOMPARE(m_emu.command(QStringLiteral("set state 1 2")), QStringLiteral("OK"));
        vci_status s;
        QVERIFY(m_lib.GetVciStatus(kA1, s));
        QCOMPARE(s.status, 2u);
        QVERIFY(m_lib.Contact_occupancy(kA1));
        QVERIFY(m_lib.GetVciStatus(kA1, s));
        QCOMPARE(s.status, 1u);
    }

    void enetAndRemoteKeyAreStored()
    {
        QVERIFY(!m_lib.GetENET(kA1));
        QVERIFY(m_lib.SetENET(kA1, true));
        QVERIFY(m_lib.GetENET(kA1));
        QVERIFY(!m_lib.GetENET(kA2)); // per adapter
        QVERIFY(m_lib.SetENET(kA1, false));
        QVERIFY(!m_lib.GetENET(kA1));

        std::string key = "untouched";
        QVERIFY(m_lib.GetRemoteKey("M5EA0001XJ7B0001", kA1, key));
        QCOMPARE(QString::fromStdString(key), QString()); // none set yet
        QVERIFY(m_lib.SetRemoteKey("M5EA0001XJ7B0001", kA1, "583920"));
        QVERIFY(m_lib.GetRemoteKey("M5EA0001XJ7B0001", kA1, key));
        QCOMPARE(QString::fromStdString(key), QStringLiteral("583920"));

        key = "untouched";
        QVERIFY(!m_lib.GetRemoteKey("WRONGSERIAL00000", kA1, key)); // another adapter's serial
        QCOMPARE(QString::fromStdString(key), QStringLiteral("untouched"));
        QVERIFY(!m_lib.GetRemoteKey(nullptr, kA1, key));
        // The module keeps keys of up to 15 bytes.
        QVERIFY(m_lib.SetRemoteKey("M5EA0001XJ7B0001", kA1, std::string(15, '9')));
        QVERIFY(!m_lib.SetRemoteKey("M5EA0001XJ7B0001", kA1, std::string(16, '9')));
        QVERIFY(m_lib.GetRemoteKey("M5EA0001XJ7B0001", kA1, key));
        QCOMPARE(key, std::string(15, '9'));

        QCOMPARE(m_emu.command(QStringLiteral("remote 3 off")), QStringLiteral("OK"));
        QVERIFY(m_lib.GetRemoteKey("M5EC7003QA200003", kA3, key));
        QCOMPARE(QString::fromStdString(key), QStringLiteral("NotSupported"));
    }

    // The make's mode: switched and read back, kept over a reboot, refused
    // for a name the module does not know and in the boot loader.
    void modeIsSwitchedAndKept()
    {
        QCOMPARE(QString::fromStdString(m_lib.GetMode(kA1)), QStringLiteral("original"));
        QVERIFY(m_lib.SetMode(kA1, "BMW"));
        QCOMPARE(QString::fromStdString(m_lib.GetMode(kA1)), QStringLiteral("BMW"));
        QCOMPARE(m_emu.adapterDump(1).value(QStringLiteral("mode")).toString(), QStringLiteral("BMW"));
        QCOMPARE(
            m_emu.adapterDump(2).value(QStringLiteral("mode")).toString(), QStringLiteral("original")); // per adapter

        QVERIFY(!m_lib.SetMode(kA1, "bmw"));
        QVERIFY(!m_lib.SetMode(kA1, ""));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 on")), QStringLiteral("OK"));
        QVERIFY(!m_lib.SetMode(kA1, "original"));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 off")), QStringLiteral("OK"));
        QCOMPARE(QString::fromStdString(m_lib.GetMode(kA1)), QStringLiteral("BMW"));

        QCOMPARE(m_emu.command(QStringLiteral("reboot 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(m_lib.GetMode(kA1)), QStringLiteral("BMW"), 5000);
        QVERIFY(m_lib.SetMode(kA1, "original"));
        QCOMPARE(m_emu.adapterDump(1).value(QStringLiteral("modeCount")).toInt(), 2);
    }

    void wifiClientJoinsOnlyWithTheRightPassword()
    {
        const auto aps = m_lib.get_ap_list(kA1);
        QCOMPARE(aps.size(), std::size_t(3));
        QCOMPARE(QString::fromLatin1(aps[1].ssid), QStringLiteral("HOME-8F21"));
        QVERIFY(aps[1].channel > 0 && aps[1].signal > 0 && aps[1].rssi < 0);
        QVERIFY(std::strlen(aps[1].bssid) == 17);

        QVERIFY(!m_lib.get_client_status(kA1));
        QCOMPARE(QString::fromLatin1(m_lib.get_ap_info(kA1).ssid), QString());

        QCOMPARE(QString::fromStdString(m_lib.connect_to_ap(kA1, "HOME-8F21", "wrongpass")), QStringLiteral("OK"));
        QVERIFY(!m_lib.get_client_status(kA1)); // sent, but not joined
        const std::string unknown = m_lib.connect_to_ap(kA1, "NoSuchNet", "whatever");
        QVERIFY(unknown != "OK" && !unknown.empty());

        QCOMPARE(QString::fromStdString(m_lib.connect_to_ap(kA1, "HOME-8F21", "h0me8f21pass")), QStringLiteral("OK"));
        QVERIFY(m_lib.get_client_status(kA1));
        const apclient_info info = m_lib.get_ap_info(kA1);
        QCOMPARE(QString::fromLatin1(info.ssid), QStringLiteral("HOME-8F21"));
        QVERIFY(std::strlen(info.ip) > 0);
    }

    void badAddressesFailAtOnce()
    {
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_lib.RequestBuzz(nullptr));
        QVERIFY(!m_lib.RequestBuzz(""));
        QVERIFY(!m_lib.RequestBuzz("not an ip"));
        QVERIFY(!m_lib.RequestBuzz("127.0.101.1 "));
        QVERIFY(m_lib.get_ap_list("999.1.1.1").empty());
        QVERIFY(t.elapsed() < 200);
    }

    void unpluggedAdapterFailsQuickly()
    {
        QCOMPARE(m_emu.command(QStringLiteral("unplug 3")), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_lib.RebootVci(kA3));
        QVERIFY(!m_lib.GetENET(kA3));
        QVERIFY(m_lib.Get_Wifi_Info(kA3).empty());
        vci_status s;
        QVERIFY(!m_lib.GetVciStatus(kA3, s));
        QVERIFY2(t.elapsed() < 500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(m_emu.command(QStringLiteral("plug 3")), QStringLiteral("OK"));
        QVERIFY(m_lib.GetVciStatus(kA3, s));
    }

    void silentAdapterFailsWithinTheReplyTimeout()
    {
        QCOMPARE(m_emu.command(QStringLiteral("stop answering 3")), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        QVERIFY(!m_lib.RequestBuzz(kA3));
        const qint64 ms = t.elapsed();
        QVERIFY2(ms >= 1400 && ms < 2500, qPrintable(QString::number(ms)));
        MT7628Config lib; // default time-outs, as the manager constructs it
        lib.setPort(m_emu.port());
        t.restart();
        QVERIFY(!lib.RebootVci(kA3));
        QVERIFY(t.elapsed() < 5000);
        QCOMPARE(m_emu.adapterDump(3).value(QStringLiteral("buzzCount")).toInt(), 0);
        QCOMPARE(m_emu.command(QStringLiteral("silent 3 off")), QStringLiteral("OK"));
        QVERIFY(m_lib.RequestBuzz(kA3));
    }

    void rebootVanishesAndReturns()
    {
        QVERIFY(m_lib.RebootVci(kA2));
        vci_status s;
        QVERIFY(!m_lib.GetVciStatus(kA2, s));
        QVERIFY(m_lib.GetVciStatus(kA1, s)); // the others stay
        QCOMPARE(m_emu.adapterDump(2).value(QStringLiteral("rebootCount")).toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_lib.GetVciStatus(kA2, s), 5000);
        QCOMPARE(QString::fromStdString(s.serial), QStringLiteral("M5EA0002XJ7B0002"));

        // A request behind the reboot on the same connection finds the adapter gone.
        const int fd = connectTo(kA2, m_emu.port());
        const QByteArray two("{\"op\":\"reboot\"}\n{\"op\":\"status\"}\n");
        const timeval wait{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        QByteArray got(4096, '\0');
        const bool sent = ::send(fd, two.constData(), size_t(two.size()), MSG_NOSIGNAL) == two.size();
        int size = 0;
        for (ssize_t n = 1; n > 0 && size < got.size(); size += int(n > 0 ? n : 0))
            n = ::recv(fd, got.data() + size, size_t(got.size() - size), 0);
        ::close(fd);
        QVERIFY(sent);
        QCOMPARE(got.left(size), QByteArray("{\"ok\":true}\n"));
    }

    // A module that misbehaves on every connection: each operation ends in its
    // failure result within connect + reply time-out, whatever the peer does.
    void hostileModuleFailsEveryOperation_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("claimsOk"); // "ok":true, so only results with data can fail
        const QByteArray wrongOk = R"({"ok":1,"error":"no","serial":"S1","key":"k","on":true,"joined":true,)"
                                   R"("aps":[{"ssid":"A"}],"name":"n","message":"m"})";
        QTest::newRow("garbage") << int(HostilePeer::Reply) << QByteArray("\x16\x03\x01 hello \xff\n") << false;
        QTest::newRow("oversized frame") << int(HostilePeer::Reply)
                                         << "{\"ok\":true,\"pad\":\"" + QByteArray(70000, 'x') + "\"}\n"
                                         << false;
        QTest::newRow("truncated frame") << int(HostilePeer::Reply) << QByteArray(kTruncatedReply) << false;
        QTest::newRow("frame that never ends") << int(HostilePeer::Drip) << QByteArray(kEndlessReply) << false;
        QTest::newRow("ok of the wrong type") << int(HostilePeer::Reply) << wrongOk + '\n' << false;
        QTest::newRow("members of the wrong type")
            << int(HostilePeer::Reply)
            << QByteArray(R"({"ok":true,"serial":5,"key":5,"on":"yes","joined":1,"aps":{"ssid":"A"},"name":[]})"
                          "\n")
            << true;
        QTest::newRow("closes at once") << int(HostilePeer::CloseAtOnce) << QByteArray() << false;
    }
    void hostileModuleFailsEveryOperation()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, claimsOk);
        const char* ip = "127.0.101.200";
        HostilePeer peer(ip, HostilePeer::Mode(mode), bytes);
        QVERIFY(peer.port != 0);
        MT7628Config lib;
        lib.setPort(peer.port);
        lib.setTimeouts(400, 600);
        struct Op {
            const char* name;
            bool hasData; // fails on a reply without its data even when "ok" is true
            std::function<bool()> failed;
        };
        const std::vector<Op> ops = {
            {"RebootVci", false, [&] { return !lib.RebootVci(ip); }},
            {"RequestBuzz", false, [&] { return !lib.RequestBuzz(ip); }},
            {"Contact_occupancy", false, [&] { return !lib.Contact_occupancy(ip); }},
            {"SetRemoteKey", false, [&] { return !lib.SetRemoteKey("S1", ip, "1234"); }},
            {"SetENET", false, [&] { return !lib.SetENET(ip, true); }},
            {"connect_to_ap", false, [&] { return lib.connect_to_ap(ip, "A", "password").empty(); }},
            {"KillExe", false, [&] { return lib.KillExe(ip).empty(); }},
            {"Config_reset", false, [&] { return !lib.Config_reset(ip); }},
            {"Set_Wifi_Info", false, [&] { return !lib.Set_Wifi_Info(ip, "name", "password1"); }},
            {"SetMode", false, [&] { return !lib.SetMode(ip, "BMW"); }},
            {"GetMode", true, [&] { return lib.GetMode(ip).empty(); }},
            {"GetRemoteKey", true,
                [&] {
                    std::string key = "kept";
                    return !lib.GetRemoteKey("S1", ip, key) && key == "kept";
                }},
            {"GetENET", true, [&] { return !lib.GetENET(ip); }},
            {"get_ap_list", true, [&] { return lib.get_ap_list(ip).empty(); }},
            {"get_ap_info", true,
                [&] {
                    const apclient_info i = lib.get_ap_info(ip);
                    return !i.ssid[0] && !i.bssid[0] && !i.security[0] && !i.ip[0] && !i.channel && !i.signal;
                }},
            {"get_client_status", true, [&] { return !lib.get_client_status(ip); }},
            {"Get_Wifi_Info", true, [&] { return lib.Get_Wifi_Info(ip).empty(); }},
            {"GetVciStatus", true,
                [&] {
                    vci_status st;
                    return !lib.GetVciStatus(ip, st);
                }},
        };
        for (const Op& op : ops) {
            if (claimsOk && !op.hasData)
                continue;
            QElapsedTimer t;
            t.start();
            QVERIFY2(op.failed(), op.name);
            QVERIFY2(t.elapsed() < 400 + 600 + 500, op.name); // the time-outs and a margin for a loaded machine
        }
    }

    // The emulator's buffers are bounded like a module's: a client that
    // pipelines requests and reads nothing is held back, and gets every answer
    // once it reads; connections beyond the table are closed.
    void emulatorBoundsWhatAClientCanQueue()
    {
        constexpr int kRequests = 40000; // about 14 MB of replies
        const QByteArray requests = QByteArray("{\"op\":\"ap_list\"}\n").repeated(kRequests);
        const int servedBefore = m_emu.adapterDump(1).value(QStringLiteral("requestCount")).toInt();
        const int fd = connectTo(kA1, m_emu.port(), 4096);
        QVERIFY(fd >= 0);
        qsizetype sent = 0;
        auto push = [&] { // as many requests as the emulator takes now
            for (ssize_t n = 1; n > 0 && sent < requests.size();) {
                n = ::send(
                    fd, requests.constData() + sent, size_t(requests.size() - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
                sent += n > 0 ? n : 0;
            }
        };
        int served = -1;
        for (int last = -2; served != last; QThread::msleep(300)) {
            push();
            last = served;
            served = m_emu.adapterDump(1).value(QStringLiteral("requestCount")).toInt() - servedBefore;
        }
        const timeval wait{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        int replies = 0;
        char buf[65536];
        while (replies < kRequests) {
            push();
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            replies += int(std::count(buf, buf + n, '\n'));
        }
        ::close(fd);
        QVERIFY2(served < kRequests, qPrintable(QString::number(served)));
        QCOMPARE(replies, kRequests);

        std::vector<int> table;
        for (int i = 0; i < 16; ++i)
            table.push_back(connectTo(kA1, m_emu.port()));
        vci_status s;
        const bool refused = !m_lib.GetVciStatus(kA1, s);
        for (int c : table)
            ::close(c);
        QVERIFY(refused);
        QTRY_VERIFY(m_lib.GetVciStatus(kA1, s));
    }

    void portComesFromTheEnvironment()
    {
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emu.port()));
        MT7628Config lib;
        QCOMPARE(lib.port(), int(m_emu.port()));
        QVERIFY(lib.RequestBuzz(kA1));
        qputenv("BRINDLEWICK_MT7628_PORT", "junk");
        QCOMPARE(lib.port(), MT7628Config::kDefaultPort);
        qunsetenv("BRINDLEWICK_MT7628_PORT");
    }
};

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_vcilink_mt7628_config.moc"
