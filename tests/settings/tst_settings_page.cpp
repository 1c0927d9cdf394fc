// The settings page through its controller on a stand-in window: the rows,
// every switch changing the real state of a private machine, the page opened
// again and again, the language question, the ENET switch with an adapter
// that answers and one that does not, the bus codes, the back buttons of
// other pages; and "Save support file": the archive holds the report, the
// status block and the logs scrubbed of secrets with serials kept, failures
// say why and leave no file, the controller asks where and shows progress.
#include "support/SettingsTestEnv.h"

#include "../device/TestHost.h"

#include "settings/EnetControl.h"
#include "settings/SettingsController.h"
#include "settings/SettingsView.h"
#include "settings/SupportBundle.h"

#include "device/AppShared.h"
#include "kit/DialogSeam.h"
#include "kit/SafeUnpacker.h"
#include "kit/SettingsStore.h"
#include "kit/Switch.h"

#include "MT7628Config.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

const char* const kSerial = "M5EA0001XJ7B0001";
const char* const kRemoteKey = "Rk7Secret991";
const char* const kPassword = "Hunter2Pass";

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The archive's files by name, unpacked with 7-Zip.
QMap<QString, QByteArray> unzip(const QString& archive, const QString& into)
{
    QMap<QString, QByteArray> files;
    QProcess sevenZip;
    sevenZip.start(SafeUnpacker::defaultToolPath(), {"x", "-y", "-o" + into, archive});
    if (!sevenZip.waitForFinished(30000) || sevenZip.exitCode() != 0)
        return files;
    QDirIterator it(into, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(into).relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

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

    SupportSources fakeSources()
    {
        const QString logs = env->path() + "/logs";
        QDir().mkpath(logs);
        writeFile(logs + "/Brindlewick.log",
            QByteArray("info shell [main]: adapter ") + kSerial + "\ninfo account: login password=" + kPassword
                + "\ninfo http: Authorization: Bearer abc.def.ghi\n");
        writeFile(logs + "/Brindlewick.1.log", "info shell [main]: older line\n");
        writeFile(logs + "/BrindlewickService.log", "info service [main]: verification code 482913 sent\n");
        writeFile(logs + "/other.log", "not ours\n");
        SupportSources s;
        s.logDirectory = logs;
        s.statusBlock = [] {
            return QByteArray("SN=") + kSerial + "\nkey=" + kRemoteKey + "\nvciIP=169.254.100.1\nconnType=USB\n";
        };
        s.programVersion = "9.8.7.6";
        s.operatingSystem = [] { return QStringLiteral("Test OS 1.0"); };
        s.usbDevices = [] { return QStringList{"1-1 a5a5:2560 Adapter"}; };
        s.networkAdapters = [] { return QStringList{"eth1 | r8152 | AA-BB-CC-DD-EE-FF | 169.254.100.2"}; };
        s.archiveTool = SafeUnpacker::defaultToolPath();
        return s;
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

    void pageIsBuiltOnFirstShowWithPicturesAndInactiveSections()
    {
        QCOMPARE(host->currentPage(), SettingsController::kSettingsPageIndex);
        SettingsView* view = controller->page();
        QCOMPARE(view->parentWidget(), host->pageHost(SettingsController::kSettingsPageIndex));
        for (int row : {1, 3, 4, 5, 6, 7, 8})
            QVERIFY2(drawsSomething(rowLabel(view, row, "image")), qPrintable(QString::number(row)));
        for (int row : {0, 2})
            QVERIFY(!(view->list()->item(row)->flags() & Qt::ItemIsEnabled));
        QVERIFY(view->updateTag()->isHidden());
        QVERIFY(view->enetSwitch()->isHidden()); // no adapter
    }

    // What enable and disable do with folders and links is checked in
    // tst_settings_core; here the switch applies them.
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
        QVERIFY(DialogSeam::requests().at(0).cancelText.isEmpty()); // a notice, not a question
        QCOMPARE(exitCode, 0);                                      // closed: stored for the next start only

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

    // The bus codes style the rows of the page, and reach a page built later.
    void busCodesStyleTheRows()
    {
        TestHost laterHost;
        SettingsController later(config);
        later.attach(laterHost);
        SettingsView* view = controller->page();
        QLabel* title = rowLabel(view, 1, "title");
        emit AppShared::instance()->signal(SignedInName, QStringLiteral("Ana"));
        emit AppShared::instance()->signal(NewerVersionExists, true);
        QCOMPARE(title->text(), QStringLiteral("Ana"));
        QCOMPARE(rowLabel(view, 1, "subTitle")->text(), QStringLiteral("LoggedIn"));
        QVERIFY(!view->updateTag()->isHidden());
        QVERIFY(!laterHost.pageBuilt(SettingsController::kSettingsPageIndex));
        later.showSettings();
        QCOMPARE(rowLabel(later.page(), 1, "title")->text(), QStringLiteral("Ana"));
        QVERIFY(!later.page()->updateTag()->isHidden());

        emit AppShared::instance()->signal(SignedInName, QString());
        emit AppShared::instance()->signal(NewerVersionExists, false);
        QCOMPARE(title->text(), QStringLiteral("LogInRegister"));
        QVERIFY(view->updateTag()->isHidden());
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

    void supportArchiveHoldsScrubbedFactsAndLogs()
    {
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip (7za) is not installed");
        const QString target = env->path() + "/support.zip";
        writeFile(target, "old content"); // replaced
        QList<int> percents;
        SupportBundle::Result result
            = SupportBundle(fakeSources()).write(target, [&](int percent, const QString& step) {
                  QVERIFY(!step.isEmpty());
                  percents << percent;
              });
        QVERIFY2(result.ok, qPrintable(result.message));
        QVERIFY(!QFileInfo::exists(target + ".part"));
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QCOMPARE(percents.last(), 100);

        QMap<QString, QByteArray> files = unzip(target, env->path() + "/out");
        QCOMPARE(QStringList(files.keys()),
            (QStringList{"logs/Brindlewick.1.log", "logs/Brindlewick.log", "logs/BrindlewickService.log",
                "status-block.txt", "system.txt"}));
        QByteArray all;
        for (const QByteArray& bytes : files)
            all += bytes;
        QVERIFY(all.contains(kSerial));
        for (const char* secret : {kRemoteKey, kPassword, "482913", "abc.def.ghi"})
            QVERIFY2(!all.contains(secret), secret);
        for (const char* fact : {"9.8.7.6", "Test OS 1.0", "a5a5:2560", "AA-BB-CC-DD-EE-FF"})
            QVERIFY2(files.value("system.txt").contains(fact), fact);
        QVERIFY(files.value("status-block.txt").contains("vciIP=169.254.100.1"));

        SupportSources sources = fakeSources();
        sources.statusBlock = [] { return QByteArray(); };
        result = SupportBundle(sources).write(target);
        QVERIFY2(result.ok, qPrintable(result.message));
        files = unzip(target, env->path() + "/out2");
        QVERIFY(files.value("status-block.txt").contains("no status block"));
    }

    void supportFileFailuresSayWhyAndLeaveNoFile()
    {
        const QString target = env->path() + "/x.zip";
        auto withTool = [&](const QString& tool, const QByteArray& script = QByteArray()) {
            if (!script.isEmpty()) {
                writeFile(tool, script);
                QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            }
            SupportSources s = fakeSources();
            s.archiveTool = tool;
            s.archiveTimeoutMs = 300;
            return SupportBundle(s);
        };
        SupportBundle::Result result = withTool(env->path() + "/no-such-7za").write(target);
        QVERIFY2(!result.ok && result.message.contains("7za"), qPrintable(result.message));
        result = SupportBundle(fakeSources()).write(env->path() + "/missing/dir/x.zip");
        QVERIFY(!result.ok && result.message.contains("does not exist"));
        QVERIFY(!SupportBundle(fakeSources()).write(QString()).ok);
        std::atomic<bool> cancel{true};
        QVERIFY(!SupportBundle(fakeSources()).write(target, {}, &cancel).ok);
        QVERIFY(!QFileInfo::exists(target));

        // A tool that fails: its exit is reported and nothing is left behind.
        result = withTool(env->path() + "/failing-7za", "#!/bin/sh\necho partial > \"$7\"\nexit 2\n").write(target);
        QVERIFY2(!result.ok && result.message.contains("code 2"), qPrintable(result.message));
        QVERIFY(!QFileInfo::exists(target) && !QFileInfo::exists(target + ".part"));
        // A tool that hangs is stopped at its bound.
        QElapsedTimer clock;
        clock.start();
        result = withTool(env->path() + "/hanging-7za", "#!/bin/sh\nsleep 30\n").write(target);
        QVERIFY(!result.ok && result.message.contains("in time"));
        QVERIFY(clock.elapsed() < 5000);
    }

    void supportFileRowAsksWhereAndShowsProgress()
    {
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip (7za) is not installed");
        controller->setSupportSources(fakeSources());
        int asked = 0;
        controller->setTargetChooser([&] {
            ++asked;
            return asked == 1 ? QString() : env->path() + "/chosen"; // cancelled, then a name
        });
        SettingsView* view = controller->page();
        QLabel* subtitle = rowLabel(view, SettingsView::RowSupportFile, "subTitle");
        const QString idle = subtitle->text();
        QSignalSpy finished(controller.get(), &SettingsController::supportFileFinished);

        clickRow(view, SettingsView::RowSupportFile);
        QCOMPARE(asked, 1);
        QVERIFY(!controller->supportFileRunning());
        clickRow(view, SettingsView::RowSupportFile);
        QVERIFY(controller->supportFileRunning());
        QVERIFY(subtitle->text() != idle);            // progress shown
        clickRow(view, SettingsView::RowSupportFile); // while it runs: asks nothing
        QCOMPARE(asked, 2);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QVERIFY(finished.at(0).at(0).toBool());
        QVERIFY(QFileInfo(env->path() + "/chosen.zip").isFile());
        QCOMPARE(subtitle->text(), idle);
        // The row is as tall as its idle text needs again.
        const int width = view->list()->viewport()->width();
        QCOMPARE(view->list()->item(SettingsView::RowSupportFile)->sizeHint().height(),
            view->rowWidget(SettingsView::RowSupportFile)->heightForWidth(width));
        QCOMPARE(host->toasts.size(), 1);
        QVERIFY(host->toasts.at(0).contains("chosen.zip"));
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settings_page.moc"
