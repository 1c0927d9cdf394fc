#include "platform/Sockets.h"

namespace platform {

bool startSockets()
{
    return true;
}

} // namespace platform
