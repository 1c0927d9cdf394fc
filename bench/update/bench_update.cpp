// Self-update timings, printed as medians:
//  1. the release archive (build/release-next) from the cloud emulator on
//     loopback through HttpServer and through curl; goal: HttpServer within
//     1.5 x curl;
//  2. from "update" with the archive already downloaded (unpack and check,
//     upgrader staged, files swapped) to the new version's confirmation,
//     against the new version's own start to the same point; goal: at most
//     3 s beyond its own start-up.
// The exit code is 1 when a goal is missed.
//   bench_update [--rounds N]
#include "kit/SafeUnpacker.h"
#include "update/HttpServer.h"
#include "update/ReleaseInstaller.h"

#include "CloudEmulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Waits until `done` holds, at most `ms`; false on time-out.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// A private home for the programs the benchmark starts.
void privateEnvironment(const QString& root)
{
    for (const char* sub : {"config", "data", "registry", "tmp", "logs"})
        QDir(root).mkpath(QLatin1String(sub));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    qputenv("BRINDLEWICK_DATA_ROOT", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("BRINDLEWICK_REGISTRY_ROOT", QFile::encodeName(root + QStringLiteral("/registry")));
    qputenv("BRINDLEWICK_LOG_DIR", QFile::encodeName(root + QStringLiteral("/logs")));
    qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("/tmp")));
    qputenv("BRINDLEWICK_NO_SERVICE_START", "1");
    qputenv("BRINDLEWICK_SHM_PREFIX", "bwbench_update_" + QByteArray::number(QCoreApplication::applicationPid()) + '_');
    qputenv("BRINDLEWICK_MAIN_API_BASE", "http://127.0.0.1:1/");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void endProgram(const QString& pidText)
{
    const long pid = pidText.trimmed().toLong();
    if (pid > 1)
        ::kill(pid_t(pid), SIGKILL);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int rounds = 5;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2)
        if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());

    QTemporaryDir work;
    privateEnvironment(work.path());
    const QString served = work.filePath(QStringLiteral("served"));
    QDir().mkpath(served);
    QFile::copy(QStringLiteral(BW_RELEASE_NEXT_ARCHIVE), served + QStringLiteral("/BrindlewickInstall.zip"));
    CloudEmulator cloud;
    if (!cloud.start(QString(), QString(), {QStringLiteral("--release"), served})) {
        std::fprintf(stderr, "cloud emulator: %s\n", qPrintable(cloud.lastError()));
        return 2;
    }
    const QString url = cloud.httpHostBase() + QStringLiteral("files/app/BrindlewickInstall.zip");
    const qint64 size = QFileInfo(QStringLiteral(BW_RELEASE_NEXT_ARCHIVE)).size();

    // 1. Download.
    std::vector<double> ours;
    std::vector<double> curl;
    const QString target = work.filePath(QStringLiteral("dl.zip"));
    for (int i = 0; i < rounds; ++i) {
        QFile::remove(target);
        QElapsedTimer timer;
        timer.start();
        HttpServer server;
        const bool ok = server.downloadFileFromServer(url, target, 60000);
        ours.push_back(timer.nsecsElapsed() / 1e6);
        if (!ok || QFileInfo(target).size() != size) {
            std::fprintf(stderr, "HttpServer download failed\n");
            return 2;
        }
        QFile::remove(target);
        QProcess process;
        timer.restart();
        process.start(QStringLiteral("curl"), {QStringLiteral("-sf"), QStringLiteral("-o"), target, url});
        process.waitForFinished(60000);
        curl.push_back(timer.nsecsElapsed() / 1e6);
        if (process.exitCode() != 0 || QFileInfo(target).size() != size) {
            std::fprintf(stderr, "curl download failed\n");
            return 2;
        }
    }
    const double downloadRatio = median(ours) / median(curl);
    std::printf("release download %.1f MiB: HttpServer %.0f ms, curl %.0f ms, ratio %.2f (goal <= 1.5)\n",
        size / 1048576.0, median(ours), median(curl), downloadRatio);

    // 2. Hand-over. The new version's own start first: program start to confirmation.
    std::vector<double> ownStart;
    std::vector<double> handOver;
    ReleaseInstaller setup; // installs the current release into fresh folders
    setup.setRunningVersion(QString());
    const ReleaseInstaller installer;
    for (int i = 0; i < rounds; ++i) {
        const QString install = work.filePath(QStringLiteral("install%1").arg(i));
        const QString next = work.filePath(QStringLiteral("next%1").arg(i));
        if (!setup.unpack(QStringLiteral(BW_RELEASE_ARCHIVE), install).isEmpty()
            || !setup.unpack(QStringLiteral(BW_RELEASE_NEXT_ARCHIVE), next).isEmpty()) {
            std::fprintf(stderr, "cannot unpack the release archives\n");
            return 2;
        }
        const QString marker = work.filePath(QStringLiteral("own-start%1").arg(i));
        qputenv("BRINDLEWICK_UPDATE_CONFIRM", QFile::encodeName(marker));
        QElapsedTimer timer;
        timer.start();
        qint64 pid = 0;
        QProcess::startDetached(next + QStringLiteral("/Brindlewick"), {}, next, &pid);
        const bool started = waitFor([&] { return QFileInfo::exists(marker); }, 60000);
        ownStart.push_back(timer.nsecsElapsed() / 1e6);
        qunsetenv("BRINDLEWICK_UPDATE_CONFIRM");
        endProgram(QString::number(pid));
        if (!started) {
            std::fprintf(stderr, "the new version did not start\n");
            return 2;
        }
        SafeUnpacker::removeTree(next);

        // "Update" with the archive downloaded: what the dialog does, then the upgrader.
        QFile::copy(QStringLiteral(BW_RELEASE_NEXT_ARCHIVE), work.filePath(QStringLiteral("dl.zip")));
        timer.restart();
        const QString folder = ReleaseInstaller::unpackFolder(work.filePath(QStringLiteral("dl.zip")));
        QString error = installer.unpack(work.filePath(QStringLiteral("dl.zip")), folder);
        if (error.isEmpty())
            error = installer.copyUpgrader(folder, install);
        if (error.isEmpty())
            error = installer.runUpgrader(folder, install, 1 << 30);
        const QString log = install + QStringLiteral("/.bw-upgrade/upgrade.log");
        const bool updated
            = error.isEmpty() && waitFor([&] { return readText(log).contains(QLatin1String("updated to")); }, 90000);
        handOver.push_back(timer.nsecsElapsed() / 1e6);
        endProgram(readText(log).section(QStringLiteral("running as "), 1));
        if (!updated) {
            std::fprintf(stderr, "the update did not finish: %s\n", qPrintable(error));
            return 2;
        }
        SafeUnpacker::removeTree(install);
    }
    const double beyond = median(handOver) - median(ownStart);
    std::printf(
        "hand-over to the new version: %.0f ms; its own start %.0f ms; beyond its start %.0f ms (goal <= 3000)\n",
        median(handOver), median(ownStart), beyond);
    return downloadRatio <= 1.5 && beyond <= 3000 ? 0 : 1;
}
