#include "drivers/HttpUtils.h"

#include "BuildConfig.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrlQuery>

#include <platform/MemoryHint.h>

#include <memory>

namespace {

// Longest file name we hand out, in characters; file systems allow 255 bytes.
const int kMaxFileNameLength = 120;

QStringList knownServerHosts()
{
    QStringList hosts;
    for (const char* base : {BuildConfig::kMainApiBase, BuildConfig::kPaymentServerBase, BuildConfig::kSecondApiBase,
             BuildConfig::kTestServerBase, BuildConfig::kFileServerBase}) {
        const QString host = QUrl(QString::fromUtf8(base)).host();
        if (!host.isEmpty())
            hosts << host;
    }
    return hosts;
}

bool isReservedDeviceName(const QString& name)
{
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"), QRegularExpression::CaseInsensitiveOption);
    const QString stem = name.section(QLatin1Char('.'), 0, 0).trimmed();
    return reserved.match(stem).hasMatch();
}

QString extensionForContentType(const QString& contentType)
{
    static const QList<QPair<QString, QString>> table{
        {QStringLiteral("image/jpeg"), QStringLiteral("jpg")},
        {QStringLiteral("image/png"), QStringLiteral("png")},
        {QStringLiteral("application/pdf"), QStringLiteral("pdf")},
        {QStringLiteral("text/plain"), QStringLiteral("txt")},
        {QStringLiteral("application/zip"), QStringLiteral("zip")},
    };
    for (const auto& entry : table)
        if (contentType.contains(entry.first))
            return entry.second;
    return QStringLiteral("bin");
}

// Extra trusted CA certificates for test servers (BRINDLEWICK_CA_FILE, PEM),
// on top of the system's store; read once.
void addExtraTrust(QNetworkRequest& request)
{
    static const QList<QSslCertificate> extra = [] {
        const QString file = qEnvironmentVariable("BRINDLEWICK_CA_FILE");
        return file.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(file, QSsl::Pem);
    }();
    if (extra.isEmpty())
        return;
    QSslConfiguration configuration = request.sslConfiguration();
    configuration.addCaCertificates(extra);
    request.setSslConfiguration(configuration);
}

void appendAvailable(QNetworkReply* reply, QByteArray& body)
{
    const qint64 available = reply->isOpen() ? reply->bytesAvailable() : 0;
    if (available <= 0)
        return;
    if (body.size() + available > HttpUtils::kMaxDownloadSize) {
        reply->abort(); // ends in the error callback (operation canceled)
        return;
    }
    const int old = body.size();
    body.resize(old + int(available));
    const qint64 got = reply->read(body.data() + old, available);
    body.resize(old + int(qMax<qint64>(got, 0)));
}

bool isShorterThanAnnounced(QNetworkReply* reply, const QByteArray& body)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->operation() == QNetworkAccessManager::HeadOperation || status == 204 || status == 304)
        return false;
    // With a content coding the announced length is that of the coded body.
    const QByteArray coding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (!coding.isEmpty() && coding != "identity")
        return false;
    bool known = false;
    const qint64 announced = reply->rawHeader("Content-Length").trimmed().toLongLong(&known);
    return known && announced >= 0 && body.size() < announced;
}

QString contentTypeText(QNetworkReply* reply)
{
    const QVariant header = reply->header(QNetworkRequest::ContentTypeHeader);
    return header.canConvert<QString>() ? header.toString() : QString();
}

} // namespace

HttpUtils::HttpUtils(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    // Follow redirects, but never from https to http.
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

ApiRequest HttpUtils::latestSoftwareVersionsRequest(const QStringList& productCodes, const QString& langCode)
{
    return latestSoftwareVersionsRequest(productCodes, langCode, QString::fromUtf8(BuildConfig::kMainApiBase));
}

ApiRequest HttpUtils::latestSoftwareVersionsRequest(
    const QStringList& productCodes, const QString& langCode, const QString& apiBase)
{
    QUrl url(apiBase + QStringLiteral("api/latest-software-versions"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("langCode"), langCode);
    for (const QString& code : productCodes)
        query.addQueryItem(QStringLiteral("swSnCodes"), code);
    url.setQuery(query);
    ApiRequest request;
    request.url = url;
    return request;
}

QNetworkReply* HttpUtils::get(const ApiRequest& request, JsonSuccessCallback onSuccess, ErrorCallback onError)
{
    QNetworkRequest networkRequest(request.url);
    networkRequest.setTransferTimeout(kTransferTimeoutMs);
    addExtraTrust(networkRequest);
    for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it)
        networkRequest.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    QNetworkReply* reply = m_manager->get(networkRequest);
    connect(reply, &QNetworkReply::finished, reply,
        [reply, onSuccess, onError]() { handleJsonResponse(reply, onSuccess, onError); });
    return reply;
}

QNetworkReply* HttpUtils::download(
    const QUrl& url, DataSuccessCallback onData, ErrorCallback onError, ProgressCallback onProgress)
{
    QNetworkRequest networkRequest(url);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    addExtraTrust(networkRequest);
    QNetworkReply* reply = m_manager->get(networkRequest);
    if (onProgress)
        connect(reply, &QNetworkReply::downloadProgress, reply,
            [onProgress](qint64 received, qint64 total) { onProgress(received, total); });
    // Collect the body as it arrives into one buffer of the announced size, so
    // a large archive is neither held twice nor copied at the end.
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, body]() {
        const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (length > 0 && length <= kMaxDownloadSize && body->isEmpty()) {
            body->reserve(int(length));
            platform::adviseLargeBuffer(body->data(), size_t(body->capacity()));
        }
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body]() { appendAvailable(reply, *body); });
    connect(reply, &QNetworkReply::finished, reply, [reply, body, onData, onError]() {
        appendAvailable(reply, *body);
        complete(reply, *body, onData, onError);
    });
    return reply;
}

