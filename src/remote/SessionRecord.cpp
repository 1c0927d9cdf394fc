#include "remote/SessionRecord.h"

#include "remote/RemoteLog.h"

#include <RemoteBuildConfig.h>

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <httplib.h>

namespace remote {

const char* eventName(RecordEvent event)
{
    return event == RecordEvent::Start ? "start" : "end";
}

namespace {

QByteArray cleanSerial(const QString& serial)
{
    QByteArray out;
    for (const QChar c : serial) {
        const char l = c.toLatin1();
        if ((l >= '0' && l <= '9') || (l >= 'A' && l <= 'Z') || (l >= 'a' && l <= 'z'))
            out.append(l);
    }
    // The body is formatted into 128 bytes with its terminator.
    const int room = 127 - static_cast<int>(std::string("{\"sn\":\"\",\"event\":\"start\"}").size());
    return out.left(room);
}

} // namespace

QByteArray recordBody(const QString& serial, RecordEvent event)
{
    return QByteArrayLiteral("{\"sn\":\"") + cleanSerial(serial) + QByteArrayLiteral("\",\"event\":\"")
        + QByteArray(eventName(event)) + QByteArrayLiteral("\"}");
}

QByteArray recordAuthorization(const QString& serial, RecordEvent event, const QByteArray& pattern)
{
    QByteArray text = pattern;
    text.replace("{sn}", cleanSerial(serial));
    text.replace("{event}", QByteArray(eventName(event)));
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

QByteArray buildRecordPattern()
{
    return QByteArray(RemoteBuildConfig::kRecordPattern);
}

QString mappingServiceBase()
{
    const QString env = qEnvironmentVariable("BRINDLEWICK_MAPPING_BASE");
    return env.isEmpty() ? QString::fromLatin1(RemoteBuildConfig::kMappingServiceBase) : env;
}

SessionRecordClient::SessionRecordClient(QString base, QByteArray pattern, std::chrono::milliseconds timeout)
    : m_base(std::move(base))
    , m_pattern(std::move(pattern))
    , m_timeout(timeout)
{
}

bool SessionRecordClient::post(const QString& serial, RecordEvent event) const
{
    const QUrl url(m_base);
    if (!url.isValid() || url.host().isEmpty() || (url.scheme() != QLatin1String("http"))) {
        qCWarning(lcRemote) << "session record not sent: the mapping service base is not an http address";
        return false;
    }
    httplib::Client client(url.host().toStdString(), url.port(80));
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_timeout);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(m_timeout - seconds);
    client.set_connection_timeout(static_cast<time_t>(seconds.count()), static_cast<time_t>(micros.count()));
    client.set_read_timeout(static_cast<time_t>(seconds.count()), static_cast<time_t>(micros.count()));
    client.set_write_timeout(static_cast<time_t>(seconds.count()), static_cast<time_t>(micros.count()));

    QString prefix = url.path();
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    const std::string path = prefix.toStdString() + kRecordPath;
    const httplib::Headers headers{{"authorization", recordAuthorization(serial, event, m_pattern).toStdString()}};
    const QByteArray body = recordBody(serial, event);
    auto result = client.Post(path.c_str(), headers, body.toStdString(), "application/json");
    if (!result) {
        qCWarning(lcRemote) << "session record" << eventName(event) << "for" << serial
                            << "not sent:" << QString::fromStdString(httplib::to_string(result.error()));
        return false;
    }
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    const bool accepted = result->status == 200 && answer.value(QLatin1String("code")).toInt() == 200;
    qCInfo(lcRemote) << "session record" << eventName(event) << "for" << serial << "answered" << result->status
                     << (accepted ? "accepted" : "refused");
    return accepted;
}

} // namespace remote
