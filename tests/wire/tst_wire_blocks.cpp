// The shared block contract: what the service's writer puts into the blocks
// is what the manager's reader takes out, and a hostile value cannot pose as
// another field.
#include <blocks/CommandBlockLayout.h>
#include <blocks/StatusBlock.h>

#include <QtTest>

#include <cstring>

using blocks::StatusKey;

namespace {

blocks::StatusValues sample()
{
    blocks::StatusValues v;
    v.SN = "M5EA0001XJ7B0001";
    v.testIP = "169.254.100.1";
    v.vciIP = "169.254.100.1";
    v.softVer = "APP V1.2.7";
    v.FirmwareVersion = "MT7628 V2.0.1";
    v.portNumber = "M5WC";
    v.key = "KX0001";
    v.status = 1;
    v.vbatt = 12340;
    v.DllVersion = "V2.3.0";
    v.connType = "USB";
    return v;
}

QString view(std::string_view v)
{
    return QString::fromUtf8(v.data(), int(v.size()));
}

} // namespace

class TestWireBlocks : public QObject {
    Q_OBJECT
private slots:
    void writerAndReaderAgree()
    {
        const blocks::StatusValues v = sample();
        const std::string text = blocks::composeStatusText(v);
        const blocks::StatusText parsed(text);
        QVERIFY(!parsed.empty());
        QCOMPARE(view(parsed.value(StatusKey::SN)), QString::fromStdString(v.SN));
        QCOMPARE(view(parsed.value(StatusKey::testIP)), QString::fromStdString(v.testIP));
        QCOMPARE(view(parsed.value(StatusKey::softVer)), QString::fromStdString(v.softVer));
        QCOMPARE(view(parsed.value(StatusKey::FirmwareVersion)), QString::fromStdString(v.FirmwareVersion));
        QCOMPARE(view(parsed.value(StatusKey::key)), QString::fromStdString(v.key));
        QCOMPARE(view(parsed.value(StatusKey::connType)), QStringLiteral("USB"));
        QCOMPARE(parsed.number(StatusKey::status), 1u);
        QCOMPARE(parsed.number(StatusKey::vbatt), 12340u);
        QVERIFY(text.size() < blocks::kStatusBlockSize);
        // Every line in the documented form.
        QVERIFY(text.rfind("SN = M5EA0001XJ7B0001\r\n", 0) == 0);
    }

