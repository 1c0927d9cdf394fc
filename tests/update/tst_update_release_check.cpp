// The signed manifest of a release: signature, sums, listed files, and the
// archive-level refusals of the installer (truncated, links, "..", size).
#include "update/ReleaseInstaller.h"
#include "update/ReleaseManifest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <openssl/evp.h>

#include <memory>

namespace {

using update::ReleaseCheck;

// An Ed25519 key made for the test run.
struct TestKey {
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key{EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"), EVP_PKEY_free};

    QByteArray publicKey() const
    {
        QByteArray raw(32, '\0');
        std::size_t size = 32;
        EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(raw.data()), &size);
        return raw;
    }
    QByteArray sign(const QByteArray& data) const
    {
        QByteArray signature(64, '\0');
        std::size_t size = 64;
        std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get());
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
            reinterpret_cast<const unsigned char*>(data.constData()), std::size_t(data.size()));
        return signature;
    }
};

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray manifestLine(const QString& path, const QByteArray& bytes, bool executable)
{
    return "file " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + ' '
        + QByteArray::number(bytes.size()) + (executable ? " x " : " - ") + path.toUtf8() + '\n';
}

// A release folder with two files, signed with `key`.
QByteArray makeRelease(const QString& folder, const TestKey& key)
{
    const QByteArray program("program bytes");
    const QByteArray library("library bytes");
    writeFile(folder + QStringLiteral("/Brindlewick"), program);
    writeFile(folder + QStringLiteral("/lib/libX.so"), library);
    const QByteArray manifest = "Brindlewick release 1\nversion 1.0.2.0\n"
        + manifestLine(QStringLiteral("Brindlewick"), program, true)
        + manifestLine(QStringLiteral("lib/libX.so"), library, false);
    writeFile(folder + QStringLiteral("/manifest.txt"), manifest);
    writeFile(folder + QStringLiteral("/manifest.sig"), key.sign(manifest));
    return manifest;
}

bool zipFolder(const QString& folder, const QString& archive, const QStringList& extra = QStringList())
{
    QProcess zip;
    zip.setWorkingDirectory(folder);
    zip.start(QStringLiteral("7z"),
        QStringList{QStringLiteral("a"), QStringLiteral("-tzip"), archive} + extra + QStringList{QStringLiteral(".")});
    return zip.waitForFinished(30000) && zip.exitCode() == 0;
}

} // namespace

class TstUpdateReleaseCheck : public QObject {
    Q_OBJECT
private:
    TestKey key;
    TestKey otherKey;

private slots:
    void signedFolderPasses()
    {
        QTemporaryDir dir;
        makeRelease(dir.path(), key);
        update::Manifest manifest;
        QCOMPARE(ReleaseCheck::verifyFolder(dir.path(), key.publicKey(), &manifest), QString());
        QCOMPARE(manifest.version, QStringLiteral("1.0.2.0"));
        QCOMPARE(manifest.entries.size(), 2);
        QVERIFY(manifest.entries.at(0).executable);
        QCOMPARE(manifest.entries.at(1).path, QStringLiteral("lib/libX.so"));
        QVERIFY(!manifest.entries.at(1).executable);
    }

