// The settings page through its controller on a stand-in window: the rows,
// every switch changing the real state of a private machine, the
// page opened again and again, the language question, the ENET switch with
// an adapter that answers and one that does not, the bus codes, the back
// buttons of other pages and the support file with its progress.
#include "SettingsTestEnv.h"

#include "../device/TestHost.h"

#include "settings/EnetControl.h"
#include "settings/SettingsController.h"
#include "settings/SettingsView.h"

#include "device/AppShared.h"
#include "kit/DialogSeam.h"
#include "kit/SettingsStore.h"
#include "kit/Switch.h"

#include "MT7628Config.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

DeviceInfo adapter(const QString& serial, const QString& ip = QStringLiteral("169.254.100.1"))
{
    DeviceInfo info;
    info.SN = serial;
    info.vciIP = ip;
    return info;
}

void click(Switch* control)
{
    QTest::mouseClick(control, Qt::LeftButton, Qt::NoModifier, control->rect().center());
}

void clickRow(SettingsView* view, int row)
{
    QListWidget* list = view->list();
    emit list->itemClicked(list->item(row));
}

// True when the label shows a picture with at least one drawn pixel.
bool drawsSomething(const QLabel* label)
{
    if (!label)
        return false;
    const QImage image = label->pixmap(Qt::ReturnByValue).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

QLabel* rowLabel(SettingsView* view, int row, const char* name)
{
    return view->rowWidget(row)->findChild<QLabel*>(QLatin1String(name));
}

} // namespace

class TestSettingsPage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsTestEnv> env;
    MT7628Config config;
    std::unique_ptr<TestHost> host;
    std::unique_ptr<SettingsController> controller;
    // The fake adapter behind the ENET calls.
    std::atomic<bool> adapterEnet{false};
    std::atomic<int> enetWrites{0};
    std::atomic<bool> adapterHangs{false};
    std::mutex hangMutex;
    std::condition_variable hangCv;
    bool released = false;
    int exitCode = 0;

    SettingsView* openPage()
    {
        controller->showSettings();
        return controller->page();
    }

    void releaseHang()
    {
        std::lock_guard<std::mutex> lock(hangMutex);
        released = true;
        hangCv.notify_all();
    }

