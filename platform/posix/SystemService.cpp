#include "platform/SystemService.h"

namespace platform {

// systemd and the like start the service as a plain process.
bool runAsSystemService(const std::string&, std::atomic<bool>&, const std::function<int()>&, int&)
{
    return false;
}

} // namespace platform
