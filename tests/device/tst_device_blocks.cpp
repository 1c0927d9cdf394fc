// The two shared blocks from the manager's side. The status block: the text
// parsers, hostile contents, the model rules and the AppShared bus as fed by
// real reads. The command block: the exchange against a fake service thread
// that plays the other end of the mailbox, and the selection and mode writes.
#include "support/FakeService.h"
#include "support/TestBlocks.h"

#include "device/AppShared.h"
#include "device/CommandBlock.h"
#include "device/DeviceProfile.h"
#include "device/VciStatusRecord.h"

#include <platform/NamedEvent.h>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

QByteArray serialAt(const unsigned char* data)
{
    return QByteArray(reinterpret_cast<const char*>(data) + 9, 16);
}

} // namespace

class TestDeviceBlocks : public QObject {
    Q_OBJECT

private:
    platform::SharedMemory m_block; // the status block
    platform::SharedMemory m_command;
    CommandBlock m_client;
    QMutex m_fetchMutex;
    QStringList m_fetched; // serials whose remote key was read

    QStringList fetched()
    {
        QMutexLocker lock(&m_fetchMutex);
        return m_fetched;
    }

    // The bus codes in order, without the remote key reports (code 8), which
    // arrive from the key thread whenever it is done.
    QList<int> codesOf(const QList<QList<QVariant>>& spy)
    {
        QList<int> codes;
        for (const QList<QVariant>& args : spy) {
            if (args.at(0).value<SharedSignal>() != RemoteKeyRead)
                codes << args.at(0).value<SharedSignal>();
        }
        return codes;
    }

    static QStringList remoteKeysIn(const QList<QList<QVariant>>& spy)
    {
        QStringList keys;
        for (const QList<QVariant>& args : spy) {
            if (args.at(0).value<SharedSignal>() == RemoteKeyRead)
                keys << args.at(1).toString();
        }
        return keys;
    }

private slots:
    void initTestCase()
    {
        useUniqueShmPrefix("blocks");
        QVERIFY(m_block.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_block.holdOwnership()); // the test plays the service
        QVERIFY(m_command.create(kCommandBlock, kBlockBytes));
        AppShared::instance()->setRemoteKeyFetcher(
            [this](const std::string& sn, const std::string& ip, std::string& key) {
                QMutexLocker lock(&m_fetchMutex);
                m_fetched << QString::fromStdString(sn);
                key = "RK-" + sn.substr(12) + "@" + ip;
                return true;
            });
    }

    void cleanupTestCase()
    {
        m_block.close();
        m_command.close();
        platform::SharedMemory::remove(kStatusBlock);
        platform::SharedMemory::remove(kCommandBlock);
    }

    void init()
    {
        AppShared::instance()->resetForTests();
        fillBlock(m_block, QByteArray());
        fillBlock(m_command, QByteArray());
    }

    void versionsAndConnectionKinds()
    {
        const char* const versions[][2] = {{"MT7628 V1.0.3", "V1.0.3"}, {"build 2.1", "2.1"}, {"3.4.5", "3.4.5"},
            {"V1 V2.0 ", "V2.0"}, {"app v1.2", "v1.2"}, {"", ""}, {"V", "V"}};
        for (const auto& v : versions)
            QCOMPARE(::normalizeVersion(QString::fromUtf8(v[0])), QString::fromUtf8(v[1]));
        // Exact and case-sensitive.
        QCOMPARE(connTypeFromText("USB"), 0);
        QCOMPARE(connTypeFromText("RJ45"), 1);
        QCOMPARE(connTypeFromText("WIFI"), 2);
        QCOMPARE(connTypeFromText("ROUTE"), 3);
        for (const char* other : {"route", "USB ", ""})
            QCOMPARE(connTypeFromText(other), -1);
    }

    static StatusReading interpret(const QByteArray& text)
    {
        return interpretStatusBlock(reinterpret_cast<const unsigned char*>(text.constData()), text.size());
    }

