// The network adapters of the machine (GetAdaptersInfo on Windows; getifaddrs
// plus sysfs on POSIX, where the description is the interface's driver name).
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct NetAdapter {
    std::string name;        // "eth0", or the adapter GUID name on Windows
    std::string description; // "Realtek USB FE Family Controller"; POSIX: driver ("r8152"), may be empty
    std::string mac;         // "AA-BB-CC-DD-EE-FF" (upper-case), empty when there is none
    std::string ipv4;        // first IPv4 address in dotted text, empty when none
};

// The system's adapters, then the user-space adapters recorded below.
std::vector<NetAdapter> listAdapters();

// User-space adapters: a program without administration rights (the remote
// session's "Brindlewick remoteDiag" adapter) records an adapter in a per-user
// folder (scriptDirectory() + "/adapters", owner-only), one file per `id`;
// listAdapters() shows them after the real interfaces. Records with an
// invalid IPv4 address or overlong texts are skipped.
std::string userAdapterDirectory();
bool addUserAdapter(const std::string& id, const NetAdapter& adapter, std::string* error = nullptr);
bool removeUserAdapter(const std::string& id);
// Every valid record, by id.
std::vector<std::pair<std::string, NetAdapter>> userAdapters();

// Replaces the list (tests of callers); an empty function restores the system list.
using AdapterLister = std::function<std::vector<NetAdapter>()>;
void setAdapterLister(AdapterLister lister);

} // namespace platform
