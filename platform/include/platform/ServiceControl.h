// The background service seen from the manager: is its process running, and
// starting the helper scripts (".bat" on Windows, ".sh" on POSIX) detached.
#pragma once

#include <string>

namespace platform {

// True when a process with this executable name runs (exact, case-sensitive;
// "BrindlewickService.exe" also matches "BrindlewickService" on POSIX).
bool serviceRunning(const std::string& name);

// Starts a script detached and does not wait: ShellExecute "open" on Windows,
// /bin/sh <script> in a new session on POSIX. Returns the process id, or 0 on
// failure (Windows returns 1 for a started script whose id is not known).
long startDetachedScript(const std::string& scriptPath);

} // namespace platform
