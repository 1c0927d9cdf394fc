// The manager with our built diagnosis component (build/bin/VehDiag, copied
// so the test changes nothing there): the gate passed, the "Bmw" tile loads
// every library through the checks, the component builds its pages inside
// the diagnosis page, and the make's entry runs; no refusal is shown.
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
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestDiagnosisComponent : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    QTemporaryDir m_copy;

    static bool copyFolder(const QString& from, const QString& to)
    {
        QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString target = to + file.mid(from.size());
            if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        QVERIFY(copyFolder(QStringLiteral(BW_VEHDIAG_DIR), m_copy.path()));
        const DriverInfo* row = DriverTable::find(QStringLiteral("Kestrix_J2534"));
        QVERIFY(row);
        VehicleDriver driver;
        driver.info = *row;
        QVERIFY(DriverRegistry::recordInstall(driver, QStringLiteral("/opt/j2534"), QStringLiteral("V1.0")));
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
        QVERIFY2(DialogSeam::requests().isEmpty(), qPrintable(DialogSeam::requests().value(0).text));

        window.reset();
        DialogSeam::clear();
        SysTrayIconWidget::setAvailabilityOverride(std::nullopt);
    }
};

QTEST_MAIN(TestDiagnosisComponent)
#include "tst_diagnosis_component.moc"
