// Vehicle description files: the shipped ones load, a broken one is refused
// with a message that names the problem and where it is, and names resolve
// to the shipped folder.
#include "VehicleData.h"

#include <QtTest>

using namespace vehicle;

namespace {

// A small valid vehicle with `ecuExtra` added to its one ECU and `rootExtra`
// to the top level.
std::string vehicleText(const std::string& ecuExtra = std::string(), const std::string& rootExtra = std::string())
{
    return R"({"name": "t", "vin": "WBWHB71J7P5123456", )" + rootExtra + R"("ecus": [{"name": "engine", "pins": "6-14",
        "requestId": "0x7E0", "responseId": 2024)"
        + ecuExtra + "}]}";
}

} // namespace

class TestVehicleFile : public QObject {
    Q_OBJECT

private slots:
    void shippedVehiclesLoad()
    {
        const std::vector<std::string> names = shippedVehicles();
        QVERIFY(names.size() >= 2);
        QVERIFY(std::find(names.begin(), names.end(), "default") != names.end());
        for (const std::string& name : names) {
            std::string error;
            const std::string path = resolveVehicleFile(name, &error);
            QVERIFY2(!path.empty(), error.c_str());
            VehicleDescription description;
            QVERIFY2(loadVehicleFile(path, &description, &error), error.c_str());
            QVERIFY(validVin(description.vin));
            QVERIFY(description.ecus.size() >= 3);
            // Both buses carry ECUs.
            QVERIFY(std::any_of(
                description.ecus.begin(), description.ecus.end(), [](const EcuDescription& e) { return e.pins == 0; }));
            QVERIFY(std::any_of(
                description.ecus.begin(), description.ecus.end(), [](const EcuDescription& e) { return e.pins == 1; }));
        }
        VehicleDescription def;
        std::string error;
        QVERIFY(loadVehicleFile(resolveVehicleFile(std::string(), &error), &def, &error));
        QCOMPARE(QString::fromStdString(def.ecus[0].name), QStringLiteral("engine"));
        QCOMPARE(def.ecus[0].functionalId, 0x7DFu);
        QVERIFY(def.ecus[0].obd);

        // Unknown names and paths say where they looked.
        QVERIFY(resolveVehicleFile("no-such-car", &error).empty());
        QVERIFY2(
            error.find("no vehicle \"no-such-car\"") != std::string::npos && error.find("default") != std::string::npos,
            error.c_str());
        QVERIFY(resolveVehicleFile("/nonexistent/car.json", &error).empty());
        QVERIFY(!loadVehicleFile("/nonexistent/car.json", &def, &error));
        QVERIFY2(error.find("cannot be read") != std::string::npos, error.c_str());
    }

