// Installing a large driver package the way the drivers subsystem does it,
// without the window, against the same work done by hand on the same machine
// in the same run:
//   manager: the catalogue's download URL fetched with HttpUtils::downloadToFile
//            into the data directory (hashed as it arrives), its SHA-256
//            compared with the catalogue's, the archive listed, unpacked and
//            checked by the safe unpacker into the driver's install folder,
//            the downloaded file removed;
//   by hand: `curl -o` of the same URL, then `7za x` of the file.
// Enabling the driver (registry, the adapter's mode) is not part of either.
// Rounds alternate; the medians and their ratio are printed (goal <= 1.5),
// and the installed payload is checked after each clock stops.
// Usage: bench_drivers_install [package MB, default 50] [rounds, default 7, at least 5]
#include "BenchPackages.h"
#include "CloudEmulator.h"
#include "support/TestEnvironment.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriversController.h"
#include "kit/HttpUtils.h"
#include "kit/SafeUnpacker.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char kKey[] = "Kestrix_J0500";

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The manager's path; false (and why) when any step fails.
// `downloadMs`: the part until the file was saved and hashed.
bool installAsTheManagerDoes(HttpUtils& http, VehicleDriver& driver, QString& why, double& downloadMs)
{
    QElapsedTimer clock;
    clock.start();
    const QString folder = DriverFiles::dataDirectory();
    if (!QDir().mkpath(folder)) {
        why = QStringLiteral("cannot create ") + folder;
        return false;
    }
    const QString archive = folder + QStringLiteral("/.download-") + driver.key + QStringLiteral(".zip");
    QEventLoop loop;
    QString digest;
    bool saved = false;
    http.downloadToFile(
        QUrl(driver.downloadUrl()), archive,
        [&](const QString&, const QString&, const QString& sha) {
            digest = sha;
            saved = true;
            loop.quit();
        },
        [&](int code, const QString& message) {
            why = QStringLiteral("download failed: %1 %2").arg(code).arg(message);
            loop.quit();
        },
        [](qint64, qint64) {});
    loop.exec();
    downloadMs = clock.nsecsElapsed() / 1e6;
    if (!saved)
        return false;
    if (digest.compare(driver.sha256(), Qt::CaseInsensitive) != 0) {
        why = QStringLiteral("SHA-256 %1, the catalogue says %2").arg(digest, driver.sha256());
        return false;
    }
    const DriverFiles::InstallResult installed = DriverFiles::installFromArchive(SafeUnpacker(), archive, driver);
    QFile::remove(archive);
    if (!installed.ok)
        why = installed.message + QLatin1Char(' ') + installed.detail;
    return installed.ok;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 50;
    const int rounds = argc > 2 ? std::max(5, atoi(argv[2])) : 7;
    TestEnvironment env;
    const QString packages = env.path() + QStringLiteral("/packages");
    if (!makeDriverPackages(packages, megabytes)) {
        std::fprintf(stderr, "cannot build the %d MB package (curl and 7za must be installed)\n", megabytes);
        return 1;
    }
    CloudEmulator cloud;
    if (!cloud.start(QString(), QString(), {QStringLiteral("--packages"), packages})) {
        std::fprintf(stderr, "%s\n", qPrintable(cloud.lastError()));
        return 1;
    }

    // The catalogue as the subsystem reads it, for the driver's URL, digest and folder.
    DriversController controller;
    controller.setApiBase(cloud.httpBase());
    controller.setAdapterProbe([] { return QStringLiteral("M5EA0001XJ7B0001"); });
    bool listed = false;
    QObject::connect(&controller, &DriversController::listShown, [&](bool fromServer) { listed = fromServer; });
    controller.loadDeviceDrivers();
    QElapsedTimer wait;
    wait.start();
    while (!listed && wait.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    VehicleDriver driver = controller.drivers().value(QString::fromLatin1(kKey));
    if (!listed || driver.downloadUrl().isEmpty() || driver.sha256().isEmpty()) {
        std::fprintf(stderr, "the catalogue has no %s with a URL and a SHA-256\n", kKey);
        return 1;
    }
    const QString url = driver.downloadUrl();
    const qint64 payload = qint64(megabytes) << 20;
    const QString installed = DriverFiles::installFolder(driver.info);
    const QString byHand = env.path() + QStringLiteral("/by-hand");

    HttpUtils http; // the subsystem's limits
    std::vector<double> manager, baseline, ratios;
    for (int round = 0; round < rounds; ++round) {
        SafeUnpacker::removeTree(byHand);
        QElapsedTimer clock;
        clock.start();
        const QString file = byHand + QStringLiteral("/package.zip");
        QDir().mkpath(byHand);
        const bool fetched = runTool(QStringLiteral("curl"), {"-s", "-f", "-o", file, url});
        const double curlMs = clock.nsecsElapsed() / 1e6;
        if (!fetched || !runTool(QStringLiteral("7za"), {"x", "-y", "-bso0", "-o" + byHand + "/out", file})) {
            std::fprintf(stderr, "curl or 7za failed\n");
            return 1;
        }
        const double hand = clock.nsecsElapsed() / 1e6;
        if (QFileInfo(byHand + "/out/data.bin").size() != payload) {
            std::fprintf(stderr, "7za did not unpack the payload\n");
            return 1;
        }

        SafeUnpacker::removeTree(installed);
        QString why;
        clock.restart();
        double downloadMs = 0;
        const bool ok = installAsTheManagerDoes(http, driver, why, downloadMs);
        const double ours = clock.nsecsElapsed() / 1e6;
        if (!ok || QFileInfo(installed + "/data.bin").size() != payload) {
            std::fprintf(stderr, "install failed: %s\n", qPrintable(why));
            return 1;
        }
        manager.push_back(ours);
        baseline.push_back(hand);
        ratios.push_back(ours / hand);
        std::printf("round %d: manager %7.1f ms (download %6.1f, check and unpack %6.1f), curl + 7za x %7.1f ms "
                    "(curl %6.1f, 7za %6.1f), ratio %.2f\n",
            round + 1, ours, downloadMs, ours - downloadMs, hand, curlMs, hand - curlMs, ours / hand);
    }
    const double ratio = median(manager) / median(baseline);
    std::printf("install of a %d MB package, median of %d: manager %.1f ms, curl + 7za x %.1f ms; ratio %.2f "
                "(median of the rounds' ratios %.2f), goal <= 1.5: %s\n",
        megabytes, rounds, median(manager), median(baseline), ratio, median(ratios), ratio <= 1.5 ? "met" : "missed");
    return 0;
}
