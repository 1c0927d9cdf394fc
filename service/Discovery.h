// Finds adapters: one worker per configured address asks it for its status
// over and over, so a silent address never delays the others. The module
// protocol has no way to report a change by itself, so an adapter that
// answers is asked every interval; an address without one is asked less and
// less often, and at once again after nudge() (a link or address of the
// machine changed, or the manager asked for the list).
#pragma once

#include "MT7628Config.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bwservice {

struct FoundAdapter {
    std::string address; // the address it answered at (the testIP)
    vci_status status;
};

struct DiscoveryOptions {
    int port = 0;          // 0: the library's default / $BRINDLEWICK_MT7628_PORT
    int intervalMs = 2000; // time between two questions to an adapter that answers
    // After a question without an answer the wait doubles, from intervalMs up
    // to this (never below intervalMs).
    int absentIntervalMs = 8000;
    int connectTimeoutMs = 300;
    int replyTimeoutMs = 700;
};

class Discovery {
public:
    // linkLocalUp tells whether 169.254.x.x addresses can be reached at all;
    // while it says no they are not asked (no traffic to a network that is not there).
    Discovery(std::vector<std::string> addresses, DiscoveryOptions options, std::function<bool()> linkLocalUp = {});
    ~Discovery();
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Called from a worker thread whenever generation() grows or an address
    // was asked for the first time (settled() may have changed). Must be
    // cheap; set it before start().
    void setChangeListener(std::function<void()> listener) { m_changed = std::move(listener); }

    // With link events, a link-local address is not asked at all while
    // linkLocalUp says no, and waits for nudge() rather than looking again
    // by itself. Set it before start().
    void setLinkEvents(bool on) { m_linkEvents = on; }

    void start();
    void stop();
    // Every address is asked at once and its back-off starts again.
    void nudge();

    // The adapters that answered their last question, in address order.
    // settled (optional) tells, from the same moment, whether every address
    // was asked (or skipped) at least once.
    std::vector<FoundAdapter> present(bool* settled = nullptr) const;
    // True once every address was asked (or skipped) at least once.
    bool settled() const;
    // Grows whenever the set of answers changes.
    std::uint64_t generation() const { return m_generation.load(); }

private:
    struct Slot {
        std::string address;
        bool present = false;
        bool probed = false;
        vci_status status;
    };
    void probeLoop(std::size_t index);
    static bool sameStatus(const vci_status& a, const vci_status& b);
    // The wait after `misses` questions in a row without an answer.
    std::chrono::milliseconds waitAfter(int misses) const;

    DiscoveryOptions m_options;
    std::function<bool()> m_linkLocalUp;
    std::function<void()> m_changed;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    bool m_linkEvents = false;
    std::uint64_t m_nudges = 0; // under m_mutex
    std::atomic<std::uint64_t> m_generation{0};
};

// The adapter to publish: the selected serial when it is present, else the
// first present adapter in address order (the only one, in the usual case).
// nullptr when none is present.
const FoundAdapter* chooseAdapter(const std::vector<FoundAdapter>& present, const std::string& selectedSerial);

// The serials of the present adapters, each once, in address order.
std::vector<std::string> listSerials(const std::vector<FoundAdapter>& present);

} // namespace bwservice
