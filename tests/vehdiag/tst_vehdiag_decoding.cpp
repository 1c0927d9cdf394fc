// The component's shared rules: what an ECU's answer is (positive, negative,
// pending, malformed), the records inside UDS and OBD-II answers, DTC names,
// and the DTC text table format with its bad lines.
#include "Pub.h"

#include <QtTest>

#include <cmath>

using namespace vehdiag;

Q_DECLARE_METATYPE(vehdiag::Bytes)
Q_DECLARE_METATYPE(vehdiag::AnswerKind)

namespace {

Answer positive(std::uint8_t service, Bytes b)
{
    b.insert(b.begin(), static_cast<std::uint8_t>(service + 0x40));
    return classify(service, b);
}

} // namespace

class TestVehDiagDecoding : public QObject {
    Q_OBJECT

private slots:
    void classifiesAnswers_data()
    {
        QTest::addColumn<int>("service");
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<AnswerKind>("kind");
        QTest::addColumn<int>("nrc");
        QTest::addColumn<int>("dataSize");
        QTest::newRow("positive") << 0x22 << Bytes{0x62, 0xF1, 0x90, 'W'} << AnswerKind::Positive << 0 << 3;
        QTest::newRow("positive, no data") << 0x3E << Bytes{0x7E} << AnswerKind::Positive << 0 << 0;
        QTest::newRow("negative") << 0x31 << Bytes{0x7F, 0x31, 0x33} << AnswerKind::Negative << 0x33 << 0;
        QTest::newRow("pending") << 0x31 << Bytes{0x7F, 0x31, 0x78} << AnswerKind::Pending << 0x78 << 0;
        QTest::newRow("negative of another service")
            << 0x22 << Bytes{0x7F, 0x19, 0x11} << AnswerKind::Malformed << 0 << 0;
        QTest::newRow("truncated negative") << 0x22 << Bytes{0x7F, 0x22} << AnswerKind::Malformed << 0 << 0;
        QTest::newRow("long negative") << 0x22 << Bytes{0x7F, 0x22, 0x31, 0} << AnswerKind::Malformed << 0 << 0;
        QTest::newRow("other service") << 0x22 << Bytes{0x59, 0x02} << AnswerKind::Malformed << 0 << 0;
        QTest::newRow("empty") << 0x22 << Bytes{} << AnswerKind::Malformed << 0 << 0;
        Bytes biggest(kMaxAnswer, 0x00);
        biggest[0] = 0x62;
        QTest::newRow("largest ISO-TP answer") << 0x22 << biggest << AnswerKind::Positive << 0 << int(kMaxAnswer - 1);
        Bytes oversize(kMaxAnswer + 1, 0x00);
        oversize[0] = 0x62;
        QTest::newRow("oversize") << 0x22 << oversize << AnswerKind::Malformed << 0 << 0;
    }
    void classifiesAnswers()
    {
        QFETCH(int, service);
        QFETCH(Bytes, bytes);
        const Answer a = classify(static_cast<std::uint8_t>(service), bytes);
        QTEST(a.kind, "kind");
        QTEST(int(a.nrc), "nrc");
        QTEST(int(a.data.size()), "dataSize");
    }

    // UDS records: identification texts, DTC lists and counts, each refusing
    // an answer of another identifier or sub-function and a cut one.
    void udsRecords()
    {
        const Answer part = positive(0x22, {0xF1, 0x87, '0', '4', 'E', ' ', 0x00, 0x00});
        QCOMPARE(QString::fromStdString(recordText(*didRecord(part, 0xF187))), QStringLiteral("04E"));
        QVERIFY(!didRecord(part, 0xF188));
        QVERIFY(!didRecord(positive(0x22, {0xF1}), 0xF187));
        QCOMPARE(QString::fromStdString(recordText({'A', 0x01, 'B'})), QStringLiteral("A?B"));

        const auto list = dtcList(positive(0x19, {0x02, 0xFF, 0x03, 0x01, 0x00, 0x2F, 0xD1, 0x40, 0x87, 0x08}));
        QVERIFY(list);
        QCOMPARE(list->size(), std::size_t(2));
        QCOMPARE(QString::fromStdString((*list)[0].code), QStringLiteral("P0301"));
        QCOMPARE(int((*list)[0].status), 0x2F);
        QCOMPARE(QString::fromStdString((*list)[1].code), QStringLiteral("U1140"));
        QCOMPARE(int((*list)[1].failureType), 0x87);
        QVERIFY(dtcList(positive(0x19, {0x02, 0xFF}))->empty());
        QVERIFY(!dtcList(positive(0x19, {0x02, 0xFF, 0x03, 0x01, 0x00}))); // cut record
        QVERIFY(!dtcList(positive(0x19, {0x01, 0xFF, 0x01, 0x00, 0x02}))); // a count, not a list
        QVERIFY(!dtcList(classify(0x19, {0x7F, 0x19, 0x31})));

        QCOMPARE(*dtcCount(positive(0x19, {0x01, 0xFF, 0x01, 0x01, 0x02})), 258u);
        QVERIFY(!dtcCount(positive(0x19, {0x01, 0xFF, 0x01, 0x01})));
    }

