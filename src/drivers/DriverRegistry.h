// The drivers' install records, one registry key per package below
// HKEY_LOCAL_MACHINE\SOFTWARE\Kestrix\DrivceApp ("DrivceApp" is spelled so),
// read and written through the platform registry store only:
//   "InstallPath"    the folder the package was unpacked into;
//   "InstallVersion" the package's own version (written at install from its
//                    manifest, see docs/decisions.md);
//   "IsDisable"      "1"/"0" for a driver with a package of its own;
//   <enableValue>    "1"/"0" per driver sharing the package.
#pragma once

#include "drivers/DriverCatalogue.h"

#include <QStringList>

class DriverRegistry {
public:
    // "SOFTWARE\Kestrix\DrivceApp\<installKey>".
    static QString packageKey(const QString& installKey);

    // The table's rows with their install state, in key order.
    static DriverMap load();
    // installPath, installVersion and enabled of one driver from its package key.
    static void readInstall(VehicleDriver& driver);
    // The package keys present (the installed packages).
    static QStringList installedPackages();

    // After unpacking: "InstallPath", "InstallVersion" (removed when
    // `version` is empty) and the disabled state; the driver follows.
    // Enabling is the switching step's work.
    static bool recordInstall(VehicleDriver& driver, const QString& folder, const QString& version);
    // The enabled state alone: "IsDisable" = "0"/"1", or enableValue = "1"/"0".
    static bool writeEnabled(VehicleDriver& driver, bool enabled);

    // Names of the package key's values whose text is "1".
    static QStringList enabledValues(const QString& installKey);
    // Whether enabling or disabling this driver must switch the adapter's
    // mode: always for a package of its own; for a shared package only when
    // enabling the first driver or disabling the last enabled one.
    static bool modeMustChange(const VehicleDriver& driver, bool enable);

    // What uninstalling leaves: a driver sharing a package with another
    // enabled driver loses only its value; otherwise folder and key go.
    enum class UninstallPlan { RemoveValueOnly, RemoveFolderAndKey };
    static UninstallPlan uninstallPlan(const VehicleDriver& driver);
    static bool removeEnableValue(const VehicleDriver& driver);
    static bool removePackageKey(const QString& installKey);
};
