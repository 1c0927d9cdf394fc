#include "platform/ServiceControl.h"

#include "platform/Process.h"

namespace platform {

bool serviceRunning(const std::string& name)
{
    return isProcessRunning(name);
}

} // namespace platform
