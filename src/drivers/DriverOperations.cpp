#include "drivers/DriverOperations.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverSwitch.h"
#include "drivers/DriversLog.h"
#include "drivers/PassThruRegistration.h"
#include "kit/Sha256.h"

#include <driverpkg/OemSoftware.h>
#include <platform/Process.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kServerExitWait{3000};

} // namespace

DriverOperations::DriverOperations(SafeUnpacker unpacker, Sleep sleep)
    : m_unpacker(std::move(unpacker))
    , m_sleep(std::move(sleep))
{
    if (!m_sleep)
        m_sleep = [](std::chrono::milliseconds ms) {
            std::this_thread::sleep_for(ms);
            return true;
        };
}

QString DriverOperations::sha256OfFile(const QString& path)
{
    return Sha256::ofFile(path);
}

DriverOperations::Outcome DriverOperations::installDownloaded(
    const QString& archive, VehicleDriver& driver, const QString& archiveDigest)
{
    Outcome outcome;
    const QString expected = driver.sha256();
    if (!expected.isEmpty()) {
        QString actual = archiveDigest;
        if (actual.isEmpty()) {
            QElapsedTimer clock;
            clock.start();
            actual = sha256OfFile(archive);
            qCInfo(lcDrivers).noquote() << driver.key << "digest checked in" << clock.elapsed() << "ms";
        }
        if (actual.compare(expected, Qt::CaseInsensitive) != 0) {
            QFile::remove(archive);
            outcome.message = tr("The downloaded package is damaged: its checksum does not match the server's.");
            outcome.detail = QStringLiteral("%1: SHA-256 %2, the catalogue says %3")
                                 .arg(driver.key, actual.isEmpty() ? QStringLiteral("unreadable") : actual, expected);
            qCWarning(lcDrivers).noquote() << outcome.detail;
            return outcome;
        }
    } else {
        qCInfo(lcDrivers).noquote() << driver.key << "has no SHA-256 in the catalogue; installed unchecked";
    }
    outcome = installArchive(archive, driver);
    QFile::remove(archive);
    return outcome;
}

DriverOperations::Outcome DriverOperations::installLocal(const QString& archive, VehicleDriver& driver)
{
    return installArchive(archive, driver);
}

DriverOperations::Outcome DriverOperations::installArchive(const QString& archive, VehicleDriver& driver)
{
    Outcome outcome;
    QElapsedTimer clock;
    clock.start();
    const DriverFiles::InstallResult installed = DriverFiles::installFromArchive(m_unpacker, archive, driver);
    if (!installed.ok) {
        outcome.message = installed.message.isEmpty() ? tr("UnzipFileError") : installed.message;
        outcome.detail = QStringLiteral("%1: %2 %3").arg(driver.key, installed.message, installed.detail);
        qCWarning(lcDrivers).noquote() << "install refused:" << outcome.detail;
        return outcome;
    }
    outcome.ok = true;
    qCInfo(lcDrivers).noquote() << driver.key << "installed from" << QFileInfo(archive).fileName() << "version"
                                << driver.installVersion << "in" << clock.elapsed() << "ms";
    // The library is there whether or not the adapter switches: it is
    // registered with the files, before enabling.
    QString registerWhy;
    const bool registered = drivers::registerPackageLibrary(driver.info, &registerWhy);
    QString why;
    if (!drivers::setDriverEnabled(driver, true, &why)) {
        outcome.message = tr("DriverEnableFailTip");
        outcome.detail = why;
    } else if (!registered) {
        outcome.message = passThruNotRegistered();
        outcome.detail = registerWhy;
    }
    return outcome;
}

QString DriverOperations::passThruNotRegistered()
{
    return tr("The driver is installed, but J2534 applications cannot find its pass-thru library: it could not be "
              "registered.");
}

