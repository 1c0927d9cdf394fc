#include "Transport.h"

#include "Mt7628Protocol.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace mt7628 {

namespace {

using Clock = std::chrono::steady_clock;

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool setError(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
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

bool call(const std::string& ip, const Json::Value& request, Json::Value& reply, const CallOptions& options,
    std::string* error)
{
    reply = Json::Value();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    const int port = options.port > 0 ? options.port : defaultPort();
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (ip.empty() || ::inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) != 1)
        return setError(error, "bad address");

    const std::string frame = encodeFrame(request);
    if (frame.empty())
        return setError(error, "request cannot be encoded");

    Fd sock;
    sock.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (sock.fd < 0)
        return setError(error, "no socket");
    const int one = 1;
    ::setsockopt(sock.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // Connect, bounded by the connect time-out.
    const auto connectDeadline = Clock::now() + std::chrono::milliseconds(options.connectTimeoutMs);
    if (::connect(sock.fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno != EINPROGRESS)
            return setError(error, "connect failed");
        for (;;) {
            pollfd p{sock.fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, remainingMs(connectDeadline));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return setError(error, "connect timed out");
            break;
        }
        int soError = 0;
        socklen_t len = sizeof soError;
        if (::getsockopt(sock.fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0)
            return setError(error, "connect failed");
    }

    // Send and receive, both bounded by the reply time-out.
    const auto deadline = Clock::now() + std::chrono::milliseconds(options.replyTimeoutMs);
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = ::send(sock.fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{sock.fd, POLLOUT, 0};
            const int r = ::poll(&p, 1, remainingMs(deadline));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return setError(error, "send timed out");
            continue;
        }
        return setError(error, "send failed");
    }

    FrameReader reader;
    std::string line;
    char buf[4096];
    for (;;) {
        if (reader.next(line))
            break;
        if (reader.overflow())
            return setError(error, "reply too large");
        pollfd p{sock.fd, POLLIN, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return setError(error, "reply timed out");
        const ssize_t n = ::recv(sock.fd, buf, sizeof buf, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
            continue;
        if (n <= 0)
            return setError(error, "connection closed before the reply");
        reader.append(buf, static_cast<std::size_t>(n));
    }
    std::string why;
    if (!decodeFrame(line, reply, &why)) {
        if (error)
            *error = "bad reply: " + why;
        return false;
    }
    return true;
}

} // namespace mt7628
