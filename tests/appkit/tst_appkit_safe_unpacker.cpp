// The safe unpacker against real 7-Zip and archives crafted here (Python's
// zipfile for what 7-Zip would not write, 7-Zip itself for 7z): good archives
// replace the target, every hostile one is refused with its own reason and
// leaves the target and its folder exactly as they were.
#include "kit/SafeUnpacker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Writes the crafted zips into the current folder.
const char* const kMakeZips = R"PY(
import zipfile, stat, struct, io
def zip_of(name, entries):
    with zipfile.ZipFile(name, 'w') as z:
        for entry in entries:
            if isinstance(entry, tuple):
                info = zipfile.ZipInfo(entry[0]); info.create_system = 3
                info.external_attr = entry[1] << 16
                z.writestr(info, entry[2])
            else:
                z.writestr(entry, 'x')
with zipfile.ZipFile('good.zip', 'w') as z:
    z.writestr('bin/VciSwitch.dll', 'mode library')
    z.writestr('manifest.json', '{}')
    z.writestr('empty/', '')
    z.writestr('Jap\u00f3n/\u65e5\u4ea7.txt', 'utf-8 name')
zip_of('dotdot.zip', ['ok.txt', 'sub/../../evil.txt'])
zip_of('absolute.zip', ['/tmp/evil.txt'])
zip_of('backslash.zip', ['..\\evil.txt'])
zip_of('drive.zip', ['C:/evil.txt'])
zip_of('reserved.zip', ['aux.txt'])
zip_of('override.zip', ['ok.txt', 'invoice\u202egpj.exe'])
zip_of('isolate.zip', ['docs/read\u2067me.txt'])
zip_of('zerowidth.zip', ['VciSwitch\u200b.dll'])
zip_of('symlink.zip', ['ok.txt', ('link', stat.S_IFLNK | 0o777, '/etc/passwd')])
zip_of('device.zip', [('tty', stat.S_IFCHR | 0o666, '')])
zip_of('many.zip', ['f%d' % i for i in range(6)])
buf = io.BytesIO()
with zipfile.ZipFile(buf, 'w') as z:
    z.writestr('big.bin', 'x')
b = bytearray(buf.getvalue())
struct.pack_into('<I', b, b.find(b'PK\x01\x02') + 24, 0xF0000000)
struct.pack_into('<I', b, b.find(b'PK\x03\x04') + 22, 0xF0000000)
open('huge.zip', 'wb').write(b)
good = open('good.zip', 'rb').read()
open('truncated.zip', 'wb').write(good[:60])
open('trailing.zip', 'wb').write(good + b'appended data')
open('text.zip', 'wb').write(b'not an archive at all\n')
)PY";

