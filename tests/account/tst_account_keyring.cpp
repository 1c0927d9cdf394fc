// The keyring store against a real Secret Service: gnome-keyring in a
// private D-Bus session (the test's command starts both). Skipped with the
// reason when the daemon is not installed.
#include "support/TestEnvironment.h"

#include "account/Credentials.h"
#include "account/KeychainCredentialStore.h"

#include <QtTest>

#include <atomic>
#include <thread>

class TestAccountKeyring : public QObject {
    Q_OBJECT
    TestEnvironment m_env;

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("BW_KEYRING_SESSION"))
            QSKIP("gnome-keyring-daemon or dbus-run-session is not installed (scripts/deps.sh installs them)");
        QString why;
        QVERIFY2(account::KeychainCredentialStore::available(&why), qPrintable(why));
    }

    void roundTripThroughTheKeyring()
    {
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

    void theKeyringIsChosenWhenItAnswers()
    {
        std::unique_ptr<account::CredentialStore> store = account::openCredentialStore();
        QVERIFY(store);
        QVERIFY2(store->describe().startsWith(QStringLiteral("keyring")), qPrintable(store->describe()));
        // Nothing was written next to the configuration.
        QVERIFY(!QFile::exists(account::FileCredentialStore::defaultPath()));
    }
};

QTEST_GUILESS_MAIN(TestAccountKeyring)
#include "tst_account_keyring.moc"
