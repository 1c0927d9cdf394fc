// The language store, the language marker file, the autostart entry and the
// trace-folder map.
#include "app/kit/SettingsStore.h"
#include "app/kit/TraceFolders.h"

#include "platform/Autostart.h"
#include "platform/DataRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Set before QCoreApplication exists, so every QSettings of this process
// lives in a private folder.
QTemporaryDir* g_configHome = nullptr;

QString storeFile()
{
    return g_configHome->path() + QStringLiteral("/Settings/Brindlewick.conf");
}

void writeRawStore(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(storeFile()).absolutePath());
    QFile file(storeFile());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void removeStore()
{
    const QFileInfo info(storeFile());
    if (info.isDir())
        QDir(storeFile()).removeRecursively();
    else
        QFile::remove(storeFile());
}

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT

private slots:
    void init() { removeStore(); }

    void freshMachineStartsInSpanish()
    {
        SettingsStore store;
        QCOMPARE(store.language(), QStringLiteral("es"));
        QVERIFY(!QFile::exists(storeFile())); // reading writes nothing
    }

    void englishSurvivesARestart()
    {
        {
            SettingsStore store;
            store.setLanguage(QStringLiteral("en"));
            QCOMPARE(store.language(), QStringLiteral("en"));
        }
        // Organisation first, then application, in the native format.
        QVERIFY2(QFile::exists(storeFile()), qPrintable(storeFile()));
        QSettings independent(storeFile(), QSettings::IniFormat);
        QCOMPARE(independent.value(QStringLiteral("language")).toString(), QStringLiteral("en"));

        SettingsStore nextStart;
        QCOMPARE(nextStart.language(), QStringLiteral("en"));
    }

    void valueOnceReadIsServedFromTheCache()
    {
        SettingsStore store;
        store.setLanguage(QStringLiteral("en"));
        {
            QSettings other(QStringLiteral("Settings"), QStringLiteral("Brindlewick"));
            other.setValue(QStringLiteral("language"), QStringLiteral("es"));
            other.sync();
        }
        QCOMPARE(store.language(), QStringLiteral("en"));
        QCOMPARE(SettingsStore().language(), QStringLiteral("es"));
    }

    void emptyOrBrokenStoreGivesSpanish_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty value") << QByteArray("[General]\nlanguage=\n");
        static const char garbage[] = "\x00\xff\xfe[[[=\x01\x02language";
        QTest::newRow("binary garbage") << QByteArray(garbage, sizeof garbage - 1);
        QTest::newRow("empty file") << QByteArray();
    }

    void emptyOrBrokenStoreGivesSpanish()
    {
        QFETCH(QByteArray, content);
        writeRawStore(content);
        SettingsStore store;
        QCOMPARE(store.language(), QStringLiteral("es"));
    }

    void unreadableStoreGivesSpanish()
    {
        // A folder where the file should be cannot be read even by root.
        QVERIFY(QDir().mkpath(storeFile()));
        SettingsStore store;
        QCOMPARE(store.language(), QStringLiteral("es"));
    }

    void languageMarker_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("expected");
        QTest::newRow("one") << QByteArray("1") << 1;
        QTest::newRow("one and more") << QByteArray("1abc") << 1;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("other letter") << QByteArray("x") << -1;
        QTest::newRow("blank first") << QByteArray(" 1") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
    }

    void languageMarker()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("SaveLanguageSetting.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(readLanguageMarker(dir.path()), expected);
    }

    void languageMarkerThatCannotBeOpened()
    {
        QTemporaryDir dir;
        QCOMPARE(readLanguageMarker(dir.path()), -2);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("SaveLanguageSetting.ini")));
        QCOMPARE(readLanguageMarker(dir.path()), -2);
        QCOMPARE(readLanguageMarker(dir.filePath(QStringLiteral("no-such-folder"))), -2);
    }

    void autostartRoundTrip()
    {
        QTemporaryDir dir;
        platform::setAutostartDirectory(dir.path().toStdString());

        QVERIFY(readAutostartEntry().empty());
        const std::string value = autostartCommandLine();
        const std::string exe = QCoreApplication::applicationFilePath().toStdString();
        QCOMPARE(value, exe + " -z");

        QVERIFY(writeAutostartEntry(value));
        QCOMPARE(readAutostartEntry(), value);

        removeAutostartEntry();
        QVERIFY(readAutostartEntry().empty());
        removeAutostartEntry(); // a missing entry is not an error
        QVERIFY(readAutostartEntry().empty());
    }

    void traceFoldersMapBelowTheDataRoot()
    {
        QTemporaryDir root;
        platform::setDataRoot(root.path().toStdString());

        const QList<TraceFolder>& folders = traceFolders();
        QCOMPARE(folders.size(), 4);
        QStringList names;
        for (const TraceFolder& folder : folders) {
            names << folder.name();
            QVERIFY2(folder.localPath().startsWith(root.path()), qPrintable(folder.localPath()));
            QVERIFY(folder.localPath().endsWith(QLatin1Char('/') + folder.name()));
            QVERIFY(folder.createdBySwitch);
            QCOMPARE(folder.shortcutName(), folder.name() + QStringLiteral(".lnk"));
        }
        QCOMPARE(names,
            (QStringList{QStringLiteral("passThru4log"), QStringLiteral("passThru5log"), QStringLiteral("PDULogger"),
                QStringLiteral("RemoteDiag")}));
        // RemoteDiag is neither counted as logging nor cleaned at start-up.
        QVERIFY(!folders.at(3).countedWhenOn);
        QVERIFY(!folders.at(3).cleanedAtStartup);

        const QStringList cleaned = startupCleanupFolders();
        QCOMPARE(cleaned.size(), 3);
        QCOMPARE(cleaned.first(), folders.first().localPath());
        QVERIFY(!cleaned.contains(folders.at(3).localPath()));

        QVERIFY(desktopShortcutFolder().endsWith(QStringLiteral("/BrindlewickLogs")));
        platform::setDataRoot(std::string());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir configHome;
    g_configHome = &configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QCoreApplication app(argc, argv);
    TestSettingsStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appkit_settings_store.moc"
