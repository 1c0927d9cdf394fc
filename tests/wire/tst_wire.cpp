// The shared wire formats. The blocks: what the service's writer puts into
// them is what the manager's reader takes out, and a hostile value cannot pose
// as another field. Firmware images as the manager, the upgraders and the
// adapter emulator all check them: type names per adapter, the marker check,
// the image layout with its length and checksum, and version comparison.
#include <blocks/CommandBlockLayout.h>
#include <blocks/StatusBlock.h>
#include <firmware/FirmwareImage.h>

#include <QtTest>

#include <cstring>

using blocks::StatusKey;
using firmware::Check;

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

class TestWire : public QObject {
    Q_OBJECT

    static std::vector<unsigned char> payload(std::size_t n)
    {
        std::vector<unsigned char> p(n);
        for (std::size_t i = 0; i < n; ++i)
            p[i] = static_cast<unsigned char>(i * 131 + 7);
        return p;
    }

    static std::vector<unsigned char> headerOnly(const char* text)
    {
        std::vector<unsigned char> h(firmware::kHeaderSize, 0);
        std::memcpy(h.data(), text, std::min(std::strlen(text), h.size()));
        return h;
    }

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

    void typeNamesFollowTheAdapter()
    {
        const firmware::TypeNames normal = firmware::firmwareTypeNames("MT7628 V2.0.1", "M5XX", true);
        QCOMPARE(QString::fromStdString(normal.system), QStringLiteral("KestrixMT7628_NEWFirmware"));
        QCOMPARE(QString::fromStdString(normal.application), QStringLiteral("KestrixMT7628_NEWApp"));
        QCOMPARE(QString::fromStdString(normal.can), QStringLiteral("M5093K_E508FirmWare"));
        QVERIFY(firmware::firmwareTypeNames("MT7628 V2.0.1", "M5WC", false).empty()); // not a key programmer
        QVERIFY(!firmware::firmwareTypeNames("boot V1.0", "M5WC", false).empty());    // boot loader of the family
        QVERIFY(firmware::firmwareTypeNames("boot V1.0", "M5WCX", true).empty());     // any other boot loader
        QVERIFY(!firmware::firmwareTypeNames("Boot V1.0", "M5XX", true).empty());     // "boot" is case-sensitive
    }

    void markerIsLookedForInTheFirst64Bytes_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("typeName");
        QTest::addColumn<bool>("valid");
        QTest::newRow("system") << QByteArray("HALVERN_SYS|V2|1|00000000") << "KestrixMT7628_NEWFirmware" << true;
        QTest::newRow("app marker for system") << QByteArray("HALVERN_APP|V2") << "KestrixMT7628_NEWFirmware" << false;
        QTest::newRow("each of three markers") << QByteArray("xx Orvane M37C") << "KestrixM5EFirmWare" << true;
        QTest::newRow("unknown type name") << QByteArray("HALVERN_SYS") << "NoSuchFirmware" << false;
        QTest::newRow("after a NUL") << QByteArray("abc\0HALVERN_SYS", 15) << "KestrixMT7628_NEWFirmware" << false;
        QTest::newRow("beyond 64 bytes") << QByteArray(60, 'x') + "HALVERN_SYS"
                                         << "KestrixMT7628_NEWFirmware" << false;
    }

    void markerIsLookedForInTheFirst64Bytes()
    {
        QFETCH(QByteArray, header);
        QFETCH(QString, typeName);
        QFETCH(bool, valid);
        std::vector<unsigned char> file(header.begin(), header.end());
        file.resize(std::max<std::size_t>(file.size(), 200), 0);
        QCOMPARE(firmware::headerHoldsMarker(file.data(), file.size(), typeName.toStdString()), valid);
    }

    void imagesRoundTripAndBadOnesAreRefused()
    {
        const std::vector<unsigned char> image = firmware::buildImage("kestrix_E508", "V3.4.5", payload(5000));
        QCOMPARE(image.size(), firmware::kHeaderSize + 5000);
        QCOMPARE(firmware::checkImage(image.data(), image.size(), "M5093K_E508FirmWare"), Check::Ok);
        QVERIFY(firmware::headerHoldsMarker(image.data(), image.size(), "M5093K_E508FirmWare"));
        const auto header = firmware::readHeader(image.data(), image.size());
        QVERIFY(header);
        QCOMPARE(QString::fromStdString(header->version), QStringLiteral("V3.4.5"));

        QCOMPARE(firmware::checkImage(image.data(), image.size(), "KestrixMT7628_NEWApp"), Check::WrongMarker);
        QCOMPARE(firmware::checkImage(image.data(), image.size() - 1, "M5093K_E508FirmWare"), Check::WrongLength);
        std::vector<unsigned char> longer = image;
        longer.push_back(0);
        QCOMPARE(firmware::checkImage(longer.data(), longer.size(), "M5093K_E508FirmWare"), Check::WrongLength);
        std::vector<unsigned char> damaged = image;
        damaged[firmware::kHeaderSize + 2500] ^= 0x01;
        QCOMPARE(firmware::checkImage(damaged.data(), damaged.size(), "M5093K_E508FirmWare"), Check::WrongChecksum);
        QCOMPARE(firmware::checkImage(image.data(), 10, "M5093K_E508FirmWare"), Check::TooShort);

        for (const char* bad :
            {"kestrix_E508|V1|5000", "kestrix_E508|V1|5000|0000000g", "kestrix_E508|V1|50x0|00000000",
                "kestrix_E508|V1|5000|00000000|extra", "|V1|5000|00000000", "kestrix_E508|V1|99999999999|00000000"}) {
            const std::vector<unsigned char> h = headerOnly(bad);
            QVERIFY2(!firmware::readHeader(h.data(), h.size()), bad);
        }
        const std::vector<unsigned char> full(firmware::kHeaderSize, 'A'); // no terminator
        QCOMPARE(firmware::checkImage(full.data(), full.size(), "M5093K_E508FirmWare"), Check::NoHeader);
        // Fields that would break the layout are refused when writing.
        QVERIFY(firmware::buildImage("kestrix|E508", "V1", payload(1)).empty());
        QVERIFY(firmware::buildImage("kestrix_E508", std::string(60, '1'), payload(1)).empty());
    }

    void checksumIsTheStandardCrc32()
    {
        const unsigned char digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
        QCOMPARE(firmware::crc32(digits, sizeof digits), 0xCBF43926u); // the published check value
        QCOMPARE(firmware::crc32(digits + 4, 5, firmware::crc32(digits, 4)), 0xCBF43926u);
    }

    void versionsCompareByNumber()
    {
        QCOMPARE(firmware::versionNumber("APP V1.2.3"), firmware::versionNumber("app v1.2.3"));
        QVERIFY(firmware::versionNumber("V1.2.3") != firmware::versionNumber("V1.2.4"));
        QVERIFY(firmware::versionNumber("V1.10.0") > firmware::versionNumber("V1.9.9"));
        QCOMPARE(firmware::versionNumber("MT7628 V2.0.1"), quint64(2000001));
        QCOMPARE(firmware::versionNumber("V1.2.3.4"), quint64(1002003004));
        QCOMPARE(firmware::versionNumber("vV9.1"), quint64(9001)); // after the last capital V
        QCOMPARE(firmware::versionNumber(""), quint64(0));
        QCOMPARE(firmware::versionNumber("V"), quint64(0));
    }
};

QTEST_APPLESS_MAIN(TestWire)
#include "tst_wire.moc"
