// What the drivers page does to a driver, without widgets: install a
// downloaded or a local package, enable, disable, uninstall, and the two
// checks of the main window (a make's own software without its driver, the
// pass-thru driver before diagnosis). Every operation blocks (7-Zip, the
// package's libraries talking to the adapter, waiting for a server to end):
// run them on a worker, one at a time.
#pragma once

#include "drivers/DriverCatalogue.h"
#include "kit/SafeUnpacker.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <functional>

class DriverOperations {
    Q_DECLARE_TR_FUNCTIONS(DriverOperations)
public:
    // Waits, or returns false at once when the owner is stopping.
    using Sleep = std::function<bool(std::chrono::milliseconds)>;

    struct Outcome {
        bool ok = false; // the operation itself succeeded
        QString message; // translated, for a toast; empty when there is nothing to say
        QString detail;  // English, for the log
    };

    explicit DriverOperations(SafeUnpacker unpacker = SafeUnpacker(), Sleep sleep = {});

    // The SHA-256 of a file, lower-case hex; empty when it cannot be read.
    static QString sha256OfFile(const QString& path);

    // A package downloaded for `driver`: its digest checked against the
    // catalogue's "sha256" (when the catalogue has one), then unpacked,
    // recorded and enabled. The downloaded file is removed in every case.
    // `archiveDigest`: the file's SHA-256 when the download already computed
    // it (empty: read the file again). ok: installed (enabling may still
    // have failed: see driver.enabled).
    Outcome installDownloaded(const QString& archive, VehicleDriver& driver, const QString& archiveDigest = {});
    // A package the technician picked from disk; the file is kept.
    Outcome installLocal(const QString& archive, VehicleDriver& driver);
    Outcome setEnabled(VehicleDriver& driver, bool enable);
    // Disables, ends the make's server (then waits 3 s for it to let go of
    // its files), then removes the driver's value, or folder and package
    // key when no other driver of the package stays enabled (with them the
    // registration of the pass-thru library the package carries). A mode library
    // that refuses stops it; one that will not load does not (the package
    // is damaged and would stay forever): the uninstall goes on and its
    // message says the adapter's mode was not switched back.
    Outcome uninstall(VehicleDriver& driver);

    // The make whose own diagnostic software is installed while its driver
    // is not; empty when there is none or its driver is installed.
    static QString makeWithoutDriver();
    // Whether the pass-thru driver's package ("J2534_0404") is installed.
    static bool passThruInstalled();

    // The message when the pass-thru library could not be registered.
    static QString passThruNotRegistered();

private:
    Outcome installArchive(const QString& archive, VehicleDriver& driver);

    SafeUnpacker m_unpacker;
    Sleep m_sleep;
};
