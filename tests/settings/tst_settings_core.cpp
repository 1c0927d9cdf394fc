// The settings subsystem without widgets: what the page shows for given
// answers of the machine, the language rules, the system log folders and
// links on a private file system, the autostart entry, the support file's
// secret scrubber, and the ENET calls off the GUI thread (answers as signals,
// a hanging call given up within its bound, only the newest queued request
// run, cancel and stop).
#include "support/SettingsTestEnv.h"

#include "settings/EnetControl.h"
#include "settings/SecretScrubber.h"
#include "settings/SettingsRules.h"
#include "settings/SystemLogFolders.h"

#include "kit/SettingsStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

SettingsProbes fake(QSet<QString> existing, QString autostart = QString(), QString language = QString())
{
    SettingsProbes p;
    p.directoryExists = [existing](const QString& path) { return existing.contains(path.section('/', -1)); };
    p.autostartEntry = [autostart] { return autostart; };
    p.language = [language] { return language; };
    return p;
}

// A call that blocks until released (or 10 s, so a failing test still ends).
class Gate {
public:
    void wait()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return m_open; });
    }
    void open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_cv.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

} // namespace

class TestSettingsCore : public QObject {
    Q_OBJECT

private slots:
    void stateFollowsTheProbes()
    {
        struct Row {
            QSet<QString> folders;
            const char* autostart;
            const char* language;
            SettingsState expected;
        };
        const Row rows[] = {
            {{}, "", "", {false, false, 1}},
            {{"RemoteDiag"}, "", "es", {false, false, 0}}, // RemoteDiag is not counted
            {{"passThru4log"}, "/opt/bw/Brindlewick -z", "en", {true, true, 1}},
            {{"passThru5log"}, "", "fr", {true, false, 1}}, // the combo box only has the two
            {{"PDULogger", "RemoteDiag"}, "", "es", {true, false, 0}},
        };
        for (const Row& row : rows) {
            const SettingsState s = readSettingsState(
                fake(row.folders, QString::fromLatin1(row.autostart), QString::fromLatin1(row.language)));
            const QString name = QStringList(row.folders.values()).join(',') + '/' + row.language;
            QVERIFY2(s.systemLog == row.expected.systemLog && s.autostart == row.expected.autostart
                    && s.languageIndex == row.expected.languageIndex,
                qPrintable(name));
        }
        // Probes that are missing count as "nothing there".
        const SettingsState empty = readSettingsState(SettingsProbes());
        QVERIFY(!empty.systemLog && !empty.autostart && empty.languageIndex == 0);

        QCOMPARE(SettingsLanguage::codeFor(0), QStringLiteral("es"));
        QCOMPARE(SettingsLanguage::codeFor(1), QStringLiteral("en"));
        QVERIFY(SettingsLanguage::codeFor(2).isEmpty() && SettingsLanguage::codeFor(-1).isEmpty());
        QVERIFY(!SettingsLanguage::asksForRestart(1, 1));
        QVERIFY(SettingsLanguage::asksForRestart(0, 1) && SettingsLanguage::asksForRestart(1, 0));
    }

