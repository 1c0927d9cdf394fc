// Session records: a short POST to the mapping service when a relay session
// starts or ends. The "authorization" header is the lower-case hex MD5 of a
// text made by putting the serial and the event into a fixed pattern that the
// mapping service shares (a build constant, never logged).
#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <string>

namespace remote {

enum class RecordEvent { Start, End };

constexpr const char* kRecordPath = "/prod-api/api/mapping-service/record";

const char* eventName(RecordEvent event);
// {"sn":"<serial>","event":"start"|"end"}; the serial is cut to what fits a
// 128-byte body and anything but letters and digits is dropped from it.
QByteArray recordBody(const QString& serial, RecordEvent event);
// The header value for `pattern` ("{sn}" and "{event}" replaced).
QByteArray recordAuthorization(const QString& serial, RecordEvent event, const QByteArray& pattern);
// The build's pattern and the default base of the mapping service
// (BRINDLEWICK_MAPPING_BASE overrides it).
QByteArray buildRecordPattern();
QString mappingServiceBase();

// Posts records to one base ("http://host:port/"); blocking, every wait
// bounded. The answer counts as accepted with HTTP 200 and "code" 200.
class SessionRecordClient {
public:
    explicit SessionRecordClient(QString base, QByteArray pattern = buildRecordPattern(),
        std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
    bool post(const QString& serial, RecordEvent event) const;

private:
    QString m_base;
    QByteArray m_pattern;
    std::chrono::milliseconds m_timeout;
};

} // namespace remote