    void hostileValueCannotForgeAnotherField_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QByteArray>("hostile");
        QTest::newRow("softVer sets status") << int(StatusKey::softVer) << QByteArray("V1 status = 2");
        QTest::newRow("FW sets key") << int(StatusKey::FirmwareVersion) << QByteArray("FW key = STOLEN");
        QTest::newRow("port sets vbatt") << int(StatusKey::portNumber) << QByteArray("AB vbatt = 99999");
        QTest::newRow("line break") << int(StatusKey::DllVersion) << QByteArray("V1\r\nstatus = 2");
        QTest::newRow("bare LF") << int(StatusKey::SN) << QByteArray("SN1\nkey = STOLEN");
    }

    void hostileValueCannotForgeAnotherField()
    {
        QFETCH(int, field);
        QFETCH(QByteArray, hostile);
        blocks::StatusValues v = sample();
        std::string* target[] = {&v.SN, nullptr, nullptr, &v.softVer, &v.FirmwareVersion, &v.portNumber, nullptr,
            nullptr, nullptr, &v.DllVersion};
        *target[field] = hostile.toStdString();
        const std::string text = blocks::composeStatusText(v);
        const blocks::StatusText parsed(text);
        QCOMPARE(parsed.number(StatusKey::status), 1u);
        QCOMPARE(parsed.number(StatusKey::vbatt), 12340u);
        QCOMPARE(view(parsed.value(StatusKey::key)), QStringLiteral("KX0001"));
        // The hostile value itself never reaches a reader with a separator in it.
        QVERIFY(!parsed.holdsSeparator(StatusKey(field)));
    }

    void readerTakesKeysOnlyAtLineStarts()
    {
        const blocks::StatusText t(std::string_view("xSN = forged\r\nSN = REAL\r\nSN = SECOND\r\n"
                                                    "key = a=b\r\nvbatt = 12abc\nstatus = 99999999999\r\n"
                                                    "connType = USB"));
        QCOMPARE(view(t.value(StatusKey::SN)), QStringLiteral("REAL")); // first line of a key wins
        QVERIFY(t.holdsSeparator(StatusKey::key));
        QCOMPARE(view(t.value(StatusKey::key)), QStringLiteral("a=b"));
        QCOMPARE(t.number(StatusKey::vbatt), 12u);                           // digits up to the first non-digit
        QCOMPARE(t.number(StatusKey::status), 0u);                           // beyond 32 bits
        QCOMPARE(view(t.value(StatusKey::connType)), QStringLiteral("USB")); // last line without CR LF
        QVERIFY(!t.has(StatusKey::softVer));
        QVERIFY(blocks::StatusText(std::string_view()).empty());
    }

    void writerCutsToTheFieldOnACharacterBoundary()
    {
        blocks::StatusValues v = sample();
        v.FirmwareVersion = std::string(100, 'F');
        v.DllVersion = std::string(30, 'a') + "\xc3\xb1"; // the two-byte character would straddle byte 31
        v.softVer = "  V1\x01\x7f.2  ";
        v.connType = "usb";
        const std::string text = blocks::composeStatusText(v);
        const blocks::StatusText t(text);
        QCOMPARE(t.value(StatusKey::FirmwareVersion).size(), blocks::keyInfo(StatusKey::FirmwareVersion).width - 1);
        QCOMPARE(view(t.value(StatusKey::DllVersion)), QString(30, QLatin1Char('a')));
        QCOMPARE(view(t.value(StatusKey::softVer)), QStringLiteral("V1.2"));
        QVERIFY(!t.has(StatusKey::connType));
    }

    void storedTextReplacesTheWholeBlock()
    {
        unsigned char block[blocks::kStatusBlockSize];
        std::memset(block, 0xAA, sizeof block);
        const std::string text = blocks::composeStatusText(sample());
        blocks::storeStatusText(block, sizeof block, text);
        QCOMPARE(std::string(blocks::blockText(block, sizeof block)), text);
        QCOMPARE(int(block[sizeof block - 1]), 0); // older bytes beyond the text are gone

        blocks::storeStatusText(block, sizeof block, std::string(5000, 'x'));
        QCOMPARE(blocks::blockText(block, sizeof block).size(), sizeof block - 1);
        blocks::storeStatusText(block, sizeof block, "");
        QVERIFY(blocks::blockText(block, sizeof block).empty());
        // A copy without any NUL ends at its size.
        std::memset(block, 'x', sizeof block);
        QCOMPARE(blocks::blockText(block, 10).size(), std::size_t(10));
    }

    void deviceListRoundTrip()
    {
        unsigned char block[blocks::kCommandBlockSize];
        std::memset(block, 0x5A, sizeof block); // stale bytes of an earlier reply
        blocks::writeSelectedSerial(block, "M5EA0002XJ7B0002");
        std::vector<std::string> many;
        for (int i = 0; i < 80; ++i)
            many.push_back("SERIAL" + std::to_string(1000000000 + i));
        QCOMPARE(blocks::writeDeviceList(block, sizeof block, many), blocks::kMaxEntries);
        QCOMPARE(blocks::loadRequest(block), std::uint8_t(blocks::ReplyReady));
        const auto list = blocks::readDeviceList(block, sizeof block);
        QCOMPARE(list.size(), blocks::kMaxEntries);
        QCOMPARE(list.front(), many.front());
        QCOMPARE(list.back(), many[blocks::kMaxEntries - 1]);
        QCOMPARE(blocks::readSelectedSerial(block), std::string("M5EA0002XJ7B0002")); // left alone

        blocks::writeDeviceList(block, sizeof block, {"ABCDEFGHIJKLMNOPQRST", "SHORT"});
        QCOMPARE(blocks::readDeviceList(block, sizeof block), (std::vector<std::string>{"ABCDEFGHIJKLMNOP", "SHORT"}));
        // A reader of a shorter copy never runs past it, whatever the count says.
        QCOMPARE(blocks::writeDeviceList(block, 25 + 3 * 16, many), std::size_t(3));
        block[5] = 0xFF;
        QCOMPARE(blocks::readDeviceList(block, 25 + 2 * 16).size(), std::size_t(2));
        QVERIFY(blocks::readDeviceList(block, 10).empty());
    }

    void selectedSerialRejectsWhatCannotBeASerial()
    {
        unsigned char block[blocks::kCommandBlockSize] = {};
        blocks::writeSelectedSerial(block, "M5EA0002XJ7B0002EXTRA");
        QCOMPARE(blocks::readSelectedSerial(block), std::string("M5EA0002XJ7B0002"));
        blocks::writeSelectedSerial(block, "AB CD");
        QCOMPARE(blocks::readSelectedSerial(block), std::string());
        blocks::writeSelectedSerial(block, "\xc3\xb1");
        QCOMPARE(blocks::readSelectedSerial(block), std::string());
        blocks::writeSelectedSerial(block, "");
        QCOMPARE(blocks::readSelectedSerial(block), std::string());
    }
};

QTEST_APPLESS_MAIN(TestWireBlocks)
#include "tst_wire_blocks.moc"
