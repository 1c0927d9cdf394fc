#include "ads/AdFeed.h"

#include "http/CHvHttp.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const char* const kListFile = "ads.json";
// Also what closing the window may wait for a fetch under way.
constexpr int kRequestDeadlineMs = 5000;

int fetchWithCHvHttp(const std::string& url, std::size_t maxBytes, std::string& body)
{
    try {
        CHvHttp http;
        http.SetDeadline(kRequestDeadlineMs);
        http.SetMaxAnswerSize(maxBytes);
        body = http.SendHttpOrHttpsRequest(url, HTTP_GET, "", "");
        return static_cast<int>(http.GetRespCode());
    } catch (...) {
        return 0;
    }
}

// PNG or JPEG by their first bytes; anything else is not kept.
bool looksLikePicture(const std::string& bytes)
{
    static const char png[] = "\x89PNG\r\n\x1a\n";
    return (bytes.size() > 8 && bytes.compare(0, 8, png, 8) == 0)
        || (bytes.size() > 3 && static_cast<unsigned char>(bytes[0]) == 0xFF
            && static_cast<unsigned char>(bytes[1]) == 0xD8 && static_cast<unsigned char>(bytes[2]) == 0xFF);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

AdFeed::AdFeed(QString apiBase, QString cacheDir, Fetch fetch)
    : m_apiBase(std::move(apiBase))
    , m_cacheDir(std::move(cacheDir))
    , m_fetch(fetch ? std::move(fetch) : Fetch(fetchWithCHvHttp))
{
    if (!m_apiBase.endsWith(QLatin1Char('/')))
        m_apiBase += QLatin1Char('/');
}

QUrl AdFeed::safeLink(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QUrl();
    return url;
}

QList<AdItem> AdFeed::refresh(const QString& langCode, const std::atomic<bool>* stop)
{
    std::string body;
    const QString listUrl = m_apiBase + QStringLiteral("api/advertisements?langCode=") + langCode;
    if (m_fetch(listUrl.toStdString(), kMaxListBytes, body) != 200)
        return cached();
    QJsonParseError error{};
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(body), &error).object();
    if (error.error != QJsonParseError::NoError || !root.value(QStringLiteral("items")).isArray())
        return cached();

    QDir().mkpath(m_cacheDir);
    QList<AdItem> items;
    QJsonArray kept;
    for (const QJsonValue& value : root.value(QStringLiteral("items")).toArray()) {
        if (items.size() == kMaxItems || (stop && stop->load()))
            break;
        const QUrl image = safeLink(value.toObject().value(QStringLiteral("image")).toString());
        if (image.isEmpty())
            continue;
        // One file per picture address: a picture already here is not fetched again.
        const QString name = QString::fromLatin1(
            QCryptographicHash::hash(image.toEncoded(), QCryptographicHash::Sha256).toHex().left(32));
        const QString path = m_cacheDir + QLatin1Char('/') + name;
        if (!QFile::exists(path)) {
            std::string picture;
            if (m_fetch(image.toString().toStdString(), kMaxPictureBytes, picture) != 200 || !looksLikePicture(picture)
                || !writeFile(path, QByteArray::fromStdString(picture)))
                continue;
        }
        const QUrl link = safeLink(value.toObject().value(QStringLiteral("link")).toString());
        items << AdItem{path, link};
        kept.append(QJsonObject{{QStringLiteral("file"), name}, {QStringLiteral("link"), link.toString()}});
    }
    writeFile(m_cacheDir + QLatin1Char('/') + QLatin1String(kListFile), QJsonDocument(kept).toJson());
    return items;
}

QList<AdItem> AdFeed::cached() const
{
    QFile file(m_cacheDir + QLatin1Char('/') + QLatin1String(kListFile));
    if (!file.open(QIODevice::ReadOnly) || file.size() > qint64(kMaxListBytes))
        return {};
    QList<AdItem> items;
    for (const QJsonValue& value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QString name = value.toObject().value(QStringLiteral("file")).toString();
        // Names are our own hex digests; anything else in the file is not followed.
        if (name.size() != 32 || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('.')))
            continue;
        const QString path = m_cacheDir + QLatin1Char('/') + name;
        if (QFile::exists(path) && items.size() < kMaxItems)
            items << AdItem{path, safeLink(value.toObject().value(QStringLiteral("link")).toString())};
    }
    return items;
}
