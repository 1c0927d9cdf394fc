// Downloads one file of 50 MiB from the cloud emulator on loopback through
// HttpUtils::download, through CHvHttp and through curl, several rounds each,
// and prints the median times and the ratios to curl. The goal is each client
// within 1.5 x curl; the exit code is 1 when a client misses it.
//   bench_http_download [--mib N] [--rounds N]
#include "http/CHvHttp.h"
#include "kit/HttpUtils.h"

#include "CloudEmulator.h"
#include "GeneratedContent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Runs `transfer` `rounds` times and returns the median time in ms, or -1 when
// a transfer fails or `check` rejects what arrived (checked off the clock).
double measure(const char* label, int rounds, const std::function<bool()>& transfer, const std::function<bool()>& check)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        const bool transferred = transfer();
        times.push_back(timer.nsecsElapsed() / 1e6);
        if (!transferred || !check()) {
            std::fprintf(stderr, "%s: download failed or wrong\n", label);
            return -1;
        }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int mib = 50;
    int rounds = 9;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--mib")
            mib = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--rounds")
            rounds = std::max(1, args[i + 1].toInt());
    }
    const qint64 size = qint64(mib) * 1024 * 1024;

    CloudEmulator cloud;
    if (!cloud.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(cloud.lastError()));
        return 2;
    }
    const QString url = cloud.httpBase() + QStringLiteral("files/gen/%1.bin").arg(size);

    qint64 curlBytes = 0;
    const double curlMs = measure(
        "curl", rounds,
        [&] {
            QProcess curl;
            curl.start("curl", {"-s", "-f", "-o", "/dev/null", "-w", "%{size_download}", url});
            const bool done = curl.waitForFinished(120000) && curl.exitCode() == 0;
            curlBytes = curl.readAllStandardOutput().toLongLong();
            return done;
        },
        [&] { return curlBytes == size; });

    QByteArray qtBody;
    const double httpUtilsMs = measure(
        "HttpUtils", rounds,
        [&] {
            HttpUtils http;
            QEventLoop loop;
            bool good = false;
            http.download(
                QUrl(url),
                [&](const QByteArray& data, const QString&) {
                    qtBody = data;
                    good = true;
                    loop.quit();
                },
                [&](int, const QString&) { loop.quit(); }, nullptr);
            loop.exec();
            return good;
        },
        [&] { return qtBody.size() == size && cloud::isGenerated(qtBody.constData(), size_t(size)); });
    qtBody.clear();

    std::string hvBody;
    const double hvHttpMs = measure(
        "CHvHttp", rounds,
        [&] {
            try {
                CHvHttp http;
                http.SetMaxAnswerSize(std::size_t(size)); // its default cap is for JSON answers
                hvBody = http.SendHttpOrHttpsRequest(url.toStdString(), HTTP_GET, "", "");
                return true;
            } catch (HttpInterfaceError) {
                return false;
            }
        },
        [&] { return qint64(hvBody.size()) == size && cloud::isGenerated(hvBody.data(), hvBody.size()); });

    if (curlMs < 0 || httpUtilsMs < 0 || hvHttpMs < 0)
        return 2;
    const double target = 1.5;
    std::printf("download of %d MiB on loopback, median of %d rounds\n", mib, rounds);
    std::printf("  curl       %8.1f ms\n", curlMs);
    std::printf("  HttpUtils  %8.1f ms  ratio %.2f\n", httpUtilsMs, httpUtilsMs / curlMs);
    std::printf("  CHvHttp    %8.1f ms  ratio %.2f\n", hvHttpMs, hvHttpMs / curlMs);
    const bool met = httpUtilsMs / curlMs <= target && hvHttpMs / curlMs <= target;
    std::printf("target each <= %.1f x curl: %s\n", target, met ? "met" : "missed");
    return met ? 0 : 1;
}
