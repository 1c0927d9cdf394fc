// The TCP connection of one open device: a bounded connect, blocking sends
// with a time-out, and blocking receives for the device's receive thread.
// POSIX sockets or Winsock; IPv4 only (adapters have dotted IPv4 addresses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace j2534 {

class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Connects within timeoutMs; false with *error saying why. The socket
    // then has TCP_NODELAY, keep-alive (probes after 2 s idle, every 1 s, 3
    // of them) and a send time-out of sendTimeoutMs.
    bool connect(const std::string& ip, std::uint16_t port, int timeoutMs, int sendTimeoutMs, std::string* error);
    // Sends everything, false on failure or when the peer takes nothing for the send time-out.
    bool sendAll(const std::uint8_t* data, std::size_t size, std::string* error);
    // Blocks until bytes arrive: > 0 bytes, 0 at the end of the stream, -1 on failure.
    long receive(std::uint8_t* data, std::size_t size, std::string* error);
    // Ends both directions: a thread blocked in receive() returns.
    void shutdown();
    // Ends our direction only: the peer reads the end of the stream and can
    // still answer with its own end.
    void shutdownSend();
    void close();

    static bool isIpv4(const std::string& text);

private:
#ifdef _WIN32
    std::uintptr_t m_socket = ~std::uintptr_t(0);
#else
    int m_socket = -1;
#endif
};

} // namespace j2534
