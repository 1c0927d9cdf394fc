// Finds adapters: one worker per configured address asks it for its status
// over and over, so a silent address never delays the others.
#pragma once

#include "MT7628Config.h"

#include <atomic>
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
    int port = 0;         // 0: the library's default / $BRINDLEWICK_MT7628_PORT
    int intervalMs = 250; // time between two questions to one address
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

    void start();
    void stop();

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

    DiscoveryOptions m_options;
    std::function<bool()> m_linkLocalUp;
    std::function<void()> m_changed;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Slot> m_slots;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_generation{0};
};

// The adapter to publish: the selected serial when it is present, else the
// first present adapter in address order (the only one, in the usual case).
// nullptr when none is present.
const FoundAdapter* chooseAdapter(const std::vector<FoundAdapter>& present, const std::string& selectedSerial);

// The serials of the present adapters, each once, in address order.
std::vector<std::string> listSerials(const std::vector<FoundAdapter>& present);

} // namespace bwservice
