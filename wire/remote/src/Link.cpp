#include "remote/Link.h"

#include <chrono>

namespace remote {
namespace {
// Backpressure: stop reading a side while this much waits for the other.
constexpr std::size_t kHighWater = 1 << 20;
constexpr std::size_t kReadChunk = kMaxData;
} // namespace

std::uint64_t monotonicMs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

Link::Link(std::unique_ptr<Channel> peer, LinkOptions options)
    : m_peer(std::move(peer))
    , m_options(std::move(options))
{
}

Link::~Link()
{
    closeAllStreams();
    for (const Listener& l : m_listeners)
        net::closeSocket(l.fd);
    for (const Listener& l : m_pendingListeners)
        net::closeSocket(l.fd);
}

void Link::stop()
{
    m_stop = true;
    m_waker.wake();
}

void Link::send(std::string frame)
{
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        m_pendingSends.push_back(Pending{std::move(frame), -1});
    }
    m_waker.wake();
}

bool Link::sendBounded(std::string frame, unsigned lane)
{
    if (lane >= kLinkLanes)
        return false;
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        if (m_laneFrames[lane] + 1 > m_options.laneMaxFrames
            || m_laneBytes[lane] + frame.size() > m_options.laneMaxBytes)
            return false;
        ++m_laneFrames[lane];
        m_laneBytes[lane] += frame.size();
        m_pendingSends.push_back(Pending{std::move(frame), static_cast<int>(lane)});
    }
    m_waker.wake();
    return true;
}

std::size_t Link::laneFrames(unsigned lane) const
{
    std::lock_guard<std::mutex> lock(m_commandMutex);
    return lane < kLinkLanes ? m_laneFrames[lane] : 0;
}

std::size_t Link::laneBytes(unsigned lane) const
{
    std::lock_guard<std::mutex> lock(m_commandMutex);
    return lane < kLinkLanes ? m_laneBytes[lane] : 0;
}

void Link::releaseWritten()
{
    const std::uint64_t written = m_outBase + m_outPos;
    if (m_firstMark >= m_laneMarks.size() || m_laneMarks[m_firstMark].end > written)
        return;
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        while (m_firstMark < m_laneMarks.size() && m_laneMarks[m_firstMark].end <= written) {
            const LaneMark& m = m_laneMarks[m_firstMark++];
            --m_laneFrames[m.lane];
            m_laneBytes[m.lane] -= m.bytes;
        }
    }
    if (m_firstMark == m_laneMarks.size()) {
        m_laneMarks.clear();
        m_firstMark = 0;
    } else if (m_firstMark > 1024 && m_firstMark * 2 > m_laneMarks.size()) {
        m_laneMarks.erase(m_laneMarks.begin(), m_laneMarks.begin() + static_cast<std::ptrdiff_t>(m_firstMark));
        m_firstMark = 0;
    }
}

void Link::addListener(net::Socket listener, std::uint8_t target)
{
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        m_pendingListeners.push_back(Listener{listener, target});
    }
    m_waker.wake();
}

void Link::dropListeners()
{
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        m_dropListeners = true;
        for (const Listener& l : m_pendingListeners)
            net::closeSocket(l.fd);
        m_pendingListeners.clear();
    }
    m_waker.wake();
}

void Link::setStreamsAllowed(bool allowed)
{
    {
        std::lock_guard<std::mutex> lock(m_commandMutex);
        m_allowChange = allowed ? 1 : 0;
    }
    m_waker.wake();
}

void Link::applyCommands()
{
    std::lock_guard<std::mutex> lock(m_commandMutex);
    for (Pending& p : m_pendingSends) {
        if (p.lane >= 0)
            m_laneMarks.push_back(
                LaneMark{m_outBase + m_out.size() + p.frame.size(), static_cast<unsigned>(p.lane), p.frame.size()});
        queue(p.frame);
    }
    m_pendingSends.clear();
    if (m_dropListeners) {
        for (const Listener& l : m_listeners)
            net::closeSocket(l.fd);
        m_listeners.clear();
        closeAllStreams();
        m_dropListeners = false;
    }
    for (const Listener& l : m_pendingListeners)
        m_listeners.push_back(l);
    m_pendingListeners.clear();
    if (m_allowChange >= 0) {
        m_streamsAllowed = m_allowChange == 1;
        if (!m_streamsAllowed)
            closeAllStreams();
        m_allowChange = -1;
    }
}

