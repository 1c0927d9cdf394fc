// The manager with our built diagnosis component (build/bin/VehDiag, copied
// so the test changes nothing there) and the adapter emulator's simulated
// vehicle behind the registered J2534 library: the gate passed, the "Bmw"
// tile loads every library through the checks, the component builds its
// pages inside the diagnosis page, the make's entry runs, and the component
// shows the vehicle's VIN; no refusal is shown.
#include "support/AdapterProcesses.h"
#include "support/LoopbackServers.h"
#include "support/TestEnvironment.h"

#include "app/Kestrix.h"
#include "app/SysTrayIconWidget.h"
#include "diagnosis/DiagnosisController.h"
#include "diagnosis/QDiagCarModel.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverTable.h"
#include "kit/DialogSeam.h"
#include "kit/SettingsStore.h"

#include <QDirIterator>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestDiagnosisComponent : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    EmulatorProcess m_emulator;
    QTemporaryDir m_copy;

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        QVERIFY(copyTree(QStringLiteral(BW_VEHDIAG_DIR), m_copy.path()));
        const DriverInfo* row = DriverTable::find(QStringLiteral("Kestrix_J2534"));
        QVERIFY(row);
        VehicleDriver driver;
        driver.info = *row;
        QVERIFY(DriverRegistry::recordInstall(driver, QStringLiteral("/opt/j2534"), QStringLiteral("V1.0")));

        // The adapter and the J2534 library the component finds, as any J2534 application would.
        QVERIFY2(m_emulator.start({}), qPrintable(m_emulator.errorText()));
        qputenv("BW_VEHDIAG_ADAPTER", "127.0.100.1:" + QByteArray::number(m_emulator.passthruPort()));
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
        QVERIFY(QDir().mkpath(config));
        QFile registration(config + QStringLiteral("/brindlewick-j2534.json"));
        QVERIFY(registration.open(QIODevice::WriteOnly));
        registration.write("{\n    \"Name\": \"Brindlewick J2534\",\n    \"FunctionLibrary\": \""
            + testBinary("BrindlewickJ2534.so").toUtf8() + "\"\n}\n");
    }

    void theBmwTileOpensTheBuiltComponent()
    {
        DialogSeam::answerAlways(1);
        SysTrayIconWidget::setAvailabilityOverride(true);
        QPoint pos(40, 40);
        unsigned char showFlag = 0;
        auto window = std::make_unique<Kestrix>(pos, &showFlag);
        auto* controller = window->subsystem<DiagnosisController>();
        QVERIFY(controller);
        controller->setComponentFolder(m_copy.path());
        controller->setInternetProbe([] { return true; });
        controller->setFileServerBase(QStringLiteral("http://127.0.0.1:%1/").arg(closedLoopbackPort()));
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* stack = window->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack"));

        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("Btn_Kestrix")), Qt::LeftButton);
        QTRY_COMPARE(stack->currentIndex(), int(Pages::Kestrix));
        QDiagCarModel* bmw = nullptr;
        for (QDiagCarModel* tile : controller->tiles()) {
            if (tile->make() == QLatin1String("Bmw"))
                bmw = tile;
        }
        QVERIFY(bmw);
        QSignalSpy entered(controller, &DiagnosisController::makeEntered);
        QTest::mouseClick(bmw, Qt::LeftButton);
        QTRY_COMPARE(stack->currentIndex(), int(Pages::Diag));
        QVERIFY(!stack->widget(Pages::Diag)->findChildren<QWidget*>().isEmpty());
        QTRY_COMPARE(entered.size(), 1);
        QCOMPARE(entered.at(0).at(1).toBool(), true);
        auto* vin = stack->widget(Pages::Diag)->findChild<QLabel*>(QStringLiteral("Lab_DiagVin"));
        QVERIFY(vin);
        QTRY_COMPARE_WITH_TIMEOUT(vin->text(), QStringLiteral("VIN: WBWHB71J7P5123456"), 15000);
        QVERIFY2(DialogSeam::requests().isEmpty(), qPrintable(DialogSeam::requests().value(0).text));

        window.reset();
        DialogSeam::clear();
        SysTrayIconWidget::setAvailabilityOverride(std::nullopt);
    }
};

QTEST_MAIN(TestDiagnosisComponent)
#include "tst_diagnosis_component.moc"
