#include "CanBus.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>
#include <vector>

namespace vehicle {

namespace {

constexpr std::size_t kQueueLimit = 256;
constexpr int kErrorPassiveTec = 128;
constexpr int kBusOffTec = 255; // above this the node is bus-off
constexpr std::uint32_t kIfsBits = 3;
// A frame that nobody acknowledges: its bits up to the ACK slot, then an
// error flag (6), error delimiter (8) and interframe space (3) instead of the
// ACK delimiter, EOF and IFS (11): 6 bits more than a good frame.
constexpr std::uint32_t kNoAckExtraBits = 6;
// A node sending at a rate the bus does not run at corrupts the bus within a
// few bits: about 6 garbled bits, an error flag with its echo (12), the error
// delimiter (8) and the interframe space (3), counted at the bus's rate.
constexpr std::uint32_t kRateErrorBits = 29;

std::uint8_t dlcFor(std::uint8_t length)
{
    if (length <= 8)
        return length;
    static const std::uint8_t fd[] = {12, 16, 20, 24, 32, 48, 64};
    for (std::uint8_t i = 0; i < 7; ++i) {
        if (length <= fd[i])
            return std::uint8_t(9 + i);
    }
    return 15;
}

void put(std::vector<bool>& bits, std::uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        bits.push_back((value >> i) & 1u);
}

// Stuff bits a transmitter inserts into `bits` (after five equal bits, one
// of the other value, which itself counts towards the next run).
std::uint32_t stuffBits(const std::vector<bool>& bits, std::size_t from, std::size_t to, bool& last, int& run)
{
    std::uint32_t stuffed = 0;
    for (std::size_t i = from; i < to; ++i) {
        const bool b = bits[i];
        if (run > 0 && b == last) {
            ++run;
        } else {
            last = b;
            run = 1;
        }
        if (run == 5) {
            ++stuffed;
            last = !b;
            run = 1;
        }
    }
    return stuffed;
}

std::uint32_t crc15(const std::vector<bool>& bits)
{
    std::uint32_t crc = 0;
    for (bool b : bits) {
        const bool next = b ^ ((crc >> 14) & 1u);
        crc = (crc << 1) & 0x7FFF;
        if (next)
            crc ^= 0x4599;
    }
    return crc;
}

bool validFrame(const CanFrame& f)
{
    if (f.extended ? f.id > 0x1FFFFFFFu : f.id > 0x7FFu)
        return false;
    if (!f.fd)
        return f.length <= 8 && !f.brs;
    return f.length <= 64 && fdLengthFor(f.length) == f.length;
}

// Arbitration field as the bus sees it; the lower value wins. A base frame
// sends RTR/RRS (dominant) where an extended one sends SRR (recessive), so a
// base identifier beats an extended one with the same first 11 bits.
std::uint64_t arbitrationKey(const CanFrame& f)
{
    if (!f.extended)
        return std::uint64_t(f.id & 0x7FF) << 20;
    const std::uint64_t base = (f.id >> 18) & 0x7FF;
    return (base << 20) | (1u << 19) | (1u << 18) | (f.id & 0x3FFFF);
}

} // namespace

CanBus::PhaseBits CanBus::phaseBits(const CanFrame& f)
{
    std::vector<bool> bits;
    bits.reserve(64 * 8 + 64);
    bits.push_back(false); // SOF
    const std::uint8_t length = f.length > 64 ? 64 : f.length;
    const std::uint8_t dlc = dlcFor(length);
    if (f.extended) {
        put(bits, (f.id >> 18) & 0x7FF, 11);
        bits.push_back(true); // SRR
        bits.push_back(true); // IDE
        put(bits, f.id & 0x3FFFF, 18);
        bits.push_back(false); // RTR (classic) / RRS (FD)
        if (f.fd)
            bits.push_back(true); // FDF
        else
            bits.push_back(false); // r1
    } else {
        put(bits, f.id & 0x7FF, 11);
        bits.push_back(false); // RTR / RRS
        bits.push_back(false); // IDE
        if (f.fd)
            bits.push_back(true); // FDF
    }
    PhaseBits out;
    if (!f.fd) {
        bits.push_back(false); // r0
        put(bits, dlc, 4);
        for (std::uint8_t i = 0; i < length; ++i)
            put(bits, f.data[i], 8);
        put(bits, crc15(bits), 15);
        bool last = false;
        int run = 0;
        const std::uint32_t stuffed = stuffBits(bits, 0, bits.size(), last, run);
        // CRC delimiter, ACK slot, ACK delimiter, EOF, interframe space.
        out.nominal = std::uint32_t(bits.size()) + stuffed + 1 + 1 + 1 + 7 + kIfsBits;
        return out;
    }
    bits.push_back(false); // res
    bits.push_back(f.brs); // BRS: the data phase starts after its sample point
    const std::size_t arbitrationEnd = bits.size();
    bits.push_back(false); // ESI (error active)
    put(bits, dlc, 4);
    for (std::uint8_t i = 0; i < length; ++i)
        put(bits, f.data[i], 8);
    bool last = false;
    int run = 0;
    const std::uint32_t stuffA = stuffBits(bits, 0, arbitrationEnd, last, run);
    const std::uint32_t stuffD = stuffBits(bits, arbitrationEnd, bits.size(), last, run);
    // Stuff count (3 bits Gray code + parity) and CRC-17 (up to 16 bytes) or
    // CRC-21 carry fixed stuff bits: one before the stuff count and one after
    // every fourth bit, whatever the values.
    const std::uint32_t crcField = 4 + (length <= 16 ? 17 : 21);
    const std::uint32_t fixed = (crcField - 1) / 4 + 1;
    const std::uint32_t arbitration = std::uint32_t(arbitrationEnd) + stuffA;
    const std::uint32_t data = std::uint32_t(bits.size() - arbitrationEnd) + stuffD + crcField + fixed;
    // CRC delimiter (where the nominal rate resumes), ACK slot, ACK
    // delimiter, EOF, interframe space.
    const std::uint32_t tail = 1 + 1 + 1 + 7 + kIfsBits;
    if (f.brs) {
        out.nominal = arbitration + tail;
        out.data = data;
    } else {
        out.nominal = arbitration + data + tail;
    }
    return out;
}

std::uint32_t CanBus::frameBits(const CanFrame& frame)
{
    const PhaseBits b = phaseBits(frame);
    return b.nominal + b.data;
}

struct CanBus::Impl {
    struct Node {
        CanListener* listener = nullptr;
        BusRate rate;
        NodeState state = NodeState::Active;
        int tec = 0;
        std::deque<CanFrame> queue;
        bool clearedInFlight = false;
    };

