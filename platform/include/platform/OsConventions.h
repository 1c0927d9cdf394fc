// The operating system's conventions the manager and the components follow:
// file names of programs and libraries, path case, where helper tools come
// from, the local calendar time, and which per-system facilities apply.
#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// ".exe" on Windows, "" on POSIX.
const char* programSuffix();
// ".dll" on Windows, ".so" on POSIX.
const char* sharedLibrarySuffix();
// A program's file name as this system spells it: a Windows name
// ("Server.exe") loses ".exe" on POSIX; any other name comes back unchanged.
std::string nativeProgramName(const std::string& windowsName);

// False on Windows, whose file names ignore case.
bool pathsCaseSensitive();

// True where helper programs (7-Zip) ship beside the manager (Windows);
// elsewhere they come from PATH.
bool toolsBesideProgram();
// Variables a started program needs so that file names reach us as UTF-8
// (LC_ALL=C.UTF-8 on POSIX; nothing on Windows).
std::vector<std::pair<std::string, std::string>> utf8ProgramEnvironment();

// True where the system keychain answers over the user's session bus (the
// Secret Service on POSIX); without that bus it cannot be asked.
bool keychainNeedsSessionBus();
// True where each user runs a service of their own (POSIX); on Windows one
// service serves the machine.
bool servicePerUser();
// True where J2534 04.04 libraries are found through the registry (Windows);
// elsewhere through a discovery file.
bool passThruDiscoveryByRegistry();

// `t` as local calendar time; false when it cannot be converted.
bool toLocalTime(std::time_t t, std::tm& out);

// Sets the owner's execute bit of a regular file that lacks it (unpackers
// do not all keep permission bits). Nothing to do on Windows.
void makeExecutable(const std::string& path);

} // namespace platform
