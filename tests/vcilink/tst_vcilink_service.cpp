// BrindlewickService with the adapter emulator: the published status text, the
// device-list mailbox, selection, and survival of kills and restarts.
#include "EmulatorProcess.h"

#include "platform/SharedMemory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

namespace {

const char* kStatusBlock = "Global\\KestrixVciShareMemory";
const char* kCommandBlock = "Global\\KestrixVciShareMemoryFunc";

std::uint32_t countAt(const unsigned char* b)
{
    return b[5] | (b[6] << 8) | (b[7] << 16) | (std::uint32_t(b[8]) << 24);
}

} // namespace

class TestService : public QObject {
    Q_OBJECT
    QByteArray m_prefix;
    int m_case = 0;
    QTemporaryDir m_dir; // lock files

    // Opens a block each time, like the manager does.
    QByteArray statusText()
    {
        platform::SharedMemory m;
        if (!m.open(kStatusBlock, 1024))
            return QByteArray();
        const void* nul = std::memchr(m.data(), 0, 1024);
        const int n = nul ? int(static_cast<const unsigned char*>(nul) - m.data()) : 1024;
        return QByteArray(reinterpret_cast<const char*>(m.data()), n);
    }

    static QByteArray value(const QByteArray& text, const QByteArray& key)
    {
        const QByteArray needle = key + " = ";
        const int p = text.indexOf(needle);
        if (p < 0)
            return QByteArray();
        const int e = text.indexOf("\r\n", p);
        return text.mid(p + needle.size(), e < 0 ? -1 : e - p - needle.size());
    }

    // The manager's exchange: write 1, poll for 2, read, reset.
    QStringList requestList(int* count = nullptr)
    {
        platform::SharedMemory m;
        if (!m.open(kCommandBlock, 1024))
            return {QStringLiteral("<no block>")};
        volatile unsigned char* b = m.data();
        b[0] = 1;
        QElapsedTimer t;
        t.start();
        while (b[0] != 2 && t.elapsed() < 1000)
            QThread::usleep(1000);
        if (b[0] != 2)
            return {QStringLiteral("<timeout>")};
        const std::uint32_t n = countAt(m.data());
        if (count)
            *count = int(n);
        QStringList out;
        for (std::uint32_t i = 0; i < n && i < 62; ++i)
            out << QString::fromLatin1(reinterpret_cast<const char*>(m.data() + 25 + 16 * i), 16);
        std::memset(m.data() + 1, 0, 1023);
        b[0] = 0;
        return out;
    }

    QStringList serviceArgs(const EmulatorProcess& emu, const QString& probe)
    {
        return {QStringLiteral("--probe"), probe, QStringLiteral("--port"), QString::number(emu.port()),
            QStringLiteral("--lock"), m_dir.filePath(QString::fromLatin1(m_prefix) + QStringLiteral(".lock"))};
    }

private slots:
    void init()
    {
        // Fresh block names for every case, so runs in parallel never meet.
        m_prefix = "bwtest" + QByteArray::number(QCoreApplication::applicationPid()) + "_"
            + QByteArray::number(++m_case) + "_";
        qputenv("BRINDLEWICK_SHM_PREFIX", m_prefix);
    }