void HttpUtils::handleJsonResponse(QNetworkReply* reply, JsonSuccessCallback onSuccess, ErrorCallback onError)
{
    handleReply(
        reply,
        [onSuccess, onError](const QByteArray& body, const QString&) {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
            if (parseError.error == QJsonParseError::NoError && (document.isObject() || document.isArray())) {
                if (onSuccess)
                    onSuccess(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()));
                return;
            }
            // The parser's words are for the log, never for the user.
            const QString text = QStringLiteral("JSON parse error: ") + parseError.errorString();
            if (onError)
                onError(-1, friendlyErrorMessage(text));
        },
        onError);
}

void HttpUtils::handleReply(QNetworkReply* reply, DataSuccessCallback onData, ErrorCallback onError)
{
    if (!reply)
        return;
    complete(reply, QByteArray(), onData, onError);
}

// Common completion: exactly one callback (when set), then the reply goes.
// `received` is what was already taken from the reply; the rest is read here.
void HttpUtils::complete(
    QNetworkReply* reply, const QByteArray& received, const DataSuccessCallback& onData, const ErrorCallback& onError)
{
    QNetworkReply::NetworkError error = reply->error();
    QString errorString = reply->errorString();
    int code = static_cast<int>(reply->error());
    QByteArray body = received;
    if (reply->isOpen()) // closed when aborted
        body += reply->readAll();

    // Qt can finish a transfer whose connection closed early as if it were
    // complete: a body shorter than announced is a failure, not a file.
    if (error == QNetworkReply::NoError && isShorterThanAnnounced(reply, body)) {
        error = QNetworkReply::RemoteHostClosedError;
        code = static_cast<int>(error);
        errorString = QStringLiteral("Connection closed before the whole answer arrived");
    }

    if (error == QNetworkReply::NoError) {
        if (onData)
            onData(body, suggestedFileName(reply));
    } else if (onError) {
        QString message = errorString;
        if (contentTypeText(reply).contains(QLatin1String("application/json"))) {
            const QJsonDocument document = QJsonDocument::fromJson(body);
            const QJsonValue serverError = document.object().value(QStringLiteral("error"));
            if (document.isObject() && serverError.isString() && !serverError.toString().isEmpty())
                message = serverError.toString();
        }
        onError(code, friendlyErrorMessage(message));
    }
    reply->deleteLater();
}

QString HttpUtils::friendlyErrorMessage(const QString& text)
{
    if (text.isEmpty())
        return tr("UnknownError");
    for (const QString& host : knownServerHosts())
        if (text.contains(host))
            return tr("CannotConnectServerRetryTip");
    if (text.toLower().contains(QLatin1String("server")))
        return tr("ServerError");
    return tr("RequestFailedRetryTip");
}

QString HttpUtils::sanitizeFileName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/:*?\"<>|]"));
    static const QRegularExpression control(QStringLiteral("[\\x{0000}-\\x{001F}\\x{007F}]"));
    QString cleaned = name;
    cleaned.replace(forbidden, QStringLiteral("_"));
    cleaned.replace(control, QStringLiteral("_"));
    // No hidden files, no "." or "..", and no trailing dots or blanks (Windows drops them).
    static const QRegularExpression edges(QStringLiteral("^[.\\s]+|[.\\s]+$"));
    cleaned.remove(edges);
    if (cleaned.isEmpty())
        return QString();
    if (isReservedDeviceName(cleaned))
        cleaned.prepend(QLatin1Char('_'));
    if (cleaned.size() > kMaxFileNameLength) {
        const QString suffix = QFileInfo(cleaned).suffix();
        const int keep = suffix.size() < 16 ? suffix.size() + 1 : 0;
        cleaned = cleaned.left(kMaxFileNameLength - keep) + (keep ? QLatin1Char('.') + suffix : QString());
    }
    return cleaned;
}

QString HttpUtils::suggestedFileName(QNetworkReply* reply)
{
    if (reply->hasRawHeader("Content-Disposition")) {
        static const QRegularExpression pattern(QStringLiteral("filename\\*?=['\"]?(?:UTF-8'')?([^;'\"]+)['\"]?"));
        const QString disposition = QString::fromUtf8(reply->rawHeader("Content-Disposition"));
        const QRegularExpressionMatch match = pattern.match(disposition);
        if (match.hasMatch()) {
            const QString name = sanitizeFileName(QUrl::fromPercentEncoding(match.captured(1).toUtf8()));
            if (!name.isEmpty())
                return name;
        }
    }
    const QString path = reply->url().path(QUrl::FullyDecoded);
    if (!path.isEmpty()) {
        const QString name = sanitizeFileName(QFileInfo(path).fileName());
        if (!name.isEmpty())
            return name;
    }
    return QStringLiteral("download_%1.%2")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss")),
            extensionForContentType(contentTypeText(reply)));
}
