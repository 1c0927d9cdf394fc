#include "drivers/DriverCatalogue.h"

#include "kit/HttpUtils.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <cmath>

namespace {

constexpr int kMaxTextField = 4096; // a summary is a few lines

bool allDigits(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// "size" as whole bytes: a non-negative integral number, or a text of digits.
qint64 sizeOf(const QJsonValue& value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        if (d >= 0 && d <= 9.0e15 && std::floor(d) == d)
            return static_cast<qint64>(d);
        return -1;
    }
    if (value.isString() && allDigits(value.toString()) && value.toString().size() <= 15)
        return value.toString().toLongLong();
    return -1;
}

} // namespace

QString VehicleDriver::serverVersion() const
{
    return drivers::normalizeVersion(catalogue.value(QStringLiteral("versionNo")).toString());
}

qint64 VehicleDriver::serverSize() const
{
    const QJsonValue size = catalogue.value(QStringLiteral("size"));
    return size.isDouble() ? static_cast<qint64>(size.toDouble()) : -1;
}

QString VehicleDriver::downloadUrl() const
{
    return catalogue.value(QStringLiteral("url")).toString();
}

QString VehicleDriver::sha256() const
{
    return catalogue.value(QStringLiteral("sha256")).toString();
}

namespace drivers {

QString normalizeVersion(const QString& text)
{
    QString result;
    QString rest = text;
    if (text.toUpper().startsWith(QLatin1Char('V'))) {
        result = QStringLiteral("V");
        rest = text.mid(1);
    }
    if (!rest.contains(QLatin1Char('.')))
        return result + rest;
    QStringList parts;
    for (const QString& part : rest.split(QLatin1Char('.'))) {
        // Digits only: a sign or a blank makes the part no number.
        const bool numeric = allDigits(part);
        QString digits = numeric ? part : QStringLiteral("0");
        while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
            digits.remove(0, 1);
        parts << digits;
    }
    QString joined = parts.join(QLatin1Char('.'));
    if (joined.endsWith(QLatin1Char('.')))
        joined.chop(1);
    return result + joined;
}

QVersionNumber versionNumber(const QString& text)
{
    QString rest = normalizeVersion(text.trimmed());
    if (rest.startsWith(QLatin1Char('V')))
        rest.remove(0, 1);
    return QVersionNumber::fromString(rest);
}

DataStatus dataStatus(const VehicleDriver& driver)
{
    if (!driver.installed())
        return DataStatus::NotInstalled;
    if (!driver.enabled)
        return DataStatus::Disabled;
    const QVersionNumber server = versionNumber(driver.catalogue.value(QStringLiteral("versionNo")).toString());
    if (server.isNull())
        return DataStatus::UpToDate; // nothing to compare with
    return QVersionNumber::compare(server, versionNumber(driver.installVersion)) > 0 ? DataStatus::UpdateAvailable
                                                                                     : DataStatus::UpToDate;
}

QString formatSize(qint64 bytes)
{
    if (bytes < 0)
        return QString();
    if (bytes == 0)
        return QStringLiteral("0 B");
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB", "PB"};
    int e = static_cast<int>(std::log(static_cast<double>(bytes)) / std::log(1024.0));
    e = qBound(0, e, 5);
    const double v = static_cast<double>(bytes) / std::pow(1024.0, e);
    const int decimals = (v < 10 && e > 0) ? 2 : (v < 100 ? 1 : 0);
    return QString::number(v, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[e]);
}

QString formatUpdatedDate(const QString& iso, const QDateTime& now)
{
    QDateTime when = QDateTime::fromString(iso.trimmed(), Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(iso.trimmed(), Qt::ISODate);
    if (!when.isValid())
        return QString();
    when = when.toLocalTime();
    return when.toString(when.date().year() == now.toLocalTime().date().year() ? QStringLiteral("MM/dd HH:mm")
                                                                               : QStringLiteral("yyyy/MM/dd HH:mm"));
}

QString driverForArchive(const QString& fileName)
{
    const auto& rows = DriverTable::rows();
    for (auto it = rows.constBegin(); it != rows.constEnd(); ++it)
        if (!it->packageName.isEmpty() && fileName.contains(it->packageName, Qt::CaseSensitive))
            return it.key();
    return QString();
}

ApiRequest catalogueRequest(const QString& apiBase)
{
    const QStringList keys = DriverTable::rows().keys();
    const QString language = QStringLiteral("EN");
    return apiBase.isEmpty() ? HttpUtils::latestSoftwareVersionsRequest(keys, language)
                             : HttpUtils::latestSoftwareVersionsRequest(keys, language, apiBase);
}

QString CatalogueTexts::notAList()
{
    return tr("The server's driver list could not be read.");
}

CatalogueAnswer parseCatalogue(const QJsonValue& answer)
{
    CatalogueAnswer result;
    if (!answer.isArray()) {
        result.error = CatalogueTexts::notAList();
        return result;
    }
    static const QRegularExpression hex64(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    for (const QJsonValue& item : answer.toArray()) {
        const QJsonObject in = item.toObject();
        const QString name = in.value(QStringLiteral("name")).toString();
        if (!item.isObject() || name.isEmpty() || name.size() > 64) {
            ++result.skipped;
            continue;
        }
        QJsonObject record;
        record.insert(QStringLiteral("name"), name);
        for (const char* field : {"versionNo", "updatedDate", "summary"}) {
            const QJsonValue value = in.value(QLatin1String(field));
            if (value.isString())
                record.insert(QLatin1String(field), value.toString().left(kMaxTextField));
            else if (value.isDouble() && QLatin1String(field) == QLatin1String("versionNo"))
                record.insert(QLatin1String(field), QString::number(value.toDouble()));
        }
        const qint64 size = sizeOf(in.value(QStringLiteral("size")));
        if (size >= 0)
            record.insert(QStringLiteral("size"), static_cast<double>(size));
        const QUrl url(in.value(QStringLiteral("url")).toString(), QUrl::StrictMode);
        if (url.isValid() && !url.host().isEmpty()
            && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http")))
            record.insert(QStringLiteral("url"), url.toString());
        const QString digest = in.value(QStringLiteral("sha256")).toString();
        if (hex64.match(digest).hasMatch())
            record.insert(QStringLiteral("sha256"), digest.toLower());
        result.records.append(record);
    }
    result.ok = true;
    return result;
}

int mergeCatalogue(DriverMap& map, const QVector<QJsonObject>& records)
{
    QSet<QString> updated;
    for (const QJsonObject& record : records) {
        const QString name = record.value(QStringLiteral("name")).toString();
        QStringList keys{name == QLatin1String("Kestrix_FORD") ? QStringLiteral("Kestrix_Ford") : name};
        if (name == QLatin1String("Kestrix_J2534"))
            keys << QStringLiteral("Kestrix_VOLVO") << QStringLiteral("Kestrix_Toyota")
                 << QStringLiteral("Kestrix_Honda") << QStringLiteral("Kestrix_PSA")
                 << QStringLiteral("Kestrix_Mahindra");
        else if (name == QLatin1String("Kestrix_TATA"))
            keys << QStringLiteral("Kestrix_FORCE");
        for (const QString& key : keys) {
            const auto it = map.find(key);
            if (it == map.end())
                continue;
            it->catalogue = record;
            updated.insert(key);
        }
    }
    return updated.size();
}

} // namespace drivers
