// The drivers page through its controller on the offscreen platform: the
// catalogue from the cloud emulator in all 24 rows, the "Local Driver"
// section when the server cannot be reached and "Retry", an install and an
// uninstall clicked through (without an adapter the enable step fails and
// the row shows "Disabled"), and local archives refused with a clear toast.
#include "../device/TestHost.h"
#include "CloudEmulator.h"
#include "support/TestEnvironment.h"

#include "app/kit/DialogSeam.h"
#include "device/AppShared.h"
#include "drivers/DriverItem.h"
#include "drivers/DriverView.h"
#include "drivers/DriversController.h"

#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

class TestDriversPage : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    CloudEmulator m_cloud;
    QTranslator m_translator;
    TestHost m_host;
    DriversController m_controller;
    QStringList m_toasts;

    DriverView* page() { return m_controller.page(); }
    bool reload()
    {
        QSignalSpy shown(&m_controller, &DriversController::listShown);
        emit AppShared::instance()->signal(DriversPageShown, QString());
        return !shown.isEmpty() || shown.wait(15000); // without an adapter it answers at once
    }
    bool finished(const std::function<void()>& click, QString* message = nullptr)
    {
        QSignalSpy done(&m_controller, &DriversController::operationFinished);
        click();
        if (!done.wait(30000))
            return false;
        if (message)
            *message = done.first().at(2).toString();
        return done.first().at(1).toBool();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(BW_TEST_QM_DIR "/drivers_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        QVERIFY2(m_cloud.start(), qPrintable(m_cloud.lastError()));
        m_controller.setApiBase(m_cloud.httpBase());
        m_controller.setAdapterProbe([] { return QStringLiteral("M5EA0001XJ7B0001"); });
        m_controller.attach(m_host);
        connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant& text) {
            if (code == ShowToast)
                m_toasts << text.toString();
        });
    }

    void catalogueFillsEveryRow()
    {
        QVERIFY(reload());
        QCOMPARE(page()->driverCount(), 24);
        QCOMPARE(page()->sectionTitle(), QStringLiteral("Available"));
        QCOMPARE(page()->localInstallButton()->text(), QStringLiteral("Install Local Driver"));
        QVERIFY(page()->retryButton()->isHidden());
        DriverItem* bmw = page()->item("Kestrix_BMW");
        QCOMPARE(bmw->actionButton()->text(), QStringLiteral("Install"));
        QVERIFY(!bmw->actionButton()->isHidden());
        QVERIFY2(bmw->subtitle().contains(QStringLiteral("Newest: V2.0.4")), qPrintable(bmw->subtitle()));
        // The served package's size as the catalogue announced it (it depends on the build).
        const qint64 size = m_controller.drivers().value("Kestrix_BMW").serverSize();
        QVERIFY(size > 0);
        QVERIFY2(page()->detail("Kestrix_BMW")->versionText().contains(drivers::formatSize(size)),
            qPrintable(page()->detail("Kestrix_BMW")->versionText()));
        // FORCE rides on TATA's package and shows its record.
        QCOMPARE(page()->item("Kestrix_FORCE")->subtitle(), page()->item("Kestrix_TATA")->subtitle());
    }

    void unreachableServerShowsLocalDrivers()
    {
        m_controller.setApiBase(QStringLiteral("http://127.0.0.1:1/"));
        QVERIFY(reload());
        QCOMPARE(page()->sectionTitle(), QStringLiteral("Local Driver"));
        QVERIFY(!page()->sectionText().isEmpty());
        QCOMPARE(page()->driverCount(), 0);
        QVERIFY(!page()->retryButton()->isHidden());
        m_controller.setApiBase(m_cloud.httpBase());
        QSignalSpy shown(&m_controller, &DriversController::listShown);
        page()->retryButton()->click();
        QVERIFY(shown.wait(15000));
        QCOMPARE(shown.first().first().toBool(), true);
        QCOMPARE(page()->driverCount(), 24);
    }

    void withoutAnAdapterOnlyInstalledDriversShow()
    {
        QSignalSpy bus(AppShared::instance(), &AppShared::signal);
        m_controller.setAdapterProbe([] { return QString(); });
        QVERIFY(reload());
        m_controller.setAdapterProbe([] { return QStringLiteral("M5EA0001XJ7B0001"); });
        QCOMPARE(page()->sectionTitle(), QStringLiteral("Local Driver"));
        QCOMPARE(page()->driverCount(), 0); // nothing installed yet
        bool announced = false;
        for (const QList<QVariant>& call : bus)
            announced = announced || call.at(0).value<SharedSignal>() == DriversLocalOnly;
        QVERIFY(announced);
        QVERIFY(reload());
        QCOMPARE(page()->driverCount(), 24);
    }

    // No adapter is connected: the package installs, enabling it fails.
    void installAndUninstallThroughTheRows()
    {
        QString message;
        QVERIFY(finished([this] { page()->item("Kestrix_NISSAN")->actionButton()->click(); }, &message));
        QCOMPARE(message, QStringLiteral("Enable driver failed, please install the original software first"));
        QCOMPARE(m_toasts.last(), message);
        DriverItem* row = page()->item("Kestrix_NISSAN");
        QCOMPARE(row->statusLabel()->text(), QStringLiteral("Disabled"));
        QVERIFY(row->progressBar()->isHidden());
        QVERIFY(m_controller.drivers().value("Kestrix_NISSAN").installed());
        QVERIFY(!page()->detail("Kestrix_NISSAN")->uninstallButton()->isHidden());

        DialogSeam::answerAlways(1);
        QVERIFY(finished([this] { page()->detail("Kestrix_NISSAN")->uninstallButton()->click(); }));
        QCOMPARE(DialogSeam::requests().first().text, QStringLiteral("Confirm to uninstall NISSAN driver?"));
        DialogSeam::clear();
        QCOMPARE(page()->item("Kestrix_NISSAN")->actionButton()->text(), QStringLiteral("Install"));
        QVERIFY(!m_controller.drivers().value("Kestrix_NISSAN").installed());
        QCOMPARE(m_controller.pendingOperations(), 0);
    }

    void localArchivesAreChecked()
    {
        QTemporaryDir dir;
        m_controller.setArchiveChooser([&] { return dir.filePath("readme.zip"); });
        page()->localInstallButton()->click();
        QCOMPARE(m_toasts.last(), QStringLiteral("Unsupported file"));

        // A zip whose entry is a link: refused by the unpacker, BMW stays uninstalled.
        QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), dir.filePath("passwd")));
        const QString zip = dir.filePath("BMW_V9.zip");
        QCOMPARE(QProcess::execute(QStringLiteral("7za"),
                     {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-snl"), QStringLiteral("-bso0"),
                         zip, dir.filePath("passwd")}),
            0);
        m_controller.setArchiveChooser([&] { return zip; });
        QString message;
        QVERIFY(!finished([this] { page()->localInstallButton()->click(); }, &message));
        QVERIFY2(message.startsWith(QStringLiteral("The archive holds a link")), qPrintable(message));
        QCOMPARE(page()->item("Kestrix_BMW")->actionButton()->text(), QStringLiteral("Install"));
        QVERIFY(!m_controller.drivers().value("Kestrix_BMW").installed());
    }
};

QTEST_MAIN(TestDriversPage)
#include "tst_drivers_page.moc"
