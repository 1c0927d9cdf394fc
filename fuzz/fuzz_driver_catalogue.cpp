// The drivers' outside inputs that are not files of their own: the server's
// catalogue answer and 7-Zip's listing of an archive. The first byte picks
// one. Checks docs/drivers.md: a catalogue that is no array is refused with
// a message; otherwise every element is kept or counted as skipped, a kept
// record has a name, a size only as a whole non-negative number, a URL only
// with http or https and a host, a SHA-256 only as 64 lower-case hex digits,
// texts of at most 4096 characters; merging and the row texts never fail;
// the drivers' version rule gives the same text when applied again. A
// listing that passes names only safe relative paths, within the entry and
// size limits.
#include "FuzzSupport.h"

#include <drivers/DriverCatalogue.h>
#include <kit/SafeUnpacker.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>

namespace {

void catalogue(const QByteArray& bytes)
{
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    const QJsonValue answer = doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
    const drivers::CatalogueAnswer parsed = drivers::parseCatalogue(answer);
    BW_FUZZ_CHECK(parsed.ok == answer.isArray());
    BW_FUZZ_CHECK(parsed.ok || !parsed.error.isEmpty());
    if (!parsed.ok)
        return;
    BW_FUZZ_CHECK(parsed.records.size() + parsed.skipped == answer.toArray().size());
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    for (const QJsonObject& record : parsed.records) {
        BW_FUZZ_CHECK(!record.value(QStringLiteral("name")).toString().isEmpty());
        if (record.contains(QStringLiteral("size")))
            BW_FUZZ_CHECK(record.value(QStringLiteral("size")).toDouble(-1) >= 0);
        if (record.contains(QStringLiteral("url"))) {
            const QUrl url(record.value(QStringLiteral("url")).toString());
            BW_FUZZ_CHECK((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
                && !url.host().isEmpty());
        }
        if (record.contains(QStringLiteral("sha256")))
            BW_FUZZ_CHECK(hex.match(record.value(QStringLiteral("sha256")).toString()).hasMatch());
        for (const char* field : {"versionNo", "updatedDate", "summary"})
            BW_FUZZ_CHECK(record.value(QLatin1String(field)).toString().size() <= 4096);
    }
    DriverMap map;
    for (auto it = DriverTable::rows().constBegin(); it != DriverTable::rows().constEnd(); ++it)
        map.insert(
            it.key(), VehicleDriver{it.key(), it.value(), {}, QStringLiteral("/d"), QStringLiteral("V1.0"), true});
    drivers::mergeCatalogue(map, parsed.records);
    BW_FUZZ_CHECK(map.size() == DriverTable::rows().size());
    for (const VehicleDriver& driver : map) {
        const QString version = driver.serverVersion();
        BW_FUZZ_CHECK(drivers::normalizeVersion(version) == version);
        const int status = int(drivers::dataStatus(driver));
        BW_FUZZ_CHECK(status == 1 || status == 2);
        drivers::formatSize(driver.serverSize());
        drivers::formatUpdatedDate(driver.catalogue.value(QStringLiteral("updatedDate")).toString());
    }
}

void listing(const QByteArray& bytes)
{
    SafeUnpacker::Limits limits;
    limits.maxEntries = 50;
    limits.maxTotalSize = 1 << 20;
    const SafeUnpacker::Result result = SafeUnpacker::checkListing(bytes, limits);
    BW_FUZZ_CHECK(result.ok() || !result.message.isEmpty());
    if (!result.ok())
        return;
    BW_FUZZ_CHECK(result.entries.size() <= limits.maxEntries);
    qint64 total = 0;
    for (const SafeUnpacker::Entry& entry : result.entries) {
        BW_FUZZ_CHECK(SafeUnpacker::safeEntryName(entry.path));
        BW_FUZZ_CHECK(!entry.path.startsWith(QLatin1Char('/')) && !entry.path.contains(QLatin1Char('\\')));
        BW_FUZZ_CHECK(!entry.path.split(QLatin1Char('/')).contains(QStringLiteral("..")));
        BW_FUZZ_CHECK(entry.size >= 0);
        total += entry.size;
    }
    BW_FUZZ_CHECK(total <= limits.maxTotalSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    if (data[0] & 1)
        listing(rest);
    else
        catalogue(rest);
    return 0;
}
