// The start-up clean-up of the trace folders: the 96-hour rule counted from
// local midnight of the last-access date, folder handling, and the run on a
// detached thread over the real folder map.
#include "kit/LogCleanup.h"

#include "platform/DataRoot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

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

} // namespace

class TestLogCleanup : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_GUILESS_MAIN(TestLogCleanup)
#include "tst_appkit_log_cleanup.moc"
