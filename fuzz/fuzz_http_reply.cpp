// HttpUtils on any finished reply (tests/support/FakeReply): URL, headers,
// body and network error from the fuzzer. Checks docs/http-clients.md: every
// reply ends in exactly one callback; JSON success only for an object or an
// array, with the body complete; errors carry one of the four messages; a
// data callback gets the body unchanged and a file name that is safe to join
// to a folder: not empty, never "." or "..", at most 255 UTF-8 bytes, and
// without separators, reserved characters, control or bidirectional
// control characters or a broken surrogate pair, and nothing the archive
// entries' character rule refuses. sanitizeFileName on any text either
// rejects it or gives such a name.
#include "FuzzSupport.h"

#include <kit/FileNameRule.h>
#include <kit/HttpUtils.h>
#include <support/FakeReply.h>

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace {

const QStringList kMessages{QStringLiteral("UnknownError"), QStringLiteral("CannotConnectServerRetryTip"),
    QStringLiteral("ServerError"), QStringLiteral("RequestFailedRetryTip")};

bool isBidiControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool wellFormed(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            return false;
    }
    return true;
}

// `from` is the text the name was made of: a name may only hold a broken
// surrogate pair that was there already (text from the network never has one).
void checkFileName(const QString& name, const QString& from)
{
    BW_FUZZ_CHECK(!name.isEmpty() && name != QLatin1String(".") && name != QLatin1String(".."));
    BW_FUZZ_CHECK(name.toUtf8().size() <= 255);
    for (const QChar c : name) {
        BW_FUZZ_CHECK(!QStringLiteral("\\/:*?\"<>|").contains(c));
        BW_FUZZ_CHECK(c.category() != QChar::Other_Control && !isBidiControl(c.unicode()));
    }
    if (wellFormed(from))
        BW_FUZZ_CHECK(wellFormed(name));
    BW_FUZZ_CHECK(filename::firstNonPlain(name) < 0);
    const QString folder = QStringLiteral("/srv/downloads");
    const QString joined = QDir::cleanPath(folder + QLatin1Char('/') + name);
    BW_FUZZ_CHECK(joined.startsWith(folder + QLatin1Char('/')) && joined.count(QLatin1Char('/')) == 3);
}

QNetworkReply::NetworkError networkError(std::uint8_t b)
{
    static const QNetworkReply::NetworkError errors[] = {QNetworkReply::ConnectionRefusedError,
        QNetworkReply::RemoteHostClosedError, QNetworkReply::HostNotFoundError, QNetworkReply::TimeoutError,
        QNetworkReply::OperationCanceledError, QNetworkReply::SslHandshakeFailedError,
        QNetworkReply::ContentNotFoundError, QNetworkReply::InternalServerError, QNetworkReply::UnknownServerError,
        QNetworkReply::ProtocolInvalidOperationError};
    return b < 128 ? QNetworkReply::NoError : errors[b % std::size(errors)];
}

// A complete body is at least as long as a plain Content-Length says (a body
// with a content coding is not compared).
bool shorterThanAnnounced(const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& body)
{
    QByteArray length;
    for (const auto& h : headers) {
        if (h.first == "Content-Encoding" && !h.second.trimmed().isEmpty()
            && h.second.trimmed().toLower() != "identity")
            return false;
        if (h.first == "Content-Length")
            length = h.second.trimmed();
    }
    if (length.isEmpty() || length.size() > 15)
        return false;
    for (char c : length)
        if (c < '0' || c > '9')
            return false;
    return body.size() < length.toLongLong();
}

FakeReply* makeReply(const QUrl& url, const QByteArray& body, QNetworkReply::NetworkError error,
    const QString& errorText, const QList<QPair<QByteArray, QByteArray>>& headers)
{
    auto* reply = new FakeReply(url, body, error, errorText);
    for (const auto& h : headers)
        reply->withHeader(h.first, h.second);
    return reply;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const QNetworkReply::NetworkError error = networkError(in.byte());
    const QUrl url(QString::fromUtf8(QByteArray::fromStdString(in.piece())));
    const QString errorText = QString::fromUtf8(QByteArray::fromStdString(in.piece()));
    QList<QPair<QByteArray, QByteArray>> headers;
    const char* names[] = {"Content-Disposition", "Content-Type", "Content-Length", "Content-Encoding"};
    for (const char* name : names) {
        const std::string value = in.piece();
        if (!value.empty())
            headers.append({QByteArray(name), QByteArray::fromStdString(value)});
    }
    const QByteArray body = QByteArray::fromStdString(in.piece());
    const std::string raw = in.rest();

    // JSON answers.
    int calls = 0;
    HttpUtils::handleJsonResponse(
        makeReply(url, body, error, errorText, headers),
        [&](const QJsonValue& value) {
            ++calls;
            BW_FUZZ_CHECK(error == QNetworkReply::NoError && (value.isObject() || value.isArray()));
            BW_FUZZ_CHECK(!shorterThanAnnounced(headers, body));
            QJsonParseError parse;
            const QJsonDocument document = QJsonDocument::fromJson(body, &parse);
            BW_FUZZ_CHECK(parse.error == QJsonParseError::NoError);
            BW_FUZZ_CHECK(
                document.isObject() ? value == QJsonValue(document.object()) : value == QJsonValue(document.array()));
        },
        [&](int code, const QString& message) {
            ++calls;
            BW_FUZZ_CHECK(kMessages.contains(message));
            BW_FUZZ_CHECK(code == int(error) || code == -1 || code == int(QNetworkReply::RemoteHostClosedError));
        });
    BW_FUZZ_CHECK(calls == 1);

    // Downloads.
    calls = 0;
    HttpUtils::handleReply(
        makeReply(url, body, error, errorText, headers),
        [&](const QByteArray& got, const QString& name) {
            ++calls;
            BW_FUZZ_CHECK(error == QNetworkReply::NoError && got == body);
            BW_FUZZ_CHECK(!shorterThanAnnounced(headers, body));
            checkFileName(name, QString());
        },
        [&](int, const QString& message) {
            ++calls;
            BW_FUZZ_CHECK(kMessages.contains(message));
        });
    BW_FUZZ_CHECK(calls == 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Any text, also broken UTF-16, through the cleaning alone.
    const QString fromUtf8 = QString::fromUtf8(raw.data(), int(raw.size()));
    const QString fromUtf16(reinterpret_cast<const QChar*>(raw.data()), int(raw.size() / 2));
    for (const QString& candidate : {fromUtf8, fromUtf16}) {
        const QString cleaned = HttpUtils::sanitizeFileName(candidate);
        if (!cleaned.isEmpty())
            checkFileName(cleaned, candidate);
    }
    return 0;
}
