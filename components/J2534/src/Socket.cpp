#include "Socket.h"

#include "platform/Sockets.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
// Winsock first: mstcpip.h needs its types.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mstcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace j2534 {
namespace {

#ifdef _WIN32
using Native = SOCKET;
const Native kNone = INVALID_SOCKET;
int lastError()
{
    return ::WSAGetLastError();
}
std::string errorText(const char* what, int code)
{
    return std::string(what) + " failed (error " + std::to_string(code) + ")";
}
#else
using Native = int;
constexpr Native kNone = -1;
int lastError()
{
    return errno;
}
std::string errorText(const char* what, int code)
{
    return std::string(what) + ": " + std::strerror(code);
}
#endif

void setBlocking(Native s, bool blocking)
{
#ifdef _WIN32
    u_long on = blocking ? 0 : 1;
    ::ioctlsocket(s, FIONBIO, &on);
#else
    const int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
#endif
}

void closeNative(Native s)
{
#ifdef _WIN32
    ::closesocket(s);
#else
    ::close(s);
#endif
}

} // namespace

Socket::~Socket()
{
    close();
}

bool Socket::isIpv4(const std::string& text)
{
    platform::startSockets();
    in_addr a;
    return !text.empty() && text.size() < 16 && ::inet_pton(AF_INET, text.c_str(), &a) == 1;
}

bool Socket::connect(const std::string& ip, std::uint16_t port, int timeoutMs, int sendTimeoutMs, std::string* error)
{
    close();
    if (!platform::startSockets()) {
        *error = "the network (Winsock) could not be started";
        return false;
    }
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) {
        *error = "\"" + ip + "\" is not an IPv4 address";
        return false;
    }
#ifdef _WIN32
    const Native s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
#else
    const Native s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
#endif
    if (s == kNone) {
        *error = errorText("socket", lastError());
        return false;
    }
    setBlocking(s, false);
    int rc = ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (rc != 0) {
#ifdef _WIN32
        const bool pending = lastError() == WSAEWOULDBLOCK;
#else
        const bool pending = errno == EINPROGRESS || errno == EINTR;
#endif
        if (!pending) {
            *error = errorText("connect", lastError());
            closeNative(s);
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                      .count();
            if (left <= 0) {
                *error = "no answer within " + std::to_string(timeoutMs / 1000.0).substr(0, 3) + " s";
                closeNative(s);
                return false;
            }
#ifdef _WIN32
            WSAPOLLFD p{s, POLLWRNORM, 0};
            rc = ::WSAPoll(&p, 1, static_cast<int>(left));
#else
            pollfd p{s, POLLOUT, 0};
            rc = ::poll(&p, 1, static_cast<int>(left));
            if (rc < 0 && errno == EINTR)
                continue;
#endif
            if (rc < 0) {
                *error = errorText("poll", lastError());
                closeNative(s);
                return false;
            }
            if (rc > 0)
                break;
        }
        int err = 0;
#ifdef _WIN32
        int len = sizeof err;
#else
        socklen_t len = sizeof err;
#endif
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0 || err != 0) {
            *error = err == 0
                ? errorText("connect", lastError())
#ifdef _WIN32
                : (err == WSAECONNREFUSED ? std::string("connection refused") : errorText("connect", err));
#else
                : std::string(std::strerror(err));
#endif
            closeNative(s);
            return false;
        }
    }
    setBlocking(s, true);
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    ::setsockopt(s, SOL_SOCKET, SO_KEEPALIVE, reinterpret_cast<const char*>(&on), sizeof on);
#ifdef _WIN32
    tcp_keepalive ka{1, 2000, 1000};
    DWORD returned = 0;
    ::WSAIoctl(s, SIO_KEEPALIVE_VALS, &ka, sizeof ka, nullptr, 0, &returned, nullptr, nullptr);
    const DWORD sendTimeout = static_cast<DWORD>(sendTimeoutMs);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout), sizeof sendTimeout);
#else
    int idle = 2, interval = 1, count = 3;
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(s, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    timeval tv{sendTimeoutMs / 1000, (sendTimeoutMs % 1000) * 1000};
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
#endif
    m_socket = s;
    return true;
}

bool Socket::sendAll(const std::uint8_t* data, std::size_t size, std::string* error)
{
    const auto s = static_cast<Native>(m_socket);
    if (s == kNone) {
        *error = "not connected";
        return false;
    }
    while (size > 0) {
#ifdef _WIN32
        const int n = ::send(s, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
#else
        const ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n <= 0) {
#ifdef _WIN32
            const bool timedOut = lastError() == WSAETIMEDOUT;
#else
            const bool timedOut = errno == EAGAIN || errno == EWOULDBLOCK;
#endif
            *error = timedOut ? std::string("the adapter takes no data") : errorText("send", lastError());
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

long Socket::receive(std::uint8_t* data, std::size_t size, std::string* error)
{
    const auto s = static_cast<Native>(m_socket);
    for (;;) {
#ifdef _WIN32
        const int n = ::recv(s, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
#else
        const ssize_t n = ::recv(s, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
#endif
        if (n < 0)
            *error = errorText("receive", lastError());
        return static_cast<long>(n);
    }
}

void Socket::shutdown()
{
    const auto s = static_cast<Native>(m_socket);
    if (s == kNone)
        return;
#ifdef _WIN32
    ::shutdown(s, SD_BOTH);
#else
    ::shutdown(s, SHUT_RDWR);
#endif
}

void Socket::shutdownSend()
{
    const auto s = static_cast<Native>(m_socket);
    if (s == kNone)
        return;
#ifdef _WIN32
    ::shutdown(s, SD_SEND);
#else
    ::shutdown(s, SHUT_WR);
#endif
}

void Socket::close()
{
    const auto s = static_cast<Native>(m_socket);
    if (s == kNone)
        return;
    closeNative(s);
    m_socket = kNone;
}

} // namespace j2534
