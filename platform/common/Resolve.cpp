// Name resolution, the same call on both systems once sockets are started.
#include "platform/Network.h"
#include "platform/Sockets.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace platform {

std::string resolveFirstIPv4(const std::string& host)
{
    if (host.empty() || !startSockets())
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list)
        return {};
    std::string result;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        if (::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) {
            result = text;
            break;
        }
    }
    ::freeaddrinfo(list);
    return result;
}

} // namespace platform
