// BrindlewickService with the adapter emulator: the published status text, the
// device-list mailbox, selection, and survival of kills and restarts.
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"

#include <QFile>
#include <QFileInfo>

#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <blocks/CommandBlockLayout.h>
#include <blocks/StatusBlock.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstring>

class TestService : public QObject {
    Q_OBJECT
    QByteArray m_prefix;
    int m_case = 0;
    QTemporaryDir m_dir; // lock files

    static QByteArray value(const char* key) { return statusValue(statusBlockText(), key); }

    // The manager's exchange: write 1, signal the request event, poll for 2,
    // read, reset. Without the signal it is the exchange of a writer that
    // leaves the service to find the request by itself.
    QStringList requestList(bool signal = true)
    {
        platform::SharedMemory m;
        if (!m.open(kCommandBlock, kBlockBytes))
            return {QStringLiteral("<no block>")};
        volatile unsigned char* b = m.data();
        b[0] = 1;
        platform::NamedEvent request;
        if (signal && request.open(blocks::requestEventName(kCommandBlock)))
            request.signal();
        QElapsedTimer t;
        t.start();
        while (b[0] != 2 && t.elapsed() < 1000)
            QThread::usleep(1000);
        if (b[0] != 2)
            return {QStringLiteral("<timeout>")};
        const std::uint32_t n = countAt(m.data());
        QStringList out;
        for (std::uint32_t i = 0; i < n && i < 62; ++i)
            out << entryAt(m.data(), int(i));
        std::memset(m.data() + 1, 0, kBlockBytes - 1);
        b[0] = 0;
        return out;
    }

    // Starts the service on the emulator's adapters, with this case's blocks.
    bool startService(ServiceProcess& svc, const EmulatorProcess& emu, const QString& probe)
    {
        return svc.start(
            ServiceProcess::arguments(probe, emu.port(), m_dir.filePath(QString::fromLatin1(m_prefix) + ".lock")),
            m_prefix);
    }

    // Emulated adapters from `address` and the service probing `probe`, up
    // and the first adapter published.
    bool startBoth(EmulatorProcess& emu, ServiceProcess& svc, const char* address, QStringList args = {},
        const char* probe = nullptr)
    {
        return emu.start(args << "--base-address" << address)
            && startService(svc, emu, QString::fromLatin1(probe ? probe : address))
            && QTest::qWaitFor([] { return value("SN") == "M5EA0001XJ7B0001"; }, 3000);
    }

private slots:
    void init()
    {
        // Fresh block names for every case, so runs in parallel never meet.
        m_prefix = useUniqueShmPrefix(QByteArray::number(++m_case).constData());
    }

