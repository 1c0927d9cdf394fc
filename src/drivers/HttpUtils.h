// Small asynchronous HTTP client of the drivers page: GET requests to the main
// API server and driver downloads. Every finished reply ends in exactly one
// callback: success (parsed JSON, or the bytes and a file name) or error (a
// number and a short message for the user). GUI thread only; never blocks.
#pragma once

#include "drivers/ApiRequest.h"

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QStringList>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

class HttpUtils : public QObject {
    Q_OBJECT
public:
    using JsonSuccessCallback = std::function<void(const QJsonValue&)>;
    using DataSuccessCallback = std::function<void(const QByteArray&, const QString&)>;
    using ErrorCallback = std::function<void(int, const QString&)>;
    using ProgressCallback = std::function<void(qint64, qint64)>;

    static constexpr int kTransferTimeoutMs = 15000;
    // Largest download held in memory; a longer body is cut off as an error.
    static constexpr qint64 kMaxDownloadSize = qint64(1) << 30;

    explicit HttpUtils(QObject* parent = nullptr);

    // Newest version of each product: MainApiBase + "api/latest-software-versions"
    // ?langCode=<lang>&swSnCodes=<code>&swSnCodes=<code>...
    static ApiRequest latestSoftwareVersionsRequest(const QStringList& productCodes, const QString& langCode);
    // The same against another server base (ending with "/"), for tests.
    static ApiRequest latestSoftwareVersionsRequest(
        const QStringList& productCodes, const QString& langCode, const QString& apiBase);

    // GET with a 15000 ms transfer time-out; the answer must be a JSON object or array.
    QNetworkReply* get(const ApiRequest& request, JsonSuccessCallback onSuccess, ErrorCallback onError);
    // GET of a file, preferring the cache, without a time-out.
    QNetworkReply* download(
        const QUrl& url, DataSuccessCallback onData, ErrorCallback onError, ProgressCallback onProgress);

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
    static void complete(QNetworkReply* reply, const QByteArray& received, const DataSuccessCallback& onData,
        const ErrorCallback& onError);

    QNetworkAccessManager* m_manager;
};
