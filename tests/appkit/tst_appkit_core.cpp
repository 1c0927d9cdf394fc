// The application kit without widgets: the language store and marker file
// (the autostart entry is tested through the settings rules, tst_settings_core),
// the worker group (a stop ends every wait at once and joins every worker,
// finished workers do not pile up, nothing starts after a stop), the start-up
// clean-up of the trace folders (the 96-hour rule counted from local midnight
// of the last-access date), and the internet check (the system's answer
// first, then a bounded resolution of the public host and one echo; resolvers
// here are stand-ins: no test sends a name query or an echo but to loopback).
#include "kit/InternetCheck.h"
#include "kit/LogCleanup.h"
#include "kit/SettingsStore.h"
#include "kit/WorkerGroup.h"

#include "support/LoopbackServers.h"

#include "BuildConfig.h"
#include "platform/DataRoot.h"
#include "platform/Network.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <future>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QTemporaryDir* g_configHome = nullptr; // set by main()

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

constexpr std::time_t kHour = 3600;

// Local midnight of 10 March 2026.
std::time_t dayMidnight()
{
    std::tm date{};
    date.tm_year = 2026 - 1900;
    date.tm_mon = 2;
    date.tm_mday = 10;
    date.tm_isdst = -1;
    return std::mktime(&date);
}

