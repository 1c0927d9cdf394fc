// Upgrade2 on its own, with stand-in programs (shell scripts) in a private
// program folder: a new program that confirms stays and the old files go; one
// that exits without confirming is rolled back and the old program is started
// again; an empty or wrong command line is refused.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray line(const QByteArray& bytes, const char* mode, const char* path)
{
    return "file " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + ' '
        + QByteArray::number(bytes.size()) + ' ' + mode + ' ' + path + '\n';
}

// The old program records that it ran; the new one confirms or not.
const QByteArray kOldProgram = "#!/bin/sh\necho old > \"$(dirname \"$0\")/old-started\"\n";
const QByteArray kConfirming = "#!/bin/sh\nprintf '9.9.9.9\\n%s\\n' $$ > \"$BRINDLEWICK_UPDATE_CONFIRM\"\n";
const QByteArray kSilent = "#!/bin/sh\nexit 1\n";

} // namespace

class TstUpdateUpgrader : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString install;
    QString release;

    // An installed program folder and a release beside it whose program is `newProgram`.
    void prepare(const QByteArray& newProgram)
    {
        install = dir.filePath(QStringLiteral("install"));
        release = dir.filePath(QStringLiteral("release"));
        QDir(install).removeRecursively();
        QDir(release).removeRecursively();
        QVERIFY(writeFile(install + QStringLiteral("/Brindlewick"), kOldProgram, true));
        QVERIFY(writeFile(install + QStringLiteral("/lib/libOld.so"), "old library"));
        QVERIFY(writeFile(install + QStringLiteral("/data.txt"), "old data"));
        QVERIFY(QFile::copy(QStringLiteral(BW_UPGRADE2), install + QStringLiteral("/Upgrade2")));
        // Zip archives lose the executable bit: the release's program has none.
        QVERIFY(writeFile(release + QStringLiteral("/Brindlewick"), newProgram));
        QVERIFY(writeFile(release + QStringLiteral("/data.txt"), "new data"));
        QVERIFY(writeFile(release + QStringLiteral("/lib/libNew.so"), "new library"));
        QVERIFY(writeFile(release + QStringLiteral("/manifest.txt"),
            "Brindlewick release 1\nversion 9.9.9.9\n" + line(newProgram, "x", "Brindlewick")
                + line("new data", "-", "data.txt") + line("new library", "-", "lib/libNew.so")));
    }

    int stage()
    {
        QProcess upgrader;
        upgrader.start(install + QStringLiteral("/Upgrade2"), {release});
        upgrader.waitForFinished(30000);
        return upgrader.exitStatus() == QProcess::NormalExit ? upgrader.exitCode() : -1;
    }

    QString log() const { return QString::fromUtf8(readFile(install + QStringLiteral("/.bw-upgrade/upgrade.log"))); }

private slots:
    void initTestCase()
    {
        qputenv("BRINDLEWICK_UPGRADE2_CONFIRM_MS", "5000");
        qunsetenv("BRINDLEWICK_UPGRADE_WAIT_PID");
    }

    void confirmedUpdateStays()
    {
        prepare(kConfirming);
        QCOMPARE(stage(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("updated to 9.9.9.9")), 20000);
        QCOMPARE(readFile(install + QStringLiteral("/Brindlewick")), kConfirming);
        QVERIFY(QFileInfo(install + QStringLiteral("/Brindlewick")).isExecutable());
        QCOMPARE(readFile(install + QStringLiteral("/data.txt")), QByteArray("new data"));
        QVERIFY(QFileInfo::exists(install + QStringLiteral("/lib/libNew.so")));
        // A file the release does not name is left alone.
        QVERIFY(QFileInfo::exists(install + QStringLiteral("/lib/libOld.so")));
        QVERIFY(!QFileInfo::exists(install + QStringLiteral("/.bw-upgrade/old")));
        QVERIFY(!QFileInfo::exists(install + QStringLiteral("/old-started")));
    }

    void unconfirmedUpdateIsRolledBack()
    {
        prepare(kSilent);
        QCOMPARE(stage(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("did not confirm")), 20000);
        // The old program is back and was started again.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(install + QStringLiteral("/old-started")), 10000);
        QCOMPARE(readFile(install + QStringLiteral("/Brindlewick")), kOldProgram);
        QCOMPARE(readFile(install + QStringLiteral("/data.txt")), QByteArray("old data"));
        QVERIFY(!QFileInfo::exists(install + QStringLiteral("/lib/libNew.so")));
        QVERIFY(!QFileInfo::exists(install + QStringLiteral("/.bw-upgrade/journal")));
    }

    void badCommandLines()
    {
        prepare(kConfirming);
        QProcess upgrader;
        for (const QStringList& args : {QStringList(), QStringList{QStringLiteral("--apply")},
                 QStringList{dir.filePath(QStringLiteral("no-such-folder"))}}) {
            upgrader.start(install + QStringLiteral("/Upgrade2"), args);
            QVERIFY(upgrader.waitForFinished(10000));
            QCOMPARE(upgrader.exitCode(), 2);
        }
        // A release without a manifest is refused before anything is staged.
        QFile::remove(release + QStringLiteral("/manifest.txt"));
        QCOMPARE(stage(), 2);
        QCOMPARE(readFile(install + QStringLiteral("/Brindlewick")), kOldProgram);
        QVERIFY(!QFileInfo::exists(install + QStringLiteral("/.bw-upgrade/new")));
    }
};

QTEST_GUILESS_MAIN(TstUpdateUpgrader)
#include "tst_update_upgrader.moc"
