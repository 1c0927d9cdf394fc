// The credential stores against a real Secret Service: gnome-keyring in a
// private D-Bus session that keyring-session.sh sets up in one of three
// states (BW_KEYRING_SESSION): unlocked, without a login collection, or
// locked. Without the programs the test runs plainly and skips, saying why.
#include "support/TestEnvironment.h"

#include "account/Credentials.h"
#include "account/KeychainCredentialStore.h"

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// Every message of the account category, to check what the log says (and does not).
std::mutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previous = nullptr;

void captureLog(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && qstrcmp(context.category, "brindlewick.account") == 0) {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_log.append(text);
    }
    if (g_previous)
        g_previous(type, context, text);
}

QStringList takeLog()
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    QStringList out;
    out.swap(g_log);
    return out;
}

const QString kSecret = QStringLiteral("p4ss-Kq7-never-logged");

account::RememberedCredentials sample()
{
    account::RememberedCredentials credentials;
    credentials.recordSignIn(QStringLiteral("a@x.example"), QStringLiteral("secret1"), true, false);
    credentials.recordSignIn(QStringLiteral("b@x.example"), kSecret, true, true);
    credentials.nickname = QStringLiteral("Taller");
    return credentials;
}

} // namespace

// Skips the case unless this run's keyring is in `state`.
#define REQUIRE_KEYRING(state)                                                                                         \
    do {                                                                                                               \
        if (m_state != QLatin1String(state))                                                                           \
            QSKIP("needs another keyring state than this run's");                                                      \
    } while (false)

class TestAccountKeyring : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    QString m_state;

    // The remembered credentials went to the owner-only file, come back from
    // it through a fresh store, and the log says where without the secret.
    void checkKeptInFile(const account::RememberedCredentials& saved)
    {
        const QString path = account::FileCredentialStore::defaultPath();
        QVERIFY(QFile::exists(path));
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
        QVERIFY(QFile::permissions(path) & QFileDevice::ReadOwner);
        std::unique_ptr<account::CredentialStore> again = account::openCredentialStore();
        QVERIFY(again);
        account::RememberedCredentials loaded;
        QString error;
        QVERIFY2(again->load(loaded, &error), qPrintable(error));
        QVERIFY(loaded == saved);

        const QStringList log = takeLog();
        bool said = false;
        for (const QString& line : log) {
            QVERIFY2(!line.contains(kSecret), "a password reached the log");
            said = said || (line.contains(QStringLiteral("owner-only file")) && line.contains(path));
        }
        QVERIFY2(said, qPrintable(log.join(QLatin1Char('\n'))));
    }

