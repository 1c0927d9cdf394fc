#include "remote/SessionFormat.h"

#include <QRegularExpression>

namespace remote {

Role sessionRole(bool hasListener, bool hasClient, bool hasRegistration)
{
    if (hasClient)
        return Role::Client;
    if (hasListener)
        return Role::Server;
    return hasRegistration ? Role::Client : Role::Server;
}

QString deviceNumberText(const QString& serial)
{
    return serial.isEmpty() ? QStringLiteral("---") : serial;
}

namespace {

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString clockText(const QDateTime& time)
{
    const QTime t = time.toLocalTime().time();
    return QStringLiteral("%1:%2:%3").arg(twoDigits(t.hour()), twoDigits(t.minute()), twoDigits(t.second()));
}

QString durationText(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(twoDigits(seconds / 3600), twoDigits((seconds % 3600) / 60), twoDigits(seconds % 60));
}

QString delayText(std::int32_t ms, bool endB)
{
    if (ms < 0)
        return QStringLiteral("--");
    const QString value = QString::number(ms) + QStringLiteral("ms");
    return endB ? QStringLiteral("B:") + value : value;
}

QString delayColour(std::int32_t ms)
{
    if (ms < 0)
        return QString();
    if (ms < 31)
        return QStringLiteral("#33CC00");
    if (ms < 51)
        return QStringLiteral("#FFCC00");
    return QStringLiteral("#CC3300");
}

QString delayStyle(std::int32_t ms)
{
    const QString colour = delayColour(ms);
    QString style = QStringLiteral("font-size:16px;background-color:#FFFFFF;padding-left:18px;");
    if (!colour.isEmpty())
        style += QStringLiteral("color:") + colour + QLatin1Char(';');
    return style;
}

QString byteText(std::uint64_t bytes)
{
    if (bytes < 1024u)
        return QStringLiteral("%1B").arg(bytes);
    if (bytes < 1048576u)
        return QStringLiteral("%1KB").arg(bytes / 1024u);
    return QStringLiteral("%1MB").arg(bytes / 1048576u);
}

PeerDrops splitDrops(const QString& peerText)
{
    static const QRegularExpression counts(QStringLiteral("^(?:(.*) )?dropped (\\d+/\\d+)$"));
    const QRegularExpressionMatch m = counts.match(peerText);
    if (!m.hasMatch())
        return {peerText, QString()};
    return {m.captured(1), m.captured(2)};
}

} // namespace remote
