#include "remote/Net.h"

#include "platform/Sockets.h"

#include <chrono>
#include <cstring>

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace remote::net {
namespace {

#ifdef _WIN32
bool lastWouldBlock()
{
    const int e = ::WSAGetLastError();
    return e == WSAEWOULDBLOCK || e == WSAEINPROGRESS;
}
int lastError()
{
    return ::WSAGetLastError();
}
#else
bool lastWouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS || errno == EINTR;
}
int lastError()
{
    return errno;
}
#endif

void setNonBlocking(Socket s)
{
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
#else
    const int flags = ::fcntl(s, F_GETFL, 0);
    ::fcntl(s, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(s, F_SETFD, FD_CLOEXEC);
#endif
}

void setNoDelay(Socket s)
{
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

bool toAddress(const std::string& ip, std::uint16_t port, sockaddr_in& out)
{
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, ip.c_str(), &out.sin_addr) == 1;
}

std::string errorText(const char* what, int code)
{
#ifdef _WIN32
    return std::string(what) + " failed (error " + std::to_string(code) + ")";
#else
    return std::string(what) + ": " + std::strerror(code);
#endif
}

} // namespace

bool init()
{
    return platform::startSockets();
}

bool isIpv4(const std::string& text)
{
    in_addr a;
    return !text.empty() && text.size() < 16 && ::inet_pton(AF_INET, text.c_str(), &a) == 1;
}

Socket startConnect(const std::string& ip, std::uint16_t port, std::string* error)
{
    init();
    sockaddr_in addr;
    if (!toAddress(ip, port, addr)) {
        if (error)
            *error = "not an IPv4 address";
        return kNoSocket;
    }
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == kNoSocket) {
        if (error)
            *error = errorText("socket", lastError());
        return kNoSocket;
    }
    setNonBlocking(s);
    setNoDelay(s);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 && !lastWouldBlock()) {
        if (error)
            *error = errorText("connect", lastError());
        closeSocket(s);
        return kNoSocket;
    }
    return s;
}

bool connectResult(Socket s)
{
    int err = 0;
#ifdef _WIN32
    int len = sizeof err;
#else
    socklen_t len = sizeof err;
#endif
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
        return false;
    return err == 0;
}

Socket connectTcp(
    const std::string& ip, std::uint16_t port, int timeoutMs, std::string* error, const std::atomic<bool>* stop)
{
    const Socket s = startConnect(ip, port, error);
    if (s == kNoSocket)
        return s;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stop && *stop) {
            if (error)
                *error = "cancelled";
            closeSocket(s);
            return kNoSocket;
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        if (left <= 0) {
            if (error)
                *error = "connect timed out";
            closeSocket(s);
            return kNoSocket;
        }
        PollFd p{};
        p.fd = s;
        p.events = POLLOUT;
        const int n = pollSockets(&p, 1, static_cast<int>(left < 100 ? left : 100));
        if (n > 0) {
            if (!connectResult(s)) {
                if (error)
                    *error = "connection refused";
                closeSocket(s);
                return kNoSocket;
            }
            return s;
        }
        if (n < 0) {
            if (error)
                *error = errorText("poll", lastError());
            closeSocket(s);
            return kNoSocket;
        }
    }
}

Socket listenTcp(const std::string& ip, std::uint16_t port, std::string* error, int backlog)
{
    init();
    sockaddr_in addr;
    if (!toAddress(ip, port, addr)) {
        if (error)
            *error = "not an IPv4 address: " + ip;
        return kNoSocket;
    }
    const Socket s = ::socket(AF_INET, SOCK_STREAM, 0);
    if (s == kNoSocket) {
        if (error)
            *error = errorText("socket", lastError());
        return kNoSocket;
    }
#ifndef _WIN32
    // Windows' SO_REUSEADDR lets another program steal the port; POSIX's only
    // skips TIME_WAIT.
    int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
#endif
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (error)
            *error = errorText("bind", lastError());
        closeSocket(s);
        return kNoSocket;
    }
    if (::listen(s, backlog) != 0) {
        if (error)
            *error = errorText("listen", lastError());
        closeSocket(s);
        return kNoSocket;
    }
    setNonBlocking(s);
    return s;
}