QStringList listTree(const QString& root)
{
    QStringList out;
    QDirIterator it(
        root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(root).relativeFilePath(it.next());
    out.sort();
    return out;
}

bool run(const QString& program, const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

class TestSafeUnpacker : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_archives;
    QString arc(const QString& name) const { return m_archives.filePath(name); }

    // A target folder holding an old install, the way an update finds it.
    static void makeOldInstall(const QString& target)
    {
        QVERIFY(QDir().mkpath(target + QStringLiteral("/old")));
        QFile file(target + QStringLiteral("/old/keep.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("previous version");
    }

private slots:
    void initTestCase()
    {
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip is not installed (scripts/deps.sh installs p7zip-full)");
        const QString dir = m_archives.path();
        QVERIFY(run(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(kMakeZips)}, dir));
        // 7z archives: a symbolic link stored as a link, an absolute path,
        // names and data encrypted.
        QVERIFY(QDir().mkpath(dir + QStringLiteral("/src")));
        QFile plain(dir + QStringLiteral("/src/f.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("seven");
        plain.close();
        QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), dir + QStringLiteral("/src/lnk")));
        const QString tool = SafeUnpacker::defaultToolPath();
        const QString src = dir + QStringLiteral("/src");
        QVERIFY(run(tool, {"a", "-snl", "../link.7z", "f.txt", "lnk"}, src));
        QVERIFY(run(tool, {"a", "-spf", "absolute.7z", src + QStringLiteral("/f.txt")}, dir));
        QVERIFY(run(tool, {"a", "-psecret", "-mhe=on", "../hidden.7z", "f.txt"}, src));
        QVERIFY(run(tool, {"a", "-psecret", "../locked.zip", "f.txt"}, src));
        QVERIFY(run(tool, {"a", "../good.7z", "f.txt"}, src));
    }

    void goodArchivesReplaceTheTarget_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QStringList>("tree");
        QTest::newRow("zip") << "good.zip"
                             << QStringList{"Jap\u00f3n", "Jap\u00f3n/\u65e5\u4ea7.txt", "bin", "bin/VciSwitch.dll",
                                    "empty", "manifest.json"};
        QTest::newRow("7z") << "good.7z" << QStringList{"f.txt"};
    }
    void goodArchivesReplaceTheTarget()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, tree);
        QTemporaryDir data;
        const QString target = data.filePath(QStringLiteral("J2534_0404"));
        makeOldInstall(target);
        SafeUnpacker unpacker;
        const SafeUnpacker::Result result = unpacker.unpack(arc(archive), target);
        QVERIFY2(result.ok(), qPrintable(result.message + QLatin1Char(' ') + result.detail));
        QCOMPARE(listTree(target), tree);
        // Nothing beside the target: no fresh or old folder left behind.
        QCOMPARE(
            listTree(data.path()).filter(QRegularExpression(QStringLiteral("^[^/]+$"))), QStringList{"J2534_0404"});
        if (archive == QLatin1String("good.zip")) {
            QFile dll(target + QStringLiteral("/bin/VciSwitch.dll"));
            QVERIFY(dll.open(QIODevice::ReadOnly));
            QCOMPARE(dll.readAll(), QByteArray("mode library"));
        }
    }

    void hostileArchivesAreRefusedAndLeaveNothing_data()
    {
        using F = SafeUnpacker::Failure;
        QTest::addColumn<QString>("archive");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("words"); // part of the message the technician reads
        QTest::newRow("..") << "dotdot.zip" << int(F::UnsafeName) << "unsafe file name: sub/../../evil.txt";
        QTest::newRow("absolute zip") << "absolute.zip" << int(F::UnsafeName) << "/tmp/evil.txt";
        QTest::newRow("absolute 7z") << "absolute.7z" << int(F::UnsafeName) << "unsafe";
        QTest::newRow("backslash ..") << "backslash.zip" << int(F::UnsafeName) << "unsafe";
        QTest::newRow("drive") << "drive.zip" << int(F::UnsafeName) << "unsafe";
        QTest::newRow("reserved name") << "reserved.zip" << int(F::UnsafeName) << "aux.txt";
        // Shown with '?' in place of the override, so the message reads as stored.
        QTest::newRow("right-to-left override") << "override.zip" << int(F::UnsafeName) << "invoice?gpj.exe";
        QTest::newRow("bidi isolate") << "isolate.zip" << int(F::UnsafeName) << "docs/read?me.txt";
        QTest::newRow("zero-width space") << "zerowidth.zip" << int(F::UnsafeName) << "VciSwitch?.dll";
        QTest::newRow("zip symlink") << "symlink.zip" << int(F::Link) << "holds a link: link";
        QTest::newRow("7z symlink") << "link.7z" << int(F::Link) << "holds a link: lnk";
        QTest::newRow("device") << "device.zip" << int(F::SpecialFile) << "device";
        QTest::newRow("huge size") << "huge.zip" << int(F::TooLarge) << "more than";
        QTest::newRow("truncated") << "truncated.zip" << int(F::Damaged) << "damaged";
        QTest::newRow("trailing data") << "trailing.zip" << int(F::Damaged) << "damaged";
        QTest::newRow("not an archive") << "text.zip" << int(F::Damaged) << "not a zip or 7z archive";
        QTest::newRow("missing file") << "absent.zip" << int(F::Damaged) << "damaged";
        QTest::newRow("encrypted data") << "locked.zip" << int(F::Encrypted) << "password";
        QTest::newRow("encrypted list") << "hidden.7z" << int(F::Encrypted) << "password";
        QTest::newRow("too many") << "many.zip" << int(F::TooManyEntries) << "more than 5 files";
    }
    void hostileArchivesAreRefusedAndLeaveNothing()
    {
        QFETCH(QString, archive);
        QFETCH(int, failure);
        QFETCH(QString, words);
        QTemporaryDir data;
        const QString target = data.filePath(QStringLiteral("VW"));
        makeOldInstall(target);
        const QStringList before = listTree(data.path());
        SafeUnpacker unpacker;
        SafeUnpacker::Limits limits;
        limits.maxEntries = 5;
        unpacker.setLimits(limits);
        const SafeUnpacker::Result result = unpacker.unpack(arc(archive), target);
        QCOMPARE(int(result.failure), failure);
        QVERIFY2(result.message.contains(words), qPrintable(result.message));
        QCOMPARE(listTree(data.path()), before);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/evil.txt")));
    }

    void unusableToolsFailWithinTheirTime()
    {
        QTemporaryDir data;
        SafeUnpacker missing(data.filePath(QStringLiteral("no-7za")));
        QCOMPARE(missing.unpack(arc(QStringLiteral("good.zip")), data.filePath(QStringLiteral("t"))).failure,
            SafeUnpacker::Failure::ToolMissing);
        // A tool that never answers is stopped at the list's time-out.
        const QString slow = data.filePath(QStringLiteral("slow-7za"));
        QFile script(slow);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec sleep 30\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        SafeUnpacker hanging(slow);
        SafeUnpacker::Limits limits;
        limits.listTimeoutMs = 300;
        hanging.setLimits(limits);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(hanging.inspect(arc(QStringLiteral("good.zip"))).failure, SafeUnpacker::Failure::TimedOut);
        QVERIFY(clock.elapsed() < 20000);
        hanging.setLimits(SafeUnpacker::Limits());
        hanging.setCancelCheck([] { return true; });
        QCOMPARE(hanging.inspect(arc(QStringLiteral("good.zip"))).failure, SafeUnpacker::Failure::Cancelled);
    }

    // A tool that writes other than it listed (a link, an extra file, a
    // different size) is caught by the check after unpacking.
    void whatTheToolWroteIsCheckedAgain_data()
    {
        QTest::addColumn<QString>("extract");
        QTest::addColumn<int>("failure");
        QTest::newRow("link") << "ln -s /etc \"$out/a\"" << int(SafeUnpacker::Failure::Link);
        QTest::newRow("extra file") << "echo x > \"$out/a\"; echo y > \"$out/b\""
                                    << int(SafeUnpacker::Failure::Mismatch);
        QTest::newRow("other size") << "echo longer > \"$out/a\"" << int(SafeUnpacker::Failure::Mismatch);
    }
    void whatTheToolWroteIsCheckedAgain()
    {
        QFETCH(QString, extract);
        QFETCH(int, failure);
        QTemporaryDir data;
        const QString fake = data.filePath(QStringLiteral("fake-7za"));
        QFile script(fake);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nif [ \"$1\" = l ]; then printf -- '--\\nType = zip\\n----------\\n"
                     "Path = a\\nSize = 2\\nAttributes = A -rw-r--r--\\n\\n'; exit 0; fi\n"
                     "for a; do case \"$a\" in -o*) out=${a#-o};; esac; done\n");
        script.write(extract.toUtf8() + "\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString target = data.filePath(QStringLiteral("GM"));
        SafeUnpacker unpacker(fake);
        QCOMPARE(int(unpacker.unpack(arc(QStringLiteral("good.zip")), target).failure), failure);
        QCOMPARE(listTree(data.path()), QStringList{"fake-7za"});
    }

    // A listing whose name broke the line structure leaves an entry without
    // its fields: refused, not read as two harmless entries.
    void listingsAreCheckedAgainstTheirLimits()
    {
        const QByteArray head = "--\nPath = a.zip\nType = zip\n\n----------\n";
        const QByteArray ok = "Path = a\nSize = 1\nAttributes = A -rw-r--r--\n\n";
        QVERIFY(SafeUnpacker::checkListing(head + ok, {}).ok());
        QCOMPARE(SafeUnpacker::checkListing(head + "Path = a\n\nPath = b\nSize = 1\nAttributes = \n\n", {}).failure,
            SafeUnpacker::Failure::Damaged);
        QCOMPARE(SafeUnpacker::checkListing(head + "Path = a\nSize = 1x\nAttributes = \n\n", {}).failure,
            SafeUnpacker::Failure::Damaged);
        QCOMPARE(SafeUnpacker::checkListing(head + ok + ok, {}).failure, SafeUnpacker::Failure::UnsafeName);
        QCOMPARE(SafeUnpacker::checkListing("--\nPath = a.tar\nType = tar\n\n----------\n" + ok, {}).failure,
            SafeUnpacker::Failure::Damaged);

        // The limits hold exactly: the sizes' sum and the entries' count at the
        // limit pass, one more does not.
        const QByteArray two = head
            + "Path = a\nSize = 1\nAttributes = A -rw-r--r--\n\nPath = b\nSize = 2\nAttributes = A -rw-r--r--\n\n";
        SafeUnpacker::Limits limits;
        limits.maxTotalSize = 3;
        limits.maxEntries = 2;
        QVERIFY(SafeUnpacker::checkListing(two, limits).ok());
        limits.maxTotalSize = 2;
        QCOMPARE(SafeUnpacker::checkListing(two, limits).failure, SafeUnpacker::Failure::TooLarge);
        limits.maxTotalSize = 3;
        limits.maxEntries = 1;
        QCOMPARE(SafeUnpacker::checkListing(two, limits).failure, SafeUnpacker::Failure::TooManyEntries);
    }

    void removalNeverFollowsLinks()
    {
        QTemporaryDir data;
        const QString outside = data.filePath(QStringLiteral("outside"));
        QVERIFY(QDir().mkpath(outside));
        QFile precious(outside + QStringLiteral("/precious.txt"));
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.close();
        const QString tree = data.filePath(QStringLiteral("tree"));
        QVERIFY(QDir().mkpath(tree + QStringLiteral("/locked")));
        QVERIFY(QFile::link(outside, tree + QStringLiteral("/into-outside")));
        QVERIFY(QFile::link(outside, data.filePath(QStringLiteral("top-link"))));
        QFile::setPermissions(tree + QStringLiteral("/locked"), QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(SafeUnpacker::removeTree(tree));
        QVERIFY(SafeUnpacker::removeTree(data.filePath(QStringLiteral("top-link"))));
        QVERIFY(!QFileInfo::exists(tree));
        QVERIFY(!QFileInfo(data.filePath(QStringLiteral("top-link"))).isSymLink());
        QVERIFY(QFile::exists(outside + QStringLiteral("/precious.txt")));
    }
};

QTEST_GUILESS_MAIN(TestSafeUnpacker)
#include "tst_appkit_safe_unpacker.moc"
