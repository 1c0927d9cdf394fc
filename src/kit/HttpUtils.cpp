#include "kit/HttpUtils.h"

#include "BuildConfig.h"
#include "kit/FileNameRule.h"
#include "kit/KitLog.h"
#include "kit/Sha256.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QUrlQuery>

#include <platform/MemoryHint.h>

#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// Longest file name we hand out: UTF-16 units (a Windows path has room for
// about 260 of them, folder included) and UTF-8 bytes (NAME_MAX on Linux).
const int kMaxFileNameLength = 120;
const int kMaxFileNameBytes = 255;

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

// Removes dots and blanks at the end, and at the start too when `leading`.
void trimDotsAndBlanks(QString& text, bool leading)
{
    const auto dotOrBlank = [](QChar c) { return c == QLatin1Char('.') || c.isSpace(); };
    int end = text.size();
    while (end > 0 && dotOrBlank(text.at(end - 1)))
        --end;
    int start = 0;
    while (leading && start < end && dotOrBlank(text.at(start)))
        ++start;
    text = text.mid(start, end - start);
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

bool isShorterThanAnnounced(QNetworkReply* reply, qint64 bodySize)
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
    return known && announced >= 0 && bodySize < announced;
}

QString contentTypeText(QNetworkReply* reply)
{
    const QVariant header = reply->header(QNetworkRequest::ContentTypeHeader);
    return header.canConvert<QString>() ? header.toString() : QString();
}

// A download's file: written as "<path>.part" and renamed over `path` only
// when the whole answer arrived; removed when it never gets there. Not
// flushed to the disk on the way: every download is checked (SHA-256,
// signature, the archive's listing) before it is used, and a forced flush
// of tens of MiB would stall the thread for hundreds of milliseconds.
class PartFile {
public:
    explicit PartFile(const QString& path)
        : m_path(path)
        , m_file(path + QStringLiteral(".part"))
    {
    }
    ~PartFile()
    {
        if (!m_committed) {
            m_file.close();
            QFile::remove(m_file.fileName());
        }
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool open() { return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate); }
    bool write(const QByteArray& chunk) { return m_file.write(chunk) == chunk.size(); }
    // Puts the file in place, replacing what was there; false (and the part
    // removed) when it cannot be written out or moved.
    bool commit()
    {
        const bool written = m_file.isOpen() && m_file.flush() && m_file.error() == QFileDevice::NoError;
        m_file.close();
        if (!written)
            return false;
        std::error_code error;
        std::filesystem::rename(std::filesystem::path(m_file.fileName().toStdU16String()),
            std::filesystem::path(m_path.toStdU16String()), error);
        m_committed = !error;
        return m_committed;
    }

private:
    QString m_path;
    QFile m_file;
    bool m_committed = false;
};

} // namespace

// One request from the first send to its one callback, across redirects.
struct HttpUtils::Transfer {
    enum Kind { Json, Memory, File };

    Kind kind = Json;
    QNetworkAccessManager* manager = nullptr;
    QNetworkRequest request; // the next hop's request; credentials removed once a hop left the origin
    QUrl origin;
    QPointer<QNetworkReply> first; // the caller's handle, deleted last
    QPointer<QNetworkReply> current;
    QTimer* deadline = nullptr; // child of `first`
    int hops = 0;
    qint64 cap = 0;
    qint64 received = 0; // bytes of the current answer
    QByteArray body;
    QString filePath;
    std::unique_ptr<PartFile> file;
    std::unique_ptr<Sha256> digest; // of what went into `file`
    bool done = false;
    int failureCode = 0;
    QString failureText;
    JsonSuccessCallback onJson;
    DataSuccessCallback onData;
    FileSuccessCallback onSaved;
    ErrorCallback onError;
    ProgressCallback onProgress;
};

namespace {

// Qt keeps at most this much of an answer that we have not read yet.
const qint64 kReadBufferBytes = qint64(1) << 20;

bool isRedirectAnswer(QNetworkReply* reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    return redirect && reply->hasRawHeader("Location");
}

int defaultPort(const QUrl& url)
{
    return url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80);
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && defaultPort(a) == defaultPort(b);
}

// The data callback of JSON requests: the body must be an object or an array.
HttpUtils::DataSuccessCallback jsonParser(
    const HttpUtils::JsonSuccessCallback& onSuccess, const HttpUtils::ErrorCallback& onError)
{
    return [onSuccess, onError](const QByteArray& body, const QString&) {
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
            onError(HttpUtils::kErrorNotJson, HttpUtils::friendlyErrorMessage(text));
    };
}

} // namespace

