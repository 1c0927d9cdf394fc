// MT7628Config against the adapter emulator on loopback: every operation, and
// the failure bounds for silent, closed and rebooting adapters.
#include "MT7628Config.h"
#include "support/AdapterProcesses.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace {
const char* kA1 = "127.0.101.1";
const char* kA2 = "127.0.101.2";
const char* kA3 = "127.0.101.3";
} // namespace

class TestLibrary : public QObject {
    Q_OBJECT
    EmulatorProcess m_emu;
    MT7628Config m_lib;

    QJsonObject dump(int index)
    {
        const auto doc = QJsonDocument::fromJson(m_emu.command(QStringLiteral("dump")).toUtf8());
        return doc.object().value(QStringLiteral("adapters")).toArray().at(index - 1).toObject();
    }

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
        QCOMPARE(dump(1).value(QStringLiteral("buzzCount")).toInt(), 2);

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
        QVERIFY(!m_lib.SetRemoteKey("M5EA0001XJ7B0001", kA1, std::string(40, '9')));

        QCOMPARE(m_emu.command(QStringLiteral("remote 3 off")), QStringLiteral("OK"));
        QVERIFY(m_lib.GetRemoteKey("M5EC7003QA200003", kA3, key));
        QCOMPARE(QString::fromStdString(key), QStringLiteral("NotSupported"));
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

        QVERIFY(m_lib.connect_to_ap(kA1, "NoSuchNet", "whatever") != "OK");
        QVERIFY(!m_lib.connect_to_ap(kA1, "NoSuchNet", "whatever").empty());

        QCOMPARE(QString::fromStdString(m_lib.connect_to_ap(kA1, "HOME-8F21", "h0me8f21pass")), QStringLiteral("OK"));
        QVERIFY(m_lib.get_client_status(kA1));
        const apclient_info info = m_lib.get_ap_info(kA1);
        QCOMPARE(QString::fromLatin1(info.ssid), QStringLiteral("HOME-8F21"));
        QVERIFY(std::strlen(info.ip) > 0);
        QVERIFY(!m_lib.KillExe(kA1).empty());
        QCOMPARE(dump(1).value(QStringLiteral("killExeCount")).toInt(), 1);
    }

    void wifiSettingsSetAndReset()
    {
        QCOMPARE(QString::fromStdString(m_lib.Get_Wifi_Info(kA2)), QStringLiteral("Kestrix_0002\t12345678"));
        QVERIFY(m_lib.Set_Wifi_Info(kA2, "Taller Núñez", "supersecret"));
        QCOMPARE(QString::fromStdString(m_lib.Get_Wifi_Info(kA2)), QStringLiteral("Taller Núñez\tsupersecret"));
        QVERIFY(!m_lib.Set_Wifi_Info(kA2, "x", "short"));     // password under 8
        QVERIFY(!m_lib.Set_Wifi_Info(kA2, "", "longenough")); // no name
        QVERIFY(!m_lib.Set_Wifi_Info(kA2, std::string(33, 'n'), "longenough"));
        QVERIFY(m_lib.Config_reset(kA2));
        QCOMPARE(QString::fromStdString(m_lib.Get_Wifi_Info(kA2)), QStringLiteral("Kestrix_0002\t12345678"));
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
        QVERIFY(m_lib.get_ap_list(kA3).empty());
        QCOMPARE(QString::fromLatin1(m_lib.get_ap_info(kA3).ssid), QString());
        QCOMPARE(dump(3).value(QStringLiteral("buzzCount")).toInt(), 0);
        QCOMPARE(m_emu.command(QStringLiteral("silent 3 off")), QStringLiteral("OK"));
        QVERIFY(m_lib.RequestBuzz(kA3));
    }

    void defaultTimeoutsBoundASilentAdapter()
    {
        MT7628Config lib; // as the manager constructs it
        lib.setPort(m_emu.port());
        QCOMPARE(m_emu.command(QStringLiteral("silent 3 on")), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        QVERIFY(!lib.RebootVci(kA3));
        QVERIFY(t.elapsed() < 5000);
        QCOMPARE(m_emu.command(QStringLiteral("silent 3 off")), QStringLiteral("OK"));
    }

    void rebootVanishesAndReturns()
    {
        QVERIFY(m_lib.RebootVci(kA2));
        vci_status s;
        QVERIFY(!m_lib.GetVciStatus(kA2, s));
        QVERIFY(m_lib.GetVciStatus(kA1, s)); // the others stay
        QCOMPARE(dump(2).value(QStringLiteral("rebootCount")).toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_lib.GetVciStatus(kA2, s), 5000);
        QCOMPARE(QString::fromStdString(s.serial), QStringLiteral("M5EA0002XJ7B0002"));
    }

    // A peer that answers every connection with fixed bytes, then closes.
    void brokenRepliesFailCleanly_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("not json") << QByteArray("hello\n");
        QTest::newRow("array") << QByteArray("[true]\n");
        QTest::newRow("ok as text") << QByteArray("{\"ok\":\"true\"}\n");
        QTest::newRow("no line end") << QByteArray("{\"ok\":true}");
        QTest::newRow("oversized") << QByteArray(70000, 'x');
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("key of wrong type") << QByteArray("{\"ok\":true,\"key\":5,\"on\":\"yes\",\"aps\":{}}\n");
    }
    void brokenRepliesFailCleanly()
    {
        QFETCH(QByteArray, reply);
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.101.200", &a.sin_addr);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        socklen_t len = sizeof a;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        QCOMPARE(::listen(fd, 8), 0);
        std::thread peer([fd, reply] {
            for (int i = 0; i < 4; ++i) {
                const int c = ::accept(fd, nullptr, nullptr);
                if (c < 0)
                    return;
                char buf[512];
                [[maybe_unused]] ssize_t r = ::recv(c, buf, sizeof buf, 0);
                if (!reply.isEmpty())
                    r = ::send(c, reply.constData(), static_cast<size_t>(reply.size()), MSG_NOSIGNAL);
                ::close(c);
            }
        });
        MT7628Config lib;
        lib.setPort(ntohs(a.sin_port));
        lib.setTimeouts(1000, 1000);
        std::string key = "kept";
        QVERIFY(!lib.GetRemoteKey("S", "127.0.101.200", key));
        QCOMPARE(QString::fromStdString(key), QStringLiteral("kept"));
        QVERIFY(!lib.GetENET("127.0.101.200"));
        QVERIFY(lib.get_ap_list("127.0.101.200").empty());
        vci_status s;
        QVERIFY(!lib.GetVciStatus("127.0.101.200", s));
        peer.join();
        ::close(fd);
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
