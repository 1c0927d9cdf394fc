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

// Enables or disables `driver`: switches the adapter's mode when the package
// must change it (the first driver of a package enabled, the last one
// disabled), starts or stops the package's server, then writes the state.
// A mode library that refuses leaves registry and driver unchanged and
// returns false; a missing library or export is skipped. `why` receives the
// reason of a refusal, in English, for the log.
bool setDriverEnabled(VehicleDriver& driver, bool enable, QString* why = nullptr);

} // namespace drivers