    // OBD-II: values of several PIDs in one answer, stored codes, the VIN.
    void obdRecords()
    {
        // 800 rpm, 0 km/h, 83 °C, 14.15 V.
        const auto v = obdValues(positive(0x01, {0x0C, 0x0C, 0x80, 0x0D, 0x00, 0x05, 0x7B, 0x42, 0x37, 0x46}));
        QVERIFY(v);
        QCOMPARE(v->at(0x0C), 800.0);
        QCOMPARE(v->at(0x0D), 0.0);
        QCOMPARE(v->at(0x05), 83.0);
        QCOMPARE(v->at(0x42), 14.15);
        QVERIFY(!obdValues(positive(0x01, {0x0C, 0x0C})));       // cut value
        QVERIFY(!obdValues(positive(0x01, {0x0D, 0x00, 0x99}))); // unknown PID: the rest cannot be framed
        QVERIFY(!obdValue(0x0C, nullptr, 0));
        QCOMPARE(QString::fromUtf8(obdUnit(0x05)), QStringLiteral("°C"));

        const auto codes = obdCodes(positive(0x03, {0x02, 0x03, 0x01, 0x01, 0x71}));
        QVERIFY(codes);
        QCOMPARE(codes->size(), std::size_t(2));
        QCOMPARE(QString::fromStdString(codes->at(1)), QStringLiteral("P0171"));
        QVERIFY(obdCodes(positive(0x03, {0x00}))->empty());
        QVERIFY(!obdCodes(positive(0x03, {0x02, 0x03, 0x01}))); // count says two

        Bytes vin{0x02, 0x01};
        for (char c : std::string("WBWHB71J7P5123456"))
            vin.push_back(static_cast<std::uint8_t>(c));
        QCOMPARE(QString::fromStdString(*obdVin(positive(0x09, vin))), QStringLiteral("WBWHB71J7P5123456"));
        vin.pop_back();
        QVERIFY(!obdVin(positive(0x09, vin)));
        vin.push_back('a');
        QVERIFY(!obdVin(positive(0x09, vin)));
    }

    void dtcNames()
    {
        const struct {
            const char* name;
            std::uint8_t hi, lo;
        } cases[] = {{"P0301", 0x03, 0x01}, {"C0035", 0x40, 0x35}, {"B1318", 0x93, 0x18}, {"U3FFF", 0xFF, 0xFF}};
        for (const auto& c : cases) {
            QCOMPARE(QString::fromStdString(dtcName(c.hi, c.lo)), QString::fromLatin1(c.name));
            std::uint8_t hi = 0, lo = 0;
            QVERIFY(dtcCode(c.name, &hi, &lo));
            QCOMPARE(int(hi), int(c.hi));
            QCOMPARE(int(lo), int(c.lo));
        }
        QCOMPARE(QString::fromStdString(dtcName(0xD1, 0x40, 0x87)), QStringLiteral("U1140-87"));
        std::uint8_t hi = 0, lo = 0;
        for (const char* bad : {"P4301", "X0301", "P030", "P03011", "P03G1", ""})
            QVERIFY2(!dtcCode(bad, &hi, &lo), bad);
    }

    // The table format: languages, comments, CR LF, a byte order mark; a bad
    // line is named and skipped while the good ones stay.
    void dtcTable()
    {
        DtcTable t;
        std::vector<std::string> problems;
        QVERIFY(t.parse("\xEF\xBB\xBF# texts\r\n"
                        "P0301 = Cylinder 1 misfire\r\n"
                        "\r\n"
                        "B1318=Battery low\n"
                        "P0301 no equals sign\n"
                        "Q0301 = not a code\n"
                        "P0420 =\n"
                        "[fr]\n"
                        "[es]\n"
                        "P0301 = Fallo de encendido en el cilindro 1\n"
                        "C0035 = Sensor \xC3\xA9\n"
                        "C0036 = bad \xC3\n"
                        "C0037 = control \x01 char\n",
            &problems));
        QCOMPARE(t.text("P0301", "en"), std::string("Cylinder 1 misfire"));
        QCOMPARE(t.text("P0301", "es"), std::string("Fallo de encendido en el cilindro 1"));
        QCOMPARE(t.text("B1318", "es"), std::string("Battery low")); // English when no Spanish
        QCOMPARE(t.text("C0035", "es"), std::string("Sensor \xC3\xA9"));
        QCOMPARE(t.text("C0035", "en"), std::string());
        QVERIFY(t.text("P0420", "en").empty());
        QVERIFY(t.text("C0036", "es").empty());
        QCOMPARE(t.size(), std::size_t(4));
        QStringList lines;
        for (const auto& p : problems)
            lines << QString::fromStdString(p).section(QLatin1Char(':'), 0, 0);
        QCOMPARE(lines,
            QStringList({QStringLiteral("line 5"), QStringLiteral("line 6"), QStringLiteral("line 7"),
                QStringLiteral("line 8"), QStringLiteral("line 12"), QStringLiteral("line 13")}));

        // Limits: an overlong line is skipped, an oversize table refused whole.
        problems.clear();
        QVERIFY(t.parse("P0301 = " + std::string(DtcTable::kMaxLine, 'x') + "\nP0302 = ok\n", &problems));
        QCOMPARE(t.size(), std::size_t(1));
        QCOMPARE(problems.size(), std::size_t(1));
        problems.clear();
        QVERIFY(!t.parse(std::string(DtcTable::kMaxBytes + 1, '#'), &problems));
        QCOMPARE(t.size(), std::size_t(0));
        QVERIFY(!problems.empty());
        QVERIFY(!t.load("/nonexistent/DtcText.txt", &problems));
    }

    // The Bmw make's shipped table reads without a problem.
    void shippedTableIsClean()
    {
        DtcTable t;
        std::vector<std::string> problems;
        QVERIFY(t.load(BW_VEHDIAG_SOURCE "/Bmw/DtcText.txt", &problems));
        QVERIFY2(problems.empty(), problems.empty() ? "" : problems.front().c_str());
        QVERIFY(!t.text("P0301", "es").empty());
        QVERIFY(!t.text("B1007", "en").empty());
    }
};

QTEST_GUILESS_MAIN(TestVehDiagDecoding)
#include "tst_vehdiag_decoding.moc"
