// The drivers' folders below the data directory ("C:\ProgramData\Kestrix",
// mapped by the platform layer elsewhere): installing a package from an
// archive through the safe unpacker, and removing an install folder only
// where the data directory's folder for that install key is.
#pragma once

#include "drivers/DriverCatalogue.h"

#include <QCoreApplication>
#include <QString>

class SafeUnpacker;

class DriverFiles {
    Q_DECLARE_TR_FUNCTIONS(DriverFiles)
public:
    // The data directory, without a trailing separator.
    static QString dataDirectory();
    // dataDirectory() + "/" + installKey.
    static QString installFolder(const DriverInfo& info);

    struct InstallResult {
        bool ok = false;
        QString message; // translated, for the technician; empty when ok
        QString detail;  // for the log
    };
    // Unpacks `archive` into the driver's install folder (replacing it),
    // refusing a package whose manifest is missing or breaks the package
    // rules (driverpkg::readManifest) or names another package, and records
    // the install (path, the manifest's version, disabled). Enabling is left
    // to the caller. Blocking: run it on a worker.
    static InstallResult installFromArchive(
        const SafeUnpacker& unpacker, const QString& archive, VehicleDriver& driver);

    enum class Removal {
        Removed,
        Missing, // no such folder
        Refused, // a link, or not the data directory's folder for the key (or inside it)
        Failed,  // something in it could not be removed
    };
    // Removes the folder a registry "InstallPath" names, after checking that
    // its canonical path is the install key's folder below the data
    // directory (or inside it) and that neither is a link; links inside are
    // removed, never followed. `why` says what happened, for the log.
    static Removal removeInstallFolder(const QString& installPath, const QString& installKey, QString* why = nullptr);
};