void Link::closeStream(std::uint32_t id, bool tellPeer)
{
    auto it = m_streams.find(id);
    if (it == m_streams.end())
        return;
    net::closeSocket(it->second.fd);
    m_streams.erase(it);
    m_streamCount = m_streams.size();
    if (tellPeer)
        queue(encodeClose(id));
}

void Link::closeAllStreams()
{
    for (auto& s : m_streams) {
        net::closeSocket(s.second.fd);
        queue(encodeClose(s.first));
    }
    m_streams.clear();
    m_streamCount = 0;
}

bool Link::handleFrame(const Frame& f, const std::function<bool(const Frame&)>& onControl)
{
    std::string error;
    switch (f.type) {
    case Type::Open: {
        StreamMsg m;
        if (!parseStream(f, m, &error))
            break;
        // Only the C-end opens connections, only to its own adapter, only
        // at the ports it serves; any other target is refused like a full table.
        const std::uint16_t port = m.target == kTargetModule ? m_options.targetPort
            : m.target == kTargetPassThru                    ? m_options.passThruPort
                                                             : std::uint16_t(0);
        if (m_options.targetIp.empty() || !m_streamsAllowed || port == 0 || m_streams.size() >= m_options.maxStreams
            || m_streams.count(m.stream)) {
            queue(encodeClose(m.stream));
            return true;
        }
        const std::string target = m_options.resolveTarget ? m_options.resolveTarget(m.target) : m_options.targetIp;
        Stream s;
        s.fd = target.empty() ? net::kNoSocket : net::startConnect(target, port, &error);
        if (s.fd == net::kNoSocket) {
            queue(encodeClose(m.stream));
            return true;
        }
        s.connecting = true;
        m_streams.emplace(m.stream, std::move(s));
        m_streamCount = m_streams.size();
        return true;
    }
    case Type::Data: {
        StreamMsg m;
        if (!parseStream(f, m, &error))
            break;
        m_received += m.data.size();
        auto it = m_streams.find(m.stream);
        if (it != m_streams.end() && !it->second.peerClosed)
            it->second.out.append(m.data.data(), m.data.size());
        return true; // data of a stream closed meanwhile is dropped
    }
    case Type::Close: {
        StreamMsg m;
        if (!parseStream(f, m, &error))
            break;
        auto it = m_streams.find(m.stream);
        if (it != m_streams.end()) {
            it->second.peerClosed = true;
            if (it->second.outPos >= it->second.out.size())
                closeStream(m.stream, false);
        }
        return true;
    }
    case Type::Ping: {
        PingMsg m;
        if (!parsePing(f, m, &error))
            break;
        queue(encodePing(Type::Pong, PingMsg{m.stamp, m_ownDelay.load()}));
        return true;
    }
    case Type::Pong: {
        PingMsg m;
        if (!parsePing(f, m, &error))
            break;
        const std::uint64_t now = monotonicMs();
        if (m.stamp <= now && now - m.stamp < 600000)
            m_ownDelay = static_cast<std::int32_t>(now - m.stamp);
        m_peerDelay = m.delay;
        return true;
    }
    default:
        if (!onControl(f)) {
            if (m_endText.empty())
                m_endText = "ended by the session";
            return false;
        }
        return true;
    }
    m_endText = "bad frame: " + error;
    queue(encodeEnd(EndMsg{EndReason::Protocol, "bad frame"}));
    return false;
}

