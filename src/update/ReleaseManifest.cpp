#include "update/ReleaseManifest.h"

#include "update/UpdateLog.h"

#include "kit/SafeUnpacker.h"
#include "kit/Sha256.h"

#include "ReleaseKey.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <openssl/evp.h>

#include <memory>

namespace update {

namespace {

bool isHex64(const QByteArray& text)
{
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
}

} // namespace

bool ReleaseCheck::parse(const QByteArray& text, Manifest& manifest, QString* reason)
{
    manifest = Manifest();
    if (text.size() > kMaxManifestSize)
        return fail(reason, QStringLiteral("manifest larger than %1 bytes").arg(kMaxManifestSize));
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first() != "Brindlewick release 1")
        return fail(reason, QStringLiteral("manifest header missing"));
    QSet<QString> seen;
    bool haveVersion = false;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (line.isEmpty()) {
            if (i == lines.size() - 1)
                break; // the final newline
            return fail(reason, QStringLiteral("empty line %1").arg(i + 1));
        }
        if (line.startsWith("version ")) {
            if (haveVersion)
                return fail(reason, QStringLiteral("second version line"));
            manifest.version = QString::fromUtf8(line.mid(8));
            haveVersion = !manifest.version.isEmpty();
            continue;
        }
        if (!line.startsWith("file "))
            return fail(reason, QStringLiteral("line %1 is not a file line").arg(i + 1));
        const QList<QByteArray> fields = line.mid(5).split(' ');
        if (fields.size() < 4)
            return fail(reason, QStringLiteral("line %1 has too few fields").arg(i + 1));
        ManifestEntry entry;
        entry.sha256 = fields.at(0);
        bool sizeOk = false;
        entry.size = fields.at(1).toLongLong(&sizeOk);
        const QByteArray mode = fields.at(2);
        // The path is the rest of the line and may hold blanks.
        const int pathStart = 5 + fields.at(0).size() + 1 + fields.at(1).size() + 1 + mode.size() + 1;
        entry.path = QString::fromUtf8(line.mid(pathStart));
        if (!isHex64(entry.sha256) || !sizeOk || entry.size < 0 || (mode != "x" && mode != "-"))
            return fail(reason, QStringLiteral("line %1 is malformed").arg(i + 1));
        entry.executable = mode == "x";
        // Files only: no empty part (a trailing or doubled "/").
        if (!SafeUnpacker::safeEntryName(entry.path) || entry.path.split(QLatin1Char('/')).contains(QString())
            || entry.path == QLatin1String(kManifestName) || entry.path == QLatin1String(kSignatureName))
            return fail(reason, QStringLiteral("unsafe path on line %1").arg(i + 1));
        const QString key = entry.path.toLower();
        if (seen.contains(key))
            return fail(reason, QStringLiteral("path listed twice: %1").arg(entry.path));
        seen.insert(key);
        if (manifest.entries.size() >= kMaxManifestEntries)
            return fail(reason, QStringLiteral("more than %1 files").arg(kMaxManifestEntries));
        manifest.entries.push_back(entry);
    }
    if (!haveVersion)
        return fail(reason, QStringLiteral("no version line"));
    if (manifest.entries.isEmpty())
        return fail(reason, QStringLiteral("no files listed"));
    return true;
}

bool ReleaseCheck::signatureValid(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey)
{
    if (signature.size() != 64 || publicKey.size() != 32)
        return false;
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
            reinterpret_cast<const unsigned char*>(publicKey.constData()), std::size_t(publicKey.size())),
        EVP_PKEY_free);
    if (!key)
        return false;
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.constData()),
               std::size_t(signature.size()), reinterpret_cast<const unsigned char*>(data.constData()),
               std::size_t(data.size()))
        == 1;
}

QString ReleaseCheck::verifyFolder(const QString& folder, const QByteArray& publicKey, Manifest* result)
{
    const QString damaged = tr("The update package is damaged or not from the maker; nothing was installed.");
    const QDir dir(folder);
    QFile manifestFile(dir.filePath(QLatin1String(kManifestName)));
    QFile signatureFile(dir.filePath(QLatin1String(kSignatureName)));
    if (!manifestFile.exists() || !signatureFile.exists()) {
        qCWarning(lcUpdate) << "release refused: no signed manifest";
        return tr("The update package is not signed; nothing was installed.");
    }
    if (manifestFile.size() > kMaxManifestSize || signatureFile.size() > 64 || !manifestFile.open(QIODevice::ReadOnly)
        || !signatureFile.open(QIODevice::ReadOnly)) {
        qCWarning(lcUpdate) << "release refused: manifest or signature unreadable or too large";
        return damaged;
    }
    const QByteArray text = manifestFile.readAll();
    const QByteArray signature = signatureFile.readAll();
    if (!signatureValid(text, signature, publicKey)) {
        qCWarning(lcUpdate) << "release refused: the manifest's signature does not match the program's key";
        return tr("The update package's signature is not valid; nothing was installed.");
    }
    Manifest manifest;
    QString reason;
    if (!parse(text, manifest, &reason)) {
        qCWarning(lcUpdate) << "release refused:" << reason;
        return damaged;
    }

    QSet<QString> listed;
    for (const ManifestEntry& entry : manifest.entries) {
        listed.insert(entry.path);
        const QString path = dir.filePath(entry.path);
        const QFileInfo info(path);
        if (info.isSymLink() || !info.isFile() || info.size() != entry.size) {
            qCWarning(lcUpdate) << "release refused: missing or wrong size:" << entry.path;
            return damaged;
        }
        // The kit's SHA-256 uses the processor's SHA instructions: several
        // times Qt's speed on a release of tens of MiB.
        if (Sha256::ofFile(path).toLatin1() != entry.sha256) {
            qCWarning(lcUpdate) << "release refused: checksum mismatch:" << entry.path;
            return damaged;
        }
    }
    QDirIterator it(
        folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir() && !info.isSymLink())
            continue;
        const QString relative = dir.relativeFilePath(path);
        if (relative == QLatin1String(kManifestName) || relative == QLatin1String(kSignatureName))
            continue;
        if (!listed.contains(relative)) {
            qCWarning(lcUpdate) << "release refused: unlisted file" << relative;
            return damaged;
        }
    }
    if (result)
        *result = manifest;
    return QString();
}

QByteArray ReleaseCheck::buildPublicKey()
{
    return QByteArray(reinterpret_cast<const char*>(BwRelease::kPublicKey), sizeof(BwRelease::kPublicKey));
}

} // namespace update