    void badFilesAreRefusedWithAReason_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not json") << QByteArray("{\"name\": ") << "not valid JSON: Line 1, Column 10: ";
        QTest::newRow("trailing") << QByteArray::fromStdString(vehicleText() + "x") << "not valid JSON";
        QTest::newRow("comment") << QByteArray::fromStdString("// car\n" + vehicleText()) << "not valid JSON";
        QTest::newRow("duplicate key") << QByteArray::fromStdString(vehicleText(R"(, "pins": "3-11")"))
                                       << "not valid JSON";
        QTest::newRow("deep") << QByteArray(200, '[') << "nested deeper than 8 levels";
        // Well-formed but nested deeper than any vehicle needs.
        QTest::newRow("deep valid") << QByteArray::fromStdString(
            vehicleText(R"(, "dids": {"0001": {"hex": [[[[[[[[[[1]]]]]]]]]]}})"))
                                    << "nested deeper than 8 levels";
        QTest::newRow("array root") << QByteArray("[]") << "one JSON object";
        QTest::newRow("too large") << QByteArray::fromStdString(vehicleText(", \"x\": \"" + std::string(300000, 'a')
            + "\"")) << "larger than 256 KiB";
        QTest::newRow("missing vin") << QByteArray(R"({"name": "t", "ecus": []})") << "\"vin\" is missing";
        QTest::newRow("bad vin") << QByteArray::fromStdString(vehicleText().replace(vehicleText().find("WBW"), 3,
            "IOQ")) << "vin: a VIN is 17";
        QTest::newRow("unknown key") << QByteArray::fromStdString(vehicleText(R"(, "colour": "red")"))
                                     << "ecus[0]: unknown key \"colour\"";
        QTest::newRow("no ecus") << QByteArray(R"({"name": "t", "vin": "WBWHB71J7P5123456", "ecus": []})")
                                 << "ecus: expected a non-empty array";
        QTest::newRow("id range") << QByteArray::fromStdString(vehicleText(R"(, "functionalId": "0x800")"))
                                  << "ecus[0].functionalId: out of range";
        QTest::newRow("id text") << QByteArray::fromStdString(vehicleText(R"(, "functionalId": "7DF")"))
                                 << "ecus[0].functionalId: not a number";
        QTest::newRow("id type") << QByteArray::fromStdString(vehicleText(R"(, "functionalId": true)"))
                                 << "ecus[0].functionalId: expected a number";
        QTest::newRow("stmin reserved") << QByteArray::fromStdString(vehicleText(R"(, "stMin": 128)"))
                                        << "ecus[0].stMin: must be";
        QTest::newRow("bitrate") << QByteArray::fromStdString(
            vehicleText("", R"("buses": {"6-14": {"bitrate": 2000000}}, )"))
                                 << "buses.6-14.bitrate: out of range";
        QTest::newRow("fd without rate") << QByteArray::fromStdString(vehicleText(R"(, "fd": true)"))
                                         << "ecus[0]: uses CAN FD";
        QTest::newRow("bad dtc") << QByteArray::fromStdString(vehicleText(R"(, "dtcs": [{"code": "P9301"}])"))
                                 << "ecus[0].dtcs[0].code: not a trouble code";
        QTest::newRow("dtc twice") << QByteArray::fromStdString(
            vehicleText(R"(, "dtcs": [{"code": "P0301"}, {"code": "P0301"}])"))
                                   << "listed twice";
        QTest::newRow("bad did") << QByteArray::fromStdString(vehicleText(R"(, "dids": {"F19": "x"})"))
                                 << "ecus[0].dids.F19: a data identifier";
        QTest::newRow("bad hex") << QByteArray::fromStdString(vehicleText(R"(, "dids": {"F1A0": {"hex": "0G"}})"))
                                 << "ecus[0].dids.F1A0.hex: expected pairs";
        QTest::newRow("control chars") << QByteArray::fromStdString(vehicleText(R"(, "partNumber": "a\u0001b")"))
                                       << "ecus[0].partNumber: only printable";
        QTest::newRow("same ids") << QByteArray(R"({"name": "t", "vin": "WBWHB71J7P5123456", "ecus": [
            {"name": "a", "pins": "6-14", "requestId": 1, "responseId": 2},
            {"name": "b", "pins": "6-14", "requestId": 2, "responseId": 3}]})")
                                  << "ecus[1]: shares an identifier with a";
        QTest::newRow("same name") << QByteArray(R"({"name": "t", "vin": "WBWHB71J7P5123456", "ecus": [
            {"name": "a", "pins": "6-14", "requestId": 1, "responseId": 2},
            {"name": "a", "pins": "3-11", "requestId": 1, "responseId": 2}]})")
                                   << "ecus[1].name: \"a\" is used twice";
        QTest::newRow("nul") << QByteArray::fromStdString(vehicleText()).replace("\"t\"", QByteArray("\"\0\"", 3))
                             << "name: only printable";
    }
    void badFilesAreRefusedWithAReason()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        VehicleDescription description;
        description.name = "untouched";
        std::string error;
        QVERIFY(!parseVehicle(text.toStdString(), &description, &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
        QCOMPARE(QString::fromStdString(description.name), QStringLiteral("untouched"));
    }

    void fieldsAreRead()
    {
        VehicleDescription description;
        std::string error;
        QVERIFY2(
            parseVehicle(vehicleText(R"(, "extended": false, "padValue": "0xAA", "stMin": "0xF3",
            "dtcs": [{"code": "U012187", "status": 9}], "dids": {"0102": {"hex": "0a 0B"}, "f1a0": "EU6"})",
                             R"("fuel": "diesel", "buses": {"3-11": {"bitrate": "250000", "dataBitrate": 2000000}}, )"),
                &description, &error),
            error.c_str());
        const EcuDescription& e = description.ecus[0];
        QCOMPARE(e.responseId, 2024u);
        QCOMPARE(int(e.padValue), 0xAA);
        QCOMPARE(int(e.stMin), 0xF3);
        QCOMPARE(e.dtcs[0].code, 0xC12187u);
        QCOMPARE(QString::fromStdString(formatDtcCode(e.dtcs[0].code)), QStringLiteral("U012187"));
        QCOMPARE(int(e.dtcs[0].status), 9);
        QVERIFY(e.dids.at(0x0102) == (Bytes{0x0A, 0x0B}));
        QVERIFY(e.dids.at(0xF1A0) == (Bytes{'E', 'U', '6'}));
        QVERIFY(description.diesel);
        QCOMPARE(description.rates[1].bitrate, 250000u);
        QCOMPARE(description.rates[1].dataBitrate, 2000000u);
        QCOMPARE(description.rates[0].bitrate, 500000u); // default
        std::uint32_t code = 0;
        QVERIFY(parseDtcCode("C0035", &code));
        QCOMPARE(code, 0x403500u);
        QCOMPARE(QString::fromStdString(formatDtcCode(code)), QStringLiteral("C0035"));
        QVERIFY(!parseDtcCode("P03", &code));
        QVERIFY(!parseDtcCode("X0301", &code));
    }
};

QTEST_GUILESS_MAIN(TestVehicleFile)
#include "tst_vehicle_file.moc"
