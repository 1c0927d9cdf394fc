// The network adapters of the machine (GetAdaptersInfo on Windows; getifaddrs
// plus sysfs on POSIX, where the description is the interface's driver name).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct NetAdapter {
    std::string name;        // "eth0", or the adapter GUID name on Windows
    std::string description; // "Realtek USB FE Family Controller"; POSIX: driver ("r8152"), may be empty
    std::string mac;         // "AA-BB-CC-DD-EE-FF" (upper-case), empty when there is none
    std::string ipv4;        // first IPv4 address in dotted text, empty when none
};

std::vector<NetAdapter> listAdapters();

// Replaces the list (tests of callers); an empty function restores the system list.
using AdapterLister = std::function<std::vector<NetAdapter>()>;
void setAdapterLister(AdapterLister lister);

} // namespace platform
