// The built diagnosis component loaded by path the way the manager loads it
// (PubFunctional, StdComm, StdDispQt, then the make's Diag library on a
// worker), driving the adapter emulator's simulated vehicle through the
// registered J2534 library: the VIN and ECUs, a trouble code injected on the
// control port read with its text and cleared after a confirmation, live
// values with the plot, the routine with its progress, a silent ECU, Spanish
// texts, and the clear messages when the adapter or the library is missing.
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "vehdiag/Exports.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <thread>

namespace {

const char kVin[] = "WBWHB71J7P5123456";

QString tableText(QTableWidget* t, int row, int column)
{
    const QTableWidgetItem* item = t ? t->item(row, column) : nullptr;
    return item ? item->text() : QString();
}

// The row of `table` whose column `column` reads `text`; -1 when none.
int rowWith(QTableWidget* table, int column, const QString& text)
{
    for (int r = 0; table && r < table->rowCount(); ++r)
        if (tableText(table, r, column) == text)
            return r;
    return -1;
}

} // namespace

class TestVehDiagComponent : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    EmulatorProcess m_emulator;
    platform::Library m_pub, m_comm, m_disp, m_diag;
    VehDiagSetLanguage m_setLanguage = nullptr;
    VehDiagSetVehiclePath m_setPath = nullptr;
    VehDiagSetGloableWidget m_setWidget = nullptr;
    VehDiagMakeStackWid m_makeStack = nullptr;
    VehDiagSetVeh m_setVeh = nullptr;
    VehDiagDiagEntry m_diagEntry = nullptr;
    std::unique_ptr<QWidget> m_host;
    QString m_registration;

    template <typename T>
    T* child(const char* name) const
    {
        return m_host->findChild<T*>(QString::fromLatin1(name));
    }
    QString message() const
    {
        auto* l = child<QLabel>("Lab_DiagMessage");
        return l ? l->text() : QString();
    }
    void click(const char* name)
    {
        auto* b = child<QPushButton>(name);
        QVERIFY2(b, name);
        QTRY_VERIFY2(b->isEnabled(), name);
        b->click();
    }
    // The manager's order of calls on the GUI thread.
    void openComponent(const char* language, const QString& vehDiagFolder)
    {
        m_setLanguage(language);
        m_setPath(vehDiagFolder.toUtf8().constData());
        m_setWidget(m_host.get());
        m_makeStack();
        m_setVeh("Bmw");
    }
    void writeRegistration()
    {
        QFile reg(m_registration);
        QVERIFY(reg.open(QIODevice::WriteOnly));
        reg.write("{\n    \"Name\": \"Brindlewick J2534\",\n    \"FunctionLibrary\": \""
            + testBinary("BrindlewickJ2534.so").toUtf8() + "\"\n}\n");
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        QVERIFY2(m_emulator.start({}), qPrintable(m_emulator.errorText()));
        qputenv("BW_VEHDIAG_ADAPTER", "127.0.100.1:" + QByteArray::number(m_emulator.passthruPort()));
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
        QVERIFY(QDir().mkpath(config));
        m_registration = config + QStringLiteral("/brindlewick-j2534.json");
        writeRegistration();

        const std::string dll = BW_VEHDIAG_DIR "DLL/";
        const std::string suffix = platform::sharedLibrarySuffix();
        QVERIFY2(m_pub.load(dll + "PubFunctional" + suffix), m_pub.errorString().c_str());
        QVERIFY2(m_comm.load(dll + "StdComm" + suffix), m_comm.errorString().c_str());
        QVERIFY2(m_disp.load(dll + "StdDispQt" + suffix), m_disp.errorString().c_str());
        m_setLanguage = m_disp.resolveFunction<VehDiagSetLanguage>("SetLanguage");
        m_setPath = m_disp.resolveFunction<VehDiagSetVehiclePath>("SetVehiclePath");
        m_setWidget = m_disp.resolveFunction<VehDiagSetGloableWidget>("SetGloableWidget");
        m_makeStack = m_disp.resolveFunction<VehDiagMakeStackWid>("MakeStackWid");
        m_setVeh = m_disp.resolveFunction<VehDiagSetVeh>("SetVeh");
        QVERIFY(m_setLanguage && m_setPath && m_setWidget && m_makeStack && m_setVeh);
        m_host = std::make_unique<QWidget>();
        m_host->resize(902, 560);
        m_host->show();
        openComponent("en", QStringLiteral(BW_VEHDIAG_DIR));

        // The make library, on a worker as the manager runs it.
        QVERIFY2(m_diag.load(BW_VEHDIAG_DIR "Bmw/Diag" + suffix), m_diag.errorString().c_str());
        m_diagEntry = m_diag.resolveFunction<VehDiagDiagEntry>("DiagEntry");
        QVERIFY(m_diagEntry);
        int entry = -1;
        std::thread worker([&] { entry = m_diagEntry(BW_VEHDIAG_DIR "Bmw/"); });
        worker.join();
        QCOMPARE(entry, 0);
    }

    void cleanupTestCase()
    {
        m_host.reset(); // the component's pages go before its libraries
    }

    // The VIN and every ECU of both buses with part and software numbers.
    void identifiesTheVehicle()
    {
        auto* vin = child<QLabel>("Lab_DiagVin");
        QVERIFY(vin);
        QTRY_COMPARE_WITH_TIMEOUT(vin->text(), QStringLiteral("VIN: %1").arg(QLatin1String(kVin)), 15000);
        auto* ecus = child<QTableWidget>("Table_DiagEcus");
        QCOMPARE(ecus->rowCount(), 5);
        const int engine = rowWith(ecus, 0, QStringLiteral("Engine"));
        const int body = rowWith(ecus, 0, QStringLiteral("Body"));
        const int gateway = rowWith(ecus, 0, QStringLiteral("Gateway"));
        QVERIFY(engine >= 0 && body >= 0 && gateway >= 0);
        QCOMPARE(tableText(ecus, engine, 2), QStringLiteral("04E906027JT"));
        QCOMPARE(tableText(ecus, engine, 3), QStringLiteral("04E906027HN"));
        QCOMPARE(tableText(ecus, engine, 4), QStringLiteral("3"));
        QCOMPARE(tableText(ecus, body, 1), QStringLiteral("pins 3/11"));
        QCOMPARE(tableText(ecus, body, 3), QStringLiteral("5Q0937084CQS"));
        QCOMPARE(tableText(ecus, gateway, 2), QStringLiteral("5Q0907530AD"));
        QCOMPARE(message(), QStringLiteral("5 control units found."));
    }

    // A code injected on the control port appears with its status and text;
    // clearing asks first, and "Cancel" keeps the codes.
    void readsAndClearsAnInjectedCode()
    {
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 dtc body add B1318 0x2F")).left(2), QStringLiteral("OK"));
        click("Btn_DiagDtc");
        auto* dtcs = child<QTableWidget>("Table_DiagDtcs");
        QTRY_VERIFY_WITH_TIMEOUT(rowWith(dtcs, 1, QStringLiteral("B1318")) >= 0, 15000);
        const int row = rowWith(dtcs, 1, QStringLiteral("B1318"));
        QCOMPARE(tableText(dtcs, row, 0), QStringLiteral("Body"));
        QCOMPARE(tableText(dtcs, row, 2), QStringLiteral("confirmed, pending, failed now (0x2F)"));
        QCOMPARE(tableText(dtcs, row, 3), QStringLiteral("Battery voltage low"));
        const int misfire = rowWith(dtcs, 1, QStringLiteral("P0301"));
        QVERIFY(misfire >= 0);
        QCOMPARE(tableText(dtcs, misfire, 3), QStringLiteral("Cylinder 1 misfire detected"));
        QVERIFY(rowWith(dtcs, 1, QStringLiteral("U0140-00")) < 0);
        const int rows = dtcs->rowCount();
        QCOMPARE(rows, 8); // the default vehicle's seven and the new one

        auto* confirm = child<QFrame>("Frame_DiagClearConfirm");
        click("Btn_DiagClearDtc");
        QVERIFY(confirm->isVisible());
        click("Btn_DiagClearNo");
        QVERIFY(!confirm->isVisible());
        QTest::qWait(0);
        QCOMPARE(dtcs->rowCount(), rows);
        QVERIFY(m_emulator.command(QStringLiteral("vehicle 1 info")).contains(QStringLiteral("body(3-11, on, 3 DTC)")));

        click("Btn_DiagClearDtc");
        click("Btn_DiagClearYes");
        QTRY_COMPARE_WITH_TIMEOUT(message(), QStringLiteral("No fault codes are stored."), 15000);
        QCOMPARE(dtcs->rowCount(), 0);
        const QString info = m_emulator.command(QStringLiteral("vehicle 1 info"));
        QVERIFY2(info.contains(QStringLiteral("body(3-11, on, 0 DTC)"))
                && info.contains(QStringLiteral("engine(6-14, on, 0 DTC)")),
            qPrintable(info));
    }

    // Several values at once and the engine speed plotted.
    void liveValuesAndPlot()
    {
        click("Btn_DiagLive");
        auto* rpm = child<QLabel>("Lab_DiagLive_0C");
        auto* coolant = child<QLabel>("Lab_DiagLive_05");
        auto* voltage = child<QLabel>("Lab_DiagLive_42");
        QVERIFY(rpm && coolant && voltage);
        QTRY_VERIFY_WITH_TIMEOUT(rpm->text().endsWith(QStringLiteral(" rpm")), 10000);
        const double value = rpm->text().section(QLatin1Char(' '), 0, 0).toDouble();
        QVERIFY2(value > 700 && value < 3100, qPrintable(rpm->text()));
        QTRY_VERIFY(voltage->text().endsWith(QStringLiteral(" V")));
        QVERIFY2(QRegularExpression(QStringLiteral("^14\\.[0-9]{2} V$")).match(voltage->text()).hasMatch(),
            qPrintable(voltage->text())); // to 10 mV
        QVERIFY(coolant->text().endsWith(QStringLiteral("°C")));
        auto* plot = child<QWidget>("Plot_DiagLive");
        QVERIFY(plot);
        QTRY_VERIFY_WITH_TIMEOUT(plot->property("sampleCount").toInt() >= 5, 10000);
        // A fixed value reaches the page.
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 set engine rpm 2500")).left(2), QStringLiteral("OK"));
        QTRY_COMPARE_WITH_TIMEOUT(rpm->text(), QStringLiteral("2500 rpm"), 5000);
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 set engine rpm auto")).left(2), QStringLiteral("OK"));
        click("Btn_DiagIdent"); // leaving the page stops the polling
    }

    // The routine (extended session, security access, pending answers) with
    // its progress moving before the end.
    void routineWithProgress()
    {
        click("Btn_DiagRoutine");
        auto* bar = child<QProgressBar>("Bar_DiagRoutine");
        QSignalSpy progress(bar, &QProgressBar::valueChanged);
        click("Btn_DiagRunRoutine");
        auto* result = child<QLabel>("Lab_DiagRoutineResult");
        QTRY_VERIFY_WITH_TIMEOUT(!result->text().isEmpty(), 20000);
        QVERIFY2(
            result->text().startsWith(QStringLiteral("The routine finished. Result: 00 ")), qPrintable(result->text()));
        QCOMPARE(bar->value(), 100);
        bool between = false;
        for (const auto& args : progress)
            between = between || (args.at(0).toInt() > 5 && args.at(0).toInt() < 100);
        QVERIFY(between);
    }

    // An ECU off the bus is "not found"; the others still answer.
    void silentEcu()
    {
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu gateway off")).left(2), QStringLiteral("OK"));
        click("Btn_DiagIdent");
        click("Btn_DiagScan");
        auto* ecus = child<QTableWidget>("Table_DiagEcus");
        QTRY_COMPARE_WITH_TIMEOUT(message(), QStringLiteral("4 control units found."), 15000);
        QCOMPARE(tableText(ecus, rowWith(ecus, 0, QStringLiteral("Gateway")), 4), QStringLiteral("not found"));
        QCOMPARE(tableText(ecus, rowWith(ecus, 0, QStringLiteral("Body")), 3), QStringLiteral("5Q0937084CQS"));
        QCOMPARE(m_emulator.command(QStringLiteral("vehicle 1 ecu gateway on")).left(2), QStringLiteral("OK"));
    }

    // The manager's other language: the component's own Spanish catalogue.
    void spanishTexts()
    {
        openComponent("cn", QStringLiteral(BW_VEHDIAG_DIR));
        auto* ident = child<QPushButton>("Btn_DiagIdent");
        QVERIFY(ident);
        QCOMPARE(ident->text(), QStringLiteral("Identificación"));
        QCOMPARE(child<QPushButton>("Btn_DiagDtc")->text(), QStringLiteral("Códigos de avería"));
        QTRY_COMPARE_WITH_TIMEOUT(message(), QStringLiteral("5 unidades de control encontradas."), 15000);
        openComponent("en", QStringLiteral(BW_VEHDIAG_DIR));
        QCOMPARE(child<QPushButton>("Btn_DiagIdent")->text(), QStringLiteral("Identification"));
        QTRY_COMPARE_WITH_TIMEOUT(message(), QStringLiteral("5 control units found."), 15000);
    }

    // Unplugged: the work in progress ends with a clear message, as does the
    // next try; plugged again it works.
    void adapterUnplugged()
    {
        QCOMPARE(m_emulator.command(QStringLiteral("unplug 1")).left(2), QStringLiteral("OK"));
        click("Btn_DiagScan");
        QTRY_VERIFY2_WITH_TIMEOUT(message() == QStringLiteral("The connection to the adapter was lost.")
                || message() == QStringLiteral("The adapter is not connected."),
            qPrintable(message()), 15000);
        click("Btn_DiagScan");
        QTRY_COMPARE_WITH_TIMEOUT(message(), QStringLiteral("The adapter is not connected."), 15000);
        QCOMPARE(m_emulator.command(QStringLiteral("plug 1")).left(2), QStringLiteral("OK"));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                if (message() == QStringLiteral("5 control units found."))
                    return true;
                if (child<QPushButton>("Btn_DiagScan")->isEnabled())
                    child<QPushButton>("Btn_DiagScan")->click();
                return false;
            }(),
            20000);
    }

    // Without a registered J2534 library, and none beside the program.
    void libraryNotRegistered()
    {
        QVERIFY(QFile::remove(m_registration));
        QTemporaryDir elsewhere;
        QVERIFY(QDir().mkpath(elsewhere.path() + QStringLiteral("/VehDiag")));
        openComponent("en", elsewhere.path() + QStringLiteral("/VehDiag/"));
        QTRY_COMPARE_WITH_TIMEOUT(message(),
            QStringLiteral("No J2534 library is registered. Install the J2534 driver on the drivers page."), 10000);
        writeRegistration();
    }
};

QTEST_MAIN(TestVehDiagComponent)
#include "tst_vehdiag_component.moc"
