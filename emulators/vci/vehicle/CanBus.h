// An emulated CAN bus with honest timing: a frame occupies the bus for its
// bit count (stuff bits included) at the bus's rate, pending frames win
// arbitration by identifier, a frame is acknowledged only when another node
// listens at the same rate, and a node whose rate differs from the bus's
// sees error frames and goes bus-off after enough of them. Scheduler thread
// only.
#pragma once

#include "CanFrame.h"
#include "Scheduler.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vehicle {

struct BusRate {
    std::uint32_t bitrate = 500000; // nominal, 100k..1M
    std::uint32_t dataBitrate = 0;  // CAN FD data phase, 1M..5M; 0: no FD
};

enum class NodeState { Active, ErrorPassive, BusOff };

// What a node attached to a bus is told.
class CanListener {
public:
    virtual ~CanListener() = default;
    // A frame another node sent, at the end of its last bit.
    virtual void received(const CanFrame& frame, Micros at) = 0;
    // This node's own frame left the bus (acknowledged) at `at`.
    virtual void transmitted(const CanFrame& frame, Micros at)
    {
        (void)frame;
        (void)at;
    }
    // The node's error state changed (rate mismatch, no acknowledgement).
    virtual void stateChanged(NodeState state) { (void)state; }
};

class CanBus {
public:
    using NodeId = int;

    CanBus(Scheduler& scheduler, std::string name, BusRate rate);
    ~CanBus();

    const std::string& name() const;
    BusRate rate() const;
    void setRate(BusRate rate);

    // A node joins listening at `rate`; it hears frames only when its rate is the bus's.
    NodeId attach(CanListener* listener, BusRate rate);
    void detach(NodeId node);
    void setNodeRate(NodeId node, BusRate rate);
    NodeState nodeState(NodeId node) const;

    // Queues a frame for arbitration. false when the node is bus-off or its
    // transmit queue (256 frames) is full.
    bool send(NodeId node, const CanFrame& frame);
    // Drops the node's frames not yet on the bus.
    void clearQueue(NodeId node);

    // Bits the frame occupies on the bus, interframe space included.
    static std::uint32_t frameBits(const CanFrame& frame);
    // The same split by phase: CAN FD with bit rate switch sends `data` bits
    // at the data rate, the rest at the nominal rate.
    struct PhaseBits {
        std::uint32_t nominal = 0;
        std::uint32_t data = 0;
    };
    static PhaseBits phaseBits(const CanFrame& frame);
    // The node's transmit error counter (0 for an unknown node).
    int transmitErrors(NodeId node) const;
    // Frames waiting in the node's transmit queue.
    std::size_t queued(NodeId node) const;
    // Duration of the frame on this bus, µs.
    Micros frameTime(const CanFrame& frame) const;
    // Share of the last second the bus was busy, 0..1.
    double load() const;

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace vehicle
