// Where and how remembered credentials are kept: "UserConfig.ini" in the
// user's configuration folder (never the working folder), owner-only, its
// keys as the product writes them, damaged or foreign contents read safely;
// the keyring entry's encoding; the phone nickname file.
#include "support/TestEnvironment.h"

#include "account/Credentials.h"
#include "account/KeychainCredentialStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>

namespace {

account::RememberedCredentials sample()
{
    account::RememberedCredentials credentials;
    credentials.users = QStringList{QStringLiteral("a@b.example"), QStringLiteral("c@d.example")};
    credentials.passwords = QStringList{QStringLiteral("secret1"), QStringLiteral("secret1")};
    credentials.remember = true;
    credentials.autoLogin = false;
    credentials.nickname = QStringLiteral("Taller Núñez");
    return credentials;
}

unsigned modeOf(const QString& path)
{
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 0777;
}

} // namespace

class TestAccountStore : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Brindlewick"));
        QCoreApplication::setApplicationName(QStringLiteral("Brindlewick"));
    }

    void fileLivesInTheUserConfigurationFolder()
    {
        const QString path = account::FileCredentialStore::defaultPath();
        QVERIFY2(path.startsWith(m_env.path() + QStringLiteral("/config/")), qPrintable(path));
        QVERIFY(path.endsWith(QStringLiteral("/UserConfig.ini")));
        QVERIFY(QFileInfo(path).isAbsolute());
        QVERIFY(!path.startsWith(QDir::currentPath() + QLatin1Char('/')) || QDir::currentPath() == m_env.path());
        QCOMPARE(QFileInfo(account::phoneNicknamePath()).dir().path(), QFileInfo(path).dir().path());
    }

    void aNamedInstanceKeepsItsOwn()
    {
        qputenv("BRINDLEWICK_INSTANCE", "second");
        const QString path = account::FileCredentialStore::defaultPath();
        qunsetenv("BRINDLEWICK_INSTANCE");
        QCOMPARE(path,
            account::FileCredentialStore::defaultPath().replace(
                QStringLiteral("/UserConfig.ini"), QStringLiteral("/instances/second/UserConfig.ini")));
    }

    void fileRoundTripIsOwnerOnly()
    {
        const QString path = m_env.path() + QStringLiteral("/config/Brindlewick/sub/UserConfig.ini");
        account::FileCredentialStore store(path);
        account::RememberedCredentials loaded;
        QVERIFY(store.load(loaded)); // nothing yet: empty
        QVERIFY(loaded.users.isEmpty());
        QVERIFY(store.save(sample()));
        QCOMPARE(modeOf(path), 0600u);
        QCOMPARE(modeOf(QFileInfo(path).absolutePath()), 0700u);
        QVERIFY(store.load(loaded));
        QVERIFY(loaded == sample());

        // A file that was readable by others becomes owner-only on the next save.
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
        QVERIFY(store.save(sample()));
        QCOMPARE(modeOf(path), 0600u);
    }

    void keysAsTheProductWritesThem()
    {
        const QString path = m_env.path() + QStringLiteral("/keys/UserConfig.ini");
        account::FileCredentialStore store(path);
        QVERIFY(store.save(sample()));
        QSettings settings(path, QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("config"));
        QCOMPARE(settings.value(QStringLiteral("username")).toStringList(), sample().users);
        QCOMPARE(settings.value(QStringLiteral("isrembered")).toString(), QStringLiteral("true"));
        QCOMPARE(settings.value(QStringLiteral("isautologin")).toString(), QStringLiteral("false"));
        QCOMPARE(settings.value(QStringLiteral("nickname")).toString(), sample().nickname);
        QCOMPARE(settings.value(QStringLiteral("password")).toStringList().size(), 2);
    }

    void foreignOrDamagedFilesReadSafely()
    {
        const QString path = m_env.path() + QStringLiteral("/damaged/UserConfig.ini");
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[config]\nusername=a@b.example, c@d.example, e@f.example\npassword=only-one\nisrembered=yes\n"
                   "\x01\x02 garbage = = \n[other]\nx=1\n");
        file.close();
        account::FileCredentialStore store(path);
        account::RememberedCredentials loaded;
        QVERIFY(store.load(loaded));
        QCOMPARE(loaded.users.size(), loaded.passwords.size()); // cut to the shorter list
        QCOMPARE(loaded.users.size(), 1);
        QVERIFY(!loaded.remember); // only "true" counts
        QVERIFY(!loaded.autoSignInReady());

        account::FileCredentialStore nowhere{QString()};
        QString error;
        QVERIFY(!nowhere.load(loaded, &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!nowhere.save(sample(), &error));
    }

    void keyringEntryEncoding()
    {
        account::RememberedCredentials decoded;
        QVERIFY(account::KeychainCredentialStore::decode(account::KeychainCredentialStore::encode(sample()), decoded));
        QVERIFY(decoded == sample());
        QVERIFY(!account::KeychainCredentialStore::decode("not json", decoded));
        QVERIFY(decoded.users.isEmpty());
        QVERIFY(account::KeychainCredentialStore::decode(
            R"({"username":["a@b.example",7],"password":"x","isautologin":"true"})", decoded));
        QCOMPARE(decoded.users.size(), 0); // no password list: nothing usable
        QVERIFY(!decoded.autoLogin);       // a text is not a flag
    }

    void withoutASessionBusTheFileIsUsed()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QString why;
        QVERIFY(!account::KeychainCredentialStore::available(&why));
        QVERIFY(!why.isEmpty());
        std::unique_ptr<account::CredentialStore> store = account::openCredentialStore();
        QVERIFY(store);
        QCOMPARE(store->describe(), account::FileCredentialStore::defaultPath());
        if (!bus.isEmpty())
            qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    }

    void phoneNickname()
    {
        const QString path = m_env.path() + QStringLiteral("/phone/UserName.ini");
        QVERIFY(account::readPhoneNickname(path).isEmpty()); // missing file: empty
        QVERIFY(account::writePhoneNickname(path, QStringLiteral("Taller\nDos")));
        QCOMPARE(account::readPhoneNickname(path), QStringLiteral("TallerDos"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x') + "\nsecond");
        file.close();
        QCOMPARE(account::readPhoneNickname(path).size(), 1023); // one bounded line
    }
};

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_account_store.moc"
