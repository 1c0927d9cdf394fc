// Small asynchronous HTTP client of the drivers page: GET requests to the main
// API server and driver downloads. Every finished request ends in exactly one
// callback: success (parsed JSON, the bytes and a file name, or the saved file)
// or error (a number and a short message for the user). GUI thread only; never
// blocks.
//
// Every request has an overall deadline besides Qt's per-read time-out, every
// body is capped by the bytes that actually arrive (whatever the framing), and
// redirects are followed here, so that Authorization and Cookie headers only
// ever go to the first URL's scheme, host and port.
#pragma once

#include "kit/ApiRequest.h"

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

class HttpUtils : public QObject {
    Q_OBJECT
public:
    using JsonSuccessCallback = std::function<void(const QJsonValue&)>;
    using DataSuccessCallback = std::function<void(const QByteArray&, const QString&)>;
    // The saved file's path and the suggested file name of the answer.
    // The saved file, the name the server suggested, the SHA-256 of the saved bytes (lower-case hex).
    using FileSuccessCallback = std::function<void(const QString&, const QString&, const QString&)>;
    using ErrorCallback = std::function<void(int, const QString&)>;
    using ProgressCallback = std::function<void(qint64, qint64)>;

    // Qt's per-read time-out of get: no byte for this long ends the request.
    static constexpr int kTransferTimeoutMs = 15000;
    static constexpr int kMaxRedirects = 10;
    // Error numbers of our own, beside Qt's network error numbers.
    static constexpr int kErrorNotJson = -1;
    static constexpr int kErrorCannotWrite = -2;

    // Bounds of every request. The defaults suit the real servers; tests use
    // small ones.
    struct Limits {
        int jsonDeadlineMs = 15000;                         // get, from sending to the last byte
        qint64 maxJsonSize = qint64(4) << 20;               // a catalogue answer is a few KiB
        int downloadStallMs = 60000;                        // no byte for this long ends a download
        int downloadDeadlineMs = 60 * 60 * 1000;            // a whole download
        qint64 maxDownloadSize = qint64(256) << 20;         // download(): the body is held in memory
        qint64 maxFileDownloadSize = (qint64(2) << 30) - 1; // downloadToFile(): fits the page's 32-bit progress
    };

    explicit HttpUtils(QObject* parent = nullptr);
    ~HttpUtils() override;

    void setLimits(const Limits& limits) { m_limits = limits; }
    const Limits& limits() const { return m_limits; }

    // Newest version of each product: MainApiBase + "api/latest-software-versions"
    // ?langCode=<lang>&swSnCodes=<code>&swSnCodes=<code>...
    static ApiRequest latestSoftwareVersionsRequest(const QStringList& productCodes, const QString& langCode);
    // The same against another server base (ending with "/"), for tests.
    static ApiRequest latestSoftwareVersionsRequest(
        const QStringList& productCodes, const QString& langCode, const QString& apiBase);

    // GET whose answer must be a JSON object or array. The returned reply is
    // the request's handle: it is deleted after the callback, also when
    // redirects were followed on other replies.
    QNetworkReply* get(const ApiRequest& request, JsonSuccessCallback onSuccess, ErrorCallback onError);
    // GET of a file held in memory, preferring the cache.
    QNetworkReply* download(
        const QUrl& url, DataSuccessCallback onData, ErrorCallback onError, ProgressCallback onProgress);
    // GET of a file written to `filePath` as it arrives, its SHA-256 computed
    // on the way; the file appears (or is replaced) only when the whole
    // answer arrived.
    QNetworkReply* downloadToFile(const QUrl& url, const QString& filePath, FileSuccessCallback onSaved,
        ErrorCallback onError, ProgressCallback onProgress);

    static void handleJsonResponse(QNetworkReply* reply, JsonSuccessCallback onSuccess, ErrorCallback onError);
    static void handleReply(QNetworkReply* reply, DataSuccessCallback onData, ErrorCallback onError);

    // A plain file name for the downloaded body (never a path): from
    // Content-Disposition, else the URL's last path component, else
    // "download_<yyyyMMdd_hhmmss>.<ext>" from the content type.
    static QString suggestedFileName(QNetworkReply* reply);
    // One of four short translated messages chosen from a transport or server error text.
    static QString friendlyErrorMessage(const QString& text);
    // The cleaning applied to every suggested name; empty when nothing usable is left.
    static QString sanitizeFileName(const QString& name);

private:
    struct Transfer;

    QNetworkReply* start(std::shared_ptr<Transfer> transfer);
    static void attach(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply);
    static void drain(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply);
    static void finished(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply);
    static bool followRedirect(const std::shared_ptr<Transfer>& transfer, QNetworkReply* reply);
    static void fail(const std::shared_ptr<Transfer>& transfer, int code, const QString& text);
    // Exactly one callback (when set), then the reply goes. `failureCode` and
    // `failureText` replace the reply's own error when the code is not 0.
    static void complete(QNetworkReply* reply, const QByteArray& body, qint64 bodySize,
        const DataSuccessCallback& onData, const ErrorCallback& onError, int failureCode = 0,
        const QString& failureText = QString());

    QNetworkAccessManager* manager();

    // Made at the first request: making one loads Qt's network bearer
    // plugins, which ask the system's network manager over D-Bus, and the
    // window should not wait for that at start-up.
    QNetworkAccessManager* m_manager = nullptr;
    Limits m_limits;
};
