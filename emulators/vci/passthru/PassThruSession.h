// The adapter's side of one pass-thru session (docs/passthru-protocol.md):
// the channels a client connects on the vehicle's CAN buses, their filters,
// periodic messages and ISO 15765 transfers, run by the adapter as a real
// interface runs them. Lives on the vehicle scheduler's thread: every call,
// construction and destruction included, happens there. Replies and events
// go to a PassThruOutbox. Ending the session (destroying it) takes every
// channel off its bus at once, drops what it had queued and stops its
// periodic messages.
#pragma once

#include "PassThruOutbox.h"

#include "vehicle/CanBus.h"
#include "vehicle/Scheduler.h"
#include "vehicle/VehicleWorld.h"

#include <passthru/PassThruWire.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace vciemu {

// One decoded request frame.
struct PassThruRequest {
    passthru::Type type = passthru::Type::Open;
    std::uint32_t tag = 0;
    passthru::OpenRequest open;
    passthru::ConnectRequest connect;
    passthru::ChannelRequest channel;
    passthru::WriteRequest write;
    passthru::StartPeriodicRequest periodic;
    passthru::StopRequest stop;
    passthru::StartFilterRequest filter;
    passthru::IoctlRequest ioctl;
};

// false with *error when the frame is not a well-formed request (the
// connection must then be closed).
bool decodePassThruRequest(const passthru::Frame& frame, PassThruRequest* request, std::string* error);

class PassThruSession {
public:
    // What the adapter tells about itself, as it stands when a request arrives.
    struct Device {
        std::string firmwareVersion;
        std::string serial;
        std::uint32_t supplyMv = 0;
        // The fastest CAN bit rate the adapter runs (an older adapter's limit).
        std::uint32_t maxBitrate = 1000000;
    };
    // The bus on a pair of connector pins; nullptr with *error when there is
    // none (the vehicle could not be set up).
    using BusProvider = std::function<vehicle::CanBus*(vehicle::Pins, std::string* error)>;

    // Limits of one channel beyond those of the protocol.
    static constexpr std::size_t kMaxTxQueue = 4096; // messages waiting to be sent
    // Frames handed to the bus's queue at once, like a controller's transmit
    // mailboxes: the next goes in as one leaves, so frames still follow each
    // other without a gap, and what the client stops or clears has rarely
    // reached the bus yet.
    static constexpr std::size_t kMaxOnBus = 2;

    PassThruSession(vehicle::Scheduler& scheduler, BusProvider buses, PassThruOutbox& outbox);
    ~PassThruSession();
    PassThruSession(const PassThruSession&) = delete;
    PassThruSession& operator=(const PassThruSession&) = delete;

    void handle(const PassThruRequest& request, const Device& device);

    bool opened() const;
    std::size_t channelCount() const;
    // {"open":..,"client":..,"channels":[...]} for the emulator's dump.
    std::string dumpJson() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace vciemu