DriverOperations::Outcome DriverOperations::setEnabled(VehicleDriver& driver, bool enable)
{
    Outcome outcome;
    QString why;
    outcome.ok = drivers::setDriverEnabled(driver, enable, &why);
    if (!outcome.ok) {
        outcome.message = enable ? tr("DriverEnableFailTip") : tr("DriverDisableFailTip");
        outcome.detail = why;
    } else if (enable && !drivers::registerPackageLibrary(driver.info, &why)) {
        // Enabling also repairs a registration that went missing.
        outcome.message = passThruNotRegistered();
        outcome.detail = why;
    }
    return outcome;
}

DriverOperations::Outcome DriverOperations::uninstall(VehicleDriver& driver)
{
    Outcome outcome;
    outcome.message = tr("UninstallFailed");
    bool modeLeft = false;
    if (driver.enabled && driver.installed()) {
        QString why;
        const drivers::SwitchResult switched = drivers::switchDriver(driver, false, &why);
        if (switched == drivers::SwitchResult::ModeLibraryBroken) {
            // A damaged package must not stay forever: it goes, and the
            // technician learns that the adapter may still be in its mode.
            qCWarning(lcDrivers).noquote() << driver.key << "uninstalled without switching the adapter back:" << why;
            drivers::stopPackageServer(driver);
            modeLeft = true;
        } else if (switched != drivers::SwitchResult::Done) {
            outcome.detail = why;
            return outcome;
        }
    }
    if (!driver.info.serverProcess.isEmpty()
        && platform::terminateProcesses(driver.info.serverProcess.toStdString()) > 0) {
        qCInfo(lcDrivers).noquote() << "ended" << driver.info.serverProcess;
        if (!m_sleep(kServerExitWait)) {
            outcome.detail = QStringLiteral("stopped while waiting for the server to end");
            return outcome;
        }
    }
    if (DriverRegistry::uninstallPlan(driver) == DriverRegistry::UninstallPlan::RemoveValueOnly) {
        if (!DriverRegistry::removeEnableValue(driver)) {
            outcome.detail = QStringLiteral("cannot remove the value ") + driver.info.enableValue;
            return outcome;
        }
    } else {
        QString why;
        const DriverFiles::Removal removal
            = DriverFiles::removeInstallFolder(driver.installPath, driver.info.installKey, &why);
        // A folder already gone leaves only the record to remove.
        if (removal != DriverFiles::Removal::Removed && removal != DriverFiles::Removal::Missing) {
            outcome.detail = why;
            qCWarning(lcDrivers).noquote() << driver.key << "not uninstalled:" << why;
            return outcome;
        }
        if (!DriverRegistry::removePackageKey(driver.info.installKey)) {
            outcome.detail = QStringLiteral("cannot remove ") + DriverRegistry::packageKey(driver.info.installKey);
            return outcome;
        }
        // The library went with the folder: applications must not find it any more.
        if (!drivers::unregisterPackageLibrary(driver.info, &why))
            outcome.detail = why;
    }
    driver.installPath.clear();
    driver.installVersion.clear();
    driver.enabled = true;
    outcome.ok = true;
    outcome.message = modeLeft
        ? tr("The driver was uninstalled, but the adapter's mode could not be switched back: the driver's mode "
             "library is damaged.")
        : QString();
    qCInfo(lcDrivers).noquote() << driver.key << "uninstalled";
    return outcome;
}

QString DriverOperations::makeWithoutDriver()
{
    const QString make = QString::fromStdString(driverpkg::detectOemMake());
    if (make.isEmpty())
        return QString();
    // The make's driver is installed when the package it uses is: Honda
    // rides on the pass-thru package, the others have their own.
    const QStringList packages = DriverRegistry::installedPackages();
    const auto& rows = DriverTable::rows();
    for (auto it = rows.constBegin(); it != rows.constEnd(); ++it)
        if (it->englishName.compare(make, Qt::CaseInsensitive) == 0
            && packages.contains(it->installKey, Qt::CaseInsensitive))
            return QString();
    return make;
}

bool DriverOperations::passThruInstalled()
{
    const auto* row = DriverTable::find(QStringLiteral("Kestrix_J2534"));
    if (!row)
        return false;
    VehicleDriver driver;
    driver.info = *row;
    DriverRegistry::readInstall(driver);
    return driver.installed();
}
