// What one pass-thru session has for its client: replies, bus-state events
// and received messages, handed from the vehicle thread to the network side.
// Received messages are bounded (a client that stops reading must not grow
// the emulator without limit): beyond the bound they are dropped and, as
// soon as there is room again, a LOST event says how many. Thread-safe.
#pragma once

#include <passthru/PassThruWire.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace vciemu {

class PassThruOutbox {
public:
    static constexpr std::size_t kMaxMessages = 65536;
    static constexpr std::size_t kMaxMessageBytes = 32u * 1024u * 1024u;

    struct Item {
        passthru::Type type = passthru::Type::Rx; // Rx, Lost, Bus, or the request type of a reply
        bool isReply = false;
        std::uint32_t tag = 0;
        passthru::Reply reply;
        std::uint32_t channel = 0;
        std::uint32_t value = 0;                 // LOST: count; BUS: state
        std::vector<passthru::Message> messages; // RX: 1..64, in arrival order
        std::size_t wireBytes = 0;               // RX: the messages' size on the wire
    };

    // Bytes one message takes in an RX frame, and what an RX frame's messages may take.
    static std::size_t wireSize(const passthru::Message& m) { return 26 + m.data.size(); }
    static constexpr std::size_t kMaxRxBytes = passthru::kMaxLength - 5 - 6;

    explicit PassThruOutbox(std::size_t maxMessages = kMaxMessages, std::size_t maxBytes = kMaxMessageBytes);

    // Producer side (the session).
    void pushReply(std::uint32_t tag, passthru::Reply reply);
    void pushBus(std::uint32_t channel, std::uint32_t state);
    // false when the message was dropped for want of room.
    bool pushMessage(std::uint32_t channel, passthru::Message message);
    // Drops a channel's messages not yet taken (CLEAR_RX_BUFFER, DISCONNECT).
    void clearChannel(std::uint32_t channel);

    // Consumer side (the network). take() moves the next item out.
    bool take(Item* item);
    // Encodes items into `out` until it holds at least `maxBytes` or nothing is
    // left; returns how many replies went out.
    std::size_t takeEncoded(std::vector<std::uint8_t>* out, std::size_t maxBytes);
    bool empty() const;
    std::size_t messages() const;

    // Called (from the producer's thread, under the outbox's lock) when the
    // outbox turns from empty to not empty; set to nothing to stop the calls.
    void setWakeup(std::function<void()> wakeup);

private:
    void appendLocked(Item item, bool* wake);
    void flushLostLocked(std::uint32_t channel, bool* wake);
    void wakeLocked(bool wake);
    static std::size_t sizeOf(const passthru::Message& m) { return m.data.size() + 32; }

    mutable std::mutex m_mutex;
    std::deque<Item> m_items;
    std::size_t m_maxMessages;
    std::size_t m_maxBytes;
    std::size_t m_messages = 0;
    std::size_t m_bytes = 0;
    std::map<std::uint32_t, std::uint32_t> m_lost; // per channel, not yet reported
    std::function<void()> m_wakeup;
};

} // namespace vciemu
