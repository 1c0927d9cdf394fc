// The settings page's rules without widgets: what the page shows for given
// answers of the machine, the language rules, the system log folders and
// links on a private file system, and the autostart entry.
#include "SettingsTestEnv.h"

#include "settings/SettingsRules.h"
#include "settings/SystemLogFolders.h"

#include "kit/SettingsStore.h"
#include "kit/TraceFolders.h"

#include <QFile>
#include <QSet>
#include <QtTest>

#include <unistd.h>

class TestSettingsRules : public QObject {
    Q_OBJECT

private:
    static SettingsProbes fake(QSet<QString> existing, QString autostart = QString(), QString language = QString())
    {
        SettingsProbes p;
        p.directoryExists = [existing](const QString& path) { return existing.contains(path.section('/', -1)); };
        p.autostartEntry = [autostart] { return autostart; };
        p.language = [language] { return language; };
        return p;
    }

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private slots:
    void systemLogFollowsTheCountedFolders_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<bool>("on");
        QTest::newRow("none") << QStringList() << false;
        QTest::newRow("only RemoteDiag") << QStringList{"RemoteDiag"} << false;
        QTest::newRow("passThru4log") << QStringList{"passThru4log"} << true;
        QTest::newRow("passThru5log") << QStringList{"passThru5log"} << true;
        QTest::newRow("PDULogger and RemoteDiag") << QStringList{"PDULogger", "RemoteDiag"} << true;
    }
    void systemLogFollowsTheCountedFolders()
    {
        QFETCH(QStringList, existing);
        QFETCH(bool, on);
        const QSet<QString> set(existing.begin(), existing.end());
        QCOMPARE(readSettingsState(fake(set)).systemLog, on);
    }

    void autostartAndLanguageFromTheirProbes()
    {
        QCOMPARE(readSettingsState(fake({}, QString())).autostart, false);
        QCOMPARE(readSettingsState(fake({}, QStringLiteral("/opt/bw/Brindlewick -z"))).autostart, true);
        QCOMPARE(readSettingsState(fake({}, {}, QStringLiteral("es"))).languageIndex, 0);
        QCOMPARE(readSettingsState(fake({}, {}, QStringLiteral("en"))).languageIndex, 1);
        // Anything but Spanish shows English, as the combo box only has the two.
        QCOMPARE(readSettingsState(fake({}, {}, QStringLiteral("fr"))).languageIndex, 1);
        // Probes that are missing count as "nothing there".
        const SettingsState empty = readSettingsState(SettingsProbes());
        QCOMPARE(empty.systemLog, false);
        QCOMPARE(empty.autostart, false);
        QCOMPARE(empty.languageIndex, 0);
    }

    void languageCodesAndTheRestartQuestion()
    {
        QCOMPARE(SettingsLanguage::codeFor(0), QStringLiteral("es"));
        QCOMPARE(SettingsLanguage::codeFor(1), QStringLiteral("en"));
        QVERIFY(SettingsLanguage::codeFor(2).isEmpty());
        QVERIFY(SettingsLanguage::codeFor(-1).isEmpty());
        QVERIFY(!SettingsLanguage::asksForRestart(1, 1));
        QVERIFY(SettingsLanguage::asksForRestart(0, 1));
        QVERIFY(SettingsLanguage::asksForRestart(1, 0));
    }

    void systemStateComesFromTheDataRootAndTheStore()
    {
        SettingsTestEnv env;
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, false);
        QCOMPARE(readSettingsState(SettingsProbes::system()).languageIndex, 1);
        // RemoteDiag alone does not count; passThru5log does.
        QVERIFY(QDir().mkpath(env.data() + QStringLiteral("/RemoteDiag")));
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, false);
        // A file of a counted name is not a folder.
        writeFile(env.data() + QStringLiteral("/passThru4log"), "x");
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, false);
        QVERIFY(QDir().mkpath(env.data() + QStringLiteral("/passThru5log")));
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, true);
        SettingsStore::instance().setLanguage(QStringLiteral("es"));
    }

    void enableMakesFoldersAndLinksAndRepeats()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        QCOMPARE(folders.shortcutFolder(), env.desktop() + QStringLiteral("/BrindlewickLogs"));
        QCOMPARE(folders.traceFolderPaths().size(), 4);
        QVERIFY(folders.enable());
        for (const QString& folder : folders.traceFolderPaths()) {
            QVERIFY2(QFileInfo(folder).isDir(), qPrintable(folder));
            QVERIFY(folder.startsWith(env.data()));
            const QFileInfo link(folders.shortcutFolder() + '/' + SystemLogFolders::linkNameFor(folder));
            QVERIFY2(link.isSymLink(), qPrintable(link.filePath()));
            QCOMPARE(QFileInfo(link.symLinkTarget()), QFileInfo(folder));
        }
        QCOMPARE(
            QDir(folders.shortcutFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(), 4);
        // Files the drivers wrote stay when the switch is applied again.
        writeFile(folders.traceFolderPaths().at(0) + QStringLiteral("/trace.txt"), "data");
        const QStringList before = env.snapshot();
        QVERIFY(folders.enable());
        QCOMPARE(env.snapshot(), before);
    }

    void enableReplacesALinkThatPointsElsewhere()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        const QString elsewhere = env.path() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        writeFile(elsewhere + QStringLiteral("/keep.txt"), "keep");
        QVERIFY(QDir().mkpath(folders.shortcutFolder()));
        const QString link = folders.shortcutFolder() + QStringLiteral("/passThru4log.lnk");
        QVERIFY(QFile::link(elsewhere, link));
        QVERIFY(folders.enable());
        QCOMPARE(QFileInfo(QFileInfo(link).symLinkTarget()), QFileInfo(folders.traceFolderPaths().at(0)));
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/keep.txt")));
    }

    void disableRemovesEverythingButNeverFollowsLinks()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        QVERIFY(folders.enable());
        // Somewhere outside that links point at.
        const QString outside = env.path() + QStringLiteral("/outside");
        QVERIFY(QDir().mkpath(outside + QStringLiteral("/sub")));
        writeFile(outside + QStringLiteral("/precious.txt"), "precious");
        writeFile(outside + QStringLiteral("/sub/deep.txt"), "deep");
        const QString trace = folders.traceFolderPaths().at(1);
        QVERIFY(QDir().mkpath(trace + QStringLiteral("/nested")));
        writeFile(trace + QStringLiteral("/nested/log.txt"), "log");
        QVERIFY(QFile::link(outside, trace + QStringLiteral("/nested/to-outside")));
        QVERIFY(QFile::link(outside + QStringLiteral("/precious.txt"), trace + QStringLiteral("/file-link")));
        QVERIFY(QFile::link(outside, folders.shortcutFolder() + QStringLiteral("/stray")));

        QVERIFY(folders.disable());
        QVERIFY(!QFileInfo::exists(folders.shortcutFolder()));
        for (const QString& folder : folders.traceFolderPaths())
            QVERIFY2(!QFileInfo(folder).exists() && !QFileInfo(folder).isSymLink(), qPrintable(folder));
        QVERIFY(QFile::exists(outside + QStringLiteral("/precious.txt")));
        QVERIFY(QFile::exists(outside + QStringLiteral("/sub/deep.txt")));

        // Off again with nothing there is fine and changes nothing.
        const QStringList before = env.snapshot();
        QVERIFY(folders.disable());
        QCOMPARE(env.snapshot(), before);
    }

    void disableRemovesATraceFolderThatIsALinkAsALink()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        const QString target = env.path() + QStringLiteral("/real-logs");
        QVERIFY(QDir().mkpath(target));
        writeFile(target + QStringLiteral("/keep.log"), "keep");
        QVERIFY(QDir().mkpath(QFileInfo(folders.traceFolderPaths().at(2)).absolutePath()));
        QVERIFY(QFile::link(target, folders.traceFolderPaths().at(2)));
        QVERIFY(folders.disable());
        QVERIFY(!QFileInfo(folders.traceFolderPaths().at(2)).isSymLink());
        QVERIFY(QFile::exists(target + QStringLiteral("/keep.log")));
    }

    void disableGoesOnPastWhatItCannotRemove()
    {
        if (geteuid() == 0)
            QSKIP("root removes entries of read-only folders anyway");
        SettingsTestEnv env;
        const QString lockedParent = env.data() + QStringLiteral("/p1");
        SystemLogFolders folders({lockedParent + QStringLiteral("/a"), env.data() + QStringLiteral("/p2/b")},
            env.desktop() + QStringLiteral("/L"));
        QVERIFY(folders.enable());
        writeFile(lockedParent + QStringLiteral("/a/log.txt"), "log");
        // "a" can be emptied but not removed from its read-only parent; "b" and
        // the links still go.
        QVERIFY(QFile::setPermissions(lockedParent, QFile::ReadOwner | QFile::ExeOwner));
        QVERIFY(!folders.disable());
        QVERIFY(QFileInfo(lockedParent + QStringLiteral("/a")).isDir());
        QVERIFY(!QFileInfo::exists(lockedParent + QStringLiteral("/a/log.txt")));
        QVERIFY(!QFileInfo::exists(env.data() + QStringLiteral("/p2/b")));
        QVERIFY(!QFileInfo::exists(env.desktop() + QStringLiteral("/L")));
        QFile::setPermissions(lockedParent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void linkNamesKeepTheLastElement()
    {
        QCOMPARE(
            SystemLogFolders::linkNameFor(QStringLiteral("/x/y/passThru4log")), QStringLiteral("passThru4log.lnk"));
        QCOMPARE(SystemLogFolders::linkNameFor(QStringLiteral("/x/y/")), QStringLiteral(".lnk"));
    }

    void autostartEntryWrittenOnceAndRemoved()
    {
        SettingsTestEnv env;
        QVERIFY(readAutostartEntry().empty());
        QVERIFY(applyAutostart(true));
        const std::string entry = readAutostartEntry();
        QCOMPARE(entry, autostartCommandLine());
        QCOMPARE(QString::fromStdString(entry), QCoreApplication::applicationFilePath() + QStringLiteral(" -z"));
        const QString file = env.path() + QStringLiteral("/config/autostart/Brindlewick.desktop");
        QVERIFY(QFileInfo::exists(file));
        const QDateTime written = QFileInfo(file).lastModified();
        QTest::qWait(20);
        QVERIFY(applyAutostart(true)); // already as asked: not written again
        QCOMPARE(QFileInfo(file).lastModified(), written);
        QVERIFY(applyAutostart(false));
        QVERIFY(readAutostartEntry().empty());
        QVERIFY(applyAutostart(false));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRules)
#include "tst_settings_rules.moc"