    void systemStateComesFromTheDataRootAndTheStore()
    {
        SettingsTestEnv env;
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        QCOMPARE(readSettingsState(SettingsProbes::system()).languageIndex, 1);
        QVERIFY(QDir().mkpath(env.data() + QStringLiteral("/RemoteDiag")));
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, false);
        // A file of a counted name is not a folder.
        writeFile(env.data() + QStringLiteral("/passThru4log"), "x");
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, false);
        QVERIFY(QDir().mkpath(env.data() + QStringLiteral("/passThru5log")));
        QCOMPARE(readSettingsState(SettingsProbes::system()).systemLog, true);
        SettingsStore::instance().setLanguage(QStringLiteral("es"));
    }

    // Enable makes every folder and its link, repeats without touching what the
    // drivers wrote, and replaces a link that points elsewhere.
    void enableMakesFoldersAndLinks()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        const QString elsewhere = env.path() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        writeFile(elsewhere + QStringLiteral("/keep.txt"), "keep");
        QVERIFY(QDir().mkpath(folders.shortcutFolder()));
        QVERIFY(QFile::link(elsewhere, folders.shortcutFolder() + QStringLiteral("/passThru4log.lnk")));

        QVERIFY(folders.enable());
        for (const QString& folder : folders.traceFolderPaths()) {
            QVERIFY2(QFileInfo(folder).isDir() && folder.startsWith(env.data()), qPrintable(folder));
            const QFileInfo link(folders.shortcutFolder() + '/' + QFileInfo(folder).fileName() + ".lnk");
            QVERIFY2(link.isSymLink(), qPrintable(link.filePath()));
            QCOMPARE(QFileInfo(link.symLinkTarget()), QFileInfo(folder));
        }
        QCOMPARE(
            QDir(folders.shortcutFolder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size(),
            folders.traceFolderPaths().size());
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/keep.txt")));
        writeFile(folders.traceFolderPaths().at(0) + QStringLiteral("/trace.txt"), "data");
        const QStringList before = env.snapshot();
        QVERIFY(folders.enable());
        QCOMPARE(env.snapshot(), before);
    }

    void disableRemovesEverythingButNeverFollowsLinks()
    {
        SettingsTestEnv env;
        SystemLogFolders folders;
        QVERIFY(folders.enable());
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
        // A trace folder that is itself a link goes as a link.
        const QString linked = folders.traceFolderPaths().at(2);
        QVERIFY(QDir(linked).removeRecursively());
        QVERIFY(QFile::link(outside + QStringLiteral("/sub"), linked));

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

    void autostartEntryWrittenOnceAndRemoved()
    {
        SettingsTestEnv env;
        QVERIFY(readAutostartEntry().empty());
        QVERIFY(applyAutostart(true));
        QCOMPARE(QString::fromStdString(readAutostartEntry()),
            QCoreApplication::applicationFilePath() + QStringLiteral(" -z"));
        const QString file = env.path() + QStringLiteral("/config/autostart/Brindlewick.desktop");
        const QDateTime written = QFileInfo(file).lastModified();
        QVERIFY(written.isValid());
        QTest::qWait(20);
        QVERIFY(applyAutostart(true)); // already as asked: not written again
        QCOMPARE(QFileInfo(file).lastModified(), written);
        QVERIFY(applyAutostart(false));
        QVERIFY(readAutostartEntry().empty());
        QVERIFY(applyAutostart(false));
    }

    void scrubberRemovesSecretsAndKeepsTheRest()
    {
        const char* const secrets[][2] = {
            {"SN=M5EA0001XJ7B0001\nkey=K3yS3cr3t\nvciIP=169.254.100.1", "K3yS3cr3t"},
            {"login user=ana password=hunter22 ok", "hunter22"},
            {"Password : Zz9-aa", "Zz9-aa"},
            {R"({"username":"ana","password":"p@ss w0rd"})", "p@ss w0rd"},
            {R"({"token": "eyJhbGciOi.JIUzI1.NiJ9"})", "eyJhbGciOi.JIUzI1.NiJ9"},
            {"GET /api/x?sn=A1&access_token=abcDEF123&y=1", "abcDEF123"},
            {"remoteKey=998877aa", "998877aa"},
            {"api_key: 0123456789abcdef", "0123456789abcdef"},
            {"client_secret='s3cr3t!'", "s3cr3t!"},
            {"Authorization: Basic YW5hOmh1bnRlcjIy\r\nHost: x", "YW5hOmh1bnRlcjIy"},
            {"authorization: Bearer abc.def.ghi", "abc.def.ghi"},
            {"Proxy-Authorization: Digest u=1", "Digest u=1"},
            {"Cookie: session=77aa88bb; theme=dark", "77aa88bb"},
            {"Set-Cookie: sid=QWERTY; HttpOnly", "QWERTY"},
            {"sending Bearer tok_1234567890 to relay", "tok_1234567890"},
            {"your verification code is 482913, valid 5 min", "482913"},
            {"sms code: 123456", "123456"},
            {"code=654321", "654321"},
            {R"({"phone":"555","smsCode":"778899"})", "778899"},
            {"longTimeCode=AB12CD", "AB12CD"},
            {"pwd=x9x9x9", "x9x9x9"},
        };
        for (const auto& row : secrets) {
            const QString out = SecretScrubber::scrub(QString::fromUtf8(row[0]));
            QVERIFY2(!out.contains(QString::fromUtf8(row[1])) && out.contains(QLatin1String(SecretScrubber::kRemoved)),
                qPrintable(out));
            QCOMPARE(SecretScrubber::scrub(out), out); // scrubbing twice changes nothing more
        }
        for (const char* plain : {"SN=M5EA0001XJ7B0001\nsoftVer=V1.2.3\nconnType=USB\nvbatt=12340\nstatus=1",
                 "2024-05-01 12:34:56.789 info service [main]: publishing adapter M5EA0001XJ7B0001 at 127.0.100.1",
                 "upgrader exited with exit code: 1", R"({"code":0,"msg":"ok","data":[]})",
                 "eth1 | r8152 | AA-BB-CC-DD-EE-FF | 169.254.100.2 | V2.0.1", "error code 40401 from server", ""})
            QCOMPARE(SecretScrubber::scrub(QString::fromUtf8(plain)), QString::fromUtf8(plain));

        // Only the value goes: the rest of the line, and each line's own secret.
        QCOMPARE(SecretScrubber::scrub(QStringLiteral(R"({"password":"xyz","sn":"M5EA0001XJ7B0001"})")),
            QStringLiteral(R"({"password":"[removed]","sn":"M5EA0001XJ7B0001"})"));
        QCOMPARE(
            SecretScrubber::scrub(QStringLiteral("?token=abc&sn=M5EA")), QStringLiteral("?token=[removed]&sn=M5EA"));
        QCOMPARE(SecretScrubber::scrub(QStringLiteral("token=a1\nkey=b2\ncode 123456\nSN=XYZ")),
            QStringLiteral("token=[removed]\nkey=[removed]\ncode [removed]\nSN=XYZ"));

        const QByteArray utf8 = SecretScrubber::scrubUtf8(QStringLiteral("password=ñandú12 día").toUtf8());
        QVERIFY(!utf8.contains(QStringLiteral("ñandú12").toUtf8()) && utf8.contains(QStringLiteral("día").toUtf8()));
    }

    void scrubberEndsOnLongLinesOfLetters()
    {
        // A log line of megabytes with no separator, then a secret: scrubbed,
        // and the letters before it kept (no quadratic search on the run).
        const QString run(2 * 1024 * 1024, QLatin1Char('a'));
        const QString out = SecretScrubber::scrub(run + QStringLiteral(" password=abcdef code ") + run);
        QVERIFY(out.startsWith(run));
        QCOMPARE(out.size(), 2 * run.size() + QStringLiteral(" password=[removed] code ").size());
    }

    void enetReadAndWriteReportTheirAnswers()
    {
        std::atomic<bool> adapterOn{true};
        std::atomic<int> writes{0};
        std::string lastIp;
        std::mutex ipMutex;
        EnetControl control(
            [&](const std::string& ip) {
                std::lock_guard<std::mutex> lock(ipMutex);
                lastIp = ip;
                return adapterOn.load();
            },
            [&](const std::string&, bool on) {
                ++writes;
                adapterOn = on;
                return true;
            });
        QSignalSpy busy(&control, &EnetControl::busyChanged);
        QSignalSpy read(&control, &EnetControl::stateRead);
        QSignalSpy written(&control, &EnetControl::writeFinished);

        control.read(QStringLiteral("169.254.100.1"));
        QVERIFY(control.busy());
        QTRY_COMPARE(read.size(), 1);
        QCOMPARE(read.at(0).at(0).toBool(), true);
        QVERIFY(!control.busy());
        QCOMPARE(busy.size(), 2);
        {
            std::lock_guard<std::mutex> lock(ipMutex);
            QCOMPARE(lastIp, std::string("169.254.100.1"));
        }
        control.write(QStringLiteral("169.254.100.1"), false);
        QTRY_COMPARE(written.size(), 1);
        QCOMPARE(written.at(0).at(0).toBool(), true);
        QCOMPARE(writes.load(), 1);
        QCOMPARE(adapterOn.load(), false);
    }

    void enetHangingCallIsGivenUpWithinItsBound()
    {
        Gate gate;
        std::atomic<int> calls{0};
        EnetControl control([](const std::string&) { return false; },
            [&](const std::string&, bool) {
                ++calls;
                gate.wait();
                return true;
            });
        control.setBoundMs(300);
        QSignalSpy gaveUp(&control, &EnetControl::gaveUp);
        QSignalSpy written(&control, &EnetControl::writeFinished);
        QElapsedTimer clock;
        clock.start();
        control.write(QStringLiteral("169.254.100.1"), true);
        QTRY_COMPARE_WITH_TIMEOUT(gaveUp.size(), 1, 3000);
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= 250 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        QVERIFY(!control.busy());
        // The adapter answers at last: too late, nothing is reported.
        gate.open();
        QTest::qWait(100);
        QCOMPARE(written.size(), 0);
        QCOMPARE(calls.load(), 1);
    }

    void enetRequestsWhileBusyWaitAndOnlyTheNewestRuns()
    {
        Gate gate;
        std::mutex mutex;
        QList<bool> seen;
        EnetControl control([](const std::string&) { return true; },
            [&](const std::string&, bool on) {
                bool first = false;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    seen << on;
                    first = seen.size() == 1;
                }
                if (first)
                    gate.wait();
                return true;
            });
        QSignalSpy written(&control, &EnetControl::writeFinished);
        for (bool on : {true, false, true, false})
            control.write(QStringLiteral("10.0.0.1"), on);
        QTest::qWait(50);
        gate.open();
        QTRY_COMPARE(written.size(), 2);
        QTest::qWait(50);
        std::lock_guard<std::mutex> lock(mutex);
        QCOMPARE(seen, (QList<bool>{true, false}));
    }

    // Cancel forgets the running answer; stop joins the call and nothing
    // starts afterwards.
    void enetCancelAndStopEndReports()
    {
        Gate gate;
        auto control = std::make_unique<EnetControl>(
            [&](const std::string&) {
                gate.wait();
                return true;
            },
            [](const std::string&, bool) { return true; });
        QSignalSpy read(control.get(), &EnetControl::stateRead);
        control->read(QStringLiteral("10.0.0.1"));
        control->cancel();
        QVERIFY(!control->busy());
        control->read(QStringLiteral("10.0.0.1"));
        std::thread opener([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            gate.open();
        });
        control->stop();
        opener.join();
        control->read(QStringLiteral("10.0.0.1")); // stopped: nothing starts
        QTest::qWait(100);
        QCOMPARE(read.size(), 0);
        control.reset();
    }
};

QTEST_GUILESS_MAIN(TestSettingsCore)
#include "tst_settings_core.moc"
