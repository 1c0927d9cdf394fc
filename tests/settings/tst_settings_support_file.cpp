// "Save support file": the archive holds the report, the status block and the
// log files, scrubbed of secrets with serials kept; a missing tool, a missing
// folder and a tool that fails give clear messages and leave no file; the
// controller asks where through its seam and shows progress on the page.
#include "SettingsTestEnv.h"

#include "../device/TestHost.h"

#include "settings/SettingsController.h"
#include "settings/SettingsView.h"
#include "settings/SupportBundle.h"

#include "kit/SafeUnpacker.h"

#include "MT7628Config.h"

#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

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
    sevenZip.start(SafeUnpacker::defaultToolPath(),
        {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + into, archive});
    if (!sevenZip.waitForFinished(30000) || sevenZip.exitCode() != 0)
        return files;
    QDirIterator it(into, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(into).relativeFilePath(path), file.readAll());
    }
    return files;
}

} // namespace

class TestSettingsSupportFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<SettingsTestEnv> env;

    SupportSources fakeSources()
    {
        const QString logs = env->path() + QStringLiteral("/logs");
        QDir().mkpath(logs);
        writeFile(logs + QStringLiteral("/Brindlewick.log"),
            QByteArray("info shell [main]: adapter ") + kSerial + "\ninfo account: login password=" + kPassword
                + "\ninfo http: Authorization: Bearer abc.def.ghi\n");
        writeFile(logs + QStringLiteral("/Brindlewick.1.log"), "info shell [main]: older line\n");
        writeFile(
            logs + QStringLiteral("/BrindlewickService.log"), "info service [main]: verification code 482913 sent\n");
        writeFile(logs + QStringLiteral("/other.log"), "not ours\n");
        SupportSources s;
        s.logDirectory = logs;
        s.statusBlock = [] {
            return QByteArray("SN=") + kSerial + "\nkey=" + kRemoteKey + "\nvciIP=169.254.100.1\nconnType=USB\n";
        };
        s.programVersion = QStringLiteral("9.8.7.6");
        s.operatingSystem = [] { return QStringLiteral("Test OS 1.0"); };
        s.usbDevices = [] { return QStringList{QStringLiteral("1-1 a5a5:2560 Adapter")}; };
        s.networkAdapters
            = [] { return QStringList{QStringLiteral("eth1 | r8152 | AA-BB-CC-DD-EE-FF | 169.254.100.2")}; };
        s.archiveTool = SafeUnpacker::defaultToolPath();
        return s;
    }

