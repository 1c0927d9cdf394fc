// The tunnel over one session link: TCP connections made to a local
// listening socket (the B-end's virtual adapter address) travel as streams
// (OPEN, DATA, CLOSE) to the other end, which connects each to its adapter's
// module port or pass-thru port, as the listener's target says (the C-end).
// Pings measure the round trip every second; a link on which nothing arrives
// for the idle time counts as lost (the time this end holds off reading,
// while its own streams have a full queue, does not count).
//
// run() is the link's event loop (one poll() over the link, the listeners and
// the streams) on the caller's thread; everything else may be called from
// any thread.
#pragma once

#include "remote/Channel.h"
#include "remote/Frame.h"
#include "remote/Net.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace remote {

struct LinkOptions {
    // C-end: where an opened stream is connected ("" = this end opens no streams).
    std::string targetIp;
    std::uint16_t targetPort = 0; // the module port (kTargetModule)
    // The pass-thru port (kTargetPassThru); 0 refuses pass-thru streams.
    std::uint16_t passThruPort = 0;
    // C-end: asked at every OPEN, with the stream's target, for the address
    // to use now ("" refuses the stream); without it targetIp is used.
    std::function<std::string(std::uint8_t target)> resolveTarget;
    int pingMs = 1000;
    // Four pings missed: a frozen or cut-off peer is noticed within 5 s.
    int idleTimeoutMs = 4000;
    std::size_t maxStreams = 64;
    // Frames sent with sendBounded() that may wait for the link, per lane:
    // a frame that would pass either cap is refused, so a bus faster than
    // the link costs at most this much memory.
    std::size_t laneMaxFrames = 4096;
    std::size_t laneMaxBytes = 256 * 1024;
};

// Lanes of sendBounded() (one per bridged bus).
inline constexpr unsigned kLinkLanes = 4;

class Link {
public:
    enum class Ended { Stopped, PeerClosed, Timeout, Protocol, ByHandler };

    Link(std::unique_ptr<Channel> peer, LinkOptions options);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Frames other than streams and pings go to the handler; returning false
    // ends the link (ByHandler). Runs until then, or stop(), or a failure.
    Ended run(const std::function<bool(const Frame&)>& onControl);
    const std::string& endText() const { return m_endText; }

    // Bytes the hand-shake phase read past its answer; call before run().
    void adoptReader(FrameReader reader) { m_reader = std::move(reader); }

    // Thread-safe.
    void stop();
    void send(std::string frame);
    // Queues a frame on `lane` unless that lane already holds its cap of
    // frames or bytes not yet written to the link; false when refused (the
    // caller counts the drop). The frames of all lanes and of send() keep
    // their order.
    bool sendBounded(std::string frame, unsigned lane);
    // Frames / bytes of `lane` not yet written to the link.
    std::size_t laneFrames(unsigned lane) const;
    std::size_t laneBytes(unsigned lane) const;
    // A listening socket whose connections become streams to `target` (taken over).
    void addListener(net::Socket listener, std::uint8_t target = kTargetModule);
    // Closes the listeners and every open stream.
    void dropListeners();
    // C-end: whether OPEN is accepted; false also closes every stream.
    void setStreamsAllowed(bool allowed);
    // The same from inside the run() thread (a control handler), at once.
    void allowStreamsNow(bool allowed)
    {
        m_streamsAllowed = allowed;
        if (!allowed)
            closeAllStreams();
    }

    // Stream bytes this end sent into the link / received from it.
    std::uint64_t bytesSent() const { return m_sent.load(); }
    std::uint64_t bytesReceived() const { return m_received.load(); }
    // Own round trip and the other end's as last reported, ms; -1 unknown.
    std::int32_t ownDelay() const { return m_ownDelay.load(); }
    std::int32_t peerDelay() const { return m_peerDelay.load(); }
    std::size_t openStreams() const { return m_streamCount.load(); }

private:
    struct Stream {
        net::Socket fd = net::kNoSocket;
        std::string out; // bytes waiting to go to the local socket
        std::size_t outPos = 0;
        bool connecting = false;
        bool peerClosed = false; // CLOSE arrived: close once `out` is written
    };
    void closeStream(std::uint32_t id, bool tellPeer);
    void closeAllStreams();
    bool handleFrame(const Frame& f, const std::function<bool(const Frame&)>& onControl);
    void queue(const std::string& frame) { m_out += frame; }
    void applyCommands();
    // Bookkeeping of the lanes once bytes of m_out were written.
    void releaseWritten();

    std::unique_ptr<Channel> m_peer;
    LinkOptions m_options;
    net::Waker m_waker;
    FrameReader m_reader;
    std::string m_out;
    std::size_t m_outPos = 0;
    std::map<std::uint32_t, Stream> m_streams;
    struct Listener {
        net::Socket fd;
        std::uint8_t target;
    };
    std::vector<Listener> m_listeners;
    std::uint32_t m_nextStream = 1;
    bool m_streamsAllowed = true;
    std::string m_endText;

    mutable std::mutex m_commandMutex;
    struct Pending {
        std::string frame;
        int lane; // -1: not bounded
    };
    std::vector<Pending> m_pendingSends;
    // Lane frames in m_out: where each ends (counted from the first byte
    // ever queued) and its lane; m_outBase is the count of m_out[0].
    struct LaneMark {
        std::uint64_t end;
        unsigned lane;
        std::size_t bytes;
    };
    std::vector<LaneMark> m_laneMarks;
    std::size_t m_firstMark = 0;
    std::uint64_t m_outBase = 0;
    // Guarded by m_commandMutex: a lane's frames and bytes from
    // sendBounded() until written.
    std::size_t m_laneFrames[kLinkLanes] = {};
    std::size_t m_laneBytes[kLinkLanes] = {};
    std::vector<Listener> m_pendingListeners;
    bool m_dropListeners = false;
    int m_allowChange = -1;

    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_sent{0};
    std::atomic<std::uint64_t> m_received{0};
    std::atomic<std::int32_t> m_ownDelay{-1};
    std::atomic<std::int32_t> m_peerDelay{-1};
    std::atomic<std::size_t> m_streamCount{0};
};

// Monotonic milliseconds (ping time stamps).
std::uint64_t monotonicMs();

} // namespace remote
