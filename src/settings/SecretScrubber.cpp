#include "settings/SecretScrubber.h"

#include <QRegularExpression>

#include <functional>

namespace {

QString removed()
{
    return QString::fromLatin1(SecretScrubber::kRemoved);
}

// "Authorization: Basic abc" -> "Authorization: [removed]" (to the end of the line).
const QRegularExpression& headerPattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"(((?:proxy-)?authorization|set-cookie|cookie)(\s*[:=]\s*)[^\r\n]*)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression& bearerPattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"(\b(bearer)(\s+)[A-Za-z0-9._~+/=-]{6,})"), QRegularExpression::CaseInsensitiveOption);
    return re;
}

// A name holding one of the secret words (at most 32 name characters on
// either side, so a long run of letters costs linear time), an optional
// closing quote, "=" or ":", then the value: quoted (to its closing quote) or bare (to a blank,
// "&", ",", ";", a closing bracket or the line's end).
const QRegularExpression& namedValuePattern()
{
    static const QRegularExpression re(
        QStringLiteral(
            R"re(([A-Za-z_.-]{0,32}(?:password|passwd|pwd|token|secret|key|code)[A-Za-z_.-]{0,32})("?\s*[=:]\s*)("[^"\r\n]*"|'[^'\r\n]*'|\[removed\]|[^\s&,;"'}\])]+))re"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Six digits within 40 characters of text after "code" (not across lines).
const QRegularExpression& codeDigitsPattern()
{
    static const QRegularExpression re(
        QStringLiteral(R"((code[^\r\n\d]{0,40}?)(?<!\d)\d{6}(?!\d))"), QRegularExpression::CaseInsensitiveOption);
    return re;
}

QString replaceAll(const QString& text, const QRegularExpression& re,
    const std::function<QString(const QRegularExpressionMatch&)>& with)
{
    QString out;
    out.reserve(text.size());
    int last = 0;
    QRegularExpressionMatchIterator it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += text.midRef(last, m.capturedStart() - last);
        out += with(m);
        last = m.capturedEnd();
    }
    out += text.midRef(last);
    return out;
}

QString unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
        return value.mid(1, value.size() - 2);
    return value;
}

// A name whose only secret word is "code" ("errorCode", "smsCode").
bool isCodeOnlyName(const QString& name)
{
    const QString lower = name.toLower();
    for (const char* word : {"password", "passwd", "pwd", "token", "secret", "key"}) {
        if (lower.contains(QLatin1String(word)))
            return false;
    }
    return true;
}

QString quotedRemoved(const QString& value)
{
    if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))))
        return QString(value.at(0) + removed() + value.at(0));
    return removed();
}

} // namespace

namespace SecretScrubber {

QString scrub(const QString& text)
{
    QString out = replaceAll(text, headerPattern(),
        [](const QRegularExpressionMatch& m) -> QString { return m.captured(1) + m.captured(2) + removed(); });
    out = replaceAll(out, bearerPattern(),
        [](const QRegularExpressionMatch& m) -> QString { return m.captured(1) + m.captured(2) + removed(); });
    out = replaceAll(out, namedValuePattern(), [](const QRegularExpressionMatch& m) -> QString {
        const QString value = m.captured(3);
        if (unquoted(value) == removed())
            return m.captured(0); // scrubbed already
        if (isCodeOnlyName(m.captured(1)) && value.size() < 4)
            return m.captured(0); // "exit code: 1", "code=0": a status, not a secret
        return m.captured(1) + m.captured(2) + quotedRemoved(value);
    });
    out = replaceAll(out, codeDigitsPattern(),
        [](const QRegularExpressionMatch& m) -> QString { return m.captured(1) + removed(); });
    return out;
}

QByteArray scrubUtf8(const QByteArray& text)
{
    return scrub(QString::fromUtf8(text)).toUtf8();
}

} // namespace SecretScrubber