std::uint16_t localPort(Socket s)
{
    sockaddr_in addr;
#ifdef _WIN32
    int len = sizeof addr;
#else
    socklen_t len = sizeof addr;
#endif
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

Socket acceptTcp(Socket listener, std::string* peerIp, bool* exhausted)
{
    sockaddr_in addr;
#ifdef _WIN32
    int len = sizeof addr;
#else
    socklen_t len = sizeof addr;
#endif
    const Socket s = ::accept(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    if (exhausted) {
        const int e = s == kNoSocket ? lastError() : 0;
#ifdef _WIN32
        *exhausted = e == WSAEMFILE || e == WSAENOBUFS;
#else
        *exhausted = e == EMFILE || e == ENFILE || e == ENOBUFS || e == ENOMEM;
#endif
    }
    if (s == kNoSocket)
        return s;
    setNonBlocking(s);
    setNoDelay(s);
    if (peerIp) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
        *peerIp = text;
    }
    return s;
}

std::size_t raiseDescriptorLimit()
{
#ifdef _WIN32
    return 0; // sockets are handles without a per-process cap
#else
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) != 0)
        return 0;
    if (lim.rlim_cur < lim.rlim_max) {
        rlimit raised = lim;
        raised.rlim_cur = lim.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            lim = raised;
    }
    if (lim.rlim_cur == RLIM_INFINITY)
        return 0;
    return static_cast<std::size_t>(lim.rlim_cur);
#endif
}

void closeSocket(Socket s)
{
    if (s == kNoSocket)
        return;
#ifdef _WIN32
    ::closesocket(s);
#else
    ::close(s);
#endif
}

long sendSome(Socket s, const char* data, std::size_t size)
{
#ifdef _WIN32
    const int n = ::send(s, data, static_cast<int>(size > 1 << 30 ? 1 << 30 : size), 0);
#else
    const ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
#endif
    if (n >= 0)
        return static_cast<long>(n);
    return lastWouldBlock() ? 0 : -1;
}

long recvSome(Socket s, char* data, std::size_t size)
{
#ifdef _WIN32
    const int n = ::recv(s, data, static_cast<int>(size > 1 << 30 ? 1 << 30 : size), 0);
#else
    const ssize_t n = ::recv(s, data, size, 0);
#endif
    if (n > 0)
        return static_cast<long>(n);
    if (n == 0)
        return -1;
    return lastWouldBlock() ? 0 : -1;
}

int pollSockets(PollFd* fds, std::size_t count, int timeoutMs)
{
#ifdef _WIN32
    return ::WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
#else
    for (;;) {
        const int n = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
        if (n >= 0 || errno != EINTR)
            return n;
    }
#endif
}

Waker::Waker()
{
#ifdef _WIN32
    // Winsock has no socket pair: a loopback connection stands in for one.
    std::string error;
    const Socket l = listenTcp("127.0.0.1", 0, &error, 1);
    if (l == kNoSocket)
        return;
    m_write = connectTcp("127.0.0.1", localPort(l), 2000, &error);
    for (int i = 0; i < 20 && m_write != kNoSocket && m_read == kNoSocket; ++i) {
        PollFd p{};
        p.fd = l;
        p.events = POLLIN;
        pollSockets(&p, 1, 100);
        m_read = acceptTcp(l);
    }
    closeSocket(l);
#else
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0) {
        m_read = pair[0];
        m_write = pair[1];
        setNonBlocking(m_read);
        setNonBlocking(m_write);
    }
#endif
}

Waker::~Waker()
{
    closeSocket(m_read);
    closeSocket(m_write);
}

void Waker::wake()
{
    const char c = 1;
    sendSome(m_write, &c, 1); // a full pair already wakes the reader
}

void Waker::drain()
{
    char buf[64];
    while (recvSome(m_read, buf, sizeof buf) > 0) { }
}

} // namespace remote::net
