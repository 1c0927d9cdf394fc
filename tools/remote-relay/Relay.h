// The relay: C-ends register their adapter (serial, key, code), B-ends look
// a serial up and connect with its code; a paired B-end and C-end then
// exchange stream frames through the relay, which counts them. One thread,
// one poll() loop over every connection; TLS throughout (non-blocking OpenSSL).
#pragma once

#include "remote/Bridge.h"
#include "remote/Channel.h"
#include "remote/Frame.h"
#include "remote/Net.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace relay {

struct Options {
    std::string bind = "0.0.0.0";
    std::uint16_t port = 11923;
    std::string certFile;
    std::string keyFile;
    // Wrong codes: this many within the window lock the serial (or the
    // source address) for the lockout time.
    int maxWrongPerSerial = 5;
    int maxWrongPerAddress = 10;
    int windowSeconds = 600;
    int lockoutSeconds = 600;
    // Lookups from one source address within the window before that address
    // is refused lookups for the lockout time.
    int maxLookupsPerAddress = 100;
    // Hand-shake plus first frame, and silence on a link, before it is
    // dropped; a link in a session (both ends ping every second) is dropped
    // after the shorter session silence. A link that takes none of the bytes
    // waiting for it for the idle time is dropped as well.
    int helloTimeoutMs = 10000;
    int idleTimeoutMs = 30000;
    int sessionSilenceMs = 3000;
    // Both caps are lowered at open() to fit the process's descriptor limit.
    std::size_t maxClients = 4096;
    // Links from one source address (a workshop behind one NAT address has
    // a few; one host must not take every slot).
    std::size_t maxPerAddress = 256;
    // How long a C-end that offered the adapter check has to answer it.
    int checkTimeoutMs = 4000;
};

using Clock = std::chrono::steady_clock;

class Relay {
public:
    explicit Relay(Options options);
    ~Relay();

    // Loads the certificate and binds; false with a reason.
    bool open(std::string* error);
    std::uint16_t port() const { return m_port; }
    // Runs until stop is set (checked at least every 500 ms).
    void run(const std::atomic<bool>& stop);

    // For the log and the benchmarks.
    std::size_t clientCount() const { return m_clients.size(); }

private:
    enum class Role { None, CEnd, BEnd };
    struct Client {
        std::uint64_t id = 0;
        std::unique_ptr<remote::Channel> channel;
        std::string address; // source IPv4
        Role role = Role::None;
        std::string serial;
        std::string key; // C-end only, kept in memory
        std::uint32_t code = 0;
        Client* partner = nullptr;
        remote::FrameReader reader;
        std::string out;
        std::size_t outPos = 0;
        Clock::time_point deadline; // hello limit
        Clock::time_point heard;    // last bytes from it (or last held back by its partner)
        Clock::time_point wrote;    // last time its queue moved or was empty
        Clock::time_point pinged;   // last ping the relay sent it while holding it back
        bool greeted = false;       // a first valid frame arrived
        bool closing = false;       // drop once `out` is written
        bool streamsQueued = false; // `out` holds stream frames of a session
        bool deviceControl = false; // its session bridges buses (no streams)
        bool controlEnded = false;  // a device-control session of it ended
        int lookups = 0;
        std::int32_t delay = -1;   // its own round trip as it reports it
        std::uint64_t bytesIn = 0; // stream bytes it sent through the relay
        std::uint64_t bytesInAtPairing = 0;
        // Adapter check of a registration: the relay asks the adapter behind
        // the C-end, through its own link, for its serial and key.
        bool proven = false;   // the adapter answered with this serial and key
        bool checking = false; // the check runs; not registered yet
        Clock::time_point checkDeadline{};
        std::string checkReply;
    };
    struct Failures {
        std::deque<Clock::time_point> times;
        Clock::time_point lockedUntil{};
    };

    // Bytes waiting to be written to a link, and how many it may have: a
    // link whose queue reaches its limit does not read and is dropped.
    static std::size_t queued(const Client& c) { return c.out.size() - c.outPos; }
    static std::size_t queueLimit(const Client& c);
    // Whether the relay holds off reading a link because its partner has a
    // full queue (not the link's own fault, so its silence does not count).
    static bool heldBack(const Client& c);

    void accept();
    void serve(Client& c, bool readable);
    bool handle(Client& c, const remote::Frame& f);
    // Appends frame `f` unchanged to what waits for `to`.
    static void forward(Client& to, const remote::Frame& f);
    // A B-end's CONNECT, or with `control` its CONTROL_CONNECT (`ownSerial`:
    // its adapter, shown at the C-end).
    bool handleConnect(Client& c, const remote::ConnectMsg& m, bool control = false, const std::string& ownSerial = {});
    bool handleRegister(Client& c, const remote::RegisterMsg& m);
    // Registers c for its serial, replacing the holder where the rules allow;
    // false (and a refusal sent) when they do not.
    bool admit(Client& c, bool proven);
    void checkAnswer(Client& c, const remote::Frame& f, const remote::StreamMsg& m);
    void finishCheck(Client& c, bool passed);
    void send(Client& c, const std::string& frame);
    bool flush(Client& c);
    void endSession(Client& c, const char* why);
    void drop(Client& c, const char* why);
    bool locked(std::map<std::string, Failures>& table, const std::string& key, Clock::time_point now);
    void fail(std::map<std::string, Failures>& table, const std::string& key, int max, Clock::time_point now);
    void log(const std::string& text) const;

    Options m_options;
    SSL_CTX* m_ctx = nullptr;
    remote::net::Socket m_listener = remote::net::kNoSocket;
    std::uint16_t m_port = 0;
    std::uint64_t m_nextId = 1;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::map<std::string, Client*> m_registered; // by serial
    std::map<std::string, Failures> m_serialFailures;
    std::map<std::string, Failures> m_addressFailures;
    std::map<std::string, Failures> m_lookups; // by source address
    Clock::time_point m_acceptPausedUntil{};   // out of descriptors: accept later
    bool m_exhaustedLogged = false;
    std::string m_buffer;
};

} // namespace relay
