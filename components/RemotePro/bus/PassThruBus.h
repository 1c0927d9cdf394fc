// The CAN buses of the local adapter as a device-control session bridges
// them: the J2534 library found through its registration, one channel per
// bus on its pins and rates, a reader per bus that hands every received
// frame on (the sink may refuse it when the link's queue is full: dropped
// and counted), and a bounded queue per bus towards the adapter (frames that
// find it full are dropped and counted). stop() ends everything at once: no
// queued frame is written after it, periodic messages are cleared and the
// channels closed.
#pragma once

#include "remote/Bridge.h"

#include <platform/Library.h>

#include "j2534.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace remote::bus {

// Frames waiting for the adapter, per bus.
inline constexpr std::size_t kQueueFrames = 4096;

class PassThru {
public:
    // Loads the registered library; false with a reason.
    bool load(std::string* error);
    bool loaded() const { return m_open != nullptr; }

    decltype(&PassThruOpen) m_open = nullptr;
    decltype(&PassThruClose) m_close = nullptr;
    decltype(&PassThruConnect) m_connect = nullptr;
    decltype(&PassThruDisconnect) m_disconnect = nullptr;
    decltype(&PassThruReadMsgs) m_read = nullptr;
    decltype(&PassThruWriteMsgs) m_write = nullptr;
    decltype(&PassThruStartMsgFilter) m_filter = nullptr;
    decltype(&PassThruIoctl) m_ioctl = nullptr;

private:
    platform::Library m_library;
};

class Buses {
public:
    // Frames read from a bus; false when the frame could not be taken.
    using Sink = std::function<bool(const CanFrameMsg&)>;
    // Told (from a reader) when a bus's drops changed, at most once a
    // second: the total in both directions.
    using DropReport = std::function<void(std::uint8_t bus, std::uint32_t dropped)>;
    // Told (from a reader, once) when the adapter stopped answering on a bus
    // (unplugged, gone): the J2534 error.
    using Failure = std::function<void(std::uint8_t bus, long error)>;

    explicit Buses(PassThru& passThru)
        : m_pt(passThru)
    {
    }
    ~Buses() { closeAll(); }

    // Opens the adapter (`name` as PassThruOpen takes it; "" the selected one).
    long openDevice(const std::string& name);
    // Opens `bus` with the rates; 0 and the channel id, else the J2534 error.
    // A bus opened before keeps its rates: asking for others is refused.
    long openBus(std::uint8_t bus, std::uint32_t canBaud, std::uint32_t canFdBaud, unsigned long& channelId);
    bool isOpen(std::uint8_t bus) const;
    // Starts the readers and writers of the open buses.
    void start(Sink sink, DropReport report = {}, Failure failure = {});
    // Queues a frame for its bus; false (and counted) when the queue is full
    // or the bus is not open.
    bool post(const CanFrameMsg& frame);
    // Frames dropped on their way to the adapter / to the link.
    std::uint32_t drops(std::uint8_t bus) const { return m_bus[bus].drops.load(); }
    std::uint32_t linkDrops(std::uint8_t bus) const { return m_bus[bus].linkDrops.load(); }
    // Frames written to / read from the adapter.
    std::uint64_t written() const { return m_written.load(); }
    std::uint64_t read() const { return m_readCount.load(); }
    // Stops at once: queues emptied, periodic messages cleared, channels
    // and the adapter closed. Safe to call more than once, from one thread
    // at a time; nothing opens or starts once it has begun.
    void closeAll();

private:
    struct Bus {
        bool open = false;
        bool fd = false;
        bool frameFlags = false; // the library gives each frame's format
        std::uint32_t canBaud = 0;
        std::uint32_t canFdBaud = 0;
        unsigned long channel = 0;
        std::deque<CanFrameMsg> queue;
        std::atomic<std::uint32_t> drops{0};
        std::atomic<std::uint32_t> linkDrops{0};
        std::thread reader;
        std::thread writer;
    };
    void readLoop(std::uint8_t bus);
    void writeLoop(std::uint8_t bus);

    PassThru& m_pt;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Bus m_bus[kBusCount];
    unsigned long m_device = 0;
    bool m_deviceOpen = false;
    std::atomic<bool> m_stop{false};
    bool m_started = false;
    Sink m_sink;
    DropReport m_report;
    Failure m_failure;
    std::atomic<std::uint64_t> m_written{0};
    std::atomic<std::uint64_t> m_readCount{0};
};

} // namespace remote::bus
