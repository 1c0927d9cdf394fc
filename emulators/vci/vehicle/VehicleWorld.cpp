#include "VehicleWorld.h"

#include "EcuLogic.h"
#include "IsoTp.h"

#include <json/value.h>
#include <json/writer.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <sstream>

namespace vehicle {

namespace {

constexpr Micros kPendingEvery = 2000000; // responsePending repeated well within P2*
constexpr std::size_t kMaxQueuedAnswers = 8;
constexpr std::size_t kMaxTesterMessages = 32;
constexpr std::uint32_t kDefaultLoadId = 0x600;
constexpr std::size_t kMaxAnswerLine = 1024;
// The scripted tester's request: the first answer is awaited for the given
// time (P2), after a "response pending" for P2* more, and never longer than
// kAskLimit in all.
constexpr Micros kDefaultP2 = 2000000;
constexpr Micros kP2Star = 5000000;
constexpr Micros kAskLimit = 60000000;

const char* pinsName(int pins)
{
    return pins == 0 ? "6-14" : "3-11";
}

bool parseNumber(const std::string& s, std::uint64_t max, std::uint64_t* out, int base = 0)
{
    if (s.empty() || s.size() > 20 || s[0] == '-' || s[0] == '+' || s[0] == ' ')
        return false;
    // Base 0 means decimal or 0x-hexadecimal (never octal: "010" is ten).
    std::string digits = s;
    if (base == 0) {
        const bool hexadecimal = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        base = hexadecimal ? 16 : 10;
        if (hexadecimal)
            digits = s.substr(2);
    }
    if (digits.empty()
        || digits.find_first_not_of(base == 16 ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(digits.c_str(), &end, base);
    if (errno || *end || v > max)
        return false;
    *out = v;
    return true;
}

// A CAN identifier in hexadecimal ("7E0", "0x18DA10F1"); 29-bit when above 0x7FF.
bool parseCanId(const std::string& s, std::uint32_t* id, bool* extended)
{
    std::uint64_t v = 0;
    const std::string digits = (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) ? s.substr(2) : s;
    if (digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos
        || !parseNumber(digits, 0x1FFFFFFF, &v, 16))
        return false;
    *id = std::uint32_t(v);
    *extended = v > 0x7FF;
    return true;
}

std::string hex(std::uint64_t v, int width)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%0*llX", width, static_cast<unsigned long long>(v));
    return buf;
}

// Timers owned by one object: cancelled together when it goes away.
class Timers {
public:
    explicit Timers(Scheduler& s)
        : m_s(s)
    {
    }
    ~Timers() { cancelAll(); }
    void at(Micros when, std::function<void()> fn)
    {
        const std::uint64_t token = ++m_next;
        m_ids[token] = m_s.at(when, [this, token, fn = std::move(fn)] {
            m_ids.erase(token);
            fn();
        });
    }
    void cancelAll()
    {
        for (const auto& entry : m_ids)
            m_s.cancel(entry.second);
        m_ids.clear();
    }
    bool empty() const { return m_ids.empty(); }

private:
    Scheduler& m_s;
    std::uint64_t m_next = 0;
    std::map<std::uint64_t, Scheduler::TimerId> m_ids;
};

// One ECU on its bus: ISO-TP on its physical (and functional) identifiers
// in front of its EcuLogic.
class EcuNode : public CanListener {
public:
    EcuNode(
        Scheduler& s, CanBus& bus, const EcuDescription& description, const VehicleDescription& vehicle, Micros origin)
        : logic(description, vehicle, origin)
        , m_s(s)
        , m_bus(bus)
        , m_timers(s)
    {
        goOnline();
    }
    ~EcuNode() override { goOffline(); }

    EcuLogic logic;

    bool online() const { return m_node != 0; }
    bool resetting() const { return m_resetting; }

    void goOnline()
    {
        m_resetting = false;
        if (m_node)
            return;
        m_timers.cancelAll();
        m_node = m_bus.attach(this, m_bus.rate());
        const EcuDescription& description = logic.description();
        IsoTpConfig c;
        c.txId = description.responseId;
        c.rxId = description.requestId;
        c.extended = description.extended;
        c.fd = description.fd;
        c.pad = description.pad;
        c.padValue = description.padValue;
        c.blockSize = description.blockSize;
        c.stMin = description.stMin;
        IsoTpLink::Callbacks cb;
        cb.received = [this](const Bytes& m, Micros at) { request(m, false, at); };
        cb.sent = [this](IsoTpResult r, Micros at) { answered(r, at); };
        m_phys = std::make_unique<IsoTpLink>(m_s, m_bus, m_node, c, cb);
        if (description.functionalId) {
            c.rxId = description.functionalId;
            IsoTpLink::Callbacks fcb;
            fcb.received = [this](const Bytes& m, Micros at) { request(m, true, at); };
            m_func = std::make_unique<IsoTpLink>(m_s, m_bus, m_node, c, fcb);
        }
    }

    void goOffline()
    {
        m_timers.cancelAll();
        m_out.clear();
        m_phys.reset();
        m_func.reset();
        if (m_node)
            m_bus.detach(m_node);
        m_node = 0;
        m_resetting = false;
    }

    void followBusRate()
    {
        if (m_node)
            m_bus.setNodeRate(m_node, m_bus.rate());
    }

    void received(const CanFrame& f, Micros at) override
    {
        const EcuDescription& description = logic.description();
        if (m_func && f.id == description.functionalId && f.extended == description.extended) {
            // Functional requests are single frames only.
            if (f.length > 0 && (f.data[0] >> 4) == 0)
                m_func->onFrame(f, at);
            return;
        }
        if (m_phys)
            m_phys->onFrame(f, at);
    }

    void transmitted(const CanFrame& f, Micros at) override
    {
        if (m_phys)
            m_phys->onTransmitted(f, at);
    }

    void stateChanged(NodeState state) override
    {
        // A real controller restarts after bus-off; the ECU rejoins with
        // its error counters cleared.
        if (state == NodeState::BusOff && m_node)
            m_timers.at(m_s.now() + 100000, [this] {
                if (m_node)
                    m_bus.setNodeRate(m_node, m_bus.rate());
            });
    }

private:
    struct Out {
        Bytes bytes;
        bool reset = false;
    };

    void request(const Bytes& message, bool functional, Micros at)
    {
        EcuLogic::Reply r = logic.handle(message, functional, at);
        const Micros delay = logic.description().answerDelayUs;
        if (r.reset && r.answer.empty()) {
            m_timers.at(at + delay, [this] { startReset(m_s.now()); });
            return;
        }
        if (r.answer.empty())
            return;
        Out first{r.answer, r.reset};
        m_timers.at(at + delay, [this, first] { queue(first); });
        if (r.later.empty())
            return;
        const std::uint8_t sid = message[0];
        for (Micros t = kPendingEvery; t < r.laterAfter; t += kPendingEvery)
            m_timers.at(at + delay + t, [this, sid] { queue(Out{{0x7F, sid, 0x78}, false}); });
        m_timers.at(at + delay + r.laterAfter, [this, later = r.later] { queue(Out{later, false}); });
    }

    void queue(const Out& out)
    {
        if (m_out.size() >= kMaxQueuedAnswers)
            return;
        m_out.push_back(out);
        pump();
    }

    void pump()
    {
        while (m_phys && !m_phys->busy() && !m_out.empty()) {
            if (m_phys->send(m_out.front().bytes))
                return;
            m_out.pop_front(); // could not be sent (length); drop it
        }
    }

    void answered(IsoTpResult, Micros at)
    {
        const bool reset = !m_out.empty() && m_out.front().reset;
        if (!m_out.empty())
            m_out.pop_front();
        if (reset) {
            // Not from inside the link's own callback: the reset destroys it.
            m_timers.at(at, [this, at] { startReset(at); });
            return;
        }
        pump();
    }

    // The ECU restarts: off the bus (no acknowledgement, no answers) for
    // its reset time.
    void startReset(Micros at)
    {
        const Micros quiet = logic.description().resetMs * 1000;
        logic.resetState();
        goOffline();
        m_resetting = true;
        m_timers.at(at + quiet, [this] { goOnline(); });
    }

    Scheduler& m_s;
    CanBus& m_bus;
    CanBus::NodeId m_node = 0;
    std::unique_ptr<IsoTpLink> m_phys;
    std::unique_ptr<IsoTpLink> m_func;
    std::deque<Out> m_out;
    bool m_resetting = false;
    Timers m_timers;
};

// A node of the world's own on one bus (the load generator, the scripted
// tester): attached when it starts sending, at the bus's rate, detached with
// its timers cancelled when it stops.
class OwnNode : public CanListener {
public:
    OwnNode(Scheduler& s, CanBus& bus)
        : m_s(s)
        , m_bus(bus)
        , m_timers(s)
    {
    }

    void followBusRate()
    {
        if (m_node)
            m_bus.setNodeRate(m_node, m_bus.rate());
    }

    void received(const CanFrame&, Micros) override { }

protected:
    void attach()
    {
        if (!m_node)
            m_node = m_bus.attach(this, m_bus.rate());
    }
    void detach()
    {
        m_timers.cancelAll();
        if (m_node)
            m_bus.detach(m_node);
        m_node = 0;
    }

    Scheduler& m_s;
    CanBus& m_bus;
    CanBus::NodeId m_node = 0;
    Timers m_timers;
};

// Fills a bus to a share of its capacity with 8-byte frames carrying a
// counter (big-endian), so a receiver can tell a lost frame.
class LoadNode : public OwnNode {
public:
    using OwnNode::OwnNode;
    ~LoadNode() override { stop(); }

    int percent() const { return m_percent; }
    std::uint32_t id() const { return m_id; }
    std::uint64_t sent() const { return m_counter; }

    void start(int percent, std::uint32_t id, bool extended)
    {
        stop();
        if (percent <= 0)
            return;
        m_percent = percent;
        m_id = id;
        m_extended = extended;
        attach();
        sendNext();
    }

    void stop()
    {
        m_percent = 0;
        detach();
    }

    void transmitted(const CanFrame& f, Micros at) override
    {
        if (!m_percent)
            return;
        if (m_percent >= 100) {
            sendNext(); // queued during the interframe space: back to back
            return;
        }
        // The next frame starts one period after this one started.
        const Micros length = m_bus.frameTime(f);
        const Micros ifs = Micros(3000000 / std::max<std::uint32_t>(m_bus.rate().bitrate, 1));
        const Micros next = at - (length - ifs) + length * 100 / m_percent;
        m_timers.at(std::max(next, at), [this] { sendNext(); });
    }

    void stateChanged(NodeState state) override
    {
        if (state == NodeState::BusOff)
            m_timers.at(m_s.now(), [this] { stop(); });
    }

private:
    void sendNext()
    {
        CanFrame f;
        f.id = m_id;
        f.extended = m_extended;
        f.length = 8;
        for (int i = 0; i < 8; ++i)
            f.data[std::size_t(i)] = std::uint8_t(m_counter >> (56 - 8 * i));
        if (m_bus.send(m_node, f))
            ++m_counter;
    }

    int m_percent = 0;
    std::uint32_t m_id = kDefaultLoadId;
    bool m_extended = false;
    std::uint64_t m_counter = 0;
};

// Counts the load generator's frames of one identifier heard on a bus (from
// a generator on another bus, carried over): received, lost (counter gaps)
// and out of order (a counter below the next expected one); and keeps the
// last frame with that identifier as it was on the bus (format, length, data).
class WatchNode : public OwnNode {
public:
    using OwnNode::OwnNode;
    ~WatchNode() override { stop(); }

    void start(std::uint32_t id, bool extended)
    {
        stop();
        m_id = id;
        m_extended = extended;
        m_on = true;
        m_received = m_lost = m_reordered = m_next = m_frames = 0;
        attach();
    }
    void stop()
    {
        m_on = false;
        detach();
    }
    void received(const CanFrame& f, Micros) override
    {
        if (!m_on || f.id != m_id || f.extended != m_extended)
            return;
        m_last = f;
        ++m_frames;
        if (f.length != 8 || f.fd)
            return;
        std::uint64_t counter = 0;
        for (int i = 0; i < 8; ++i)
            counter = counter << 8 | f.data[std::size_t(i)];
        ++m_received;
        if (m_received == 1) {
            m_next = counter + 1;
            return;
        }
        if (counter < m_next) {
            ++m_reordered;
            if (m_lost > 0)
                --m_lost; // a frame counted lost came late
            return;
        }
        m_lost += counter - m_next;
        m_next = counter + 1;
    }
    Json::Value json() const
    {
        Json::Value o(Json::objectValue);
        o["on"] = m_on;
        o["id"] = Json::UInt(m_id);
        o["received"] = Json::UInt64(m_received);
        o["lost"] = Json::UInt64(m_lost);
        o["reordered"] = Json::UInt64(m_reordered);
        o["frames"] = Json::UInt64(m_frames);
        if (m_frames) {
            Json::Value last(Json::objectValue);
            last["fd"] = m_last.fd;
            last["brs"] = m_last.brs;
            last["length"] = m_last.length;
            static const char* const kHex = "0123456789ABCDEF";
            std::string data;
            for (std::size_t i = 0; i < m_last.length; ++i) {
                data += kHex[m_last.data[i] >> 4];
                data += kHex[m_last.data[i] & 0xF];
            }
            last["data"] = data;
            o["last"] = last;
        }
        return o;
    }

private:
    bool m_on = false;
    std::uint32_t m_id = kDefaultLoadId;
    bool m_extended = false;
    std::uint64_t m_received = 0;
    std::uint64_t m_lost = 0;
    std::uint64_t m_reordered = 0;
    std::uint64_t m_next = 0;
    std::uint64_t m_frames = 0; // every frame with the identifier
    CanFrame m_last;
};

const char* isoTpFailure(IsoTpResult r)
{
    switch (r) {
    case IsoTpResult::TimeoutBs:
        return "no flow control (N_Bs time-out)";
    case IsoTpResult::TimeoutCr:
        return "consecutive frame missing (N_Cr time-out)";
    case IsoTpResult::WrongSequence:
        return "wrong sequence number";
    case IsoTpResult::Overflow:
        return "the receiver reported an overflow";
    case IsoTpResult::InvalidLength:
        return "invalid length";
    case IsoTpResult::BusOff:
        return "bus-off";
    case IsoTpResult::Aborted:
        return "aborted";
    case IsoTpResult::Ok:
        break;
    }
    return "ok";
}

// A scripted tester: periodic frames on a bus, at fixed rates, and one
// diagnostic request at a time over ISO-TP (its own flow control, the
// answer reassembled), answered with the whole response or a time-out.
class TesterNode : public OwnNode {
public:
    using Done = std::function<void(const std::string&)>;

    TesterNode(Scheduler& s, CanBus& bus, const char* pins)
        : OwnNode(s, bus)
        , m_pins(pins)
    {
    }
    ~TesterNode() override { clear(); }

    bool asking() const { return bool(m_done); }
    // The last answered request: from its last frame on the bus to the whole
    // answer, µs of the vehicle clock; -1 before the first.
    Micros roundTrip() const { return m_roundTrip; }

    void received(const CanFrame& f, Micros at) override
    {
        // Frames reach the link only while a request is open: an answer after
        // the time-out gets no flow control, as from a tester that gave up.
        if (m_link && m_done)
            m_link->onFrame(f, at);
    }

    void transmitted(const CanFrame& f, Micros at) override
    {
        if (m_link && m_done)
            m_link->onTransmitted(f, at);
    }

    // Sends `request` from `config.txId` and awaits the answer on `config.rxId`.
    void ask(const IsoTpConfig& config, const std::vector<std::uint8_t>& request, Micros p2, Done done)
    {
        if (m_done) {
            done("ERR " + m_pins + " the tester awaits an answer already");
            return;
        }
        attach();
        if (m_link)
            m_link->abort();
        IsoTpLink::Callbacks cb;
        cb.firstFrame = [this](std::uint32_t, Micros) { stopWaiting(); };
        cb.received = [this](const std::vector<std::uint8_t>& m, Micros at) { answered(m, at); };
        cb.sent = [this](IsoTpResult r, Micros at) {
            if (r != IsoTpResult::Ok)
                finish("ERR " + m_pins + " request not sent: " + isoTpFailure(r));
            else {
                m_sentAt = at;
                waitFor(at + m_p2);
            }
        };
        cb.receiveFailed
            = [this](IsoTpResult r, Micros) { finish("ERR " + m_pins + " answer broken: " + isoTpFailure(r)); };
        m_link = std::make_unique<IsoTpLink>(m_s, m_bus, m_node, config, cb);
        m_done = std::move(done);
        m_service = request.empty() ? 0 : request[0];
        m_p2 = p2;
        m_deadline = m_s.now() + kAskLimit;
        if (!m_link->send(request))
            finish("ERR " + m_pins + " the tester cannot send (bus-off or bad length)");
    }

    bool add(const CanFrame& f, Micros period)
    {
        if (m_messages.size() >= kMaxTesterMessages)
            return false;
        attach();
        m_messages.push_back({f, period});
        const std::size_t index = m_messages.size() - 1;
        fire(index, m_s.now());
        return true;
    }

    void clear()
    {
        if (m_link)
            m_link->abort();
        finish("ERR " + m_pins + " the tester was cleared before the answer");
        detach();
        m_messages.clear();
    }

    std::size_t count() const { return m_messages.size(); }

    void stateChanged(NodeState state) override
    {
        // Like the ECUs, the scripted tester's controller restarts after bus-off.
        if (state == NodeState::BusOff && m_node)
            m_timers.at(m_s.now() + 100000, [this] { followBusRate(); });
    }

private:
    struct Message {
        CanFrame frame;
        Micros period;
    };

    void answered(const std::vector<std::uint8_t>& m, Micros at)
    {
        // "Response pending" (7F SID 78): the ECU needs longer; wait P2* more.
        if (m.size() == 3 && m[0] == 0x7F && m[1] == m_service && m[2] == 0x78) {
            waitFor(at + kP2Star);
            return;
        }
        std::string hexData;
        static const char digits[] = "0123456789ABCDEF";
        for (std::uint8_t b : m) {
            hexData += digits[b >> 4];
            hexData += digits[b & 0x0F];
        }
        m_roundTrip = at - m_sentAt;
        finish("OK " + m_pins + " " + hex(m_link->config().rxId, 3) + " " + hexData);
    }

    void waitFor(Micros until)
    {
        stopWaiting();
        if (until > m_deadline)
            until = m_deadline;
        m_timeout = m_s.at(until, [this] {
            m_timeout = 0;
            // Called from a timer, not from the link: aborting it here is safe.
            m_link->abort();
            finish("ERR " + m_pins + " no answer on " + hex(m_link->config().rxId, 3) + " within "
                + std::to_string(m_p2 / 1000) + " ms");
        });
    }

    void stopWaiting()
    {
        if (m_timeout)
            m_s.cancel(m_timeout);
        m_timeout = 0;
    }

    void finish(const std::string& answer)
    {
        stopWaiting();
        if (!m_done)
            return;
        Done done = std::move(m_done);
        m_done = nullptr;
        done(answer);
    }

    void fire(std::size_t index, Micros when)
    {
        if (index >= m_messages.size() || !m_node)
            return;
        m_bus.send(m_node, m_messages[index].frame);
        const Micros next = when + m_messages[index].period;
        m_timers.at(next, [this, index, next] { fire(index, next); });
    }

    std::vector<Message> m_messages;
    std::string m_pins;
    std::unique_ptr<IsoTpLink> m_link;
    Done m_done;
    std::uint8_t m_service = 0;
    Micros m_p2 = kDefaultP2;
    Micros m_deadline = 0;
    Scheduler::TimerId m_timeout = 0;
    Micros m_sentAt = 0;
    Micros m_roundTrip = -1;
};

class World : public VehicleWorld {
public:
    World(Scheduler& s, const VehicleDescription& description)
        : m_s(s)
        , m_description(description)
    {
        const Micros origin = s.now();
        for (int p = 0; p < 2; ++p) {
            m_buses[p] = std::make_unique<CanBus>(s, pinsName(p), description.rates[p]);
            m_load[p] = std::make_unique<LoadNode>(s, *m_buses[p]);
            m_testers[p] = std::make_unique<TesterNode>(s, *m_buses[p], pinsName(p));
            m_watch[p] = std::make_unique<WatchNode>(s, *m_buses[p]);
        }
        for (const EcuDescription& e : description.ecus)
            m_ecus.push_back(std::make_unique<EcuNode>(s, *m_buses[e.pins], e, description, origin));
    }

    ~World() override
    {
        m_ecus.clear();
        for (int p = 0; p < 2; ++p) {
            m_load[p].reset();
            m_testers[p].reset();
            m_watch[p].reset();
        }
    }

    CanBus& bus(Pins pins) override { return *m_buses[int(pins)]; }
    const VehicleDescription& description() const override { return m_description; }

    std::string control(const std::vector<std::string>& w) override
    {
        // The answer echoes the caller's words: it stays one printable line.
        std::string answer = dispatch(w);
        if (answer.size() > kMaxAnswerLine)
            answer.resize(kMaxAnswerLine);
        for (char& c : answer) {
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E)
                c = '?';
        }
        return answer;
    }

    void control(const std::vector<std::string>& w, std::function<void(const std::string&)> done) override
    {
        if (!answersLater(w)) {
            done(control(w));
            return;
        }
        const int p = pinsOf(w[1]);
        IsoTpConfig c;
        std::vector<std::uint8_t> request;
        Micros p2 = kDefaultP2;
        const std::string problem = askRequest(w, &c, &request, &p2);
        if (!problem.empty()) {
            done(problem);
            return;
        }
        m_testers[p]->ask(c, request, p2, std::move(done));
    }

    // "tester PINS ask REQID RESPID HEXDATA [TIMEOUT_MS]": empty when good.
    std::string askRequest(
        const std::vector<std::string>& w, IsoTpConfig* c, std::vector<std::uint8_t>* request, Micros* p2) const
    {
        static const char kUsage[] = "ERR usage: tester 6-14|3-11 ask REQID RESPID HEXDATA [TIMEOUT_MS]";
        if (w.size() < 6 || w.size() > 7 || pinsOf(w[1]) < 0)
            return kUsage;
        bool extendedRequest = false;
        bool extendedAnswer = false;
        if (!parseCanId(w[3], &c->txId, &extendedRequest))
            return "ERR not a CAN identifier: \"" + w[3].substr(0, 16) + "\"";
        if (!parseCanId(w[4], &c->rxId, &extendedAnswer))
            return "ERR not a CAN identifier: \"" + w[4].substr(0, 16) + "\"";
        if (c->txId == c->rxId)
            return "ERR the request and answer identifiers must differ";
        c->extended = extendedRequest || extendedAnswer;
        const std::string& data = w[5];
        if (data.empty() || data.size() % 2 || data.size() / 2 > IsoTpLink::kMaxClassicMessage
            || data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "ERR the request is 1.." + std::to_string(IsoTpLink::kMaxClassicMessage)
                + " bytes as hexadecimal digits";
        for (std::size_t i = 0; i < data.size(); i += 2)
            request->push_back(std::uint8_t(std::strtoul(data.substr(i, 2).c_str(), nullptr, 16)));
        if (w.size() == 7) {
            std::uint64_t ms = 0;
            if (!parseNumber(w[6], 30000, &ms, 10) || ms < 1)
                return "ERR the time-out is 1..30000 ms";
            *p2 = Micros(ms) * 1000;
        }
        return std::string();
    }

    std::string dispatch(const std::vector<std::string>& w)
    {
        if (w.empty())
            return "ERR no vehicle command (dtc, set, ecu, rate, load, tester, watch, info)";
        const std::string& cmd = w[0];
        if (cmd == "info" && w.size() == 1)
            return "OK " + info();
        if (cmd == "dtc")
            return dtc(w);
        if (cmd == "set")
            return set(w);
        if (cmd == "ecu")
            return ecuPower(w);
        if (cmd == "rate")
            return rate(w);
        if (cmd == "load")
            return load(w);
        if (cmd == "tester")
            return tester(w);
        if (cmd == "watch")
            return watch(w);
        return "ERR unknown vehicle command \"" + cmd.substr(0, 32)
            + "\" (dtc, set, ecu, rate, load, tester, watch, info)";
    }

    std::string dumpJson() const override
    {
        Json::Value root(Json::objectValue);
        root["name"] = m_description.name;
        root["vin"] = m_description.vin;
        root["file"] = m_description.file;
        root["fuel"] = m_description.diesel ? "diesel" : "petrol";
        Json::Value buses(Json::arrayValue);
        for (int p = 0; p < 2; ++p) {
            Json::Value b(Json::objectValue);
            b["pins"] = pinsName(p);
            b["bitrate"] = m_buses[p]->rate().bitrate;
            b["dataBitrate"] = m_buses[p]->rate().dataBitrate;
            b["load"] = std::round(m_buses[p]->load() * 1000.0) / 10.0;
            b["generatorPercent"] = m_load[p]->percent();
            b["generatorSent"] = Json::UInt64(m_load[p]->sent());
            b["watch"] = m_watch[p]->json();
            b["testerMessages"] = Json::UInt(m_testers[p]->count());
            b["testerRoundTripMicros"] = Json::Int64(m_testers[p]->roundTrip());
            buses.append(b);
        }
        root["buses"] = buses;
        Json::Value ecus(Json::arrayValue);
        const Micros now = m_s.now();
        for (const auto& node : m_ecus) {
            const EcuDescription& e = node->logic.description();
            Json::Value j(Json::objectValue);
            j["name"] = e.name;
            j["pins"] = pinsName(e.pins);
            j["requestId"] = hex(e.requestId, 3);
            j["responseId"] = hex(e.responseId, 3);
            if (e.functionalId)
                j["functionalId"] = hex(e.functionalId, 3);
            j["online"] = node->online();
            j["resetting"] = node->resetting();
            j["unlocked"] = node->logic.unlocked();
            Json::Value dtcs(Json::arrayValue);
            for (const DtcEntry& d : node->logic.dtcs()) {
                Json::Value jd(Json::objectValue);
                jd["code"] = formatDtcCode(d.code);
                jd["status"] = hex(d.status, 2);
                dtcs.append(jd);
            }
            j["dtcs"] = dtcs;
            if (e.obd) {
                Json::Value live(Json::objectValue);
                for (const char* name : {"rpm", "speed", "coolant", "load", "throttle", "maf", "intake", "voltage"})
                    live[name] = std::round(node->logic.live(name, now) * 10.0) / 10.0;
                j["live"] = live;
            }
            Json::Value overrides(Json::objectValue);
            for (const auto& [name, value] : node->logic.overrides())
                overrides[name] = value;
            j["overrides"] = overrides;
            ecus.append(j);
        }
        root["ecus"] = ecus;
        Json::StreamWriterBuilder builder;
        builder["indentation"] = "";
        return Json::writeString(builder, root);
    }

private:
    EcuNode* findEcu(const std::string& key)
    {
        for (const auto& node : m_ecus) {
            if (node->logic.description().name == key)
                return node.get();
        }
        std::uint32_t id = 0;
        bool extended = false;
        if (parseCanId(key, &id, &extended)) {
            for (const auto& node : m_ecus) {
                if (node->logic.description().requestId == id)
                    return node.get();
            }
        }
        return nullptr;
    }

    std::string noEcu(const std::string& key) const
    {
        std::string names;
        for (const auto& node : m_ecus)
            names += (names.empty() ? "" : ", ") + node->logic.description().name;
        return "ERR no ECU \"" + key.substr(0, 32) + "\" (" + names + ")";
    }

    static int pinsOf(const std::string& s)
    {
        if (s == "6-14" || s == "6/14")
            return 0;
        if (s == "3-11" || s == "3/11")
            return 1;
        return -1;
    }

    std::string info() const
    {
        std::ostringstream o;
        o << "vehicle \"" << m_description.name << "\" VIN " << m_description.vin;
        for (int p = 0; p < 2; ++p) {
            const BusRate r = m_buses[p]->rate();
            o << "; " << pinsName(p) << " " << r.bitrate << " bit/s";
            if (r.dataBitrate)
                o << " FD " << r.dataBitrate;
            char load[16];
            std::snprintf(load, sizeof load, "%.1f", m_buses[p]->load() * 100.0);
            o << " load " << load << " %";
        }
        o << "; ECUs";
        for (const auto& node : m_ecus) {
            o << " " << node->logic.description().name << "(" << pinsName(node->logic.description().pins) << ", "
              << (node->online()             ? "on"
                         : node->resetting() ? "resetting"
                                             : "off")
              << ", " << node->logic.dtcs().size() << " DTC)";
        }
        return o.str();
    }

    std::string dtc(const std::vector<std::string>& w)
    {
        if (w.size() < 3)
            return "ERR usage: dtc ECU add CODE [STATUS] | dtc ECU clear";
        EcuNode* node = findEcu(w[1]);
        if (!node)
            return noEcu(w[1]);
        if (w[2] == "clear" && w.size() == 3) {
            node->logic.clearDtcs();
            return "OK " + node->logic.description().name + " trouble codes cleared";
        }
        if (w[2] != "add" || w.size() < 4 || w.size() > 5)
            return "ERR usage: dtc ECU add CODE [STATUS] | dtc ECU clear";
        std::uint32_t code = 0;
        if (!parseDtcCode(w[3], &code))
            return "ERR not a trouble code: \"" + w[3].substr(0, 16) + "\" (like P0301 or U012100)";
        std::uint64_t status = 0x2F;
        if (w.size() == 5 && !parseNumber(w[4], 0xFF, &status))
            return "ERR status is a byte (0..255, 0x.. for hex)";
        node->logic.addDtc(code, std::uint8_t(status));
        return "OK " + node->logic.description().name + " " + formatDtcCode(code) + " status " + hex(status, 2);
    }

    std::string set(const std::vector<std::string>& w)
    {
        if (w.size() != 4)
            return "ERR usage: set ECU NAME VALUE|auto";
        EcuNode* node = findEcu(w[1]);
        if (!node)
            return noEcu(w[1]);
        std::string error;
        if (!node->logic.setValue(w[2], w[3], &error))
            return "ERR " + error;
        return "OK " + node->logic.description().name + " " + w[2] + " " + w[3].substr(0, 64);
    }

    std::string ecuPower(const std::vector<std::string>& w)
    {
        if (w.size() != 3 || (w[2] != "on" && w[2] != "off"))
            return "ERR usage: ecu ECU on|off";
        EcuNode* node = findEcu(w[1]);
        if (!node)
            return noEcu(w[1]);
        if (w[2] == "on")
            node->goOnline();
        else
            node->goOffline();
        return "OK " + node->logic.description().name + " " + w[2];
    }

    std::string rate(const std::vector<std::string>& w)
    {
        if (w.size() < 3 || w.size() > 4 || pinsOf(w[1]) < 0)
            return "ERR usage: rate 6-14|3-11 BITRATE [DATA_BITRATE]";
        const int p = pinsOf(w[1]);
        std::uint64_t bitrate = 0, data = 0;
        if (!parseNumber(w[2], 1000000, &bitrate, 10) || bitrate < 100000)
            return "ERR the bit rate is 100000..1000000";
        if (w.size() == 4 && (!parseNumber(w[3], 5000000, &data, 10) || (data != 0 && data < 1000000)))
            return "ERR the data bit rate is 0 (no CAN FD) or 1000000..5000000";
        for (const auto& node : m_ecus) {
            if (node->logic.description().pins == p && node->logic.description().fd && data == 0)
                return "ERR " + node->logic.description().name + " talks CAN FD on this bus: it needs a data bit rate";
        }
        m_buses[p]->setRate(BusRate{std::uint32_t(bitrate), std::uint32_t(data)});
        // The vehicle's own nodes follow; a tester at the old rate now sees errors.
        for (const auto& node : m_ecus) {
            if (node->logic.description().pins == p)
                node->followBusRate();
        }
        m_load[p]->followBusRate();
        m_testers[p]->followBusRate();
        m_watch[p]->followBusRate();
        return "OK " + std::string(pinsName(p)) + " " + std::to_string(bitrate) + " bit/s"
            + (data ? " data " + std::to_string(data) + " bit/s" : std::string());
    }

    std::string load(const std::vector<std::string>& w)
    {
        if (w.size() < 3 || w.size() > 4 || pinsOf(w[1]) < 0)
            return "ERR usage: load 6-14|3-11 PERCENT [ID]";
        const int p = pinsOf(w[1]);
        std::uint64_t percent = 0;
        if (!parseNumber(w[2], 100, &percent, 10))
            return "ERR the load is 0..100 percent";
        std::uint32_t id = kDefaultLoadId;
        bool extended = false;
        if (w.size() == 4 && !parseCanId(w[3], &id, &extended))
            return "ERR not a CAN identifier: \"" + w[3].substr(0, 16) + "\"";
        m_load[p]->start(int(percent), id, extended);
        if (!percent)
            return "OK " + std::string(pinsName(p)) + " load generator stopped";
        return "OK " + std::string(pinsName(p)) + " load " + std::to_string(percent) + " % with " + hex(id, 3);
    }

    std::string watch(const std::vector<std::string>& w)
    {
        if (w.size() != 3 || pinsOf(w[1]) < 0)
            return "ERR usage: watch 6-14|3-11 ID|off";
        const int p = pinsOf(w[1]);
        if (w[2] == "off") {
            m_watch[p]->stop();
            return "OK " + std::string(pinsName(p)) + " watch stopped";
        }
        std::uint32_t id = kDefaultLoadId;
        bool extended = false;
        if (!parseCanId(w[2], &id, &extended))
            return "ERR not a CAN identifier: \"" + w[2].substr(0, 16) + "\"";
        m_watch[p]->start(id, extended);
        return "OK " + std::string(pinsName(p)) + " watching " + hex(id, 3);
    }

    std::string tester(const std::vector<std::string>& w)
    {
        if (w.size() < 3 || pinsOf(w[1]) < 0)
            return "ERR usage: tester 6-14|3-11 add ID PERIOD_MS HEXDATA | ask REQID RESPID HEXDATA [TIMEOUT_MS] | "
                   "clear";
        const int p = pinsOf(w[1]);
        if (w[2] == "clear" && w.size() == 3) {
            m_testers[p]->clear();
            return "OK " + std::string(pinsName(p)) + " tester cleared";
        }
        if (w[2] == "ask")
            return "ERR tester ask answers later: send it on the control port";
        if (w[2] != "add" || w.size() != 6)
            return "ERR usage: tester 6-14|3-11 add ID PERIOD_MS HEXDATA | ask REQID RESPID HEXDATA [TIMEOUT_MS] | "
                   "clear";
        CanFrame f;
        if (!parseCanId(w[3], &f.id, &f.extended))
            return "ERR not a CAN identifier: \"" + w[3].substr(0, 16) + "\"";
        std::uint64_t period = 0;
        if (!parseNumber(w[4], 60000, &period, 10) || period < 1)
            return "ERR the period is 1..60000 ms";
        const std::string& data = w[5];
        const std::size_t maxBytes = m_buses[p]->rate().dataBitrate ? 64 : 8;
        if (data.size() % 2 || data.size() / 2 > maxBytes
            || data.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return "ERR data is 0.." + std::to_string(maxBytes) + " bytes as hexadecimal digits";
        const std::size_t n = data.size() / 2;
        for (std::size_t i = 0; i < n; ++i)
            f.data[i] = std::uint8_t(std::strtoul(data.substr(2 * i, 2).c_str(), nullptr, 16));
        if (n > 8) {
            f.fd = true;
            f.brs = true;
            f.length = fdLengthFor(n);
        } else {
            f.length = std::uint8_t(n);
        }
        if (!m_testers[p]->add(f, Micros(period) * 1000))
            return "ERR at most " + std::to_string(kMaxTesterMessages) + " tester messages per bus";
        return "OK " + std::string(pinsName(p)) + " tester " + hex(f.id, 3) + " every " + std::to_string(period)
            + " ms";
    }

    Scheduler& m_s;
    VehicleDescription m_description;
    std::unique_ptr<CanBus> m_buses[2];
    std::unique_ptr<LoadNode> m_load[2];
    std::unique_ptr<TesterNode> m_testers[2];
    std::unique_ptr<WatchNode> m_watch[2];
    std::vector<std::unique_ptr<EcuNode>> m_ecus;
};

} // namespace

bool VehicleWorld::answersLater(const std::vector<std::string>& words)
{
    return words.size() >= 3 && words[0] == "tester" && words[2] == "ask";
}

std::unique_ptr<VehicleWorld> VehicleWorld::create(Scheduler& scheduler, const VehicleDescription& description)
{
    return std::make_unique<World>(scheduler, description);
}

std::unique_ptr<VehicleWorld> VehicleWorld::create(
    Scheduler& scheduler, const std::string& vehicleFile, std::string* error)
{
    std::string problem;
    const std::string path = resolveVehicleFile(vehicleFile, &problem);
    VehicleDescription description;
    if (path.empty() || !loadVehicleFile(path, &description, &problem)) {
        if (error)
            *error = problem;
        return nullptr;
    }
    return create(scheduler, description);
}

} // namespace vehicle