    void oneParseFillsRecordAndDeviceInfo()
    {
        const StatusReading reading = interpret(statusText("M5EC2020C0300007", 12345, 1, "ROUTE"));
        QVERIFY(reading.present);
        const VciStatusRecord& r = reading.record;
        QCOMPARE(QByteArray(r.SN), QByteArray("M5EC2020C0300007"));
        QCOMPARE(QByteArray(r.vciIP), QByteArray("127.0.100.1"));
        QCOMPARE(QByteArray(r.FirmwareVersion), QByteArray("MT7628 V2.0.1")); // whole in the record
        QCOMPARE(QByteArray(r.softVer), QByteArray("APP V1.2.3"));
        QCOMPARE(QByteArray(r.portNumber), QByteArray("M5WC"));
        QCOMPARE(QByteArray(r.key), QByteArray("K123"));
        QCOMPARE(r.vbatt, 12345u);
        QCOMPARE(r.status, 1u);
        QCOMPARE(r.connType, 3);
        QCOMPARE(reading.info.FirmwareVersion, QStringLiteral("V2.0.1")); // normalised for the bus
        QCOMPARE(reading.info.softVer, QStringLiteral("V1.2.3"));
        QCOMPARE(reading.info.vbatt, 12345.0f);
        QCOMPARE(reading.info.connType, QStringLiteral("ROUTE"));
    }

    void hostileBlockContents()
    {
        // No NUL anywhere in the 1024 bytes: the text ends at the block end,
        // and the unterminated last value is cut to its field.
        QByteArray full(1024, 'x');
        const QByteArray head = "SN = ABCDEFGHIJKLMNOP\r\nvbatt = 11000\r\nkey = ";
        full.replace(0, head.size(), head);
        StatusReading reading = interpret(full);
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("ABCDEFGHIJKLMNOP"));
        QCOMPARE(reading.record.vbatt, 11000u);
        QCOMPARE(std::strlen(reading.record.key), sizeof reading.record.key - 1);

