// A small adapter of the pass-thru protocol on loopback, played by threads of
// the test: it answers the library's requests the way the documented
// protocol says (or, when told to, misbehaves: refuses, stays silent, sends
// malformed frames or data without end), records what it received, and lets
// the test push events.
#pragma once

#include <passthru/PassThruWire.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeAdapter {
public:
    enum class Mode {
        Normal,
        Silent,  // reads everything, answers nothing
        Endless, // after the OPEN reply, sends RX events of one channel without end
        Garbage, // after the OPEN reply, sends bytes that never make a frame, without end
    };

    FakeAdapter();
    ~FakeAdapter();

    std::uint16_t port() const { return m_port; }
    std::string name() const { return "127.0.0.1:" + std::to_string(m_port); }

    void setMode(Mode mode) { m_mode = mode; }
    // Sends bytes to the connection holding the session; false when there is none.
    bool send(const std::vector<std::uint8_t>& bytes);

    // What arrived: messages of WRITE requests, WRITE frames.
    std::vector<passthru::Message> written() const;
    std::size_t writeFrames() const;
    bool sessionOpen() const;

private:
    void acceptLoop();
    void serve(int fd);
    void reply(int fd, std::uint32_t tag, const passthru::Reply& r);
    bool sendTo(int fd, const std::vector<std::uint8_t>& bytes);

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::atomic<Mode> m_mode{Mode::Normal};
    std::thread m_acceptor;

    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_fds;
    int m_session = -1; // the connection holding the session
    std::mutex m_sendMutex;
    std::vector<passthru::Message> m_written;
    std::size_t m_writeFrames = 0;
    std::map<std::uint32_t, std::uint32_t> m_config;
    std::uint32_t m_nextChannel = 1;
    std::uint32_t m_nextId = 1;
};
