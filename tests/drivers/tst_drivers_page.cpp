// The drivers page through its controller on the offscreen platform: the
// catalogue from the cloud emulator in all 24 rows with their make pictures,
// the "Local Driver" section when the server cannot be reached and "Retry",
// the list following the adapter as it comes and goes, an install and an
// uninstall clicked through (without an adapter the enable step fails and
// the row shows "Disabled"), the confirm texts without a catalogue, the
// keyboard (focus frame on the row buttons, Enter and Escape in the confirm
// dialog), and local archives refused with a clear toast.
#include "../device/TestHost.h"
#include "CloudEmulator.h"
#include "support/TestEnvironment.h"

#include "device/AppShared.h"
#include "drivers/DriverItem.h"
#include "drivers/DriverTable.h"
#include "drivers/DriverView.h"
#include "drivers/DriversController.h"
#include "kit/Accessibility.h"
#include "kit/DialogSeam.h"
#include "kit/Pictures.h"

#include <QDialog>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTranslator>
#include <QtTest>

namespace {

// Presses `key` in the modal dialog as soon as one is up, where the keyboard
// user is (the dialog's focus). A dialog that has not closed a few seconds
// later is rejected so that the test fails instead of hanging.
void pressInModal(Qt::Key key)
{
    auto* poll = new QTimer;
    auto* ticks = new int(0);
    QObject::connect(poll, &QTimer::timeout, [poll, ticks, key] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && *ticks >= 0) {
            QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, key);
            *ticks = -1;
            return;
        }
        if (*ticks < 0 && !modal) {
            poll->deleteLater();
            delete ticks;
            return;
        }
        if (qAbs(*ticks) > 500) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            poll->deleteLater();
            delete ticks;
            return;
        }
        *ticks += *ticks < 0 ? -1 : 1;
    });
    poll->start(10);
}