    void publishesAndClearsTheAdapter()
    {
        EmulatorProcess emu;
        QVERIFY(emu.start({QStringLiteral("--base-address"), QStringLiteral("127.0.102.1")}));
        ServiceProcess svc;
        svc.start(serviceArgs(emu, QStringLiteral("127.0.102.1-3")), QString::fromLatin1(m_prefix));
        QTRY_VERIFY_WITH_TIMEOUT(!statusText().isEmpty(), 2000);
        const QByteArray text = statusText();
        QVERIFY(text.endsWith("\r\n"));
        QCOMPARE(value(text, "SN"), QByteArray("M5EA0001XJ7B0001"));
        QCOMPARE(value(text, "testIP"), QByteArray("127.0.102.1"));
        QCOMPARE(value(text, "vciIP"), QByteArray("127.0.102.1"));
        QCOMPARE(value(text, "FirmwareVersion"), QByteArray("MT7628 V2.0.1"));
        QCOMPARE(value(text, "vbatt"), QByteArray("12340"));
        QCOMPARE(value(text, "status"), QByteArray("1"));
        QCOMPARE(value(text, "connType"), QByteArray("USB"));

        QCOMPARE(emu.command(QStringLiteral("voltage 1 10999")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "vbatt"), QByteArray("10999"), 1000);
        QCOMPARE(emu.command(QStringLiteral("state 1 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "status"), QByteArray("2"), 1000);

        QCOMPARE(emu.command(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QElapsedTimer t;
        t.start();
        QTRY_VERIFY_WITH_TIMEOUT(statusText().isEmpty(), 1000);
        qInfo("status cleared %lld ms after unplug", t.elapsed());

        QCOMPARE(emu.command(QStringLiteral("plug 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "SN"), QByteArray("M5EA0001XJ7B0001"), 1000);

        // A silent adapter is dropped once its reply time-out has passed.
        QCOMPARE(emu.command(QStringLiteral("stop answering 1")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(statusText().isEmpty(), 2000);
    }

    void listsSelectsAndDeselects()
    {
        EmulatorProcess emu;
        QVERIFY(emu.start({QStringLiteral("--adapters"), QStringLiteral("3"), QStringLiteral("--base-address"),
            QStringLiteral("127.0.103.1")}));
        ServiceProcess svc;
        svc.start(serviceArgs(emu, QStringLiteral("127.0.103.1-4")), QString::fromLatin1(m_prefix));
        QTRY_COMPARE_WITH_TIMEOUT(requestList().size(), 3, 3000);
        int count = -1;
        const QStringList list = requestList(&count);
        QCOMPARE(count, 3);
        QCOMPARE(list,
            QStringList({QStringLiteral("M5EA0001XJ7B0001"), QStringLiteral("M5EA0002XJ7B0002"),
                QStringLiteral("M5EC7003QA200003")}));
        QTRY_COMPARE_WITH_TIMEOUT(
            value(statusText(), "SN"), QByteArray("M5EA0001XJ7B0001"), 500); // none chosen: the first

        platform::SharedMemory cmd;
        QVERIFY(cmd.open(kCommandBlock, 1024));
        std::memcpy(cmd.data() + 9, "M5EC7003QA200003", 16);
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "SN"), QByteArray("M5EC7003QA200003"), 1000);
        QCOMPARE(value(statusText(), "vciIP"), QByteArray("127.0.103.3"));
        QCOMPARE(value(statusText(), "connType"), QByteArray("WIFI"));
        // The manager zeroes the block when it takes a reply and writes the
        // selection back; the published adapter must not flicker meanwhile.
        QCOMPARE(requestList().size(), 3);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(cmd.data() + 9), 16), QByteArray(16, '\0'));
        QTest::qWait(20);
        std::memcpy(cmd.data() + 9, "M5EC7003QA200003", 16);
        for (int i = 0; i < 30; ++i) {
            QCOMPARE(value(statusText(), "SN"), QByteArray("M5EC7003QA200003"));
            QTest::qWait(10);
        }
        // Modes are accepted without disturbing anything.
        cmd.data()[0] = 0x10;
        QTest::qWait(50);
        QCOMPARE(int(cmd.data()[0]), 0x10);
        QCOMPARE(value(statusText(), "SN"), QByteArray("M5EC7003QA200003"));

        std::memset(cmd.data() + 9, 0, 16);
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "SN"), QByteArray("M5EA0001XJ7B0001"), 1000);

        QCOMPARE(emu.command(QStringLiteral("unplug 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(requestList().size(), 2, 1000);
    }

    void listIsCappedAt62()
    {
        EmulatorProcess emu;
        QVERIFY(emu.start({QStringLiteral("--adapters"), QStringLiteral("70"), QStringLiteral("--base-address"),
            QStringLiteral("127.0.104.1")}));
        ServiceProcess svc;
        svc.start(serviceArgs(emu, QStringLiteral("127.0.104.1-70")), QString::fromLatin1(m_prefix));
        int count = 0;
        QTRY_VERIFY_WITH_TIMEOUT((requestList(&count), count == 62), 5000);
        const QStringList list = requestList(&count);
        QCOMPARE(count, 62);
        QCOMPARE(list.size(), 62);
        QCOMPARE(list.last(), QStringLiteral("M5EA0062XJ7B0062"));
    }

    void ignoresGarbageInTheCommandBlock()
    {
        EmulatorProcess emu;
        QVERIFY(emu.start({QStringLiteral("--base-address"), QStringLiteral("127.0.105.1")}));
        ServiceProcess svc;
        svc.start(serviceArgs(emu, QStringLiteral("127.0.105.1")), QString::fromLatin1(m_prefix));
        QTRY_VERIFY_WITH_TIMEOUT(!statusText().isEmpty(), 2000);
        platform::SharedMemory cmd;
        QVERIFY(cmd.open(kCommandBlock, 1024));
        for (int i = 0; i < 1024; ++i)
            cmd.data()[i] = static_cast<unsigned char>((i * 37 + 11) & 0xFF);
        cmd.data()[0] = 0xC3;
        QTest::qWait(100);
        QCOMPARE(svc.process().state(), QProcess::Running);
        QCOMPARE(int(cmd.data()[0]), 0xC3); // not taken for a request
        QCOMPARE(value(statusText(), "SN"), QByteArray("M5EA0001XJ7B0001"));
        // Still answers once the manager writes a real request.
        QCOMPARE(requestList(), QStringList{QStringLiteral("M5EA0001XJ7B0001")});
    }

    void survivesKillAndSecondCopy()
    {
        EmulatorProcess emu;
        QVERIFY(emu.start({QStringLiteral("--base-address"), QStringLiteral("127.0.106.1")}));
        const QStringList args = serviceArgs(emu, QStringLiteral("127.0.106.1"));
        ServiceProcess svc;
        svc.start(args, QString::fromLatin1(m_prefix));
        QTRY_VERIFY_WITH_TIMEOUT(!statusText().isEmpty(), 2000);

        // A second copy exits at once and leaves the first alone.
        ServiceProcess second;
        second.start(args, QString::fromLatin1(m_prefix));
        QVERIFY(second.process().waitForFinished(2000));
        QCOMPARE(second.process().exitCode(), 3);
        QCOMPARE(svc.process().state(), QProcess::Running);

        svc.sigkill();
        // The blocks outlive the killed service; a clear marks what the new one writes.
        {
            platform::SharedMemory m;
            QVERIFY(m.open(kStatusBlock, 1024));
            std::memset(m.data(), 0, 1024);
        }
        QCOMPARE(emu.command(QStringLiteral("voltage 1 13000")), QStringLiteral("OK"));
        ServiceProcess again;
        QElapsedTimer t;
        t.start();
        again.start(args, QString::fromLatin1(m_prefix));
        QTRY_COMPARE_WITH_TIMEOUT(value(statusText(), "vbatt"), QByteArray("13000"), 1000);
        qInfo("republished %lld ms after the restart", t.elapsed());
        QCOMPARE(requestList().size(), 1);

        // A clean stop removes both blocks.
        again.stop();
        QCOMPARE(again.process().exitCode(), 0);
        platform::SharedMemory m;
        QVERIFY(!m.open(kStatusBlock, 1024));
        QVERIFY(!m.open(kCommandBlock, 1024));
    }

    void refusesBadOptions()
    {
        ServiceProcess svc;
        svc.start({QStringLiteral("--probe"), QStringLiteral("127.0.0.300")}, QString::fromLatin1(m_prefix));
        QVERIFY(svc.process().waitForFinished(2000));
        QCOMPARE(svc.process().exitCode(), 2);
        QVERIFY(svc.process().readAllStandardOutput().isEmpty());
        platform::SharedMemory m;
        QVERIFY(!m.open(kStatusBlock, 1024)); // nothing created
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
