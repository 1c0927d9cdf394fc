// The way into diagnosis in the real main window, offscreen: the diagnosis
// button and its timer, the J2534 driver gate (to the drivers page without
// the driver, to the make tiles with it), the no-internet page, a tile that
// opens the diagnosis page with the component (the recording test double)
// inside it, a damaged component library refused with its message, and the
// make upgrade against the cloud emulator's file server.
#include "CloudEmulator.h"
#include "DiagnosisFolders.h"
#include "support/LoopbackServers.h"
#include "support/TestEnvironment.h"

#include "app/Kestrix.h"
#include "app/SysTrayIconWidget.h"
#include "diagnosis/DiagnosisController.h"
#include "diagnosis/QDiagCarModel.h"
#include "diagnosis/VersionFile.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverTable.h"
#include "kit/DialogSeam.h"
#include "kit/SettingsStore.h"
#include "kit/TMessageBox.h"

#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>

class TestDiagnosisGui : public QObject {
    Q_OBJECT

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<Kestrix> m_window;
    QPoint m_pos{40, 40};
    unsigned char m_showFlag = 0;
    std::atomic<bool> m_online{true}; // read by the internet check on its worker

    DiagnosisController* controller() const { return m_window->subsystem<DiagnosisController>(); }
    QStackedWidget* stack() const { return m_window->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack")); }
    QPushButton* entryButton() const { return m_window->findChild<QPushButton*>(QStringLiteral("Btn_Kestrix")); }
    QStringList dialogTexts() const
    {
        QStringList texts;
        for (const DialogSeam::Request& request : DialogSeam::requests())
            texts << request.text;
        return texts;
    }
    static bool registerPassThruDriver()
    {
        const DriverInfo* row = DriverTable::find(QStringLiteral("Kestrix_J2534"));
        if (!row)
            return false;
        VehicleDriver driver;
        driver.info = *row;
        return DriverRegistry::recordInstall(driver, QStringLiteral("/opt/j2534"), QStringLiteral("V1.0"));
    }
    // Presses the diagnosis button and waits until the timer has run the gate.
    void pressEntry()
    {
        QTest::mouseClick(entryButton(), Qt::LeftButton);
        QVERIFY(controller()->diagnosisTimer()->isActive());
        QTRY_VERIFY(!controller()->diagnosisTimer()->isActive());
    }

private slots:
    void initTestCase()
    {
        m_env = std::make_unique<TestEnvironment>();
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
    }

    void init()
    {
        DialogSeam::answerAlways(1);
        SysTrayIconWidget::setAvailabilityOverride(true);
        m_window = std::make_unique<Kestrix>(m_pos, &m_showFlag);
        QVERIFY(controller());
        controller()->setInternetProbe([this] { return m_online.load(); });
        // Version checks find no file server (a closed port answers at once).
        controller()->setFileServerBase(QStringLiteral("http://127.0.0.1:%1/").arg(closedLoopbackPort()));
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_online = true;
    }

    void cleanup()
    {
        m_window.reset();
        DialogSeam::clear();
        SysTrayIconWidget::setAvailabilityOverride(std::nullopt);
    }

    void withoutTheJ2534DriverTheGateLeadsToTheDriversPage()
    {
        QVERIFY(entryButton()->isVisible());
        QVERIFY(!entryButton()->geometry().intersects(
            m_window->findChild<QPushButton*>(QStringLiteral("Btn_Setting"))->geometry()));
        pressEntry();
        QCOMPARE(dialogTexts(), QStringList{QStringLiteral("No driver is detected:J2534.Plz download.")});
        QCOMPARE(stack()->currentIndex(), int(Pages::Drivers));

        // Declined: the technician stays where he was, and each press asks once.
        DialogSeam::clear();
        DialogSeam::answerAlways(0);
        m_window->showPage(Pages::Device);
        pressEntry();
        pressEntry();
        QCOMPARE(dialogTexts().size(), 2);
        QCOMPARE(stack()->currentIndex(), int(Pages::Device));
    }

    void withTheDriverTheTilesOpenAndATileOpensTheComponent()
    {
        QVERIFY(registerPassThruDriver());
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("Audi"))); // a make folder without its library
        controller()->setComponentFolder(dir.path());

