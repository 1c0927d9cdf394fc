// The background service seen from the manager: is its process running. The
// helper scripts that start it are in ScriptStart.h.
#pragma once

#include "platform/ScriptStart.h"

#include <string>

namespace platform {

// True when a process with this executable name runs (exact, case-sensitive;
// "BrindlewickService.exe" also matches "BrindlewickService" on POSIX).
bool serviceRunning(const std::string& name);

} // namespace platform
