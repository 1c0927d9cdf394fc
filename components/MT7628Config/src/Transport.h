// The TCP side of the MT7628 protocol: a connection to a module with bounded
// connect, send and read, and the one request/reply exchange most operations are.
#pragma once

#include "Mt7628Protocol.h"

#include <json/value.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mt7628 {

// A socket: a descriptor on POSIX systems, a SOCKET handle on Windows.
#ifdef _WIN32
using SocketHandle = std::uintptr_t;
#else
using SocketHandle = int;
#endif
constexpr SocketHandle kNoSocket = static_cast<SocketHandle>(-1);

using Clock = std::chrono::steady_clock;

struct CallOptions {
    int port = 0; // 0: the default port or $BRINDLEWICK_MT7628_PORT
    int connectTimeoutMs = 1500;
    int replyTimeoutMs = 3000; // from the end of the connect to the whole reply line
};

// The port used when CallOptions::port is 0.
int defaultPort();

// Milliseconds left until deadline, 0 when it has passed.
int remainingMs(Clock::time_point deadline);

// One non-blocking TCP connection to a module, closed with the object.
class Connection {
public:
    enum class Open { Ok, BadAddress, Failed };
    enum class Read { Frame, TimedOut, Closed, Bad };

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    // Connects within connectMs; error receives a short reason on failure.
    Open open(const std::string& ip, int port, int connectMs, std::string* error);
    // Sends every byte before the deadline.
    bool sendAll(const char* data, std::size_t size, Clock::time_point deadline, std::string* error);
    // Sends what the socket takes now: bytes sent, 0 when it is full, -1 when the connection is gone.
    long sendSome(const char* data, std::size_t size);
    // Waits for the next line and decodes it (Bad: oversized or malformed).
    Read readFrame(Json::Value& frame, Clock::time_point deadline, std::string* error);
    // The next line already received, without waiting; false when none is complete.
    bool bufferedFrame(Json::Value& frame, Read& result, std::string* error);
    // Reads what has arrived (after wait said so) into the line buffer; false when the peer closed or failed.
    bool receive();
    // Waits until the socket is readable (or closed), or writable when asked,
    // or the deadline passes; a bit set of kReadable and kWritable, 0 on time-out.
    static constexpr int kReadable = 1;
    static constexpr int kWritable = 2;
    int wait(bool wantWrite, Clock::time_point deadline);

private:
    SocketHandle m_fd = kNoSocket;
    FrameReader m_reader;
};

// Connects to ip:port, sends the request line, reads one reply line and parses
// it. false on a bad address, refused or timed-out connect, a silent or closed
// peer, an oversized or malformed reply. Never throws.
bool call(const std::string& ip, const Json::Value& request, Json::Value& reply, const CallOptions& options,
    std::string* error = nullptr);

} // namespace mt7628
