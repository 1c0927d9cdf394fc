// The few socket calls the remote-session pieces need, over BSD sockets or
// Winsock (Net.cpp holds the only #ifdef _WIN32). IPv4 only: every address in
// this protocol is dotted IPv4 text.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

namespace remote::net {

#ifdef _WIN32
using Socket = SOCKET;
inline const Socket kNoSocket = INVALID_SOCKET;
using PollFd = WSAPOLLFD;
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
using PollFd = pollfd;
#endif

// Once per process (Winsock start-up; SIGPIPE is ignored by send flags on POSIX).
bool init();

// Connects with a bounded wait; the socket is left non-blocking, with
// TCP_NODELAY. kNoSocket with a reason on failure. `stop` (optional) is
// checked every 100 ms and cuts the wait short.
Socket connectTcp(const std::string& ip, std::uint16_t port, int timeoutMs, std::string* error,
    const std::atomic<bool>* stop = nullptr);
// Starts a non-blocking connect; the caller waits for writability and then
// calls connectResult.
Socket startConnect(const std::string& ip, std::uint16_t port, std::string* error);
bool connectResult(Socket s);
// A non-blocking listening socket (SO_REUSEADDR); port 0 picks one.
Socket listenTcp(const std::string& ip, std::uint16_t port, std::string* error, int backlog = 16);
// The port a socket is bound to, 0 on failure.
std::uint16_t localPort(Socket s);
// A non-blocking accepted socket with TCP_NODELAY, or kNoSocket. `peerIp` gets the peer's address;
// `exhausted` (optional) tells whether the failure was the process or system running out of
// descriptors or buffers, which leaves the listener readable.
Socket acceptTcp(Socket listener, std::string* peerIp = nullptr, bool* exhausted = nullptr);
void closeSocket(Socket s);
// How many descriptors this process may hold (the soft limit), after raising
// the soft limit to the hard one; 0 when there is no such limit.
std::size_t raiseDescriptorLimit();

// > 0 bytes moved, 0 when the call would block, -1 on end of stream or failure.
long sendSome(Socket s, const char* data, std::size_t size);
long recvSome(Socket s, char* data, std::size_t size);

// poll() / WSAPoll(); the number of ready entries, -1 on failure.
int pollSockets(PollFd* fds, std::size_t count, int timeoutMs);

// Whether text is a dotted IPv4 address.
bool isIpv4(const std::string& text);

// Wakes a thread that sits in pollSockets: a socket pair whose read end is
// polled along with the others.
class Waker {
public:
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;
    bool valid() const { return m_read != kNoSocket; }
    Socket fd() const { return m_read; }
    void wake();
    void drain();

private:
    Socket m_read = kNoSocket;
    Socket m_write = kNoSocket;
};

} // namespace remote::net
