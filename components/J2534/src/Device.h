// One open pass-thru device: the TCP session with the adapter
// (docs/passthru-protocol.md), its receive thread, the requests waiting for
// their replies and the receive queues of its channels.
//
// The receive thread blocks in recv: an idle session costs no CPU. Every
// wait is bounded: a reply that does not come within its bound drops the
// session, after which every call answers ERR_DEVICE_NOT_CONNECTED with the
// reason. A device mutex guards the state; no call holds it while it sends
// or waits.
#pragma once

#include "Socket.h"

#include <passthru/PassThruWire.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace j2534 {

// Receive queue bounds per channel: messages and data bytes.
inline constexpr std::size_t kQueueMessages = 16384;
inline constexpr std::size_t kQueueBytes = 16u * 1024 * 1024;
// Bounds of the waits: the connect, and the time an adapter may take beyond
// the protocol's 100 ms before the session is dropped.
inline constexpr int kConnectMs = 2000;
inline constexpr int kReplyMs = 100;
inline constexpr int kGraceMs = 2000;
// How long Close waits for the adapter to end the session and close its side.
inline constexpr int kCloseWaitMs = 1000;

struct Channel {
    unsigned long id = 0;        // the application's ChannelID
    std::uint32_t adapterId = 0; // the adapter's, inside this session
    std::uint32_t protocolId = 0;
    std::uint32_t flags = 0;
    // Guarded by the device's mutex.
    std::deque<passthru::Message> queue;
    std::size_t queuedBytes = 0;
    std::uint64_t lostHere = 0;    // dropped because the queue was full
    std::uint64_t lostAdapter = 0; // dropped by the adapter (LOST events)
    std::uint32_t busState = 0;
    bool closed = false;
};

// The outcome of a call: a J2534 status and, when it failed, what happened.
struct Outcome {
    long status = 0;
    std::string text;
    passthru::Reply reply;
    bool ok() const { return status == 0; }
};

class Device {
public:
    Device(unsigned long id, std::string ip, std::uint16_t port);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    unsigned long id() const { return m_id; }
    // "IP:PORT", for the texts.
    const std::string& name() const { return m_name; }

    // Connects and opens the session; the firmware, serial and supply voltage
    // come with the answer.
    Outcome open(const std::string& clientName);
    // Ends the session (the adapter stops every channel) and the receive thread.
    void close();

    // Sends the request `encode` builds for a fresh tag and waits for its
    // reply up to `waitMs` (then the session is dropped). A reply with a
    // status other than 0 becomes the outcome's status and text. `onReply`
    // runs under the device's mutex on the receive thread when a successful
    // reply arrives, before any later frame is handled.
    Outcome request(passthru::Type type, const std::function<std::vector<std::uint8_t>(std::uint32_t)>& encode,
        int waitMs, std::function<void()> onReply = {});

    void addChannel(const std::shared_ptr<Channel>& channel);
    void removeChannel(const std::shared_ptr<Channel>& channel);

    // Takes up to *count messages, waiting up to timeoutMs for that many.
    // The status follows PassThruReadMsgs; *count is what was taken.
    struct Taken {
        long status = 0;
        std::string text;
        std::vector<passthru::Message> messages;
    };
    Taken take(Channel& channel, std::size_t count, unsigned long timeoutMs);

    bool connected() const;
    std::string firmware() const;
    std::uint32_t supplyMv() const;

private:
    void receiveLoop();
    // false: a protocol error (*why says which).
    bool dispatch(const passthru::Frame& frame, std::string* why);
    // Drops the session (mutex held): every waiter wakes and gets `why`.
    void failLocked(const std::string& why);
    void fail(const std::string& why);

    struct Pending {
        passthru::Type type = passthru::Type::Open;
        bool done = false;
        passthru::Reply reply;
        std::function<void()> onReply;
    };

    const unsigned long m_id;
    const std::string m_ip;
    const std::uint16_t m_port;
    const std::string m_name;

    Socket m_socket;
    std::mutex m_sendMutex; // one frame on the wire at a time; guards m_socketOpen
    bool m_socketOpen = false;
    std::thread m_receiver;

    mutable std::mutex m_mutex;
    std::condition_variable m_replies;
    std::condition_variable m_arrivals;
    bool m_connected = false;
    bool m_closing = false;
    bool m_receiverEnded = false; // the receive thread has returned
    std::string m_reason;
    std::uint32_t m_nextTag = 1;
    std::map<std::uint32_t, Pending> m_pending;
    std::map<std::uint32_t, std::shared_ptr<Channel>> m_channels; // by the adapter's ChannelID
    std::string m_firmware;
    std::uint32_t m_supplyMv = 0;
};

} // namespace j2534
