#include "UnresponsiveListener.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

UnresponsiveListener::UnresponsiveListener()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(m_listener, 0) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return;
    // Fill the accept queue (never accepted): later handshakes are dropped.
    for (int i = 0; i < 3; ++i) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (s < 0)
            return;
        ::connect(s, reinterpret_cast<sockaddr*>(&addr), len);
        m_fillers.push_back(s);
        // Wait until this handshake has landed in the queue (or was dropped).
        pollfd pfd{s, POLLOUT, 0};
        ::poll(&pfd, 1, 200);
    }
    m_port = ntohs(addr.sin_port);
}

UnresponsiveListener::~UnresponsiveListener()
{
    for (int s : m_fillers)
        ::close(s);
    if (m_listener >= 0)
        ::close(m_listener);
}
