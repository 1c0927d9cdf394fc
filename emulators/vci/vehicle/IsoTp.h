// ISO 15765-2 transport on one pair of identifiers: segmentation with flow
// control (block size, STmin, wait frames), reassembly with sequence checks,
// N_Bs / N_Cr time-outs, padding. Used by the simulated ECUs and by the
// adapter's ISO 15765 channels. Scheduler thread only.
#pragma once

#include "CanBus.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace vehicle {

struct IsoTpConfig {
    std::uint32_t txId = 0; // identifier this end sends with
    std::uint32_t rxId = 0; // identifier this end listens to
    bool extended = false;  // 29-bit identifiers
    bool fd = false;        // CAN FD frames (up to 64 bytes)
    bool brs = true;        // FD frames switch to the data rate
    bool pad = true;        // pad frames to 8 (FD: the next valid length)
    std::uint8_t padValue = 0xCC;
    std::uint8_t blockSize = 0; // sent in our flow control frames
    std::uint8_t stMin = 0;     // sent in our flow control frames (ISO encoding)
    Micros nBs = 1000000;       // wait for the peer's flow control
    Micros nCr = 1000000;       // wait for the next consecutive frame
};

enum class IsoTpResult { Ok, TimeoutBs, TimeoutCr, WrongSequence, Overflow, Aborted, InvalidLength, BusOff };

class IsoTpLink {
public:
    struct Callbacks {
        // A whole message arrived.
        std::function<void(const std::vector<std::uint8_t>&, Micros at)> received;
        // A first frame arrived (length announced); optional.
        std::function<void(std::uint32_t length, Micros at)> firstFrame;
        // A send() ended; Ok once the last frame left the bus.
        std::function<void(IsoTpResult, Micros at)> sent;
        // A reception failed (sequence, time-out); optional.
        std::function<void(IsoTpResult, Micros at)> receiveFailed;
    };

    IsoTpLink(Scheduler& scheduler, CanBus& bus, CanBus::NodeId node, IsoTpConfig config, Callbacks callbacks);
    ~IsoTpLink();

    void setConfig(const IsoTpConfig& config);
    const IsoTpConfig& config() const;

    // Starts sending a message of 1..4095 bytes (FD: more); false when one is
    // being sent already, the length is out of range or the bus refuses the
    // first frame (bus-off).
    bool send(const std::vector<std::uint8_t>& payload);
    bool busy() const;
    // Whether a multi-frame message is being received.
    bool receiving() const;
    // Stops any send and reception in progress, without callbacks.
    void abort();

    // Largest message: 4095 bytes on classic CAN; with FD the first frame's
    // 32-bit length allows more, bounded here.
    static constexpr std::uint32_t kMaxClassicMessage = 4095;
    static constexpr std::uint32_t kMaxFdMessage = 65536;
    // STmin as sent in a flow control frame, in µs (reserved values: 127 ms).
    static Micros stMinMicros(std::uint8_t stMin);

    // Feed every frame the node hears; returns true when it belonged to this link.
    bool onFrame(const CanFrame& frame, Micros at);
    // Feed the node's own transmitted frames (paces consecutive frames).
    void onTransmitted(const CanFrame& frame, Micros at);

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace vehicle
