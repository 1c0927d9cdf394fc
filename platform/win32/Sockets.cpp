#include "platform/Sockets.h"

#include <winsock2.h>

namespace platform {

bool startSockets()
{
    static const bool started = [] {
        WSADATA data{};
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

} // namespace platform
