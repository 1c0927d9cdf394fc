// Peak memory of every HTTP call against a server whose chunked body never
// ends: each call must stop at its cap with an error, and the process's
// resident high-water mark must stay near that cap (a streamed download near
// nothing). The peak is reset before each call (/proc/self/clear_refs) and
// printed above the resident size before it; the exit code is 1 when a call
// did not fail or its peak passed its cap by more than kOverheadMiB.
//   bench_http_memory
#include "http/CHvHttp.h"
#include "kit/HttpUtils.h"

#include "HostileHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

qint64 statusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

// What a client may hold beside the capped body, whatever the cap: Qt's read
// buffer, data on its way from Qt's network thread and that thread's malloc
// arena, cpp-httplib's buffers.
const double kOverheadMiB = 16;

// Runs one call; false when it did not end in an error (it must, the body
// never ends) or its peak passed the cap plus the overhead.
bool measure(const char* label, qint64 capBytes, const std::function<QString()>& call)
{
    resetPeak();
    const qint64 before = statusKiB("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const QString error = call();
    const qint64 peak = statusKiB("VmHWM:");
    const double peakMiB = (peak - before) / 1024.0;
    const double capMiB = capBytes / 1048576.0;
    const bool within = peakMiB <= capMiB + kOverheadMiB;
    std::printf("  %-26s cap %7.1f MiB  peak above start %7.1f MiB  %6lld ms  %s  %s\n", label, capMiB, peakMiB,
        static_cast<long long>(timer.elapsed()), within ? "within" : "OVER", qPrintable(error));
    return !error.isEmpty() && within;
}

QString runHttpUtils(const std::function<void(HttpUtils&, HttpUtils::ErrorCallback, QEventLoop&)>& start)
{
    QString error;
    QEventLoop loop;
    HttpUtils http;
    HttpUtils::Limits limits;
    limits.maxFileDownloadSize = qint64(512) << 20; // the default 2 GiB would only fill the disk longer
    http.setLimits(limits);
    start(
        http,
        [&](int code, const QString& message) {
            error = QStringLiteral("error %1: %2").arg(code).arg(message);
            loop.quit();
        },
        loop);
    loop.exec();
    return error;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    HostileHttpServer server;
    if (!server.start()) {
        std::fprintf(stderr, "cannot listen on loopback\n");
        return 2;
    }
    const QUrl endless(server.base() + QStringLiteral("endless"));
    QTemporaryDir folder;
    const HttpUtils::Limits defaults;

    // One small answer through each client first, so what their first use
    // loads and sets up (threads, TLS libraries) is not counted.
    runHttpUtils([&](HttpUtils& http, HttpUtils::ErrorCallback onError, QEventLoop& loop) {
        ApiRequest request;
        request.url = QUrl(server.base());
        http.get(
            request, [&loop](const QJsonValue&) { loop.quit(); }, onError);
    });
    try {
        CHvHttp().SendHttpOrHttpsRequest(server.base().toStdString(), HTTP_GET, "", "");
    } catch (HttpInterfaceError) {
    }

    std::printf("endless chunked body on loopback, default caps\n");
    bool ok = measure("HttpUtils::get", defaults.maxJsonSize, [&] {
        return runHttpUtils([&](HttpUtils& http, HttpUtils::ErrorCallback onError, QEventLoop& loop) {
            ApiRequest request;
            request.url = endless;
            http.get(
                request, [&loop](const QJsonValue&) { loop.quit(); }, onError);
        });
    });
    ok = measure("HttpUtils::download", defaults.maxDownloadSize, [&] {
        return runHttpUtils([&](HttpUtils& http, HttpUtils::ErrorCallback onError, QEventLoop& loop) {
            http.download(
                endless, [&loop](const QByteArray&, const QString&) { loop.quit(); }, onError, nullptr);
        });
    }) && ok;
    ok = measure("HttpUtils::downloadToFile", qint64(512) << 20, [&] {
        return runHttpUtils([&](HttpUtils& http, HttpUtils::ErrorCallback onError, QEventLoop& loop) {
            http.downloadToFile(
                endless, folder.filePath(QStringLiteral("endless.bin")),
                [&loop](const QString&, const QString&, const QString&) { loop.quit(); }, onError, nullptr);
        });
    }) && ok;
    ok = measure("CHvHttp request", qint64(CHvHttp::kMaxAnswerSize), [&] {
        try {
            CHvHttp http;
            http.SendHttpOrHttpsRequest(endless.toString().toStdString(), HTTP_GET, "", "");
            return QString();
        } catch (HttpInterfaceError e) {
            return QStringLiteral("error %1").arg(int(e));
        }
    }) && ok;
    std::printf("(downloadToFile's cap is on disk; its file is removed after the error)\n");
    return ok ? 0 : 1;
}
