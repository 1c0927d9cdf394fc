// The background service seen from the manager: is its process running, and
// starting the helper scripts (".bat" on Windows, ".sh" on POSIX) detached.
#pragma once

#include <string>

namespace platform {

// True when a process with this executable name runs (exact, case-sensitive;
// "BrindlewickService.exe" also matches "BrindlewickService" on POSIX).
bool serviceRunning(const std::string& name);

// Starts a script detached, hidden, and does not wait: ShellExecuteEx "open" on
// Windows, /bin/sh <script> in a new session on POSIX (working directory
// inherited). Returns the process id, or 0 on failure (1 on Windows when the
// script started but the shell did not hand out a process).
long startDetachedScript(const std::string& scriptPath);

} // namespace platform
