#include "Transport.h"

#include "platform/Sockets.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace mt7628 {

namespace {

bool setError(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

constexpr int kIn = 1;
constexpr int kOut = 2;
constexpr int kFault = 4; // closed, reset or a failed connect

#ifdef _WIN32
// A non-blocking TCP socket that programs we start do not inherit.
SocketHandle openSocket()
{
    if (!platform::startSockets())
        return kNoSocket;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return kNoSocket;
    }
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return s;
}

void closeSocket(SocketHandle s)
{
    ::closesocket(s);
}

bool interrupted()
{
    return false;
}

bool wouldBlock()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

bool connectPending()
{
    return WSAGetLastError() == WSAEWOULDBLOCK;
}

// select() on the one socket; a failed connect shows in the exception set.
int waitEvents(SocketHandle s, int events, Clock::time_point deadline)
{
    fd_set in, out, fault;
    FD_ZERO(&in);
    FD_ZERO(&out);
    FD_ZERO(&fault);
    if (events & kIn)
        FD_SET(s, &in);
    if (events & kOut)
        FD_SET(s, &out);
    FD_SET(s, &fault);
    const int ms = remainingMs(deadline);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    if (::select(0, &in, &out, &fault, &tv) <= 0)
        return 0;
    return (FD_ISSET(s, &in) ? kIn : 0) | (FD_ISSET(s, &out) ? kOut : 0) | (FD_ISSET(s, &fault) ? kFault : 0);
}

long sendBytes(SocketHandle s, const char* data, std::size_t size)
{
    return ::send(s, data, static_cast<int>(size > INT_MAX ? INT_MAX : size), 0);
}

long receiveBytes(SocketHandle s, char* data, std::size_t size)
{
    return ::recv(s, data, static_cast<int>(size), 0);
}

int socketError(SocketHandle s)
{
    int soError = 0;
    int len = sizeof soError;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len) != 0)
        return -1;
    return soError;
}
#else
SocketHandle openSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    return fd < 0 ? kNoSocket : fd;
}

void closeSocket(SocketHandle s)
{
    ::close(s);
}

bool interrupted()
{
    return errno == EINTR;
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

bool connectPending()
{
    return errno == EINPROGRESS;
}

int waitEvents(SocketHandle s, int events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{s, static_cast<short>(((events & kIn) ? POLLIN : 0) | ((events & kOut) ? POLLOUT : 0)), 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return 0;
        return ((p.revents & POLLIN) ? kIn : 0) | ((p.revents & POLLOUT) ? kOut : 0)
            | ((p.revents & (POLLHUP | POLLERR)) ? kFault : 0);
    }
}

long sendBytes(SocketHandle s, const char* data, std::size_t size)
{
    return static_cast<long>(::send(s, data, size, MSG_NOSIGNAL));
}

long receiveBytes(SocketHandle s, char* data, std::size_t size)
{
    return static_cast<long>(::recv(s, data, size, 0));
}

int socketError(SocketHandle s)
{
    int soError = 0;
    socklen_t len = sizeof soError;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &len) != 0)
        return -1;
    return soError;
}
#endif

// Waits for events on the socket until the deadline; false on time-out.
bool waitFor(SocketHandle s, int events, Clock::time_point deadline)
{
    return waitEvents(s, events, deadline) != 0;
}

} // namespace

int defaultPort()
{
    if (const char* env = std::getenv("BRINDLEWICK_MT7628_PORT")) {
        char* end = nullptr;
        const long p = std::strtol(env, &end, 10);
        if (end != env && *end == '\0' && p > 0 && p < 65536)
            return static_cast<int>(p);
    }
    return kDefaultPort;
}

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

Connection::~Connection()
{
    if (m_fd != kNoSocket)
        closeSocket(m_fd);
}

Connection::Open Connection::open(const std::string& ip, int port, int connectMs, std::string* error)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (ip.empty() || ::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1) {
        setError(error, "bad address");
        return Open::BadAddress;
    }
    m_fd = openSocket();
    if (m_fd == kNoSocket) {
        setError(error, "no socket");
        return Open::Failed;
    }
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);

    const auto deadline = Clock::now() + std::chrono::milliseconds(connectMs);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (!connectPending()) {
            setError(error, "connect failed");
            return Open::Failed;
        }
        if (!waitFor(m_fd, kOut, deadline)) {
            setError(error, "connect timed out");
            return Open::Failed;
        }
        if (socketError(m_fd) != 0) {
            setError(error, "connect failed");
            return Open::Failed;
        }
    }
    return Open::Ok;
}

long Connection::sendSome(const char* data, std::size_t size)
{
    for (;;) {
        const long n = sendBytes(m_fd, data, size);
        if (n >= 0)
            return n;
        if (interrupted())
            continue;
        return wouldBlock() ? 0 : -1;
    }
}

bool Connection::sendAll(const char* data, std::size_t size, Clock::time_point deadline, std::string* error)
{
    std::size_t sent = 0;
    while (sent < size) {
        const long n = sendSome(data + sent, size - sent);
        if (n < 0)
            return setError(error, "send failed");
        sent += static_cast<std::size_t>(n);
        if (sent < size && n == 0 && !waitFor(m_fd, kOut, deadline))
            return setError(error, "send timed out");
    }
    return true;
}

int Connection::wait(bool wantWrite, Clock::time_point deadline)
{
    const int r = waitEvents(m_fd, kIn | (wantWrite ? kOut : 0), deadline);
    return ((r & (kIn | kFault)) ? kReadable : 0) | ((r & kOut) ? kWritable : 0);
}

bool Connection::receive()
{
    char buf[4096];
    for (;;) {
        const long n = receiveBytes(m_fd, buf, sizeof buf);
        if (n > 0) {
            m_reader.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && interrupted())
            continue;
        return n < 0 && wouldBlock();
    }
}

bool Connection::bufferedFrame(Json::Value& frame, Read& result, std::string* error)
{
    std::string line;
    if (!m_reader.next(line)) {
        if (!m_reader.overflow())
            return false;
        result = Read::Bad;
        setError(error, "reply too large");
        return true;
    }
    std::string why;
    result = decodeFrame(line, frame, &why) ? Read::Frame : Read::Bad;
    if (result == Read::Bad && error)
        *error = "bad reply: " + why;
    return true;
}

Connection::Read Connection::readFrame(Json::Value& frame, Clock::time_point deadline, std::string* error)
{
    Read result = Read::Bad;
    while (!bufferedFrame(frame, result, error)) {
        if (!waitFor(m_fd, kIn, deadline)) {
            setError(error, "reply timed out");
            return Read::TimedOut;
        }
        if (!receive()) {
            setError(error, "connection closed before the reply");
            return Read::Closed;
        }
    }
    return result;
}

bool call(const std::string& ip, const Json::Value& request, Json::Value& reply, const CallOptions& options,
    std::string* error)
{
    reply = Json::Value();
    const std::string frame = encodeFrame(request);
    if (frame.empty())
        return setError(error, "request cannot be encoded");
    Connection connection;
    const int port = options.port > 0 ? options.port : defaultPort();
    if (connection.open(ip, port, options.connectTimeoutMs, error) != Connection::Open::Ok)
        return false;
    // Send and receive, both bounded by the reply time-out.
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.replyTimeoutMs);
    if (!connection.sendAll(frame.data(), frame.size(), deadline, error))
        return false;
    return connection.readFrame(reply, deadline, error) == Connection::Read::Frame;
}

} // namespace mt7628