    void tamperedFoldersAreRefused_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::newRow("file changed") << "file";
        QTest::newRow("file grown") << "grown";
        QTest::newRow("file missing") << "missing";
        QTest::newRow("unlisted file") << "extra";
        QTest::newRow("unsigned") << "unsigned";
        QTest::newRow("manifest changed after signing") << "manifest";
        QTest::newRow("signed by another key") << "otherKey";
        QTest::newRow("signature cut short") << "shortSignature";
        QTest::newRow("listed file is a link") << "link";
    }

    void tamperedFoldersAreRefused()
    {
        QFETCH(QString, damage);
        QTemporaryDir dir;
        const QByteArray manifest = makeRelease(dir.path(), key);
        const QString program = dir.filePath(QStringLiteral("Brindlewick"));
        if (damage == QLatin1String("file"))
            writeFile(program, "program bytez");
        else if (damage == QLatin1String("grown"))
            writeFile(program, "program bytes and more");
        else if (damage == QLatin1String("missing"))
            QFile::remove(program);
        else if (damage == QLatin1String("extra"))
            writeFile(dir.filePath(QStringLiteral("lib/evil.so")), "x");
        else if (damage == QLatin1String("unsigned"))
            QFile::remove(dir.filePath(QStringLiteral("manifest.sig")));
        else if (damage == QLatin1String("manifest"))
            writeFile(dir.filePath(QStringLiteral("manifest.txt")), QByteArray(manifest).replace("1.0.2.0", "9.0.2.0"));
        else if (damage == QLatin1String("otherKey"))
            writeFile(dir.filePath(QStringLiteral("manifest.sig")), otherKey.sign(manifest));
        else if (damage == QLatin1String("shortSignature"))
            writeFile(dir.filePath(QStringLiteral("manifest.sig")), key.sign(manifest).left(63));
        else if (damage == QLatin1String("link")) {
            QFile::rename(program, dir.filePath(QStringLiteral("real")));
            QFile::link(dir.filePath(QStringLiteral("real")), program);
        }
        const QString message = ReleaseCheck::verifyFolder(dir.path(), key.publicKey());
        QVERIFY2(!message.isEmpty(), qPrintable(damage));
    }

    void manifestParsing_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("ok");
        const QByteArray sum(64, 'a');
        const QByteArray head("Brindlewick release 1\nversion 1.0.2.0\n");
        QTest::newRow("good, blank in the path") << head + "file " + sum + " 3 - a b.txt\n" << true;
        QTest::newRow("no header") << "version 1\nfile " + sum + " 3 - a\n" << false;
        QTest::newRow("no version") << "Brindlewick release 1\nfile " + sum + " 3 - a\n" << false;
        QTest::newRow("no files") << head << false;
        QTest::newRow("climbs out") << head + "file " + sum + " 3 - ../a\n" << false;
        QTest::newRow("absolute") << head + "file " + sum + " 3 - /etc/a\n" << false;
        QTest::newRow("a folder, not a file") << head + "file " + sum + " 3 - lib/\n" << false;
        QTest::newRow("doubled slash") << head + "file " + sum + " 3 - lib//a\n" << false;
        QTest::newRow("drive letter") << head + "file " + sum + " 3 - C:/a\n" << false;
        QTest::newRow("twice, other case") << head + "file " + sum + " 3 - a\nfile " + sum + " 3 - A\n" << false;
        QTest::newRow("upper-case sum") << head + "file " + QByteArray(64, 'A') + " 3 - a\n" << false;
        QTest::newRow("short sum") << head + "file " + QByteArray(63, 'a') + " 3 - a\n" << false;
        QTest::newRow("negative size") << head + "file " + sum + " -3 - a\n" << false;
        QTest::newRow("bad mode") << head + "file " + sum + " 3 w a\n" << false;
        QTest::newRow("lists the manifest") << head + "file " + sum + " 3 - manifest.txt\n" << false;
        QTest::newRow("unknown line") << head + "run rm -rf\n" << false;
        QTest::newRow("empty line inside") << head + "\nfile " + sum + " 3 - a\n" << false;
    }

    void manifestParsing()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, ok);
        update::Manifest manifest;
        QString reason;
        QCOMPARE(ReleaseCheck::parse(text, manifest, &reason), ok);
        QCOMPARE(reason.isEmpty(), ok);
    }

    void tooManyEntries()
    {
        QByteArray text("Brindlewick release 1\nversion 1\n");
        for (int i = 0; i <= update::kMaxManifestEntries; ++i)
            text += "file " + QByteArray(64, 'a') + " 1 - f" + QByteArray::number(i) + '\n';
        update::Manifest manifest;
        QVERIFY(!ReleaseCheck::parse(text, manifest));
    }

    // The build's own archive passes with the build's key and nothing else.
    void buildArchive()
    {
        QTemporaryDir dir;
        ReleaseInstaller installer;
        update::Manifest manifest;
        const QString target = dir.filePath(QStringLiteral("unpacked"));
        // Genuine but not newer than the running program: refused, nothing kept.
        QFile::copy(QStringLiteral(BW_RELEASE_ARCHIVE), dir.filePath(QStringLiteral("same.zip")));
        const QString same = installer.unpack(dir.filePath(QStringLiteral("same.zip")), target);
        QVERIFY(same.contains(QStringLiteral(BW_PROJECT_VERSION)));
        QVERIFY(!QFileInfo::exists(target));
        installer.setRunningVersion(QStringLiteral("0.0.0.1")); // older than any build
        QCOMPARE(installer.unpack(QStringLiteral(BW_RELEASE_ARCHIVE), target, &manifest), QString());
        QCOMPARE(manifest.version, QStringLiteral(BW_PROJECT_VERSION));
        QVERIFY(QFileInfo::exists(target + QStringLiteral("/Upgrade2")));
        QVERIFY(QFileInfo::exists(target + QStringLiteral("/Brindlewick")));

        const ReleaseInstaller stranger(otherKey.publicKey());
        QFile::copy(QStringLiteral(BW_RELEASE_ARCHIVE), dir.filePath(QStringLiteral("copy.zip")));
        QVERIFY(
            !stranger.unpack(dir.filePath(QStringLiteral("copy.zip")), dir.filePath(QStringLiteral("x"))).isEmpty());
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("x"))));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("copy.zip")))); // a refused archive goes
    }

    // A release signed with the right key but older than what runs (an
    // attacker replaying an old, faulty release) is refused.
    void olderSignedReleaseIsRefused()
    {
        QTemporaryDir dir;
        const QString release = dir.filePath(QStringLiteral("release"));
        makeRelease(release, key); // version 1.0.2.0
        const QString archive = dir.filePath(QStringLiteral("BrindlewickInstall.zip"));
        ReleaseInstaller installer(key.publicKey());
        const QString target = dir.filePath(QStringLiteral("BrindlewickSerial"));
        for (const char* running : {"1.0.2.0", "1.0.10.0", "1.1.0.0"}) {
            QVERIFY(zipFolder(release, archive));
            installer.setRunningVersion(QString::fromLatin1(running));
            QVERIFY2(!installer.unpack(archive, target).isEmpty(), running);
            QVERIFY(!QFileInfo::exists(target));
        }
        QVERIFY(zipFolder(release, archive));
        installer.setRunningVersion(QStringLiteral("1.0.1.9"));
        QCOMPARE(installer.unpack(archive, target), QString());
    }

    void archiveRefusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("truncated") << "truncated";
        QTest::newRow("holds a link") << "link";
        QTest::newRow("holds ../") << "dotdot";
        QTest::newRow("too large") << "huge";
        QTest::newRow("not an archive") << "text";
    }

    void archiveRefusals()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString release = dir.filePath(QStringLiteral("release"));
        makeRelease(release, key);
        const QString archive = dir.filePath(QStringLiteral("BrindlewickInstall.zip"));
        ReleaseInstaller installer(key.publicKey());
        if (kind == QLatin1String("truncated")) {
            QVERIFY(zipFolder(release, archive));
            QFile file(archive);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(file.size() / 2));
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(QStringLiteral("/etc/passwd"), release + QStringLiteral("/lib/passwd")));
            QVERIFY(zipFolder(release, archive, {QStringLiteral("-snl")}));
        } else if (kind == QLatin1String("dotdot")) {
            QProcess python;
            python.start(QStringLiteral("python3"),
                {QStringLiteral("-c"),
                    QStringLiteral("import zipfile,sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                                   "z.writestr('../evil','x')\nz.close()"),
                    archive});
            QVERIFY(python.waitForFinished(30000) && python.exitCode() == 0);
        } else if (kind == QLatin1String("huge")) {
            QVERIFY(zipFolder(release, archive));
            installer.setMaxUnpackedSize(8);
        } else {
            QVERIFY(writeFile(archive, "PK but not really"));
        }
        const QString target = dir.filePath(QStringLiteral("BrindlewickSerial"));
        const QString message = installer.unpack(archive, target);
        QVERIFY2(!message.isEmpty(), qPrintable(kind));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("evil"))));
    }
};

QTEST_GUILESS_MAIN(TstUpdateReleaseCheck)
#include "tst_update_release_check.moc"
