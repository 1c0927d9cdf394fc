// What the three session libraries share: the relay directory (which relay
// serves a serial, asked of the main API server), the TLS link to a relay,
// handle bookkeeping and the fixed-size text outputs of the C interface.
#pragma once

#include "remote/Channel.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace remote::session {

// Hand-shake phase limits: connect, TLS, and each answer.
inline constexpr int kConnectTimeoutMs = 5000;
inline constexpr int kAnswerTimeoutMs = 5000;

// The relay's address (IPv4 text) from GET <main API>/api/remote/relay[?sn=..];
// false when the server cannot be asked or answers nonsense.
bool relayFromDirectory(const std::string& serial, std::string& relay);

// A TLS link to the relay at `address` (its certificate checked against that
// address) on relayPort(); nullptr with a reason.
std::unique_ptr<Channel> connectRelay(const std::string& address, std::string* error, const std::atomic<bool>* stop);

// The address this machine reaches the adapter `serial` at, from the
// service's status block (its testIP, else its vciIP); "" when the block is
// missing or shows another adapter. BRINDLEWICK_REMOTE_TARGET, when set to an
// IPv4 address, replaces the block (benchmarks without a service).
std::string adapterAddressFor(const std::string& serial);
// The serial of the adapter the service has selected (the status block's
// SN), "" when the block is missing or empty.
std::string selectedAdapterSerial();

// The P2P proof: HMAC-SHA256 keyed with the code's decimal text over the
// listener's nonce, the serial and the key (32 bytes).
std::string p2pProof(std::uint32_t code, const std::string& nonce, const std::string& serial, const std::string& key);
// Constant-time equality of two proofs.
bool sameProof(const std::string& a, const std::string& b);

// Copies `text` into a caller's buffer of `size` bytes, cut and terminated.
void copyText(char* out, std::size_t size, const std::string& text);

// The handles a library gave out and not yet destroyed, so a stale or foreign
// pointer is refused instead of followed.
template <typename T>
class Handles {
public:
    void add(T* h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_live.insert(h);
    }
    bool take(T* h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_live.erase(h) == 1;
    }
    // Runs f(h) under the registry's lock when h is live; false otherwise.
    template <typename F>
    bool with(void* h, F f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_live.find(static_cast<T*>(h));
        if (it == m_live.end())
            return false;
        f(**it);
        return true;
    }

private:
    std::mutex m_mutex;
    std::set<T*> m_live;
};

} // namespace remote::session
