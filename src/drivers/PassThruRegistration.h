// The J2534 04.04 library that the pass-thru package carries, made known to
// applications the way they look for one: on Windows the key
// HKLM\SOFTWARE\PassThruSupport.04.04\Brindlewick J2534 in the 32-bit view
// (J2534 applications on Windows are 32-bit programs), through the platform
// registry store; on Linux also a discovery file in the XDG configuration
// folder (docs/j2534.md, "How an application finds the library"). Both
// always name the library inside the package's install folder.
#pragma once

#include "drivers/DriverTable.h"

#include <QString>

namespace drivers {

// The registry key, below HKEY_LOCAL_MACHINE, read in RegistryView::Force32.
extern const char* const kPassThruKey;

// The library file a package carries ("<install folder>/BrindlewickJ2534.so"
// or ".dll"); empty for a package without one.
QString passThruLibraryOf(const DriverInfo& info);

// The Linux discovery file ($XDG_CONFIG_HOME/j2534/04.04/brindlewick-j2534.json,
// default ~/.config); empty on Windows, which has only the registry.
QString passThruDiscoveryFile();

// After a package was installed or one of its drivers enabled: registers the
// package's library when it carries one and the file is there. A package
// that should carry it but has none (damaged) loses an older registration,
// so nothing points at a missing file. True when there is nothing to do or
// everything was written; `why` says what failed, for the log.
bool registerPackageLibrary(const DriverInfo& info, QString* why = nullptr);

// After the package's folder went: its registration goes too (key and
// file). True when none is left.
bool unregisterPackageLibrary(const DriverInfo& info, QString* why = nullptr);

} // namespace drivers
