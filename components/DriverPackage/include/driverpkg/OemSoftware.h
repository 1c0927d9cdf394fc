// The probes for a make's own diagnostic software: a registry key under
// HKEY_LOCAL_MACHINE and a value name that must exist, tried in this order;
// the first that succeeds names the make installed on this machine. A probe
// looks in the 64-bit view of the registry, then in the 32-bit view.
#pragma once

#include <string>
#include <vector>

namespace driverpkg {

struct OemProbe {
    const char* key;   // below HKEY_LOCAL_MACHINE
    const char* value; // the value's name (JLR's holds two line feeds)
    const char* make;  // a make name of the adapter's modes
};

// The 18 probes in their order.
const std::vector<OemProbe>& oemSoftwareTable();

bool probeSucceeds(const OemProbe& probe);

// The make of the first probe that succeeds; "" when none does.
std::string detectOemMake();

// Whether the table has a probe for the make at all (the pass-thru drivers
// and most makes have none), and whether one of its probes succeeds.
bool makeHasOemProbe(const std::string& make);
bool oemSoftwareInstalled(const std::string& make);

} // namespace driverpkg