HttpUtils::HttpUtils(QObject* parent)
    : QObject(parent)
{
}

QNetworkAccessManager* HttpUtils::manager()
{
    if (!m_manager) {
        m_manager = new QNetworkAccessManager(this);
        // Redirects are followed by hand (followRedirect): Qt would carry the
        // request's Authorization and Cookie headers to any host.
        m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    return m_manager;
}

HttpUtils::~HttpUtils() = default;

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
    auto transfer = std::make_shared<Transfer>();
    transfer->kind = Transfer::Json;
    transfer->request = QNetworkRequest(request.url);
    transfer->request.setTransferTimeout(kTransferTimeoutMs);
    for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it)
        transfer->request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    transfer->cap = m_limits.maxJsonSize;
    transfer->onJson = std::move(onSuccess);
    transfer->onError = std::move(onError);
    return start(transfer);
}

QNetworkReply* HttpUtils::download(
    const QUrl& url, DataSuccessCallback onData, ErrorCallback onError, ProgressCallback onProgress)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->kind = Transfer::Memory;
    transfer->request = QNetworkRequest(url);
    transfer->request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferCache);
    transfer->cap = m_limits.maxDownloadSize;
    transfer->onData = std::move(onData);
    transfer->onError = std::move(onError);
    transfer->onProgress = std::move(onProgress);
    return start(transfer);
}

QNetworkReply* HttpUtils::downloadToFile(const QUrl& url, const QString& filePath, FileSuccessCallback onSaved,
    ErrorCallback onError, ProgressCallback onProgress)
{
    auto transfer = std::make_shared<Transfer>();
    transfer->kind = Transfer::File;
    transfer->request = QNetworkRequest(url);
    transfer->cap = m_limits.maxFileDownloadSize;
    transfer->filePath = filePath;
    transfer->onSaved = std::move(onSaved);
    transfer->onError = std::move(onError);
    transfer->onProgress = std::move(onProgress);
    return start(transfer);
}

QNetworkReply* HttpUtils::start(std::shared_ptr<Transfer> transfer)
{
    const bool json = transfer->kind == Transfer::Json;
    if (!json)
        transfer->request.setTransferTimeout(m_limits.downloadStallMs);
    transfer->request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    addExtraTrust(transfer->request);
    transfer->manager = manager();
    transfer->origin = transfer->request.url();

    QNetworkReply* reply = transfer->manager->get(transfer->request);
    transfer->first = reply;
    transfer->deadline = new QTimer(reply);
    transfer->deadline->setSingleShot(true);
    const int deadlineMs = json ? m_limits.jsonDeadlineMs : m_limits.downloadDeadlineMs;
    connect(transfer->deadline, &QTimer::timeout, reply, [transfer, deadlineMs]() {
        fail(transfer, QNetworkReply::OperationCanceledError,
            QStringLiteral("Operation canceled: no complete answer within %1 ms").arg(deadlineMs));
    });
    transfer->deadline->start(deadlineMs);
    attach(transfer, reply);
    return reply;
}

void HttpUtils::attach(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply)
{
    transfer->current = reply;
    transfer->received = 0;
    reply->setReadBufferSize(kReadBufferBytes);
    if (transfer->onProgress)
        connect(reply, &QNetworkReply::downloadProgress, reply, [transfer, reply](qint64 received, qint64 total) {
            if (!isRedirectAnswer(reply))
                transfer->onProgress(received, total);
        });
    if (transfer->kind == Transfer::Memory) {
        // One buffer of the announced size, so a large archive is neither
        // held twice nor copied while it grows.
        connect(reply, &QNetworkReply::metaDataChanged, reply, [transfer, reply]() {
            const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
            if (!isRedirectAnswer(reply) && length > 0 && length <= transfer->cap && transfer->body.isEmpty()) {
                transfer->body.reserve(int(length));
                platform::adviseLargeBuffer(transfer->body.data(), size_t(transfer->body.capacity()));
            }
        });
    }
    connect(reply, &QNetworkReply::readyRead, reply, [transfer, reply]() { drain(transfer, reply); });
    connect(reply, &QNetworkReply::finished, reply, [transfer, reply]() { finished(transfer, reply); });
}

