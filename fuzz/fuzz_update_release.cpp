// The self-update's parsers of outside input: the release manifest (from an
// archive), the version text and the version answer (from the server).
// Checks docs/self-update.md: an accepted manifest has a version and 1 to
// kMaxManifestEntries files, each with a safe relative path (no "..", no
// absolute or drive path, not the manifest or its signature), listed once
// whatever the letter case, a 64-digit lower-case SHA-256 and a size of at
// least 0; parsing again gives the same. A readable version's number is the
// same every time, an unreadable one is 0 and never newer.
#include "FuzzSupport.h"

#include "kit/SafeUnpacker.h"
#include "update/AppVersion.h"
#include "update/ReleaseManifest.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));

    update::Manifest manifest;
    if (update::ReleaseCheck::parse(bytes, manifest)) {
        BW_FUZZ_CHECK(!manifest.version.isEmpty());
        BW_FUZZ_CHECK(!manifest.entries.isEmpty() && manifest.entries.size() <= update::kMaxManifestEntries);
        QSet<QString> seen;
        for (const update::ManifestEntry& entry : manifest.entries) {
            BW_FUZZ_CHECK(SafeUnpacker::safeEntryName(entry.path));
            BW_FUZZ_CHECK(!entry.path.startsWith(QLatin1Char('/')));
            for (const QString& part : entry.path.split(QLatin1Char('/')))
                BW_FUZZ_CHECK(!part.isEmpty() && part != QLatin1String(".."));
            BW_FUZZ_CHECK(entry.path != QLatin1String(update::kManifestName)
                && entry.path != QLatin1String(update::kSignatureName));
            BW_FUZZ_CHECK(entry.sha256.size() == 64 && entry.sha256 == entry.sha256.toLower());
            BW_FUZZ_CHECK(entry.size >= 0);
            BW_FUZZ_CHECK(!seen.contains(entry.path.toLower()));
            seen.insert(entry.path.toLower());
        }
        update::Manifest again;
        BW_FUZZ_CHECK(update::ReleaseCheck::parse(bytes, again));
        BW_FUZZ_CHECK(again.version == manifest.version && again.entries.size() == manifest.entries.size());
    }

    const QString text = QString::fromUtf8(bytes.left(256));
    bool ok = false;
    const quint64 number = update::versionNumber(text, &ok);
    bool okAgain = !ok;
    BW_FUZZ_CHECK(update::versionNumber(text, &okAgain) == number && okAgain == ok);
    if (!ok) {
        BW_FUZZ_CHECK(number == 0);
        BW_FUZZ_CHECK(!update::serverIsNewer(QStringLiteral("0"), text));
    }

    // Any answer is read without a crash; an answer without any object gives nothing.
    const AppVersionInfo info = update::parseAppVersionAnswer(200, std::string(bytes.constData(), bytes.size()));
    if (!bytes.contains('{'))
        BW_FUZZ_CHECK(info.isEmpty());
    return 0;
}
