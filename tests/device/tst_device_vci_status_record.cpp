// The status text parsers, hostile block contents, the model rules and the
// AppShared bus as fed by real reads of the status block.
#include "support/TestBlocks.h"

#include "device/AppShared.h"
#include "device/DeviceProfile.h"
#include "device/VciStatusRecord.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <cstring>

class TestVciStatusRecord : public QObject {
    Q_OBJECT

private:
    platform::SharedMemory m_block;
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
        useUniqueShmPrefix("status");
        QVERIFY(m_block.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_block.holdOwnership()); // the test plays the service
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
        platform::SharedMemory::remove(kStatusBlock);
    }

    void init()
    {
        AppShared::instance()->resetForTests();
        fillBlock(m_block, QByteArray());
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
};

QTEST_GUILESS_MAIN(TestVciStatusRecord)
#include "tst_device_vci_status_record.moc"
