// Firmware images as the manager, the upgraders and the adapter emulator all
// check them: type names per adapter, the marker check, the image layout with
// its length and checksum, and version comparison.
#include <firmware/FirmwareImage.h>

#include <QtTest>

#include <cstring>

using firmware::Check;

class TestFirmwareImage : public QObject {
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

QTEST_APPLESS_MAIN(TestFirmwareImage)
#include "tst_wire_firmware.moc"