private slots:
    void init()
    {
        env = std::make_unique<SettingsTestEnv>();
        SettingsStore::instance().setLanguage(QStringLiteral("es"));
        host = std::make_unique<TestHost>();
        controller = std::make_unique<SettingsController>(config);
        controller->attach(*host);
        exitCode = 0;
        adapterEnet = false;
        enetWrites = 0;
        adapterHangs = false;
        released = false;
        // No adapter talks on these calls; the fake answers as the tests say.
        auto* fakeEnet = new EnetControl([this](const std::string&) { return adapterEnet.load(); },
            [this](const std::string&, bool on) {
                if (adapterHangs) {
                    std::unique_lock<std::mutex> lock(hangMutex);
                    hangCv.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
                    return false;
                }
                ++enetWrites;
                adapterEnet = on;
                return true;
            },
            controller.get());
        fakeEnet->setBoundMs(400);
        SettingsView* view = openPage();
        QVERIFY(view);
        view->setEnetControl(fakeEnet);
        view->setExitAction([this](int code) { exitCode = code; });
    }

    void cleanup()
    {
        releaseHang();
        DialogSeam::clear();
        controller->stop();
        controller.reset();
        host.reset();
        env.reset();
    }

    void pageIsBuiltOnFirstShowWithTheRowsLaidOut()
    {
        QCOMPARE(host->currentPage(), SettingsController::kSettingsPageIndex);
        SettingsView* view = controller->page();
        QCOMPARE(view->parentWidget(), host->pageHost(SettingsController::kSettingsPageIndex));
        // Item rows carry the named parts; section rows do not click.
        for (int row : {1, 3, 4, 5, 6, 7, 8}) {
            QVERIFY2(drawsSomething(rowLabel(view, row, "image")), qPrintable(QString::number(row)));
            QVERIFY(!rowLabel(view, row, "title")->text().isEmpty());
            QVERIFY(!rowLabel(view, row, "subTitle")->text().isEmpty());
        }
        for (int row : {0, 2})
            QVERIFY(!(view->list()->item(row)->flags() & Qt::ItemIsEnabled));
        QCOMPARE(view->rowWidget(3)->findChild<Switch*>(), view->systemLogSwitch());
        QCOMPARE(view->rowWidget(4)->findChild<Switch*>(), view->autostartSwitch());
        QCOMPARE(view->rowWidget(6)->findChild<QComboBox*>(), view->languageCombo());
        QCOMPARE(view->rowWidget(7)->findChild<Switch*>(), view->enetSwitch());
        QVERIFY(view->updateTag()->isHidden());
        // Without an adapter the ENET switch is hidden.
        QVERIFY(view->enetSwitch()->isHidden());
    }

    // What enable and disable do with folders and links is checked in
    // tst_settings_rules; here the switch applies them.
    void systemLogSwitchAppliesTheFolders()
    {
        SettingsView* view = controller->page();
        Switch* log = view->systemLogSwitch();
        QVERIFY(!log->state());
        const QString links = env->desktop() + QStringLiteral("/BrindlewickLogs");
        click(log);
        QVERIFY(log->state());
        QVERIFY(QFileInfo(env->data() + QStringLiteral("/passThru4log")).isDir());
        QVERIFY(QFileInfo(links + QStringLiteral("/passThru4log.lnk")).isSymLink());
        click(log);
        QVERIFY(!log->state());
        QVERIFY(!QFileInfo::exists(links));
        QVERIFY(!QFileInfo::exists(env->data() + QStringLiteral("/passThru4log")));
    }

    void refreshShowsTheMachineAndRunsTheHandlerForWhatItMoves()
    {
        SettingsView* view = controller->page();
        // RemoteDiag alone: off.
        QVERIFY(QDir().mkpath(env->data() + QStringLiteral("/RemoteDiag")));
        openPage();
        QVERIFY(!view->systemLogSwitch()->state());
        // A driver made one counted folder: on, and the switch's handler
        // completes the other folders and the links.
        QVERIFY(QDir().mkpath(env->data() + QStringLiteral("/passThru5log")));
        openPage();
        QVERIFY(view->systemLogSwitch()->state());
        QVERIFY(QFileInfo(env->data() + QStringLiteral("/PDULogger")).isDir());
        QVERIFY(QFileInfo(env->desktop() + QStringLiteral("/BrindlewickLogs/passThru4log.lnk")).isSymLink());
        // Autostart written elsewhere shows as on.
        QVERIFY(!view->autostartSwitch()->state());
        QVERIFY(writeAutostartEntry("/opt/Brindlewick -z"));
        openPage();
        QVERIFY(view->autostartSwitch()->state());
    }

    void openingThePageAHundredTimesChangesNothing()
    {
        SettingsView* view = controller->page();
        click(view->systemLogSwitch());
        click(view->autostartSwitch());
        QFile trace(env->data() + QStringLiteral("/passThru4log/today.log"));
        QVERIFY(trace.open(QIODevice::WriteOnly));
        trace.write("line\n");
        trace.close();
        const QStringList before = env->snapshot();
        const std::string entry = readAutostartEntry();
        QCOMPARE(entry, autostartCommandLine());
        for (int i = 0; i < 100; ++i)
            openPage();
        QCOMPARE(env->snapshot(), before);
        QCOMPARE(readAutostartEntry(), entry);
        QVERIFY(view->systemLogSwitch()->state());
        QVERIFY(view->autostartSwitch()->state());
        QCOMPARE(view->languageCombo()->currentIndex(), 0);
        QCOMPARE(host->currentPage(), SettingsController::kSettingsPageIndex);

        click(view->autostartSwitch());
        QVERIFY(readAutostartEntry().empty());
        openPage();
        QVERIFY(!view->autostartSwitch()->state());
    }

    void languageAsksOnlyWhenLeavingTheFirstLanguage()
    {
        SettingsView* view = controller->page();
        QCOMPARE(view->initialLanguageIndex, 0);
        DialogSeam::answerAlways(0);
        QComboBox* combo = view->languageCombo();
        combo->setCurrentIndex(1);
        QCOMPARE(SettingsStore::instance().language(), QStringLiteral("en"));
        QCOMPARE(DialogSeam::requests().size(), 1);
        const DialogSeam::Request asked = DialogSeam::requests().at(0);
        QCOMPARE(asked.title, QStringLiteral("Hint"));
        QCOMPARE(asked.text, QStringLiteral("LanguageChangedHint"));
        QCOMPARE(asked.confirmText, QStringLiteral("Confirm"));
        QVERIFY(asked.cancelText.isEmpty());
        QCOMPARE(exitCode, 0); // closed: stored for the next start only

        // Back to the first language: stored, no question.
        combo->setCurrentIndex(0);
        QCOMPARE(SettingsStore::instance().language(), QStringLiteral("es"));
        QCOMPARE(DialogSeam::requests().size(), 1);

        // Reopening does not move the first language; confirming restarts.
        openPage();
        QCOMPARE(view->initialLanguageIndex, 0);
        DialogSeam::answerAlways(1);
        combo->setCurrentIndex(1);
        QCOMPARE(exitCode, 100);
        QCOMPARE(DialogSeam::requests().size(), 2);
    }

    void enetFollowsTheAdapter()
    {
        SettingsView* view = controller->page();
        Switch* enet = view->enetSwitch();
        adapterEnet = true;
        emit AppShared::instance()->signal(
            SerialChanged, QVariant::fromValue(adapter(QStringLiteral("M5EA0001XJ7B0001"))));
        QVERIFY(!enet->isHidden());
        QTRY_VERIFY(enet->state());
        QTRY_VERIFY(enet->isEnabled());
        QCOMPARE(enetWrites.load(), 0); // what was read is not written back

        click(enet);
        QVERIFY(!enet->isEnabled()); // disabled while the call runs
        QTRY_VERIFY(enet->isEnabled());
        QCOMPARE(enetWrites.load(), 1);
        QCOMPARE(adapterEnet.load(), false);

        // The adapter goes: hidden and off.
        emit AppShared::instance()->signal(SerialChanged, QVariant::fromValue(adapter(QString(), QString())));
        QVERIFY(enet->isHidden());
        QVERIFY(!enet->state());
    }

    void enetWithAnUnpluggedAdapterGivesUpAndComesBack()
    {
        SettingsView* view = controller->page();
        Switch* enet = view->enetSwitch();
        emit AppShared::instance()->signal(
            SerialChanged, QVariant::fromValue(adapter(QStringLiteral("M5EA0001XJ7B0001"))));
        QTRY_VERIFY(enet->isEnabled());
        adapterHangs = true;
        QElapsedTimer clock;
        clock.start();
        click(enet);
        QVERIFY(!enet->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(enet->isEnabled(), 3000);
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(enet->state()); // the user's choice stays
    }

    void busCodesStyleTheRows()
    {
        SettingsView* view = controller->page();
        QLabel* title = rowLabel(view, 1, "title");
        emit AppShared::instance()->signal(SignedInName, QStringLiteral("Ana"));
        QCOMPARE(title->text(), QStringLiteral("Ana"));
        QCOMPARE(rowLabel(view, 1, "subTitle")->text(), QStringLiteral("LoggedIn"));
        emit AppShared::instance()->signal(SignedInName, QString());
        QCOMPARE(title->text(), QStringLiteral("LogInRegister"));

        emit AppShared::instance()->signal(NewerVersionExists, true);
        QVERIFY(!view->updateTag()->isHidden());
        emit AppShared::instance()->signal(NewerVersionExists, false);
        QVERIFY(view->updateTag()->isHidden());
    }

    void busStateReachesAPageBuiltLater()
    {
        TestHost laterHost;
        SettingsController later(config);
        later.attach(laterHost);
        emit AppShared::instance()->signal(SignedInName, QStringLiteral("Luis"));
        emit AppShared::instance()->signal(NewerVersionExists, true);
        QVERIFY(!laterHost.pageBuilt(SettingsController::kSettingsPageIndex));
        later.showSettings();
        QCOMPARE(rowLabel(later.page(), 1, "title")->text(), QStringLiteral("Luis"));
        QVERIFY(!later.page()->updateTag()->isHidden());
        emit AppShared::instance()->signal(SignedInName, QString());
        emit AppShared::instance()->signal(NewerVersionExists, false);
    }

    void rowClicksSendTheirCodes()
    {
        SettingsView* view = controller->page();
        QList<int> codes;
        auto connection = connect(AppShared::instance(), &AppShared::signal, this,
            [&codes](SharedSignal code, const QVariant&) { codes << int(code); });
        for (int row = 0; row < view->list()->count() - 1; ++row)
            clickRow(view, row);
        disconnect(connection);
        QCOMPARE(codes, (QList<int>{int(OpenPhoneSignIn), int(RunVersionCheck)}));
        // Rows with a control change nothing by the row click.
        QVERIFY(!view->systemLogSwitch()->state());
        QVERIFY(!QFileInfo::exists(env->data() + QStringLiteral("/passThru4log")));
    }

    void backButtonsOfOtherPagesOpenTheSettings()
    {
        auto* back = new QPushButton(host->pageHost(9));
        back->setObjectName(QStringLiteral("Btn_Return_9"));
        auto* other = new QPushButton(host->pageHost(9));
        other->setObjectName(QStringLiteral("Btn_Return_3"));
        controller->adoptBackButtons(host.get());
        controller->adoptBackButtons(host.get()); // again: still one connection
        host->showPage(9);
        QVERIFY(QDir().mkpath(env->data() + QStringLiteral("/PDULogger")));
        QSignalSpy switched(controller->page()->systemLogSwitch(), &Switch::stateChanged);
        back->click();
        QCOMPARE(host->currentPage(), SettingsController::kSettingsPageIndex);
        QVERIFY(controller->page()->systemLogSwitch()->state()); // refreshed
        QCOMPARE(switched.size(), 1);
        host->showPage(9);
        other->click();
        QCOMPARE(host->currentPage(), 9);
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settings_page.moc"
