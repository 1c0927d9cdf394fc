// The service's block formats and rules, driven on plain buffers.
#include "CommandMailbox.h"
#include "Discovery.h"
#include "ProbeList.h"
#include "ServiceConfig.h"
#include "StatusText.h"
#include "support/TestBlocks.h"

#include <blocks/StatusBlock.h>

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <fstream>
#include <thread>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using blocks::StatusKey;

namespace {

vci_status sampleStatus()
{
    vci_status s;
    s.serial = "M5EA0001XJ7B0001";
    s.softVer = "V1.2.7";
    s.firmwareVersion = "MT7628 V2.0.1";
    s.dllVersion = "V2.3.0";
    s.portNumber = "M5WC";
    s.key = "KX0001";
    s.ip = "127.0.100.1";
    s.connType = "USB";
    s.status = 1;
    s.vbatt = 12340;
    return s;
}

// A loopback port that takes connections and closes them at once, counting
// them: an address where no adapter answers, seen from the other side.
class ClosingListener {
public:
    ClosingListener()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 16) != 0
            || ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd p{m_fd, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0) {
                    const int c = ::accept(m_fd, nullptr, nullptr);
                    if (c >= 0) {
                        ++m_count;
                        ::close(c);
                    }
                }
            }
        });
    }
    ~ClosingListener()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int port() const { return m_port; }
    int count() const { return m_count.load(); }