    Scheduler& scheduler;
    std::string name;
    BusRate rate;
    std::map<NodeId, Node> nodes;
    NodeId nextNode = 1;

    bool inFlight = false;
    NodeId sender = 0;
    CanFrame frame;
    std::int64_t busyUntilNs = 0; // end of the last frame's interframe space
    Scheduler::TimerId arbitrationTimer = 0;
    Scheduler::TimerId endTimer = 0;
    // Busy intervals (ns) of the last second, for load().
    mutable std::deque<std::pair<std::int64_t, std::int64_t>> busy;

    Impl(Scheduler& s, std::string n, BusRate r)
        : scheduler(s)
        , name(std::move(n))
        , rate(r)
    {
    }

    std::int64_t durationNs(const PhaseBits& b) const
    {
        std::int64_t ns = std::int64_t(b.nominal) * 1000000000LL / std::max<std::uint32_t>(rate.bitrate, 1);
        if (b.data)
            ns += std::int64_t(b.data) * 1000000000LL / std::max<std::uint32_t>(rate.dataBitrate, 1);
        return ns;
    }

    // Whether a node at `r` takes part correctly in `f` on this bus.
    bool matches(const BusRate& r, const CanFrame& f) const
    {
        if (r.bitrate != rate.bitrate)
            return false;
        if (!f.fd)
            return true;
        if (r.dataBitrate == 0 || rate.dataBitrate == 0)
            return false; // a classic controller flags an FD frame as an error
        return !f.brs || r.dataBitrate == rate.dataBitrate;
    }

    void setState(NodeId id, NodeState state)
    {
        auto it = nodes.find(id);
        if (it == nodes.end() || it->second.state == state)
            return;
        it->second.state = state;
        if (state == NodeState::BusOff)
            it->second.queue.clear();
        if (it->second.listener)
            it->second.listener->stateChanged(state);
    }

    void raiseTec(NodeId id, int by)
    {
        auto it = nodes.find(id);
        if (it == nodes.end())
            return;
        it->second.tec += by;
        if (it->second.tec > kBusOffTec)
            setState(id, NodeState::BusOff);
        else if (it->second.tec >= kErrorPassiveTec)
            setState(id, NodeState::ErrorPassive);
    }