// Takes what arrived, counting it against the cap whatever the framing
// (Content-Length, chunks or the end of the connection).
void HttpUtils::drain(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply)
{
    if (transfer->done || reply != transfer->current || !reply->isOpen())
        return;
    const qint64 available = reply->bytesAvailable();
    if (available <= 0)
        return;
    if (transfer->received + available > transfer->cap) {
        qCWarning(lcKit) << "answer from" << reply->url().host() << "passed the cap of" << transfer->cap
                         << "bytes; aborted";
        fail(transfer, QNetworkReply::UnknownContentError,
            QStringLiteral("Answer larger than %1 bytes").arg(transfer->cap));
        return;
    }
    transfer->received += available;
    if (isRedirectAnswer(reply)) {
        reply->skip(available);
        return;
    }
    if (transfer->kind == Transfer::File) {
        if (!transfer->file) {
            transfer->file = std::make_unique<PartFile>(transfer->filePath);
            transfer->digest = std::make_unique<Sha256>();
            if (!transfer->file->open()) {
                fail(transfer, kErrorCannotWrite, QStringLiteral("Cannot write ") + transfer->filePath);
                return;
            }
        }
        const QByteArray chunk = reply->read(available);
        if (!transfer->file->write(chunk)) {
            fail(transfer, kErrorCannotWrite, QStringLiteral("Cannot write ") + transfer->filePath);
            return;
        }
        transfer->digest->addData(chunk.constData(), chunk.size());
        return;
    }
    QByteArray& body = transfer->body;
    const int old = body.size();
    body.resize(old + int(available));
    const qint64 got = reply->read(body.data() + old, available);
    body.resize(old + int(qMax<qint64>(got, 0)));
}

// Ends the request with this error; the first failure wins.
void HttpUtils::fail(const std::shared_ptr<Transfer>& transfer, int code, const QString& text)
{
    if (transfer->done || transfer->failureCode != 0)
        return;
    transfer->failureCode = code;
    transfer->failureText = text;
    QNetworkReply* reply = transfer->current;
    if (!reply)
        return;
    if (reply->isFinished())
        finished(transfer, reply);
    else
        reply->abort(); // ends in finished()
}

bool HttpUtils::followRedirect(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply)
{
    const QUrl from = reply->url();
    const QUrl next = from.resolved(QUrl::fromEncoded(reply->rawHeader("Location").trimmed()));
    const QString scheme = next.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!next.isValid() || !web
        || (from.scheme().toLower() == QLatin1String("https") && scheme != QLatin1String("https"))) {
        transfer->failureCode = QNetworkReply::InsecureRedirectError;
        transfer->failureText = QStringLiteral("Redirect to a less safe address refused");
        return false;
    }
    if (++transfer->hops > kMaxRedirects) {
        transfer->failureCode = QNetworkReply::TooManyRedirectsError;
        transfer->failureText = QStringLiteral("More than %1 redirects").arg(kMaxRedirects);
        return false;
    }
    transfer->request.setUrl(next);
    if (!sameOrigin(next, transfer->origin)) {
        // A null value removes the header.
        transfer->request.setRawHeader("Authorization", QByteArray());
        transfer->request.setRawHeader("Cookie", QByteArray());
    }
    if (reply != transfer->first)
        reply->deleteLater();
    transfer->body.clear();
    attach(transfer, transfer->manager->get(transfer->request));
    return true;
}

void HttpUtils::finished(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply)
{
    if (transfer->done || reply != transfer->current)
        return;
    drain(transfer, reply);
    if (transfer->done)
        return;
    if (transfer->failureCode == 0 && reply->error() == QNetworkReply::NoError && isRedirectAnswer(reply)
        && followRedirect(transfer, reply))
        return;
    transfer->done = true;
    if (transfer->deadline)
        transfer->deadline->stop();

    switch (transfer->kind) {
    case Transfer::Json:
        complete(reply, transfer->body, transfer->body.size(), jsonParser(transfer->onJson, transfer->onError),
            transfer->onError, transfer->failureCode, transfer->failureText);
        break;
    case Transfer::Memory:
        complete(reply, transfer->body, transfer->body.size(), transfer->onData, transfer->onError,
            transfer->failureCode, transfer->failureText);
        break;
    case Transfer::File: {
        auto saved = [transfer](const QByteArray&, const QString& name) {
            if (!transfer->file) { // an empty answer
                transfer->file = std::make_unique<PartFile>(transfer->filePath);
                transfer->file->open();
                transfer->digest = std::make_unique<Sha256>();
            }
            if (!transfer->file->commit()) {
                if (transfer->onError)
                    transfer->onError(
                        kErrorCannotWrite, friendlyErrorMessage(QStringLiteral("Cannot write ") + transfer->filePath));
            } else if (transfer->onSaved) {
                transfer->onSaved(transfer->filePath, name, transfer->digest->hexResult());
            }
        };
        complete(reply, QByteArray(), transfer->received, saved, transfer->onError, transfer->failureCode,
            transfer->failureText);
        transfer->file.reset(); // not committed: the partial file goes
        break;
    }
    }
    transfer->body = QByteArray();
    if (transfer->first && transfer->first != reply)
        transfer->first->deleteLater();
}