private slots:
    void initTestCase()
    {
        m_state = qEnvironmentVariable("BW_KEYRING_SESSION");
        if (m_state.isEmpty())
            QSKIP("gnome-keyring-daemon or dbus-run-session is not installed (scripts/deps.sh installs them)");
        QCoreApplication::setOrganizationName(QStringLiteral("Brindlewick"));
        QCoreApplication::setApplicationName(QStringLiteral("Brindlewick"));
        g_previous = qInstallMessageHandler(captureLog);
    }
    void cleanupTestCase() { qInstallMessageHandler(g_previous); }
    void init()
    {
        QFile::remove(account::FileCredentialStore::defaultPath());
        takeLog();
    }

    void roundTripThroughTheKeyring()
    {
        REQUIRE_KEYRING("unlocked");
        QString why;
        QVERIFY2(account::KeychainCredentialStore::available(&why), qPrintable(why));
        account::KeychainCredentialStore store(QStringLiteral("BrindlewickTest"), QStringLiteral("UserConfig"));
        account::RememberedCredentials loaded;
        QString error;
        QVERIFY2(store.load(loaded, &error), qPrintable(error));
        QVERIFY(loaded.users.isEmpty()); // no entry yet

        account::RememberedCredentials credentials;
        for (int i = 1; i <= 6; ++i)
            credentials.recordSignIn(QStringLiteral("u%1@x.example").arg(i), QStringLiteral("secret1"), true, true);
        credentials.nickname = QStringLiteral("Taller");
        QVERIFY2(store.save(credentials, &error), qPrintable(error));
        QVERIFY(store.load(loaded, &error));
        QVERIFY(loaded == credentials);
        QCOMPARE(loaded.users.first(), QStringLiteral("u2@x.example"));

        // A second entry name is a separate record.
        account::KeychainCredentialStore other(QStringLiteral("BrindlewickTest"), QStringLiteral("Other"));
        QVERIFY(other.load(loaded, &error));
        QVERIFY(loaded.users.isEmpty());
    }

    void aWorkerThreadReachesTheKeyring()
    {
        REQUIRE_KEYRING("unlocked");
        // The controller reads and writes the store on its workers.
        bool saved = false;
        bool loaded = false;
        std::atomic<bool> done{false};
        account::RememberedCredentials back;
        std::thread worker([&] {
            account::KeychainCredentialStore store(QStringLiteral("BrindlewickTest"), QStringLiteral("Worker"));
            account::RememberedCredentials credentials;
            credentials.recordSignIn(QStringLiteral("w@x.example"), QStringLiteral("secret1"), true, false);
            saved = store.save(credentials);
            loaded = store.load(back);
            done = true;
        });
        // The keyring answers through this thread's event loop.
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 15000);
        worker.join();
        QVERIFY(saved);
        QVERIFY(loaded);
        QCOMPARE(back.users, QStringList{QStringLiteral("w@x.example")});
    }

    void theKeyringIsChosenAndAnEarlierFileMovesIntoIt()
    {
        REQUIRE_KEYRING("unlocked");
        // A file left from a time without a keyring is read first...
        const account::RememberedCredentials earlier = sample();
        account::FileCredentialStore file(account::FileCredentialStore::defaultPath());
        QVERIFY(file.save(earlier));
        std::unique_ptr<account::CredentialStore> store = account::openCredentialStore();
        QVERIFY(store);
        QVERIFY2(store->describe().startsWith(QStringLiteral("keyring")), qPrintable(store->describe()));
        account::RememberedCredentials loaded;
        QVERIFY(store->load(loaded));
        QVERIFY(loaded == earlier);
        // ...and the first save the keyring takes removes it.
        loaded.recordSignIn(QStringLiteral("c@x.example"), QStringLiteral("secret3"), true, false);
        QVERIFY(store->save(loaded));
        QVERIFY(!QFile::exists(account::FileCredentialStore::defaultPath()));
        account::RememberedCredentials back;
        QVERIFY(account::openCredentialStore()->load(back));
        QVERIFY(back == loaded);
    }

    // Last of the unlocked run: it locks the collection, which stays locked.
    void aKeyringLockedLaterKeepsTheCredentialsInTheFile()
    {
        REQUIRE_KEYRING("unlocked");
        std::unique_ptr<account::CredentialStore> store = account::openCredentialStore();
        QVERIFY(store);
        QVERIFY(store->describe().startsWith(QStringLiteral("keyring")));
        QProcess lock;
        lock.start(QStringLiteral("dbus-send"),
            {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                QStringLiteral("--dest=org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                QStringLiteral("array:objpath:/org/freedesktop/secrets/collection/login")});
        QVERIFY(lock.waitForFinished(10000));
        QCOMPARE(lock.exitCode(), 0);

        const account::RememberedCredentials credentials = sample();
        QString error;
        QVERIFY2(store->save(credentials, &error), qPrintable(error));
        checkKeptInFile(credentials);
    }

    void aKeyringThatCannotKeepThemLeavesThemInTheFile()
    {
        if (m_state != QLatin1String("nologin") && m_state != QLatin1String("locked"))
            QSKIP("needs a keyring without a login collection or a locked one");
        QString why;
        QVERIFY(!account::KeychainCredentialStore::available(&why));
        QVERIFY(!why.isEmpty());

        std::unique_ptr<account::CredentialStore> store = account::openCredentialStore();
        QVERIFY(store);
        QCOMPARE(store->describe(), account::FileCredentialStore::defaultPath());
        account::RememberedCredentials loaded;
        QVERIFY(store->load(loaded));
        QVERIFY(loaded.users.isEmpty());
        const account::RememberedCredentials credentials = sample();
        QString error;
        QVERIFY2(store->save(credentials, &error), qPrintable(error));
        checkKeptInFile(credentials);
    }
};

QTEST_GUILESS_MAIN(TestAccountKeyring)
#include "tst_account_keyring.moc"