        m_online = false;
        pressEntry();
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::KestrixNoNet));
        auto* noNet = stack()->widget(Pages::KestrixNoNet)->findChild<QLabel*>();
        QVERIFY(noNet);
        // Built into the page as it is shown: the layout shows it at the next turn of the event loop.
        QTRY_VERIFY(noNet->isVisible());
        QCOMPARE(noNet->text(), QStringLiteral("No internet connection, please \ncheck your network connection."));
        // The page speaks the interface language of when it opens.
        m_window->ClickButton_SwitchSpanish();
        pressEntry();
        QTRY_COMPARE(
            noNet->text(), QStringLiteral("No hay conexión a Internet, por favor \ncompruebe su conexión de red."));
        m_window->ClickButton_SwitchEnglish();
        m_window->showPage(Pages::Device);
        pressEntry();
        QTRY_COMPARE(noNet->text(), QStringLiteral("No internet connection, please \ncheck your network connection."));

        m_online = true;
        pressEntry();
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Kestrix));
        QVERIFY(DialogSeam::requests().isEmpty());
        const QList<QDiagCarModel*> tiles = controller()->tiles();
        QCOMPARE(tiles.size(), 2);
        QCOMPARE(tiles.at(0)->objectName(), QStringLiteral("CarModel_01"));
        QCOMPARE(tiles.at(0)->make(), QStringLiteral("Audi"));
        QCOMPARE(tiles.at(1)->make(), QStringLiteral("Bmw"));
        QCOMPARE(tiles.at(1)->cursor().shape(), Qt::PointingHandCursor);
        // Laid out as the page shows: visible from the next turn of the event loop.
        QTRY_VERIFY(tiles.at(1)->isVisible());

        QSignalSpy started(controller(), &DiagnosisController::componentStarted);
        QSignalSpy entered(controller(), &DiagnosisController::makeEntered);
        QTest::mouseClick(tiles.at(1), Qt::LeftButton);
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Diag));
        QCOMPARE(started.size(), 1);
        QTRY_COMPARE(entered.size(), 1);
        QCOMPARE(entered.at(0).at(1).toBool(), true);
        const diagnosis::ComponentFolder folder(dir.path());
        const QString calls = diagtest::recordedCalls(folder.library(diagnosis::kStdDispQt));
        QVERIFY2(calls.startsWith(QStringLiteral("SetLanguage(en)\n")), qPrintable(calls));
        QVERIFY(calls.contains(QStringLiteral("SetGloableWidget(widget)\nMakeStackWid()\nSetVeh(Bmw)\n")));
        QVERIFY(DialogSeam::requests().isEmpty());

        // The make without its library: the component opens, its entry is refused with the message.
        m_window->showPage(Pages::Kestrix);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(entered.size(), 2);
        QCOMPARE(entered.at(1).at(1).toBool(), false);
        QCOMPARE(dialogTexts(), QStringList{QStringLiteral("Load Diag.dll err!")});
        QCOMPARE(DialogSeam::requests().at(0).title, QStringLiteral("err"));
    }

    void aDamagedComponentLibraryIsRefusedWithItsMessage()
    {
        QVERIFY(registerPassThruDriver());
        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path()));
        const diagnosis::ComponentFolder folder(dir.path());
        QVERIFY(diagtest::writeBytes(folder.library(diagnosis::kStdComm),
            "\x7f"
            "ELF damaged on the way"));
        controller()->setComponentFolder(dir.path());
        pressEntry();
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Kestrix));
        QSignalSpy started(controller(), &DiagnosisController::componentStarted);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(dialogTexts(), QStringList{QStringLiteral("Load StdComm.dll err!")});
        QCOMPARE(stack()->currentIndex(), int(Pages::Kestrix));
        QCOMPARE(started.size(), 0);
    }

    void aNewerMakeIsOfferedAndUpgradedBeforeItLoads()
    {
        QVERIFY(registerPassThruDriver());
        QTemporaryDir served;
        QVERIFY(diagtest::makeComponent(served.path(), QStringLiteral("1.0.0")));
        CloudEmulator cloud;
        QVERIFY2(cloud.start(QString(), QString(), {QStringLiteral("--vehdiag"), served.path()}),
            qPrintable(cloud.lastError()));
        QVERIFY(cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{{QStringLiteral("folder"), QStringLiteral("Bmw")},
                {QStringLiteral("version"), QStringLiteral("1.1.0")}, {QStringLiteral("damaged"), true}}));

        QTemporaryDir dir;
        QVERIFY(diagtest::makeComponent(dir.path(), QStringLiteral("1.0.0")));
        const diagnosis::ComponentFolder folder(dir.path());
        const QString marker = folder.makeFolder(QStringLiteral("Bmw")) + QStringLiteral("/Data/ecus.txt");
        QVERIFY(diagtest::writeBytes(marker, "kept"));
        controller()->setComponentFolder(dir.path());
        controller()->setFileServerBase(cloud.httpHostBase() + QStringLiteral("files/"));
        diagnosis::UpdatePolicy policy;
        policy.versionPoll = std::chrono::milliseconds(50);
        policy.libraryPoll = std::chrono::milliseconds(20);
        controller()->setUpdatePolicy(policy);

        // Opening the tiles learns the newest version in the background.
        QSignalSpy checked(controller(), &DiagnosisController::versionsChecked);
        pressEntry();
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Kestrix));
        QTRY_COMPARE(checked.size(), 1);
        QCOMPARE(
            diagnosis::readVersionFile(folder.newestVersions()).value(QStringLiteral("Bmw")), QStringLiteral("1.1.0"));

        // A damaged download: "Download failed", the make folder as it was, the old library loads.
        QSignalSpy upgraded(controller(), &DiagnosisController::upgradeFinished);
        QSignalSpy entered(controller(), &DiagnosisController::makeEntered);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(upgraded.size(), 1);
        QCOMPARE(upgraded.at(0).at(1).toBool(), false);
        QCOMPARE(dialogTexts(), QStringList{QStringLiteral("New version detected. Whether to upgrade?")});
        QCOMPARE(m_window->toast()->textLabel()->text(), QStringLiteral("Download failed"));
        QVERIFY(QFileInfo::exists(marker));
        QTRY_COMPARE(entered.size(), 1);
        QCOMPARE(stack()->currentIndex(), int(Pages::Diag));

        // Declined: nothing is downloaded.
        DialogSeam::clear();
        DialogSeam::answerAlways(0);
        m_window->showPage(Pages::Kestrix);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Diag));
        QCOMPARE(upgraded.size(), 1);

        // A whole one: accepted, the folder holds the new library, no question the next time.
        QVERIFY(cloud.controlAt(QStringLiteral("vehdiag"),
            QJsonObject{{QStringLiteral("folder"), QStringLiteral("Bmw")}, {QStringLiteral("damaged"), false}}));
        DialogSeam::clear();
        DialogSeam::answerAlways(1);
        m_window->showPage(Pages::Kestrix);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(upgraded.size(), 2);
        QCOMPARE(upgraded.at(1).at(1).toBool(), true);
        QVERIFY(!QFileInfo::exists(marker));
        QCOMPARE(diagnosis::readVersionFile(folder.installedVersions()).value(QStringLiteral("Bmw")),
            QStringLiteral("1.1.0"));
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Diag));
        DialogSeam::clearRequests();
        m_window->showPage(Pages::Kestrix);
        QTest::mouseClick(controller()->tiles().at(0), Qt::LeftButton);
        QTRY_COMPARE(stack()->currentIndex(), int(Pages::Diag));
        QVERIFY(DialogSeam::requests().isEmpty());
    }
};

QTEST_MAIN(TestDiagnosisGui)
#include "tst_diagnosis_gui.moc"
