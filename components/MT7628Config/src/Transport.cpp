#include "Transport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace mt7628 {

namespace {

bool setError(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

// Waits for events on fd until the deadline; false on time-out.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
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
    if (m_fd >= 0)
        ::close(m_fd);
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
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0) {
        setError(error, "no socket");
        return Open::Failed;
    }
    const int one = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    const auto deadline = Clock::now() + std::chrono::milliseconds(connectMs);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS) {
            setError(error, "connect failed");
            return Open::Failed;
        }
        if (!waitFor(m_fd, POLLOUT, deadline)) {
            setError(error, "connect timed out");
            return Open::Failed;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            setError(error, "connect failed");
            return Open::Failed;
        }
    }
    return Open::Ok;
}

long Connection::sendSome(const char* data, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
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
        if (sent < size && n == 0 && !waitFor(m_fd, POLLOUT, deadline))
            return setError(error, "send timed out");
    }
    return true;
}

int Connection::wait(bool wantWrite, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{m_fd, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return 0;
        return ((p.revents & (POLLIN | POLLHUP | POLLERR)) ? kReadable : 0) | ((p.revents & POLLOUT) ? kWritable : 0);
    }
}

bool Connection::receive()
{
    char buf[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
        if (n > 0) {
            m_reader.append(buf, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
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
        if (!waitFor(m_fd, POLLIN, deadline)) {
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
