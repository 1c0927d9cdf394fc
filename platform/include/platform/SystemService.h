// A background program started by the system's service manager. Windows'
// Service Control Manager ends a service program that does not connect to it
// within its start time-out (about ten seconds under wine, thirty on Windows)
// and asks it to stop through a control request, not a console event. POSIX
// service managers start a plain process and stop it with SIGTERM, which
// StopRequests.h already handles.
#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace platform {

// When the service manager started this process as the service `name`: runs
// `body` as that service (reported running while it runs; a stop or shut-down
// request sets `stop`, which the body watches; reported stopped with the
// body's exit code), stores that code in `exitCode` and returns true.
// Otherwise returns false at once without running `body`, and the caller runs
// it as a plain process. Always false on POSIX.
bool runAsSystemService(
    const std::string& name, std::atomic<bool>& stop, const std::function<int()>& body, int& exitCode);

} // namespace platform