        // Overlong values are cut to their field width - 1.
        reading = interpret("SN = 0123456789ABCDEFGHIJKLMNOP\r\nvciIP = 255.255.255.255.255\r\n");
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("0123456789ABCDEFGHI"));
        QCOMPARE(QByteArray(reading.record.vciIP), QByteArray("255.255.255.255"));

        // Non-UTF-8 bytes stay bytes in the record and never break the Qt side.
        reading = interpret(QByteArray("SN = \xff\xfe\x80\x81\r\nkey = \xc3\r\n"));
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("\xff\xfe\x80\x81"));
        QCOMPARE(reading.info.SN.size(), 4);

        // Bytes after the first NUL are ignored; an empty text is "no adapter".
        reading = interpret(QByteArray("SN = A\r\n\0SN = B\r\n", 18));
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("A"));
        reading = interpret(QByteArray(8, '\0'));
        QVERIFY(!reading.present);
        QCOMPARE(reading.record.connType, -1);
    }

    // A value of width - 1 bytes fits whole, one byte more is cut; numbers
    // up to 2^32 - 1 are read, larger ones are no number; an empty value
    // leaves its field empty while the adapter is still there.
    void fieldLimitsAndLargestValues()
    {
        StatusReading reading = interpret("SN = 0123456789ABCDEFGHI\r\nkey = 0123456789ABCDE\r\n"
                                          "vbatt = 4294967295\r\nstatus = 4294967296\r\nvciIP = \r\n");
        QVERIFY(reading.present);
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("0123456789ABCDEFGHI"));
        QCOMPARE(QByteArray(reading.record.key), QByteArray("0123456789ABCDE"));
        QCOMPARE(reading.record.vbatt, 4294967295u);
        QCOMPARE(reading.record.status, 0u);
        QCOMPARE(reading.record.vciIP[0], '\0');
        QCOMPARE(reading.info.vciIP, QString());
        reading = interpret("key = 0123456789ABCDEF\r\n");
        QCOMPARE(QByteArray(reading.record.key), QByteArray("0123456789ABCDE"));
    }

    void keyWithEqualsIsReadWholeIntoTheRecordButSkippedByTheMap()
    {
        fillBlock(m_block, "SN = A\r\nkey = ab=cd\r\n");
        VciStatusRecord r;
        QVERIFY(readVciStatus(r));
        QCOMPARE(QByteArray(r.key), QByteArray("ab=cd"));
        QCOMPARE(AppShared::instance()->deviceInfo().key, QString());
    }

    void recordAndBusReadTheTextTheirOwnWay()
    {
        // A key written twice: the record keeps the first line, the bus the
        // last; a second line that holds "=" is no pair to the bus.
        fillBlock(m_block, "SN = FIRST\r\nkey = K1\r\nSN = SECOND\r\nkey = K2\r\nkey = K=3\r\n");
        VciStatusRecord r;
        QVERIFY(readVciStatus(r));
        QCOMPARE(QByteArray(r.SN), QByteArray("FIRST"));
        QCOMPARE(QByteArray(r.key), QByteArray("K1"));
        QCOMPARE(AppShared::instance()->deviceInfo().SN, QStringLiteral("SECOND"));
        QCOMPARE(AppShared::instance()->deviceInfo().key, QStringLiteral("K2"));

        // A CR that ends the text without its LF belongs to the record's value;
        // the bus drops every CR.
        StatusReading reading = interpret("connType = USB\r\nkey = K4\r");
        QCOMPARE(QByteArray(reading.record.key), QByteArray("K4\r"));
        QCOMPARE(reading.info.key, QStringLiteral("K4"));
        reading = interpret("key = K4\r\nSN = S\r");
        QCOMPARE(QByteArray(reading.record.key), QByteArray("K4"));
        QCOMPARE(QByteArray(reading.record.SN), QByteArray("S\r"));
        QCOMPARE(reading.info.SN, QStringLiteral("S"));
    }

    void readFillsDeviceInfoAndEmitsSerialChangeBeforeStatus()
    {
        // Not a QSignalSpy: it records in the emitting thread, and the key
        // report comes from the key thread. Queued to this thread instead.
        QList<QList<QVariant>> seen;
        QObject receiver;
        connect(AppShared::instance(), &AppShared::signal, &receiver, [&seen](SharedSignal code, const QVariant& data) {
            seen.append({QVariant::fromValue(code), data});
        });
        fillBlock(m_block, statusText("M5ECABCDXJ7Z0001", 12345, 1, "USB"));
        VciStatusRecord r;
        QVERIFY(readVciStatus(r));
        QCOMPARE(codesOf(seen), (QList<int>{SerialChanged, StatusRead}));
        const DeviceInfo info = seen.at(1).at(1).value<DeviceInfo>();
        QCOMPARE(info.SN, QStringLiteral("M5ECABCDXJ7Z0001"));
        QCOMPARE(info.status, 1);
        QCOMPARE(info.DllVersion, QStringLiteral("4.5.6"));
        QCOMPARE(AppShared::instance()->deviceProfile().j2534Name, QStringLiteral("Brindlewick J2534"));

        // The same serial again: only code 0.
        QVERIFY(readVciStatus(r));
        QCOMPARE(codesOf(seen), (QList<int>{SerialChanged, StatusRead, StatusRead}));

        // The 16-character serial started one remote key read; code 8 carries it.
        QTRY_COMPARE(AppShared::instance()->remoteKey(), QStringLiteral("RK-0001@127.0.100.1"));
        QTRY_COMPARE(remoteKeysIn(seen), QStringList{"RK-0001@127.0.100.1"});
        QCOMPARE(fetched().count("M5ECABCDXJ7Z0001"), 1);
    }

    // The serials below have 15 characters: no remote-key read starts, whose
    // report from its own thread would reach the spies of these cases.
    void emptyBlockAfterAnAdapter()
    {
        fillBlock(m_block, statusText("M5ECABCDXJ7Z001", 12000, 1, "USB"));
        VciStatusRecord r;
        readVciStatus(r);
        fillBlock(m_block, QByteArray());
        QSignalSpy spy(AppShared::instance(), &AppShared::signal);
        QVERIFY(!readVciStatus(r));
        QCOMPARE(codesOf(spy), (QList<int>{SerialChanged, StatusRead}));
        const DeviceInfo info = spy.at(1).at(1).value<DeviceInfo>();
        QVERIFY(info.SN.isEmpty() && info.vciIP.isEmpty() && info.softVer.isEmpty());
        QCOMPARE(info.vbatt, 0.0f);
        QCOMPARE(info.status, 0);
        QCOMPARE(r.connType, -1);
        QCOMPARE(r.SN[0], '\0');
        QCOMPARE(r.vbatt, 0u);
        QCOMPARE(AppShared::instance()->deviceProfile().imageResource, genericProfile().imageResource);
    }

    void missingBlockCountsAsEmpty()
    {
        m_block.close();
        platform::SharedMemory::remove(kStatusBlock);
        QSignalSpy spy(AppShared::instance(), &AppShared::signal);
        VciStatusRecord r;
        std::memset(&r, 0x55, sizeof r);
        QVERIFY(!readVciStatus(r));
        QCOMPARE(r.connType, -1);
        QCOMPARE(r.SN[0], '\0');
        QCOMPARE(codesOf(spy), QList<int>{StatusRead});
        QVERIFY(m_block.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_block.holdOwnership());
    }

    // A killed service leaves its last text behind; without the writer's lock
    // that text is no adapter. A block another process shrank is the same,
    // and never a crash, while the reader keeps it mapped.
    void textWithoutALiveWriterIsIgnored()
    {
        fillBlock(m_block, statusText("M5ECABCDXJ7Z001", 12000, 1, "USB"));
        VciStatusRecord r;
        QVERIFY(readVciStatus(r));
        platform::SharedMemory left; // keeps the text there once the writer is gone
        QVERIFY(left.open(kStatusBlock, kBlockBytes));
        m_block.close();
        QVERIFY(!readVciStatus(r));
        QCOMPARE(r.SN[0], '\0');
        QCOMPARE(AppShared::instance()->deviceInfo().SN, QString());

        QVERIFY(m_block.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_block.holdOwnership());
        QVERIFY(readVciStatus(r));
        QCOMPARE(QByteArray(r.SN), QByteArray("M5ECABCDXJ7Z001"));

        QVERIFY(shrinkBlock(kStatusBlock, 16));
        QVERIFY(!readVciStatus(r));
        QCOMPARE(r.SN[0], '\0');
        // The service then creates the block again.
        m_block.close();
        left.close();
        platform::SharedMemory::remove(kStatusBlock);
        QVERIFY(m_block.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_block.holdOwnership());
        fillBlock(m_block, statusText("M5ECABCDXJ7Z001", 12000, 1, "USB"));
        QVERIFY(readVciStatus(r));
    }

    void shortSerialChangesProfileWithoutKeyFetch()
    {
        QSignalSpy spy(AppShared::instance(), &AppShared::signal);
        fillBlock(m_block, statusText("M5E12345XJ70001", 12000, 1, "USB")); // 15 characters
        VciStatusRecord r;
        readVciStatus(r);
        QCOMPARE(codesOf(spy), (QList<int>{SerialChanged, StatusRead}));
        QCOMPARE(AppShared::instance()->deviceProfile().modelCode, QStringLiteral("M5E"));
        QTest::qWait(50);
        QVERIFY(!fetched().contains("M5E12345XJ70001"));
        QCOMPARE(AppShared::instance()->remoteKey(), QString());
    }

    void keyProgrammerRules()
    {
        // Listed serials outside the XJ7 family are key programmers too.
        QVERIFY(isKeyProgrammerSerial(kKeyProgrammerSerials[0]));
        QVERIFY(QByteArray(kKeyProgrammerSerials[0]).mid(8, 3) != "XJ7");
        QCOMPARE(lookupDeviceProfile(QString::fromLatin1(kKeyProgrammerSerials[0])).modelCode, QStringLiteral("M5E"));
        QVERIFY(isKeyProgrammerSerial("M5EC0000XJ7")); // exactly 11 characters
        QVERIFY(!isKeyProgrammerSerial("M5EC0000XJ")); // 10
        QVERIFY(!isKeyProgrammerSerial(nullptr));
        QVERIFY(!isKeyProgrammerSerial("M5EC0000AB70001X")); // other family, not listed
        QVERIFY(!isKeyProgrammerSerial("M5HC0000XJ70001X")); // other model
        QCOMPARE(lookupDeviceProfile("M5EC0000AB70001X").j2534Name, QString());
        // The list is an exact match: a listed serial with a suffix is not listed.
        QVERIFY(!isKeyProgrammerSerial((QByteArray(kKeyProgrammerSerials[0]) + "X").constData()));
        QCOMPARE(lookupDeviceProfile(QString()).modelCode, QString());
    }

    void immediateReplyIsConsumed()
    {
        unsigned char* d = m_command.data();
        std::memcpy(d + 9, "SELECTEDSERIAL16", 16);
        std::vector<VciStatusRecord> list;
        {
            FakeService service(d, std::chrono::milliseconds(0), [](unsigned char* b) {
                b[1] = 0x7F; // the unused bytes are cleared as well
                b[4] = 0x7F;
                putCount(b, 3);
                putEntry(b, 0, "M5EC0000XJ70001A");
                putEntry(b, 1, "M5EC0000XJ70002B");
                putEntry(b, 2, "M5HC0000AB70003C");
            });
            QElapsedTimer t;
            t.start();
            list = m_client.requestDeviceList();
            QVERIFY(t.elapsed() < 500);
        }
        QCOMPARE(int(list.size()), 3);
        QCOMPARE(QByteArray(list[0].SN), QByteArray("M5EC0000XJ70001A"));
        QCOMPARE(QByteArray(list[2].SN), QByteArray("M5HC0000AB70003C"));
        QCOMPARE(list[1].connType, 255);
        QCOMPARE(list[1].vbatt, 0u);
        QCOMPARE(list[1].vciIP[0], '\0');
        // Consumed: request byte 0 and bytes 1..1023 zero, the selection included.
        QCOMPARE(int(d[0]), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d), 1024), QByteArray(1024, '\0'));
    }

    void countZeroGivesEmptyList()
    {
        {
            FakeService service(
                m_command.data(), std::chrono::milliseconds(0), [](unsigned char* b) { putCount(b, 0); });
            QVERIFY(m_client.requestDeviceList().empty());
        } // the service's thread has ended: its writes are seen
        QCOMPARE(int(m_command.data()[0]), 0);
    }

    void countBeyondTheBlockListsWhatFitsWithoutOverrun()
    {
        std::vector<VciStatusRecord> list;
        {
            FakeService service(m_command.data(), std::chrono::milliseconds(0), [](unsigned char* b) {
                for (int i = 25; i < 1024; ++i)
                    b[i] = static_cast<unsigned char>(0x80 + (i % 100)); // no NUL, not UTF-8
                putCount(b, 0xFFFFFFFFu);
            });
            list = m_client.requestDeviceList();
        }
        QCOMPARE(int(list.size()), 62);
        for (const VciStatusRecord& r : list)
            QCOMPARE(int(std::strlen(r.SN)), 16);
        QByteArray last; // the 62nd entry, read from its own offset
        for (int i = 25 + 61 * 16; i < 25 + 62 * 16; ++i)
            last += char(0x80 + (i % 100));
        QCOMPARE(QByteArray(list[61].SN), last);
    }

    void replyAfterTheLimitIsNotConsumed()
    {
        QElapsedTimer t;
        t.start();
        std::vector<VciStatusRecord> list;
        {
            FakeService service(
                m_command.data(), std::chrono::milliseconds(0), [](unsigned char*) {}, false);
            list = m_client.requestDeviceList();
        }
        const qint64 waited = t.elapsed();
        QVERIFY(list.empty());
        QVERIFY2(waited >= 1000 && waited < 1800, qPrintable(QString::number(waited)));
        QCOMPARE(int(m_command.data()[0]), 1); // the request stays posted
    }

    void replyJustInsideTheLimitIsConsumed()
    {
        // A shorter limit keeps the test quick; the rule is the same as for 1000 ms.
        std::vector<VciStatusRecord> list;
        {
            FakeService service(m_command.data(), std::chrono::milliseconds(150), [](unsigned char* b) {
                putCount(b, 1);
                putEntry(b, 0, "LATEREPLY0000001");
            });
            list = m_client.requestDeviceList(std::chrono::milliseconds(400));
        }
        QCOMPARE(int(list.size()), 1);
        std::memset(m_command.data(), 0, 1024);
        {
            FakeService service(m_command.data(), std::chrono::milliseconds(300), [](unsigned char* b) {
                putCount(b, 1);
                putEntry(b, 0, "TOOLATE000000001");
            });
            list = m_client.requestDeviceList(std::chrono::milliseconds(100));
        }
        QVERIFY(list.empty());
        QCOMPARE(int(m_command.data()[0]), 2); // the late reply is left for the next request
    }

    void selectionAndModeWrites()
    {
        unsigned char* d = m_command.data();
        d[0] = 0x42;
        QVERIFY(m_client.writeSelectedSerial("M5EC0000XJ70001A"));
        QCOMPARE(serialAt(d), QByteArray("M5EC0000XJ70001A"));
        QVERIFY(m_client.writeSelectedSerial("SHORT"));
        QCOMPARE(serialAt(d), QByteArray("SHORT\0\0\0\0\0\0\0\0\0\0\0", 16));
        QVERIFY(m_client.writeSelectedSerial("0123456789ABCDEFXYZ"));
        QCOMPARE(serialAt(d), QByteArray("0123456789ABCDEF"));
        QCOMPARE(int(d[25]), 0); // nothing beyond the field
        QCOMPARE(int(d[0]), 0x42);
        QVERIFY(m_client.clearSelectedSerial());
        QCOMPARE(serialAt(d), QByteArray(16, '\0'));

        QVERIFY(m_client.postMode(CommandBlock::RemoteMode));
        QCOMPARE(int(d[0]), 0x10);

        std::memset(d, 0xAB, 1024);
        QVERIFY(m_client.resetForStartup());
        QCOMPARE(int(d[0]), 0x11);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(d) + 1, 1023), QByteArray(1023, '\0'));
    }

    // A service that sleeps on the request event and never polls: every
    // write must wake it, and the list request gets its reply.
    void everyWriteWakesASleepingService()
    {
        platform::NamedEvent wake;
        platform::NamedEvent reply;
        QVERIFY(wake.create(blocks::requestEventName(kCommandBlock)));
        QVERIFY(reply.create(blocks::replyEventName(kCommandBlock)));
        unsigned char* d = m_command.data();
        std::atomic<int> wakes{0};
        std::atomic<bool> stop{false};
        std::thread service([&] {
            while (!stop) {
                if (!wake.wait(std::chrono::seconds(30)) || stop)
                    continue;
                if (blocks::loadRequest(d) == blocks::RequestList) {
                    blocks::writeDeviceList(d, kBlockBytes, {"WOKENBYEVENT0001"});
                    reply.signal();
                }
                ++wakes;
            }
        });
        // Stops the thread however the case ends.
        const std::unique_ptr<void, std::function<void(void*)>> joiner(&stop, [&](void*) {
            stop = true;
            wake.signal();
            service.join();
            platform::NamedEvent::remove(blocks::requestEventName(kCommandBlock));
            platform::NamedEvent::remove(blocks::replyEventName(kCommandBlock));
        });

        const auto list = m_client.requestDeviceList(std::chrono::seconds(10));
        QCOMPARE(int(list.size()), 1);
        QCOMPARE(QByteArray(list[0].SN), QByteArray("WOKENBYEVENT0001"));
        QTRY_COMPARE(wakes.load(), 1);
        const std::function<bool()> writes[] = {[this] { return m_client.writeSelectedSerial("M5EC0000XJ70001A"); },
            [this] { return m_client.clearSelectedSerial(); },
            [this] { return m_client.postMode(CommandBlock::RemoteMode); },
            [this] { return m_client.resetForStartup(); }};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(writes[i]());
            QTRY_COMPARE(wakes.load(), i + 2);
        }
    }

    void missingBlockIsQuiet()
    {
        const CommandBlock absent("Global\\NoSuchBlockForTests");
        QElapsedTimer t;
        t.start();
        QVERIFY(absent.requestDeviceList().empty());
        QVERIFY(t.elapsed() < 100);
        QVERIFY(!absent.writeSelectedSerial("X"));
        QVERIFY(!absent.clearSelectedSerial());
        QVERIFY(!absent.postMode(0x11));
        QVERIFY(!absent.resetForStartup());
    }
};

QTEST_GUILESS_MAIN(TestDeviceBlocks)
#include "tst_device_blocks.moc"