    void lowerTec(NodeId id)
    {
        auto it = nodes.find(id);
        if (it == nodes.end())
            return;
        if (it->second.tec > 0)
            --it->second.tec;
        if (it->second.state == NodeState::ErrorPassive && it->second.tec < kErrorPassiveTec)
            setState(id, NodeState::Active);
    }

    void scheduleArbitration()
    {
        if (inFlight || arbitrationTimer)
            return;
        // The event may run up to a microsecond before the bus is idle; the
        // frame still starts at the exact end of the interframe space.
        const Micros when = std::max<Micros>(busyUntilNs / 1000, scheduler.now());
        arbitrationTimer = scheduler.at(when, [this] {
            arbitrationTimer = 0;
            arbitrate();
        });
    }

    void record(std::int64_t startNs, std::int64_t endNs) const
    {
        busy.emplace_back(startNs, endNs);
        prune(endNs);
    }

    void prune(std::int64_t nowNs) const
    {
        while (!busy.empty() && busy.front().second < nowNs - 1000000000LL)
            busy.pop_front();
    }

    void arbitrate()
    {
        if (inFlight)
            return;
        // A node at the wrong rate cannot follow arbitration: it talks over
        // the bus as soon as it has something to send.
        NodeId winner = 0;
        std::uint64_t best = ~std::uint64_t(0);
        bool winnerMismatched = false;
        for (auto& [id, node] : nodes) {
            if (node.queue.empty() || node.state == NodeState::BusOff)
                continue;
            const CanFrame& f = node.queue.front();
            const bool mismatched = !matches(node.rate, f);
            if (mismatched && !winnerMismatched) {
                winner = id;
                winnerMismatched = true;
                continue;
            }
            if (winnerMismatched)
                continue;
            const std::uint64_t key = arbitrationKey(f);
            if (key < best) {
                best = key;
                winner = id;
            }
        }
        if (!winner)
            return;
        Node& node = nodes[winner];
        const std::int64_t startNs = std::max(busyUntilNs, std::int64_t(scheduler.now()) * 1000);
        if (winnerMismatched) {
            // Error frames; nobody receives anything.
            const std::int64_t endNs
                = startNs + std::int64_t(kRateErrorBits) * 1000000000LL / std::max<std::uint32_t>(rate.bitrate, 1);
            busyUntilNs = endNs;
            record(startNs, endNs);
            inFlight = true;
            sender = winner;
            endTimer = scheduler.at((endNs + 999) / 1000, [this] {
                endTimer = 0;
                inFlight = false;
                raiseTec(sender, 8);
                scheduleArbitration();
            });
            return;
        }
        frame = node.queue.front();
        node.queue.pop_front();
        node.clearedInFlight = false;
        sender = winner;
        inFlight = true;
        const bool acked = acknowledged(winner);
        const PhaseBits bits = phaseBits(frame);
        std::int64_t totalNs = durationNs(bits);
        const std::int64_t ifsNs = std::int64_t(kIfsBits) * 1000000000LL / std::max<std::uint32_t>(rate.bitrate, 1);
        if (!acked) {
            const bool passive = node.state == NodeState::ErrorPassive;
            // Error passive transmitters also wait 8 bits (suspend transmission).
            totalNs += std::int64_t(kNoAckExtraBits + (passive ? 8 : 0)) * 1000000000LL
                / std::max<std::uint32_t>(rate.bitrate, 1);
        }
        const std::int64_t endNs = startNs + totalNs;
        busyUntilNs = endNs;
        record(startNs, endNs);
        // Receivers take the frame at the end of EOF, before the interframe space.
        const std::int64_t deliverNs = endNs - ifsNs;
        endTimer = scheduler.at((deliverNs + 500) / 1000, [this, acked] {
            endTimer = 0;
            finish(acked);
        });
    }

    bool acknowledged(NodeId from) const
    {
        for (const auto& [id, node] : nodes) {
            if (id != from && node.state != NodeState::BusOff && matches(node.rate, frame))
                return true;
        }
        return false;
    }

