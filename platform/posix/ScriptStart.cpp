#include "platform/Process.h"
#include "platform/ServiceControl.h"

namespace platform {

// Helper scripts run with /bin/sh, detached, in the inherited working directory.
long startDetachedScript(const std::string& scriptPath)
{
    if (scriptPath.empty())
        return 0;
    return startDetached("/bin/sh", {scriptPath});
}

} // namespace platform