    void publishesAndClearsTheAdapter()
    {
        EmulatorProcess emu;
        ServiceProcess svc;
        QVERIFY(startBoth(emu, svc, "127.0.102.1", {}, "127.0.102.1-3"));
        const QByteArray text = statusBlockText();
        QVERIFY(text.endsWith("\r\n"));
        QCOMPARE(statusValue(text, "vbatt"), QByteArray("12340"));
        QCOMPARE(statusValue(text, "status"), QByteArray("1"));

        // Adapters are asked every two seconds; the service signals the status
        // event after it wrote the change.
        platform::NamedEvent changed;
        QVERIFY(changed.open(blocks::statusEventName()));
        while (changed.wait(std::chrono::milliseconds(0))) { }
        QCOMPARE(emu.command(QStringLiteral("voltage 1 10999")), QStringLiteral("OK"));
        QVERIFY(changed.wait(std::chrono::milliseconds(4500)));
        QCOMPARE(value("vbatt"), QByteArray("10999"));
        QCOMPARE(emu.command(QStringLiteral("state 1 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(value("status"), QByteArray("2"), 4500);

        QCOMPARE(emu.command(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(statusBlockText().isEmpty(), 4500);
        QCOMPARE(emu.command(QStringLiteral("plug 1")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EA0001XJ7B0001"), 6500);

        // A silent adapter is dropped once its reply time-out has passed.
        QCOMPARE(emu.command(QStringLiteral("stop answering 1")), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(statusBlockText().isEmpty(), 4500); // the next question plus its reply time-out
    }

    void listsSelectsAndDeselects()
    {
        EmulatorProcess emu;
        ServiceProcess svc; // none chosen: the first is published
        QVERIFY(startBoth(emu, svc, "127.0.103.1", {"--adapters", "3"}, "127.0.103.1-4"));
        QTRY_COMPARE_WITH_TIMEOUT(requestList().size(), 3, 3000);
        QCOMPARE(requestList(), (QStringList{"M5EA0001XJ7B0001", "M5EA0002XJ7B0002", "M5EC7003QA200003"}));

        platform::SharedMemory cmd;
        QVERIFY(cmd.open(kCommandBlock, kBlockBytes));
        std::memcpy(cmd.data() + 9, "M5EC7003QA200003", 16);
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EC7003QA200003"), 2500);
        QCOMPARE(value("vciIP"), QByteArray("127.0.103.3"));
        QCOMPARE(value("connType"), QByteArray("WIFI"));
        // The manager zeroes the block when it takes a reply and writes the
        // selection back; the published adapter must not flicker meanwhile.
        QCOMPARE(requestList().size(), 3);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(cmd.data() + 9), 16), QByteArray(16, '\0'));
        QTest::qWait(20);
        std::memcpy(cmd.data() + 9, "M5EC7003QA200003", 16);
        for (int i = 0; i < 30; ++i) {
            QCOMPARE(value("SN"), QByteArray("M5EC7003QA200003"));
            QTest::qWait(10);
        }
        // Remote mode asks only the remote-session adapters (there are none
        // here); local mode brings the selected adapter back.
        cmd.data()[0] = 0x10;
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray(), 3000);
        QCOMPARE(int(cmd.data()[0]), 0x10);
        cmd.data()[0] = 0x11;
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EC7003QA200003"), 3000);

        std::memset(cmd.data() + 9, 0, 16);
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EA0001XJ7B0001"), 2500);

        QCOMPARE(emu.command(QStringLiteral("unplug 2")), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(requestList().size(), 2, 4500);
    }

    void ignoresGarbageInTheCommandBlock()
    {
        EmulatorProcess emu;
        ServiceProcess svc;
        QVERIFY(startBoth(emu, svc, "127.0.105.1"));
        platform::SharedMemory cmd;
        QVERIFY(cmd.open(kCommandBlock, kBlockBytes));
        for (std::size_t i = 0; i < kBlockBytes; ++i)
            cmd.data()[i] = static_cast<unsigned char>((i * 37 + 11) & 0xFF);
        cmd.data()[0] = 0xC3;
        QTest::qWait(100);
        QCOMPARE(svc.process().state(), QProcess::Running);
        QCOMPARE(int(cmd.data()[0]), 0xC3); // not taken for a request
        QCOMPARE(value("SN"), QByteArray("M5EA0001XJ7B0001"));
        // Still answers once the manager writes a real request, also one
        // that does not signal.
        QTRY_COMPARE_WITH_TIMEOUT(requestList(false), QStringList{QStringLiteral("M5EA0001XJ7B0001")}, 3000);
        QCOMPARE(requestList(), QStringList{QStringLiteral("M5EA0001XJ7B0001")});
    }

    void survivesKillAndSecondCopy()
    {
        EmulatorProcess emu;
        ServiceProcess svc;
        QVERIFY(startBoth(emu, svc, "127.0.106.1"));

        // A second copy exits at once and leaves the first alone.
        ServiceProcess second;
        QVERIFY(startService(second, emu, QStringLiteral("127.0.106.1")));
        QVERIFY(second.process().waitForFinished(2000));
        QCOMPARE(second.process().exitCode(), 3);
        QCOMPARE(svc.process().state(), QProcess::Running);
        // The refused copy leaves the holder's lock file as it was.
        const QString lockFile = m_dir.filePath(QString::fromLatin1(m_prefix) + ".lock");
        QFile held(lockFile);
        QVERIFY(held.open(QIODevice::ReadOnly));
        QCOMPARE(held.readAll().trimmed().toLongLong(), svc.process().processId());

        svc.kill();
        // The blocks outlive the killed service; a clear marks what the new one writes.
        {
            platform::SharedMemory m;
            QVERIFY(m.open(kStatusBlock, kBlockBytes));
            fillBlock(m, QByteArray());
        }
        QCOMPARE(emu.command(QStringLiteral("voltage 1 13000")), QStringLiteral("OK"));
        ServiceProcess again;
        QVERIFY(startService(again, emu, QStringLiteral("127.0.106.1")));
        // The first list after a restart already holds the adapter.
        QCOMPARE(requestList(), QStringList{QStringLiteral("M5EA0001XJ7B0001")});
        QTRY_COMPARE_WITH_TIMEOUT(value("vbatt"), QByteArray("13000"), 4500);

        // A clean stop removes both blocks and the lock file.
        QVERIFY(QFileInfo::exists(lockFile));
        again.stop();
        QCOMPARE(again.process().exitCode(), 0);
        QVERIFY(!QFileInfo::exists(lockFile));
        platform::SharedMemory m;
        QVERIFY(!m.open(kStatusBlock, kBlockBytes));
        QVERIFY(!m.open(kCommandBlock, kBlockBytes));
    }

    // Another process of the user scribbles on, shrinks or replaces the blocks:
    // the service neither crashes nor keeps the damage.
    void repairsBlocksSpoiledByAnotherProcess()
    {
        EmulatorProcess emu;
        ServiceProcess svc;
        QVERIFY(startBoth(emu, svc, "127.0.107.1"));
        {
            platform::SharedMemory m;
            QVERIFY(m.open(kStatusBlock, kBlockBytes));
            fillBlock(m, "SN = FORGED\r\nstatus = 2\r\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EA0001XJ7B0001"), 2000);

        QVERIFY(shrinkBlock(kStatusBlock, 0));
        QVERIFY(shrinkBlock(kCommandBlock, 8));
        QTRY_COMPARE_WITH_TIMEOUT(value("SN"), QByteArray("M5EA0001XJ7B0001"), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(requestList(), QStringList{QStringLiteral("M5EA0001XJ7B0001")}, 3000);
        QCOMPARE(svc.process().state(), QProcess::Running);

        // Shrunk right before a clean stop: still a clean stop.
        QVERIFY(shrinkBlock(kStatusBlock, 0));
        svc.stop();
        QCOMPARE(svc.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(svc.process().exitCode(), 0);
        QVERIFY(!platform::SharedMemory::exists(kStatusBlock));
    }

    void refusesBadOptions()
    {
        ServiceProcess noFolder;
        QVERIFY(noFolder.start({QStringLiteral("--lock"), m_dir.filePath(QStringLiteral("missing/x.lock"))}, m_prefix));
        QVERIFY(noFolder.process().waitForFinished(2000));
        QCOMPARE(noFolder.process().exitCode(), 4); // not "another instance"

        ServiceProcess svc;
        QVERIFY(svc.start({QStringLiteral("--probe"), QStringLiteral("127.0.0.300")}, m_prefix));
        QVERIFY(svc.process().waitForFinished(2000));
        QCOMPARE(svc.process().exitCode(), 2);
        QVERIFY(svc.process().readAllStandardOutput().isEmpty());
        platform::SharedMemory m;
        QVERIFY(!m.open(kStatusBlock, kBlockBytes)); // nothing created
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_vcilink_service.moc"