    void finish(bool acked)
    {
        inFlight = false;
        const Micros at = scheduler.now();
        const NodeId from = sender;
        const CanFrame f = frame;
        if (!acked) {
            auto it = nodes.find(from);
            if (it != nodes.end() && !it->second.clearedInFlight)
                it->second.queue.push_front(f); // retransmitted
            raiseTec(from, 8);
            scheduleArbitration();
            return;
        }
        lowerTec(from);
        // Listeners may attach, detach or send while being told: walk a copy
        // of the ids and look each one up again.
        std::vector<NodeId> ids;
        ids.reserve(nodes.size());
        for (const auto& entry : nodes)
            ids.push_back(entry.first);
        for (NodeId id : ids) {
            if (id == from)
                continue;
            auto it = nodes.find(id);
            if (it == nodes.end() || it->second.state == NodeState::BusOff || !matches(it->second.rate, f))
                continue;
            if (it->second.listener)
                it->second.listener->received(f, at);
        }
        auto it = nodes.find(from);
        if (it != nodes.end() && it->second.listener)
            it->second.listener->transmitted(f, at);
        scheduleArbitration();
    }
};

CanBus::CanBus(Scheduler& scheduler, std::string name, BusRate rate)
    : m_impl(new Impl(scheduler, std::move(name), rate))
{
}

CanBus::~CanBus()
{
    if (m_impl->arbitrationTimer)
        m_impl->scheduler.cancel(m_impl->arbitrationTimer);
    if (m_impl->endTimer)
        m_impl->scheduler.cancel(m_impl->endTimer);
    delete m_impl;
}

const std::string& CanBus::name() const
{
    return m_impl->name;
}

BusRate CanBus::rate() const
{
    return m_impl->rate;
}

void CanBus::setRate(BusRate rate)
{
    m_impl->rate = rate;
}

CanBus::NodeId CanBus::attach(CanListener* listener, BusRate rate)
{
    const NodeId id = m_impl->nextNode++;
    Impl::Node& node = m_impl->nodes[id];
    node.listener = listener;
    node.rate = rate;
    return id;
}

void CanBus::detach(NodeId node)
{
    m_impl->nodes.erase(node);
}

void CanBus::setNodeRate(NodeId node, BusRate rate)
{
    auto it = m_impl->nodes.find(node);
    if (it == m_impl->nodes.end())
        return;
    // Reconfiguring a controller restarts it: error counters back to zero,
    // a bus-off node joins again.
    it->second.rate = rate;
    it->second.tec = 0;
    m_impl->setState(node, NodeState::Active);
}

NodeState CanBus::nodeState(NodeId node) const
{
    auto it = m_impl->nodes.find(node);
    return it == m_impl->nodes.end() ? NodeState::BusOff : it->second.state;
}

int CanBus::transmitErrors(NodeId node) const
{
    auto it = m_impl->nodes.find(node);
    return it == m_impl->nodes.end() ? 0 : it->second.tec;
}

bool CanBus::send(NodeId node, const CanFrame& frame)
{
    auto it = m_impl->nodes.find(node);
    if (it == m_impl->nodes.end() || it->second.state == NodeState::BusOff)
        return false;
    if (!validFrame(frame) || it->second.queue.size() >= kQueueLimit)
        return false;
    it->second.queue.push_back(frame);
    m_impl->scheduleArbitration();
    return true;
}

void CanBus::clearQueue(NodeId node)
{
    auto it = m_impl->nodes.find(node);
    if (it == m_impl->nodes.end())
        return;
    it->second.queue.clear();
    if (m_impl->inFlight && m_impl->sender == node)
        it->second.clearedInFlight = true;
}

std::size_t CanBus::queued(NodeId node) const
{
    auto it = m_impl->nodes.find(node);
    return it == m_impl->nodes.end() ? 0 : it->second.queue.size();
}

Micros CanBus::frameTime(const CanFrame& frame) const
{
    return (m_impl->durationNs(phaseBits(frame)) + 500) / 1000;
}

double CanBus::load() const
{
    const std::int64_t nowNs = std::int64_t(m_impl->scheduler.now()) * 1000;
    const std::int64_t from = nowNs - 1000000000LL;
    m_impl->prune(nowNs);
    std::int64_t busyNs = 0;
    for (const auto& [s, e] : m_impl->busy) {
        const std::int64_t a = std::max(s, from);
        const std::int64_t b = std::min(e, nowNs);
        if (b > a)
            busyNs += b - a;
    }
    return double(busyNs) / 1e9;
}

} // namespace vehicle