Link::Ended Link::run(const std::function<bool(const Frame&)>& onControl)
{
    using Clock = std::chrono::steady_clock;
    auto lastHeard = Clock::now();
    auto nextPing = Clock::now();
    std::vector<net::PollFd> fds;
    std::vector<std::uint32_t> streamIds;
    std::string buffer(kReadChunk, '\0');
    Ended result = Ended::Stopped;
    bool running = true;

    auto flushPeer = [&]() -> bool {
        while (m_outPos < m_out.size()) {
            const long n = m_peer->write(m_out.data() + m_outPos, m_out.size() - m_outPos);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            m_outPos += static_cast<std::size_t>(n);
        }
        releaseWritten();
        if (m_outPos >= m_out.size()) {
            m_outBase += m_out.size();
            m_out.clear();
            m_outPos = 0;
        } else if (m_outPos > kHighWater) {
            m_outBase += m_outPos;
            m_out.erase(0, m_outPos);
            m_outPos = 0;
        }
        return true;
    };

    // Takes every whole frame the reader holds; false when the link must end.
    auto takeFrames = [&]() -> bool {
        Frame f;
        for (;;) {
            const auto r = m_reader.next(f);
            if (r == FrameReader::Result::NeedMore)
                return true;
            if (r == FrameReader::Result::Error) {
                m_endText = "bad frame: " + m_reader.error();
                queue(encodeEnd(EndMsg{EndReason::Protocol, "bad frame"}));
                result = Ended::Protocol;
                return false;
            }
            if (!handleFrame(f, onControl)) {
                const bool stream = f.type == Type::Open || f.type == Type::Data || f.type == Type::Close
                    || f.type == Type::Ping || f.type == Type::Pong;
                result = stream ? Ended::Protocol : Ended::ByHandler;
                return false;
            }
        }
    };
    applyCommands();
    running = takeFrames();

    while (running && !m_stop) {
        applyCommands();
        const auto now = Clock::now();
        if (now >= nextPing) {
            queue(encodePing(Type::Ping, PingMsg{monotonicMs(), m_ownDelay.load()}));
            nextPing = now + std::chrono::milliseconds(m_options.pingMs);
        }
        if (now - lastHeard > std::chrono::milliseconds(m_options.idleTimeoutMs)) {
            m_endText = "nothing heard from the other end";
            result = Ended::Timeout;
            break;
        }
        if (!flushPeer()) {
            m_endText = "link lost";
            result = Ended::PeerClosed;
            break;
        }

        const std::size_t peerBacklog = m_out.size() - m_outPos;
        std::size_t localBacklog = 0;
        for (const auto& s : m_streams)
            localBacklog += s.second.out.size() - s.second.outPos;

        fds.clear();
        streamIds.clear();
        net::PollFd p{};
        p.fd = m_waker.fd();
        p.events = POLLIN;
        fds.push_back(p);
        p.fd = m_peer->fd();
        p.events = 0;
        if (localBacklog < kHighWater || m_peer->wantsWrite())
            p.events |= POLLIN;
        else
            lastHeard = Clock::now(); // not reading: the peer's silence cannot be told
        if (peerBacklog > 0 || m_peer->wantsWrite())
            p.events |= POLLOUT;
        fds.push_back(p);
        const std::size_t firstListener = fds.size();
        for (const Listener& l : m_listeners) {
            p.fd = l.fd;
            p.events = peerBacklog < kHighWater ? POLLIN : 0;
            fds.push_back(p);
        }
        const std::size_t firstStream = fds.size();
        for (const auto& s : m_streams) {
            p.fd = s.second.fd;
            p.events = 0;
            if (s.second.connecting || s.second.outPos < s.second.out.size())
                p.events |= POLLOUT;
            if (!s.second.connecting && !s.second.peerClosed && peerBacklog < kHighWater)
                p.events |= POLLIN;
            fds.push_back(p);
            streamIds.push_back(s.first);
        }

        const auto untilPing = std::chrono::duration_cast<std::chrono::milliseconds>(nextPing - Clock::now()).count();
        const int timeout
            = m_peer->hasPending() ? 0 : static_cast<int>(untilPing < 0 ? 0 : (untilPing > 1000 ? 1000 : untilPing));
        if (net::pollSockets(fds.data(), fds.size(), timeout) < 0) {
            m_endText = "poll failed";
            result = Ended::PeerClosed;
            break;
        }
        if (fds[0].revents)
            m_waker.drain();

        // The link: read what is there (bounded per pass), handle each frame.
        if (fds[1].revents || m_peer->hasPending()) {
            for (int round = 0; round < 16 && running; ++round) {
                const long n = m_peer->read(&buffer[0], buffer.size());
                if (n < 0) {
                    m_endText = "link closed by the other end";
                    result = Ended::PeerClosed;
                    running = false;
                    break;
                }
                if (n == 0)
                    break;
                lastHeard = Clock::now();
                m_reader.feed(buffer.data(), static_cast<std::size_t>(n));
                if (!takeFrames()) {
                    running = false;
                    break;
                }
                if (m_out.size() - m_outPos >= kHighWater)
                    break;
            }
            m_reader.shrink();
        }
        if (!running)
            break;

        // New local connections (B-end): each becomes a stream.
        for (std::size_t i = firstListener; i < firstStream; ++i) {
            if (!(fds[i].revents & POLLIN))
                continue;
            const std::uint8_t target = m_listeners[i - firstListener].target;
            for (;;) {
                const net::Socket c = net::acceptTcp(fds[i].fd);
                if (c == net::kNoSocket)
                    break;
                if (m_streams.size() >= m_options.maxStreams) {
                    net::closeSocket(c);
                    continue;
                }
                const std::uint32_t id = m_nextStream++;
                Stream s;
                s.fd = c;
                m_streams.emplace(id, std::move(s));
                m_streamCount = m_streams.size();
                // The module port keeps the first form of OPEN, which every C-end reads.
                queue(target == kTargetModule ? encodeOpen(id) : encodeOpen(id, target));
            }
        }

        // Streams: finish connects, write what the link brought, read what goes back.
        for (std::size_t k = 0; k < streamIds.size(); ++k) {
            const net::PollFd& pf = fds[firstStream + k];
            auto it = m_streams.find(streamIds[k]);
            if (it == m_streams.end() || !pf.revents)
                continue;
            Stream& s = it->second;
            const std::uint32_t id = it->first;
            if (s.connecting) {
                if (!(pf.revents & (POLLOUT | POLLERR | POLLHUP)))
                    continue;
                if (!net::connectResult(s.fd)) {
                    closeStream(id, true);
                    continue;
                }
                s.connecting = false;
            }
            bool closed = false;
            while (s.outPos < s.out.size()) {
                const long n = net::sendSome(s.fd, s.out.data() + s.outPos, s.out.size() - s.outPos);
                if (n < 0) {
                    closed = true;
                    break;
                }
                if (n == 0)
                    break;
                s.outPos += static_cast<std::size_t>(n);
            }
            if (s.outPos >= s.out.size()) {
                s.out.clear();
                s.outPos = 0;
                if (s.peerClosed) {
                    closeStream(id, false);
                    continue;
                }
            }
            if (!closed && (pf.revents & (POLLIN | POLLHUP | POLLERR)) && !s.peerClosed) {
                for (int round = 0; round < 4; ++round) {
                    const long n = net::recvSome(s.fd, &buffer[0], buffer.size());
                    if (n < 0) {
                        closed = true;
                        break;
                    }
                    if (n == 0)
                        break;
                    appendData(m_out, id, buffer.data(), static_cast<std::size_t>(n));
                    m_sent += static_cast<std::uint64_t>(n);
                    if (m_out.size() - m_outPos >= kHighWater)
                        break;
                }
            }
            if (closed)
                closeStream(id, true);
        }
    }
    if (m_stop && result == Ended::Stopped)
        m_endText = "stopped";
    closeAllStreams();
    // A last word to the other end, if the link still takes it.
    applyCommands();
    flushPeer();
    return result;
}

} // namespace remote