bool showsFocusFrame(const QPushButton* button)
{
    const QString sheet = button->styleSheet();
    const int frame = sheet.lastIndexOf(
        QStringLiteral("QPushButton:focus{border:2px solid %1;}").arg(QLatin1String(Accessibility::kFocusColour)));
    // Last, so that none of the button's own rules covers it.
    return frame >= 0 && sheet.indexOf(QLatin1Char('{'), sheet.indexOf(QLatin1Char('}'), frame)) < 0;
}

} // namespace

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

    // Every row shows its make's own picture, not a drawn stand-in; both
    // pictures of the table exist for every row, and no two makes share one.
    void everyRowShowsItsMakePicture()
    {
        QVERIFY(reload());
        QSet<QByteArray> seen;
        const auto& rows = DriverTable::rows();
        for (auto it = rows.constBegin(); it != rows.constEnd(); ++it) {
            for (const QString& path : {it->chineseImage, it->englishImage}) {
                const QImage picture = loadPicture(path).toImage();
                QVERIFY2(!picture.isNull(), qPrintable(path + QStringLiteral(" is missing")));
                QCOMPARE(picture.size(), QSize(80, 80));
            }
            const QImage picture = loadPicture(it->englishImage).toImage().convertToFormat(QImage::Format_ARGB32);
            const QByteArray pixels(reinterpret_cast<const char*>(picture.constBits()), int(picture.sizeInBytes()));
            QVERIFY2(!seen.contains(pixels), qPrintable(it->englishImage + QStringLiteral(" repeats another make's")));
            seen.insert(pixels);

            const QPixmap logo = page()->item(it.key())->logo()->pixmap(Qt::ReturnByValue);
            QVERIFY(!logo.isNull());
            const QSize shown = QSize(40, 40) * logo.devicePixelRatio();
            const QImage expected
                = loadPicture(it->englishImage).scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation).toImage();
            QCOMPARE(logo.toImage().convertToFormat(expected.format()), expected);
        }
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

    // The page follows the adapter: unplugged, it lists the installed
    // drivers and says so on the bus (code 10); plugged in, the catalogue.
    void listFollowsTheAdapter()
    {
        QVERIFY(reload());
        QCOMPARE(page()->driverCount(), 24);
        QSignalSpy bus(AppShared::instance(), &AppShared::signal);
        QSignalSpy shown(&m_controller, &DriversController::listShown);
        QString serial;
        m_controller.setAdapterProbe([&serial] { return serial; });
        emit AppShared::instance()->signal(SerialChanged, QVariant::fromValue(DeviceInfo()));
        QCOMPARE(shown.size(), 1); // the registry alone: at once
        QCOMPARE(shown.first().first().toBool(), false);
        QCOMPARE(page()->sectionTitle(), QStringLiteral("Local Driver"));
        int announcements = 0;
        for (const QList<QVariant>& call : bus)
            announcements += call.at(0).value<SharedSignal>() == DriversLocalOnly ? 1 : 0;
        QCOMPARE(announcements, 1);

        // Another status read of the same (absent) adapter changes nothing.
        emit AppShared::instance()->signal(SerialChanged, QVariant::fromValue(DeviceInfo()));
        QCOMPARE(shown.size(), 1);

        serial = QStringLiteral("M5EA0001XJ7B0001");
        emit AppShared::instance()->signal(SerialChanged, QVariant::fromValue(DeviceInfo()));
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 2, 15000);
        QCOMPARE(shown.last().first().toBool(), true);
        QCOMPARE(page()->driverCount(), 24);
        m_controller.setAdapterProbe([] { return QStringLiteral("M5EA0001XJ7B0001"); });
    }

    // Without a catalogue the confirm questions still read right and carry
    // the driver's name, with no QString::arg warning.
    void confirmTextsWithoutACatalogue()
    {
        QCoreApplication::removeTranslator(&m_translator);
        static QStringList warnings;
        warnings.clear();
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (type == QtWarningMsg)
                warnings << text;
            if (previous)
                previous(type, context, text);
        });
        DialogSeam::answerAlways(0);
        m_controller.uninstallDriver(QStringLiteral("Kestrix_BMW"));
        m_controller.enableDriver(QStringLiteral("Kestrix_GM"), false);
        const QList<DialogSeam::Request> asked = DialogSeam::requests();
        DialogSeam::clear();
        qInstallMessageHandler(previous);
        QCoreApplication::installTranslator(&m_translator);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.at(0).text, QStringLiteral("Confirm to uninstall BMW driver?"));
        QCOMPARE(asked.at(1).text, QStringLiteral("Confirm to disable GM driver?"));
        QVERIFY2(warnings.filter(QStringLiteral("QString::arg")).isEmpty(), qPrintable(warnings.join(u'\n')));
        QCOMPARE(m_controller.pendingOperations(), 0);
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

    // Every row button keeps its focus frame through its state changes, and
    // the confirm dialog answers Escape (nothing happens) and Enter (it runs).
    void keyboardUsersSeeTheFocusAndAnswerTheConfirm()
    {
        DriverItem* row = page()->item("Kestrix_NISSAN");
        DriverDetail* detail = page()->detail("Kestrix_NISSAN");
        QVERIFY(row && detail);
        QVERIFY2(showsFocusFrame(row->actionButton()), qPrintable(row->actionButton()->styleSheet()));
        QVERIFY(showsFocusFrame(detail->enableButton()));
        QVERIFY(showsFocusFrame(detail->uninstallButton()));
        QVERIFY(showsFocusFrame(page()->retryButton()));
        QVERIFY(showsFocusFrame(page()->localInstallButton()));
        QVERIFY(reload()); // the rows set their style sheets again
        row = page()->item("Kestrix_NISSAN");
        QVERIFY(row && showsFocusFrame(row->actionButton()));
        QVERIFY(showsFocusFrame(page()->detail("Kestrix_NISSAN")->enableButton()));

        QVERIFY(!DialogSeam::active());
        pressInModal(Qt::Key_Escape);
        m_controller.enableDriver(QStringLiteral("Kestrix_NISSAN"), false);
        QCOMPARE(m_controller.pendingOperations(), 0);

        QSignalSpy done(&m_controller, &DriversController::operationFinished);
        pressInModal(Qt::Key_Return);
        m_controller.enableDriver(QStringLiteral("Kestrix_NISSAN"), false);
        QCOMPARE(m_controller.pendingOperations(), 1);
        QVERIFY(done.wait(30000));
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