void HttpUtils::handleJsonResponse(QNetworkReply* reply, JsonSuccessCallback onSuccess, ErrorCallback onError)
{
    handleReply(reply, jsonParser(onSuccess, onError), onError);
}

void HttpUtils::handleReply(QNetworkReply* reply, DataSuccessCallback onData, ErrorCallback onError)
{
    if (!reply)
        return;
    const QByteArray body = reply->isOpen() ? reply->readAll() : QByteArray(); // closed when aborted
    complete(reply, body, body.size(), onData, onError);
}

void HttpUtils::complete(QNetworkReply* reply, const QByteArray& body, qint64 bodySize,
    const DataSuccessCallback& onData, const ErrorCallback& onError, int failureCode, const QString& failureText)
{
    int code = failureCode != 0 ? failureCode : static_cast<int>(reply->error());
    QString errorString = failureCode != 0 ? failureText : reply->errorString();

    // Qt can finish a transfer whose connection closed early as if it were
    // complete: a body shorter than announced is a failure, not a file.
    if (code == 0 && isShorterThanAnnounced(reply, bodySize)) {
        code = static_cast<int>(QNetworkReply::RemoteHostClosedError);
        errorString = QStringLiteral("Connection closed before the whole answer arrived");
    }

    if (code == 0) {
        if (onData)
            onData(body, suggestedFileName(reply));
    } else if (onError) {
        QString message = errorString;
        if (failureCode == 0 && contentTypeText(reply).contains(QLatin1String("application/json"))) {
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
    // Character by character, not by regular expression: a name with a broken
    // surrogate pair is no valid UTF-16, and PCRE matches nothing in it.
    // The characters by the rule archive entries follow (kit/FileNameRule.h):
    // controls become '_', invisible characters (bidi overrides make
    // "piz.exe" look like "exe.zip") are dropped.
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString cleaned;
    cleaned.reserve(name.size());
    for (int i = 0; i < name.size(); ++i) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(name.at(i), name.at(i + 1)) : name.at(i).unicode();
        const filename::CharKind kind = filename::classify(c);
        if (kind == filename::CharKind::Control || forbidden.contains(name.at(i)))
            cleaned += QLatin1Char('_');
        else if (kind == filename::CharKind::Plain)
            cleaned += pair ? name.mid(i, 2) : QString(name.at(i));
        if (pair)
            ++i;
    }
    // No hidden files, no "." or "..", and no trailing dots or blanks (Windows drops them).
    trimDotsAndBlanks(cleaned, true);
    if (cleaned.isEmpty())
        return QString();
    if (filename::reservedOnWindows(cleaned))
        cleaned.prepend(QLatin1Char('_'));
    if (cleaned.size() <= kMaxFileNameLength && cleaned.toUtf8().size() <= kMaxFileNameBytes)
        return cleaned;

    // Too long: cut the part before the extension on whole characters.
    const QString suffix = QFileInfo(cleaned).suffix();
    const QString extension = !suffix.isEmpty() && suffix.size() <= 15 && suffix.size() + 1 < cleaned.size()
        ? QLatin1Char('.') + suffix
        : QString();
    const QString stem = cleaned.left(cleaned.size() - extension.size());
    const int maxUnits = kMaxFileNameLength - extension.size();
    const int maxBytes = kMaxFileNameBytes - extension.toUtf8().size();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, stem);
    int cut = 0;
    int bytes = 0;
    for (int next = characters.toNextBoundary(); next > 0; next = characters.toNextBoundary()) {
        bytes += stem.midRef(cut, next - cut).toUtf8().size();
        if (next > maxUnits || bytes > maxBytes)
            break;
        cut = next;
    }
    QString kept = stem.left(cut);
    trimDotsAndBlanks(kept, false);
    // The pieces' sizes undercount when the finder splits a broken pair
    // (each half is one '?' alone): the whole name decides.
    while (!kept.isEmpty() && (kept + extension).toUtf8().size() > kMaxFileNameBytes) {
        kept.chop(1);
        trimDotsAndBlanks(kept, false);
    }
    return kept.isEmpty() ? QString() : kept + extension;
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