private slots:
    void init()
    {
        env = std::make_unique<SettingsTestEnv>();
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip (7za) is not installed");
    }
    void cleanup() { env.reset(); }

    void archiveHoldsScrubbedFactsAndLogs()
    {
        const QString target = env->path() + QStringLiteral("/support.zip");
        QList<int> percents;
        const SupportBundle::Result result
            = SupportBundle(fakeSources()).write(target, [&](int percent, const QString& step) {
                  QVERIFY(!step.isEmpty());
                  percents << percent;
              });
        QVERIFY2(result.ok, qPrintable(result.message));
        QVERIFY(QFileInfo(target).isFile());
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));
        QVERIFY(std::is_sorted(percents.begin(), percents.end()));
        QCOMPARE(percents.last(), 100);

        const QMap<QString, QByteArray> files = unzip(target, env->path() + QStringLiteral("/out"));
        QCOMPARE(QStringList(files.keys()),
            (QStringList{"logs/Brindlewick.1.log", "logs/Brindlewick.log", "logs/BrindlewickService.log",
                "status-block.txt", "system.txt"}));
        QByteArray all;
        for (const QByteArray& bytes : files)
            all += bytes;
        QVERIFY(all.contains(kSerial));
        QVERIFY(!all.contains(kRemoteKey));
        QVERIFY(!all.contains(kPassword));
        QVERIFY(!all.contains("482913"));
        QVERIFY(!all.contains("abc.def.ghi"));
        QVERIFY(files.value(QStringLiteral("system.txt")).contains("9.8.7.6"));
        QVERIFY(files.value(QStringLiteral("system.txt")).contains("Test OS 1.0"));
        QVERIFY(files.value(QStringLiteral("system.txt")).contains("a5a5:2560"));
        QVERIFY(files.value(QStringLiteral("system.txt")).contains("AA-BB-CC-DD-EE-FF"));
        QVERIFY(files.value(QStringLiteral("status-block.txt")).contains("vciIP=169.254.100.1"));
        QVERIFY(files.value(QStringLiteral("logs/Brindlewick.1.log")).contains("older line"));
    }

    void replacesAnExistingFileAndSaysWhenNoStatusBlockIsThere()
    {
        const QString target = env->path() + QStringLiteral("/again.zip");
        writeFile(target, "old content");
        SupportSources sources = fakeSources();
        sources.statusBlock = [] { return QByteArray(); };
        const SupportBundle::Result result = SupportBundle(sources).write(target);
        QVERIFY2(result.ok, qPrintable(result.message));
        const QMap<QString, QByteArray> files = unzip(target, env->path() + QStringLiteral("/out2"));
        QVERIFY(files.value(QStringLiteral("status-block.txt")).contains("no status block"));
    }

    void failuresSayWhyAndLeaveNoFile()
    {
        SupportSources noTool = fakeSources();
        noTool.archiveTool = env->path() + QStringLiteral("/no-such-7za");
        const QString target = env->path() + QStringLiteral("/x.zip");
        SupportBundle::Result result = SupportBundle(noTool).write(target);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(QStringLiteral("7za")), qPrintable(result.message));

        result = SupportBundle(fakeSources()).write(env->path() + QStringLiteral("/missing/dir/x.zip"));
        QVERIFY(!result.ok);
        QVERIFY(result.message.contains(QStringLiteral("does not exist")));

        result = SupportBundle(fakeSources()).write(QString());
        QVERIFY(!result.ok);

        // A tool that fails: its exit is reported and nothing is left behind.
        const QString failing = env->path() + QStringLiteral("/failing-7za");
        writeFile(failing, "#!/bin/sh\necho partial > \"$7\"\nexit 2\n");
        QFile::setPermissions(failing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SupportSources bad = fakeSources();
        bad.archiveTool = failing;
        result = SupportBundle(bad).write(target);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(QStringLiteral("code 2")), qPrintable(result.message));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!QFileInfo::exists(target + QStringLiteral(".part")));

        // A tool that hangs is stopped at its bound.
        const QString hanging = env->path() + QStringLiteral("/hanging-7za");
        writeFile(hanging, "#!/bin/sh\nsleep 30\n");
        QFile::setPermissions(hanging, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SupportSources slow = fakeSources();
        slow.archiveTool = hanging;
        slow.archiveTimeoutMs = 300;
        QElapsedTimer clock;
        clock.start();
        result = SupportBundle(slow).write(target);
        QVERIFY(!result.ok);
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(result.message.contains(QStringLiteral("in time")));
    }

    void cancelStopsBeforeTheArchive()
    {
        std::atomic<bool> cancel{true};
        const QString target = env->path() + QStringLiteral("/c.zip");
        const SupportBundle::Result result = SupportBundle(fakeSources()).write(target, {}, &cancel);
        QVERIFY(!result.ok);
        QVERIFY(!QFileInfo::exists(target));
    }

    void controllerAsksWhereAndShowsProgress()
    {
        TestHost host;
        MT7628Config config;
        SettingsController controller(config);
        controller.attach(host);
        controller.setSupportSources(fakeSources());
        int asked = 0;
        controller.setTargetChooser([&] {
            ++asked;
            return asked == 1 ? QString() : env->path() + QStringLiteral("/chosen"); // cancelled, then a name
        });
        controller.showSettings();
        SettingsView* view = controller.page();
        QLabel* subtitle
            = view->rowWidget(SettingsView::RowSupportFile)->findChild<QLabel*>(QStringLiteral("subTitle"));
        const QString idle = subtitle->text();
        QSignalSpy finished(&controller, &SettingsController::supportFileFinished);

        emit view->list()->itemClicked(view->list()->item(SettingsView::RowSupportFile));
        QCOMPARE(asked, 1);
        QVERIFY(!controller.supportFileRunning());

        emit view->list()->itemClicked(view->list()->item(SettingsView::RowSupportFile));
        QCOMPARE(asked, 2);
        QVERIFY(controller.supportFileRunning());
        QVERIFY(subtitle->text() != idle); // progress shown
        // A second click while it runs asks nothing.
        emit view->list()->itemClicked(view->list()->item(SettingsView::RowSupportFile));
        QCOMPARE(asked, 2);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QVERIFY(finished.at(0).at(0).toBool());
        QVERIFY(QFileInfo(env->path() + QStringLiteral("/chosen.zip")).isFile());
        QCOMPARE(subtitle->text(), idle);
        // The row is as tall as its idle text needs again.
        QListWidgetItem* item = view->list()->item(SettingsView::RowSupportFile);
        const int width = view->list()->viewport()->width();
        QCOMPARE(item->sizeHint().height(), view->rowWidget(SettingsView::RowSupportFile)->heightForWidth(width));
        QCOMPARE(host.toasts.size(), 1);
        QVERIFY(host.toasts.at(0).contains(QStringLiteral("chosen.zip")));
    }
};

QTEST_MAIN(TestSettingsSupportFile)
#include "tst_settings_support_file.moc"