private:
    int m_fd = -1;
    int m_port = 0;
    std::atomic<int> m_count{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

class TestServiceCore : public QObject {
    Q_OBJECT
private slots:
    void statusTextCarriesEachFieldUnderItsKey()
    {
        vci_status s = sampleStatus();
        const std::string text = bwservice::buildStatusText(s, "127.0.100.9");
        const blocks::StatusText t(text);
        QCOMPARE(std::string(t.value(StatusKey::SN)), s.serial);
        QCOMPARE(std::string(t.value(StatusKey::testIP)), std::string("127.0.100.9"));
        QCOMPARE(std::string(t.value(StatusKey::vciIP)), s.ip);
        QCOMPARE(std::string(t.value(StatusKey::softVer)), s.softVer);
        QCOMPARE(std::string(t.value(StatusKey::FirmwareVersion)), s.firmwareVersion);
        QCOMPARE(std::string(t.value(StatusKey::DllVersion)), s.dllVersion);
        QCOMPARE(std::string(t.value(StatusKey::portNumber)), s.portNumber);
        QCOMPARE(std::string(t.value(StatusKey::key)), s.key);
        QCOMPARE(std::string(t.value(StatusKey::connType)), s.connType);
        QCOMPARE(t.number(StatusKey::status), s.status);
        QCOMPARE(t.number(StatusKey::vbatt), s.vbatt);
        // An adapter that reports no address of its own is reached at the probed one.
        s.ip.clear();
        const std::string fallback = bwservice::buildStatusText(s, "127.0.100.9");
        QCOMPARE(std::string(blocks::StatusText(fallback).value(StatusKey::vciIP)), std::string("127.0.100.9"));
    }

    void listRequestIsAnsweredAndSelectionKept()
    {
        unsigned char block[1024] = {};
        std::memcpy(block + 9, "M5EA0002XJ7B0002", 16);
        block[0] = blocks::RequestList;
        std::memset(block + 100, 0x5A, 50); // stale bytes of an earlier, longer reply
        bwservice::CommandMailbox mailbox;
        const std::vector<std::string> serials = {"M5EA0001XJ7B0001", "M5EA0002XJ7B0002", "BWV00004GEN00004"};
        QCOMPARE(mailbox.poll(block, sizeof block, serials, 5000), bwservice::CommandMailbox::Event::ListAnswered);
        QCOMPARE(int(block[0]), 2);
        QCOMPARE(countAt(block), 3u);
        QCOMPARE(entryAt(block, 0), QString::fromStdString(serials[0]));
        QCOMPARE(entryAt(block, 1), QString::fromStdString(serials[1]));
        QCOMPARE(entryAt(block, 2), QString::fromStdString(serials[2]));
        QCOMPARE(int(block[25 + 48]), 0);
        QCOMPARE(int(block[120]), 0);
        QCOMPARE(std::string(reinterpret_cast<char*>(block + 9), 16), std::string("M5EA0002XJ7B0002"));
        QCOMPARE(mailbox.selectedSerial(), std::string("M5EA0002XJ7B0002"));

        // A reply not yet consumed is not answered again.
        block[25] = 'Q';
        QCOMPARE(mailbox.poll(block, sizeof block, serials, 5000), bwservice::CommandMailbox::Event::None);
        QCOMPARE(int(block[25]), int('Q'));
    }

    void modesAndGarbageAreOnlyRecorded()
    {
        unsigned char block[1024] = {};
        bwservice::CommandMailbox mailbox;
        block[0] = blocks::ModeLocal;
        QCOMPARE(mailbox.poll(block, sizeof block, {"A"}, 5000), bwservice::CommandMailbox::Event::ModeChanged);
        QCOMPARE(int(mailbox.mode()), 0x11);
        QCOMPARE(int(block[0]), 0x11); // the byte stays for the manager
        QCOMPARE(mailbox.poll(block, sizeof block, {"A"}, 5000), bwservice::CommandMailbox::Event::None);
        block[0] = blocks::ModeRemote;
        QCOMPARE(mailbox.poll(block, sizeof block, {"A"}, 5000), bwservice::CommandMailbox::Event::ModeChanged);
        QCOMPARE(int(mailbox.mode()), 0x10);

        unsigned char before[1024];
        block[0] = 0x7F;
        std::memset(block + 1, 0xEE, 1023);
        std::memcpy(before, block, sizeof block);
        QCOMPARE(mailbox.poll(block, sizeof block, {"A"}, 5000), bwservice::CommandMailbox::Event::Garbage);
        QCOMPARE(
            mailbox.poll(block, sizeof block, {"A"}, 5000), bwservice::CommandMailbox::Event::None); // reported once
        QVERIFY(std::memcmp(before, block, sizeof block) == 0);                                      // nothing written
        QVERIFY(mailbox.selectedSerial().empty()); // 0xEE bytes are no serial
        QCOMPARE(int(mailbox.mode()), 0x10);
    }

    void selectionReadsPrintableSerials()
    {
        unsigned char block[1024] = {};
        bwservice::CommandMailbox mailbox;
        std::memcpy(block + 9, "M5EA0001", 8); // NUL-padded
        QCOMPARE(mailbox.poll(block, sizeof block, {}, 5000), bwservice::CommandMailbox::Event::SelectionChanged);
        QCOMPARE(mailbox.selectedSerial(), std::string("M5EA0001"));
        std::memset(block + 9, 0, 16);
        QCOMPARE(mailbox.poll(block, sizeof block, {}, 5000), bwservice::CommandMailbox::Event::SelectionChanged);
        QVERIFY(mailbox.selectedSerial().empty());
        block[9] = 'A';
        block[10] = '\n';
        mailbox.poll(block, sizeof block, {}, 5000);
        QVERIFY(mailbox.selectedSerial().empty());
    }

    void selectionSurvivesTheManagerTakingAReply()
    {
        unsigned char block[1024] = {};
        bwservice::CommandMailbox mailbox;
        std::memcpy(block + 9, "M5EA0002XJ7B0002", 16);
        mailbox.poll(block, sizeof block, {}, 100);
        block[0] = blocks::RequestList;
        QCOMPARE(mailbox.poll(block, sizeof block, {"M5EA0002XJ7B0002"}, 200),
            bwservice::CommandMailbox::Event::ListAnswered);
        std::memset(block, 0, sizeof block); // the manager consumes the reply
        QCOMPARE(mailbox.poll(block, sizeof block, {}, 205), bwservice::CommandMailbox::Event::None);
        QCOMPARE(mailbox.selectedSerial(), std::string("M5EA0002XJ7B0002"));
        // Still cleared for good once the grace time is over ...
        QCOMPARE(mailbox.poll(block, sizeof block, {}, 200 + bwservice::kSelectionGraceMs),
            bwservice::CommandMailbox::Event::SelectionChanged);
        QVERIFY(mailbox.selectedSerial().empty());
        // ... and a different serial written during the grace time counts at once.
        std::memcpy(block + 9, "M5EA0002XJ7B0002", 16);
        mailbox.poll(block, sizeof block, {}, 3000);
        block[0] = blocks::RequestList;
        mailbox.poll(block, sizeof block, {}, 3001);
        std::memcpy(block + 9, "M5EA0003XJ7B0003", 16);
        QCOMPARE(mailbox.poll(block, sizeof block, {}, 3002), bwservice::CommandMailbox::Event::SelectionChanged);
        QCOMPARE(mailbox.selectedSerial(), std::string("M5EA0003XJ7B0003"));
    }

    void chooserPrefersSelectionThenOrder()
    {
        std::vector<bwservice::FoundAdapter> present;
        QVERIFY(bwservice::chooseAdapter(present, "X") == nullptr);
        vci_status a = sampleStatus();
        vci_status b = sampleStatus();
        b.serial = "M5EA0002XJ7B0002";
        present.push_back({"169.254.100.1", a});
        present.push_back({"127.0.100.2", b});
        present.push_back({"127.0.100.3", a}); // the same adapter over a second path
        QCOMPARE(bwservice::chooseAdapter(present, "")->address, std::string("169.254.100.1"));
        QCOMPARE(bwservice::chooseAdapter(present, b.serial)->address, std::string("127.0.100.2"));
        QCOMPARE(bwservice::chooseAdapter(present, "GONE")->address, std::string("169.254.100.1"));
        const auto serials = bwservice::listSerials(present);
        QCOMPARE(serials.size(), std::size_t(2));
        QCOMPARE(serials[1], b.serial);
    }

    // An address without an adapter is asked less and less often, and at once
    // again when the service is told that something changed.
    void anEmptyAddressBacksOffUntilNudged()
    {
        ClosingListener listener;
        QVERIFY(listener.port() > 0);
        bwservice::DiscoveryOptions options;
        options.port = listener.port();
        options.intervalMs = 20;
        options.absentIntervalMs = 60000;
        options.connectTimeoutMs = 500;
        options.replyTimeoutMs = 500;
        bwservice::Discovery discovery({"127.0.0.1"}, options);
        QElapsedTimer elapsed;
        elapsed.start();
        discovery.start();
        // Waits of 20, 40, 80, ... ms: the seventh question comes after
        // 1260 ms, where asking every interval would have taken 120 ms.
        QTRY_VERIFY_WITH_TIMEOUT(listener.count() >= 7, 10000);
        QVERIFY2(elapsed.elapsed() >= 1200, qPrintable(QString::number(elapsed.elapsed())));
        QVERIFY(discovery.settled());
        QVERIFY(discovery.present().empty());
        // The next question would be 1280 ms away; a nudge asks now.
        const int before = listener.count();
        discovery.nudge();
        QTRY_VERIFY_WITH_TIMEOUT(listener.count() > before, 600);
        discovery.stop();
    }

    // With link events a link-local address costs nothing while there is no
    // link-local interface, and is asked as soon as one comes up; without
    // them it keeps looking by itself.
    void aLinkLocalAddressSleepsUntilALinkComesUp()
    {
        bwservice::DiscoveryOptions options;
        options.intervalMs = 10;
        options.absentIntervalMs = 10;
        options.connectTimeoutMs = 20;
        options.replyTimeoutMs = 20;
        std::atomic<int> looks{0};
        std::atomic<bool> up{false};
        auto linkUp = [&] {
            ++looks;
            return up.load();
        };
        {
            bwservice::Discovery discovery({"169.254.100.1"}, options, linkUp);
            discovery.setLinkEvents(true);
            discovery.start();
            QTRY_COMPARE(looks.load(), 1);
            QVERIFY(discovery.settled()); // skipped counts as asked
            QTest::qWait(200);            // twenty intervals
            QCOMPARE(looks.load(), 1);
            discovery.nudge(); // a link came up
            QTRY_VERIFY(looks.load() >= 2);
            discovery.stop();
        }
        looks = 0;
        {
            bwservice::Discovery discovery({"169.254.100.1"}, options, linkUp);
            discovery.start();
            QTRY_VERIFY(looks.load() >= 5);
            discovery.stop();
        }
    }

    void probeListParses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // joined by blanks; "!" for an error
        QTest::newRow("default") << QString(bwservice::kDefaultProbeList)
                                 << "169.254.100.1 127.0.100.1 127.0.100.2 127.0.100.3 127.0.100.4 127.0.100.5 "
                                    "127.0.100.6 127.0.100.7 127.0.100.8";
        QTest::newRow("blanks and duplicates") << "127.0.0.5 127.0.0.4-5,, 127.0.0.5"
                                               << "127.0.0.5 127.0.0.4";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("octet too big") << "127.0.0.256"
                                       << "!";
        QTest::newRow("three parts") << "127.0.1"
                                     << "!";
        QTest::newRow("name") << "localhost"
                              << "!";
        QTest::newRow("reversed range") << "127.0.0.9-3"
                                        << "!";
        QTest::newRow("range over 255") << "127.0.0.9-300"
                                        << "!";
        QTest::newRow("signed") << "127.0.0.+1"
                                << "!";
        QTest::newRow("dangling dash") << "127.0.0.1-"
                                       << "!";
    }
    void probeListParses()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        std::vector<std::string> out = {"stale"};
        std::string error;
        const bool ok = bwservice::parseProbeList(text.toStdString(), out, &error);
        if (expected == QLatin1String("!")) {
            QVERIFY(!ok);
            QVERIFY(!error.empty());
            QCOMPARE(out.size(), std::size_t(1)); // untouched
            return;
        }
        QVERIFY(ok);
        QStringList got;
        for (const auto& a : out)
            got << QString::fromStdString(a);
        QCOMPARE(got.join(QLatin1Char(' ')), expected);
    }

    void configSourcesAndPrecedence()
    {
        QTemporaryDir dir;
        const std::string path = (dir.path() + QStringLiteral("/service.conf")).toStdString();
        {
            std::ofstream f(path);
            f << "# adapters\nprobe = 127.0.9.1-2\nport = 9000\ninterval_ms = 300\n";
        }
        bwservice::ParsedConfig c;
        std::string error;
        QVERIFY(bwservice::parseServiceArgs({"--port", "9100", "--config", path}, c, &error));
        QCOMPARE(c.options.probe.size(), std::size_t(2));
        QCOMPARE(c.options.discovery.port, 9100); // the command line wins
        QCOMPARE(c.options.discovery.intervalMs, 300);

        {
            std::ofstream f(path);
            f << "probe 127.0.0.1\n";
        }
        bwservice::ParsedConfig bad;
        QVERIFY(!bwservice::parseServiceArgs({"--config", path}, bad, &error));
        QVERIFY(QString::fromStdString(error).contains(QStringLiteral(":1:")));
        QVERIFY(!bwservice::parseServiceArgs({"--port", "0"}, bad, &error));
        QVERIFY(!bwservice::parseServiceArgs({"--port", "70000"}, bad, &error));
        QVERIFY(!bwservice::parseServiceArgs({"--bogus", "1"}, bad, &error));
        QVERIFY(!bwservice::parseServiceArgs({"--probe"}, bad, &error));
        QVERIFY(!bwservice::parseServiceArgs({"--config", (dir.path() + "/missing").toStdString()}, bad, &error));
        QVERIFY(!bwservice::parseServiceArgs({"--interval-ms", "12abc"}, bad, &error));
    }
};

QTEST_GUILESS_MAIN(TestServiceCore)
#include "tst_vcilink_service_core.moc"