bool makeFile(const QString& path, std::time_t accessed)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("trace line\n");
    file.close();
    const struct timespec times[2] = {{accessed, 0}, {accessed, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// A stand-in resolver that counts its calls and remembers the host asked for.
struct FakeResolver {
    std::string answer;
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::string lastHost;

    InternetCheck::Resolver resolver()
    {
        return [this](const std::string& host) {
            ++calls;
            std::lock_guard<std::mutex> lock(mutex);
            lastHost = host;
            return answer;
        };
    }
};

} // namespace

class TestAppKitCore : public QObject {
    Q_OBJECT

private slots:
    void init() { removeStore(); }
    void cleanup()
    {
        platform::setConnectivityProbe(nullptr);
        InternetCheck::setResolver(nullptr);
        InternetCheck::setProbeHost(std::string());
    }

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

    void stopEndsLongWaitsAndJoins()
    {
        WorkerGroup group;
        std::atomic<int> ended{0};
        std::atomic<bool> interrupted{false};
        for (int i = 0; i < 3; ++i) {
            group.start("sleeper", [&] {
                while (group.sleepFor(std::chrono::hours(1))) { }
                ++ended;
            });
        }
        // A worker with a wait of its own is ended through its interrupt.
        std::mutex mutex;
        std::condition_variable cv;
        group.start(
            "own-wait",
            [&] {
                std::unique_lock<std::mutex> lock(mutex);
                cv.wait(lock, [&] { return interrupted.load(); });
                ++ended;
            },
            [&] {
                std::lock_guard<std::mutex> lock(mutex);
                interrupted = true;
                cv.notify_all();
            });
        group.stopAndJoin(); // returns only once the hour-long waits were cut short
        QCOMPARE(ended.load(), 4);
        QCOMPARE(group.size(), std::size_t(0));
    }

    void finishedWorkersAreReapedAndNothingStartsAfterStop()
    {
        WorkerGroup group;
        std::atomic<int> runs{0};
        for (int i = 0; i < 50; ++i) {
            group.start("short", [&] { ++runs; });
            QTRY_COMPARE(runs.load(), i + 1);
        }
        group.start("short", [&] { ++runs; });
        QVERIFY(group.size() <= 2); // the 50 before were joined on the way
        group.stopAndJoin();
        group.start("late", [&] { runs += 100; });
        QCOMPARE(group.size(), std::size_t(0));
        QCOMPARE(runs.load(), 51);
        QVERIFY(group.stopping());
        QVERIFY(!group.sleepFor(std::chrono::milliseconds(10)));
    }

    void filesFromFourDaysAgoGoAtTheNinetySixthHour()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("passThru4log"));
        const std::time_t midnight = dayMidnight();
        // Read late on day 0: still gone at midnight + 96 h, by the date rule.
        QVERIFY(makeFile(folder + QStringLiteral("/late.log"), midnight + 23 * kHour + 59 * 60));
        QVERIFY(makeFile(folder + QStringLiteral("/early.log"), midnight + 1 * kHour));
        // Read on day 1: 72 hours old at that moment.
        QVERIFY(makeFile(folder + QStringLiteral("/nextday.log"), midnight + 24 * kHour + 30 * 60));
        // A clock set back leaves files read "in the future": never old.
        QVERIFY(makeFile(folder + QStringLiteral("/future.log"), midnight + 200 * kHour));

        std::time_t now = midnight + 96 * kHour - 1; // 95 whole hours
        LogCleanup cleanup({folder}, [&now] { return now; });

        LogCleanup::Result result = cleanup.run();
        QCOMPARE(result.filesDeleted, 0);
        QCOMPARE(result.filesKept, 4);
        QVERIFY(QFile::exists(folder + QStringLiteral("/late.log")));

        now = midnight + 96 * kHour;
        result = cleanup.run();
        QCOMPARE(result.filesDeleted, 2);
        QCOMPARE(result.filesKept, 2);
        QVERIFY(!QFile::exists(folder + QStringLiteral("/late.log")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/early.log")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/nextday.log")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/future.log")));
        QVERIFY(QFileInfo(folder).isDir()); // the trace folder itself stays
    }

    void subFoldersAreRemovedOnlyWhenEmptied()
    {
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("PDULogger"));
        const std::time_t midnight = dayMidnight();
        const std::time_t old = midnight + 2 * kHour;
        const std::time_t fresh = midnight + 100 * kHour;
        QVERIFY(makeFile(folder + QStringLiteral("/session1/a.log"), old));
        QVERIFY(makeFile(folder + QStringLiteral("/session1/deeper/b.log"), old));
        QVERIFY(makeFile(folder + QStringLiteral("/session2/c.log"), old));
        QVERIFY(makeFile(folder + QStringLiteral("/session2/d.log"), fresh));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/empty/nested/twice")));
        QVERIFY(makeFile(folder + QStringLiteral("/.hidden.log"), old));

        LogCleanup cleanup({folder}, [midnight] { return midnight + 110 * kHour; });
        const LogCleanup::Result result = cleanup.run();

        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/session1")));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("/empty")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/.hidden.log")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/session2/c.log")));
        QVERIFY(QFile::exists(folder + QStringLiteral("/session2/d.log")));
        QCOMPARE(result.filesDeleted, 4);
        QCOMPARE(result.filesKept, 1);
        // session1, session1/deeper, empty, empty/nested, empty/nested/twice
        QCOMPARE(result.foldersRemoved, 5);
        QCOMPARE(result.failures, 0);
    }

    void missingFoldersAreSkippedAndLinksNotFollowed()
    {
        QTemporaryDir root;
        const std::time_t midnight = dayMidnight();
        const QString outside = root.filePath(QStringLiteral("elsewhere"));
        QVERIFY(makeFile(outside + QStringLiteral("/precious.dat"), midnight));
        const QString folder = root.filePath(QStringLiteral("passThru5log"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(outside, folder + QStringLiteral("/link")));

        LogCleanup cleanup(
            {root.filePath(QStringLiteral("passThru4log")), folder, root.filePath(QStringLiteral("precious.dat"))},
            [midnight] { return midnight + 500 * kHour; });
        cleanup.run();

        QVERIFY(QFile::exists(outside + QStringLiteral("/precious.dat")));
        QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("passThru4log"))));
    }

    void detachedRunCleansTheThreeTraceFolders()
    {
        QTemporaryDir root;
        platform::setDataRoot(root.path().toStdString());
        const std::time_t longAgo = std::time(nullptr) - 30 * 24 * kHour;
        const QStringList names{QStringLiteral("passThru4log"), QStringLiteral("passThru5log"),
            QStringLiteral("PDULogger"), QStringLiteral("RemoteDiag")};
        for (const QString& name : names)
            QVERIFY(makeFile(root.filePath(name + QStringLiteral("/old.log")), longAgo));

        QCOMPARE(LogCleanup::defaultFolders().size(), 3);
        LogCleanup::startDetached();

        for (int i = 0; i < 3; ++i)
            QTRY_VERIFY(!QFile::exists(root.filePath(names.at(i) + QStringLiteral("/old.log"))));
        // RemoteDiag is not part of the start-up clean-up.
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("RemoteDiag/old.log"))));
        platform::setDataRoot(std::string());
    }

    void pingLoopback()
    {
        if (!icmpSocketsPermitted())
            QSKIP("ICMP sockets are not permitted for this user on this machine");
        unsigned long rtt = 12345;
        QVERIFY(pingHost(std::string("127.0.0.1"), rtt));
        QVERIFY(rtt <= InternetCheck::kEchoTimeoutMs);
        QVERIFY(pingHost(QStringLiteral("127.0.0.1"), rtt));
    }

    void pingRejectsTextThatIsNoAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("word") << QStringLiteral("localhost");
        QTest::newRow("out of range") << QStringLiteral("300.0.0.1");
        QTest::newRow("letters") << QStringLiteral("127.0.0.x");
        QTest::newRow("trailing junk") << QStringLiteral("127.0.0.1 ; rm");
    }

    void pingRejectsTextThatIsNoAddress()
    {
        QFETCH(QString, text);
        unsigned long rtt = 0;
        QVERIFY(!pingHost(text, rtt));
    }

    void systemAnswerYesNeedsNoSecondOpinion()
    {
        FakeResolver fake;
        InternetCheck::setResolver(fake.resolver());
        platform::setConnectivityProbe([] { return true; });
        QVERIFY(internetReachable());
        QCOMPARE(fake.calls.load(), 0);
    }

    void hostThatDoesNotResolveGivesFalseAndIsAskedOnce()
    {
        FakeResolver fake; // answers "" = does not resolve
        InternetCheck::setResolver(fake.resolver());
        platform::setConnectivityProbe([] { return false; });

        QVERIFY(!internetReachable());
        QVERIFY(!internetReachable());
        QCOMPARE(fake.calls.load(), 1); // the answer is kept for a while
        std::lock_guard<std::mutex> lock(fake.mutex);
        QCOMPARE(fake.lastHost, std::string(BuildConfig::kInternetProbeHost));
    }

    void resolvedHostIsPinged()
    {
        if (!icmpSocketsPermitted())
            QSKIP("ICMP sockets are not permitted for this user on this machine");
        FakeResolver fake;
        fake.answer = "127.0.0.1";
        InternetCheck::setResolver(fake.resolver());
        InternetCheck::setProbeHost("probe.test");
        platform::setConnectivityProbe([] { return false; });
        QVERIFY(internetReachable());
        std::lock_guard<std::mutex> lock(fake.mutex);
        QCOMPARE(fake.lastHost, std::string("probe.test"));
    }

    void hangingResolverDoesNotBlockTheCaller()
    {
        auto release = std::make_shared<std::promise<void>>();
        std::shared_future<void> released = release->get_future().share();
        auto calls = std::make_shared<std::atomic<int>>(0);
        InternetCheck::setResolver([released, calls](const std::string&) {
            ++*calls;
            released.wait(); // a resolver that never answers on its own
            return std::string("127.0.0.1");
        });
        platform::setConnectivityProbe([] { return false; });

        // Without the bounded wait these calls would never return.
        QVERIFY(!internetReachable());
        QVERIFY(InternetCheck::resolveProbeHost().empty());
        QCOMPARE(calls->load(), 1); // no second worker while one is in flight

        release->set_value();
        QTRY_COMPARE(InternetCheck::resolveProbeHost(), std::string("127.0.0.1"));
        QCOMPARE(calls->load(), 1);
    }
};

int main(int argc, char** argv)
{
    // Before QCoreApplication exists, so every QSettings of this process
    // lives in a private folder.
    QTemporaryDir configHome;
    g_configHome = &configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    QCoreApplication app(argc, argv);
    TestAppKitCore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appkit_core.moc"
