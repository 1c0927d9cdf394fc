// The language store and the language marker file. The autostart entry is
// tested through the settings rules (tst_settings_rules).
#include "kit/SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
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
        QTest::addColumn<QByteArray>("content"); // a folder in the file's place when null
        QTest::newRow("empty value") << QByteArray("[General]\nlanguage=\n");
        static const char garbage[] = "\x00\xff\xfe[[[=\x01\x02language";
        QTest::newRow("binary garbage") << QByteArray(garbage, sizeof garbage - 1);
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("unreadable, even by root") << QByteArray();
    }

    void emptyOrBrokenStoreGivesSpanish()
    {
        QFETCH(QByteArray, content);
        if (content.isNull())
            QVERIFY(QDir().mkpath(storeFile()));
        else
            writeRawStore(content);
        SettingsStore store;
        QCOMPARE(store.language(), QStringLiteral("es"));
    }

    void languageMarker_data()
    {
        QTest::addColumn<QByteArray>("content"); // no file when null
        QTest::addColumn<int>("expected");
        QTest::newRow("one") << QByteArray("1") << 1;
        QTest::newRow("one and more") << QByteArray("1abc") << 1;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("other letter") << QByteArray("x") << -1;
        QTest::newRow("blank first") << QByteArray(" 1") << -1;
        QTest::newRow("empty") << QByteArray("") << -1;
        QTest::newRow("no file") << QByteArray() << -2;
    }

    void languageMarker()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, expected);
        QTemporaryDir dir;
        if (!content.isNull()) {
            QFile file(dir.filePath(QStringLiteral("SaveLanguageSetting.ini")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        QCOMPARE(readLanguageMarker(dir.path()), expected);
    }

    void languageMarkerThatCannotBeOpened()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("SaveLanguageSetting.ini")));
        QCOMPARE(readLanguageMarker(dir.path()), -2);
        QCOMPARE(readLanguageMarker(dir.filePath(QStringLiteral("no-such-folder"))), -2);
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
