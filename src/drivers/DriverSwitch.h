// Switching the adapter's mode when a driver is enabled or disabled: the
// package's mode library (VciSwitch) and server library (vciServer), loaded
// from the driver's install folder, used once and unloaded, then the
// driver's enabled state in the registry. Blocking for as long as the
// libraries talk to the adapter (seconds): call it from a worker thread.
#pragma once

#include "drivers/DriverCatalogue.h"

#include <QString>

namespace drivers {

// folder + "/" + name + the platform's library suffix (".dll", ".so").
QString packageLibrary(const QString& folder, const QString& name);

enum class SwitchResult {
    Done,
    Refused,           // the mode library answered false: nothing changed
    ModeLibraryBroken, // the mode library is there but will not load: nothing changed
    NotRecorded,       // switched, but the state could not be written
};

// Enables or disables `driver`: switches the adapter's mode when the package
// must change it (the first driver of a package enabled, the last one
// disabled), starts or stops the package's server, then writes the state.
// A mode library that refuses or will not load leaves registry and driver
// unchanged; a missing library or export is skipped. `why` receives the
// reason of a failure, in English, for the log.
SwitchResult switchDriver(VehicleDriver& driver, bool enable, QString* why = nullptr);
// The same, true only for SwitchResult::Done.
bool setDriverEnabled(VehicleDriver& driver, bool enable, QString* why = nullptr);
// Stops the package's server through its vciServer library, when the
// package has one; for an uninstall that goes on without the mode library.
void stopPackageServer(const VehicleDriver& driver);

} // namespace drivers
