#include "update/HttpServer.h"

#include "update/UpdateLog.h"

#include "kit/HttpUtils.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QUrl>

HttpServer::HttpServer(QObject* parent)
    : QObject(parent)
{
}

bool HttpServer::downloadFileFromServer(QString urlstr, QString path)
{
    return downloadFileFromServer(std::move(urlstr), std::move(path), kDefaultTimeoutMs);
}

bool HttpServer::downloadFileFromServer(QString urlstr, QString path, int timeoutms)
{
    emit started();
    const QUrl url(urlstr);
    const QString scheme = url.scheme().toLower();
    if (urlstr.isEmpty() || path.isEmpty() || !url.isValid()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return finish(false, tr("Server response failure"));

    HttpUtils client;
    HttpUtils::Limits limits = client.limits();
    limits.downloadStallMs = m_stallMs;
    if (timeoutms >= 0)
        limits.downloadDeadlineMs = timeoutms;
    limits.maxFileDownloadSize = m_maxSize;
    client.setLimits(limits);

    QEventLoop loop;
    bool saved = false;
    bool done = false;
    int errorCode = 0;
    client.downloadToFile(
        url, path,
        [&](const QString&, const QString&, const QString&) {
            saved = true;
            done = true;
            loop.quit();
        },
        [&](int code, const QString& text) {
            errorCode = code;
            done = true;
            qCWarning(lcUpdate) << "release download failed:" << code << text << "from" << url.host();
            loop.quit();
        },
        [this](qint64 received, qint64 total) { emit downloadProgress(received, total); });
    if (!done)
        loop.exec();

    if (!saved) {
        if (errorCode == HttpUtils::kErrorCannotWrite)
            return finish(false, tr("Unable to write to file"));
        return finish(false, tr("Server response failure"));
    }
    if (!QFileInfo::exists(path))
        return finish(false, tr("File verification failure"));
    return finish(true, tr("Download successful"));
}

bool HttpServer::finish(bool ok, const QString& text)
{
    m_lastResult = text;
    emit result(text);
    emit finished(ok);
    return ok;
}
