#include "account/TechnicianDirectory.h"

#include "http/CHvHttp.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace account {

namespace {

QJsonArray arrayRoot(const QByteArray& body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    return document.isArray() ? document.array() : QJsonArray();
}

int integer(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isDouble() ? value.toInt() : 0;
}

QString textOf(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

} // namespace

QString joinUrl(const QString& base, const QString& path)
{
    QString left = base;
    while (left.endsWith(QLatin1Char('/')))
        left.chop(1);
    QString right = path;
    while (right.startsWith(QLatin1Char('/')))
        right.remove(0, 1);
    return left + QLatin1Char('/') + right;
}

QVector<ServiceConfig> parseServiceConfigs(const QByteArray& body)
{
    QVector<ServiceConfig> configs;
    for (const QJsonValue& item : arrayRoot(body)) {
        if (!item.isObject())
            continue;
        const QJsonObject object = item.toObject();
        configs.append({textOf(object, "serviceAddress"), integer(object, "port"), textOf(object, "description")});
    }
    return configs;
}

QVector<TechnicianRecord> parseTechnicians(const QByteArray& body)
{
    QVector<TechnicianRecord> records;
    for (const QJsonValue& item : arrayRoot(body)) {
        if (!item.isObject())
            continue;
        const QJsonObject object = item.toObject();
        TechnicianRecord record;
        record.name = textOf(object, "name");
        record.phone = textOf(object, "phone");
        record.login = textOf(object, "login");
        record.address = textOf(object, "address");
        record.orderSize = integer(object, "orderSize");
        record.appraise = integer(object, "appraise");
        record.authentication = integer(object, "authentication");
        record.recommended = integer(object, "recommended");
        record.brief = textOf(object, "brief");
        for (const QJsonValue& label : object.value(QStringLiteral("label")).toArray())
            if (label.isObject())
                record.labels.append(label.toObject().value(QStringLiteral("labelName")).toString());
        records.append(record);
    }
    return records;
}

QString chooseServiceAddress(const QVector<ServiceConfig>& configs, bool phoneMode)
{
    const int index = phoneMode ? 0 : 6;
    if (index < configs.size() && !configs.at(index).serviceAddress.isEmpty())
        return configs.at(index).serviceAddress;
    return QString::fromLatin1(kDefaultServiceAddress);
}

QVector<TechnicianCard> filterCards(const QVector<TechnicianCard>& cards, const QString& text)
{
    QVector<TechnicianCard> found;
    for (const TechnicianCard& card : cards) {
        if (card.phone.contains(text) || card.name.contains(text) || card.address.contains(text))
            found.append(card);
    }
    return found;
}

QString descriptionRichText(const QString& brief)
{
    return QStringLiteral("<p style = 'line-height:30px'>") + brief.toHtmlEscaped() + QStringLiteral("\n  ");
}

HttpGet chvHttpGet()
{
    return [](const QString& url, const QString& header) {
        HttpAnswer answer;
        CHvHttp http;
        try {
            const std::string body
                = http.SendHttpOrHttpsRequest(url.toStdString(), HTTP_GET, header.toStdString(), std::string());
            answer.status = static_cast<int>(http.GetRespCode());
            answer.body = QByteArray::fromStdString(body);
        } catch (...) {
            // HttpInterfaceError and a malformed address alike: no answer.
            answer.status = 0;
        }
        return answer;
    };
}

DirectoryFetcher::DirectoryFetcher(QString base, QString token, HttpGet get)
    : m_base(std::move(base))
    , m_token(std::move(token))
    , m_get(std::move(get))
{
}

HttpAnswer DirectoryFetcher::get(const QString& path, const QString& header)
{
    HttpAnswer answer = m_get ? m_get(joinUrl(m_base, path), header) : HttpAnswer();
    m_tokenAccepted = answer.status != 401;
    return answer;
}

void DirectoryFetcher::loadConfigs()
{
    if (!m_configs.isEmpty())
        return;
    const HttpAnswer answer
        = get(QStringLiteral("/api/getAllServiceConfigs"), QStringLiteral("Authorization: Bearer ") + m_token);
    if (answer.status == 200)
        m_configs = parseServiceConfigs(answer.body);
}

QVector<TechnicianRecord> DirectoryFetcher::fetchTechnicians(int page, int size, bool phoneMode)
{
    m_cards.clear();
    m_lastAddress = chooseServiceAddress(m_configs, phoneMode);
    const QString path = QStringLiteral("/api/remote-technicians?searchKey=&label=&page=%1&size=%2&serviceAddress=%3")
                             .arg(page)
                             .arg(size)
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(m_lastAddress)));
    const HttpAnswer answer
        = get(path, QStringLiteral("Content-Type: application/json\nAuthorization: Bearer ") + m_token);
    if (answer.status != 200)
        return {};
    // Never more than the page asked for: a server that sends more does not fill the window.
    const QVector<TechnicianRecord> records = parseTechnicians(answer.body).mid(0, qMax(size, 0));
    for (const TechnicianRecord& record : records)
        m_cards.append({record.name, record.brief, record.address, record.phone});
    return records;
}

} // namespace account
