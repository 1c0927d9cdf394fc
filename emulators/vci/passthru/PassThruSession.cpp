#include "PassThruSession.h"

#include "vehicle/IsoTp.h"

#include <j2534.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <utility>
#include <vector>

namespace vciemu {

using passthru::Message;
using passthru::Type;
using vehicle::CanBus;
using vehicle::CanFrame;
using vehicle::Micros;
using vehicle::Pins;

bool decodePassThruRequest(const passthru::Frame& frame, PassThruRequest* r, std::string* error)
{
    r->tag = frame.tag;
    r->type = static_cast<Type>(frame.type);
    switch (r->type) {
    case Type::Open:
        return passthru::decodeOpen(frame, &r->open, error);
    case Type::Connect:
        return passthru::decodeConnect(frame, &r->connect, error);
    case Type::Disconnect:
        return passthru::decodeDisconnect(frame, &r->channel, error);
    case Type::Write:
        return passthru::decodeWrite(frame, &r->write, error);
    case Type::StartPeriodic:
        return passthru::decodeStartPeriodic(frame, &r->periodic, error);
    case Type::StopPeriodic:
    case Type::StopFilter:
        return passthru::decodeStop(frame, &r->stop, error);
    case Type::StartFilter:
        return passthru::decodeStartFilter(frame, &r->filter, error);
    case Type::Ioctl:
        return passthru::decodeIoctl(frame, &r->ioctl, error);
    case Type::Version:
        return passthru::decodeVersion(frame, error);
    default:
        break;
    }
    *error = "frame type " + std::to_string(frame.type) + " is not a request";
    return false;
}

namespace {

constexpr std::uint32_t kPins614 = 0x060E;
constexpr std::uint32_t kPins311 = 0x030B;
constexpr std::uint32_t kUnset = 0xFFFF; // BS_TX / STMIN_TX: use what the ECU asks

struct Failure {
    std::uint32_t status = STATUS_NOERROR;
    std::string text;
    explicit operator bool() const { return status != STATUS_NOERROR; }
};
Failure fail(std::uint32_t status, std::string text)
{
    return Failure{status, std::move(text)};
}

bool isCanFamily(std::uint32_t p)
{
    return p == CAN || p == CAN_PS || p == CAN_FD_PS;
}
bool isPinSelectable(std::uint32_t p)
{
    return p == CAN_PS || p == ISO15765_PS || p == CAN_FD_PS || p == ISO15765_FD_PS;
}
bool isFd(std::uint32_t p)
{
    return p == CAN_FD_PS || p == ISO15765_FD_PS;
}

const char* protocolName(std::uint32_t p)
{
    switch (p) {
    case CAN:
        return "CAN";
    case ISO15765:
        return "ISO15765";
    case CAN_PS:
        return "CAN_PS";
    case ISO15765_PS:
        return "ISO15765_PS";
    case CAN_FD_PS:
        return "CAN_FD_PS";
    case ISO15765_FD_PS:
        return "ISO15765_FD_PS";
    default:
        return "?";
    }
}

bool standardBitrate(std::uint32_t rate)
{
    static const std::uint32_t kRates[] = {100000, 125000, 250000, 500000, 800000, 1000000};
    return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

bool standardDataRate(std::uint32_t rate)
{
    static const std::uint32_t kRates[] = {1000000, 2000000, 4000000, 5000000};
    return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

bool validStMin(std::uint32_t v)
{
    return v <= 0x7F || (v >= 0xF1 && v <= 0xF9);
}

std::uint32_t idOf(const std::vector<std::uint8_t>& d)
{
    return (std::uint32_t(d[0]) << 24) | (std::uint32_t(d[1]) << 16) | (std::uint32_t(d[2]) << 8) | d[3];
}

void putId(std::vector<std::uint8_t>& d, std::uint32_t id)
{
    d.push_back(std::uint8_t(id >> 24));
    d.push_back(std::uint8_t(id >> 16));
    d.push_back(std::uint8_t(id >> 8));
    d.push_back(std::uint8_t(id));
}

bool sameFrame(const CanFrame& a, const CanFrame& b)
{
    return a.id == b.id && a.extended == b.extended && a.fd == b.fd && a.length == b.length
        && std::equal(a.data.begin(), a.data.begin() + a.length, b.data.begin());
}

std::string jsonString(const std::string& s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

} // namespace

struct PassThruSession::Impl {
    struct Channel;

    // One WRITE waiting for its messages to leave the bus.
    struct WriteJob {
        std::uint32_t tag = 0;
        std::uint32_t channel = 0;
        std::uint32_t total = 0;
        std::uint32_t done = 0; // sent or failed
        std::uint32_t sent = 0;
        vehicle::Scheduler::TimerId timer = 0;
    };

    // A frame the channel sends itself (CAN messages, periodic messages,
    // single frames of ISO 15765 messages that need no flow control).
    struct RawTx {
        CanFrame frame;
        Message message;            // for the loop-back copy
        std::uint64_t job = 0;      // 0: a periodic message
        std::uint32_t periodic = 0; // the periodic message's id
        bool iso = false;           // an ISO 15765 single frame: TX_INDICATION after it
    };

    // An ISO 15765 message waiting for its link.
    struct IsoTx {
        std::vector<std::uint8_t> payload;
        Message message;
        bool pad = false;
        std::uint64_t job = 0;
    };

    struct Filter {
        std::uint32_t id = 0;
        std::uint32_t type = 0;
        std::vector<std::uint8_t> mask, pattern; // PASS / BLOCK
        // FLOW_CONTROL
        std::uint32_t idMask = 0, rxId = 0, txId = 0;
        bool extended = false;
        bool pad = false;
        std::unique_ptr<vehicle::IsoTpLink> link;
        std::deque<IsoTx> queue;
        bool sending = false;
    };

    struct Periodic {
        std::uint32_t id = 0;
        CanFrame frame;
        Message message;
        Micros period = 0;
        Micros next = 0;
        vehicle::Scheduler::TimerId timer = 0;
    };

    struct Channel : vehicle::CanListener {
        Impl* session = nullptr;
        std::uint32_t id = 0;
        std::uint32_t protocol = 0;
        std::uint32_t flags = 0;
        std::uint32_t bitrate = 0;
        std::uint32_t dataRate = 2000000;
        bool frameFlags = false;     // FD_CAN_FRAME_FLAGS: each message's own format
        std::uint32_t pinsValue = 0; // J1962_PINS, 0 while not chosen
        CanBus* bus = nullptr;
        CanBus::NodeId node = -1;
        vehicle::NodeState state = vehicle::NodeState::Active;
        // Configuration
        bool loopback = false;
        std::uint32_t bitSamplePoint = 80;
        std::uint32_t syncJumpWidth = 15;
        std::uint32_t blockSize = 0;
        std::uint32_t stMin = 0;
        std::uint32_t blockSizeTx = kUnset;
        std::uint32_t stMinTx = kUnset;
        std::uint32_t wftMax = 0;
        std::uint32_t padValue = 0x00;
        std::map<std::uint32_t, std::unique_ptr<Filter>> filters;
        std::map<std::uint32_t, Periodic> periodic;
        std::uint32_t nextFilterId = 1;
        std::uint32_t nextPeriodicId = 1;
        std::deque<RawTx> waiting;
        std::deque<RawTx> onBus;
        std::size_t isoQueued = 0;

        bool iso() const { return !isCanFamily(protocol); }
        bool fd() const { return isFd(protocol); }
        bool pinSelectable() const { return isPinSelectable(protocol); }
        std::uint32_t family() const { return iso() ? 1 : 0; }
        // The pins of the bus the channel is on or will be on (0 while not chosen).
        std::uint32_t pins() const { return pinSelectable() ? pinsValue : kPins614; }
        vehicle::BusRate rate() const { return vehicle::BusRate{bitrate, fd() ? dataRate : 0}; }
        std::size_t txQueued() const { return waiting.size() + onBus.size() + isoQueued; }

        void received(const CanFrame& frame, Micros at) override { session->onReceived(*this, frame, at); }
        void transmitted(const CanFrame& frame, Micros at) override { session->onTransmitted(*this, frame, at); }
        void stateChanged(vehicle::NodeState s) override { session->onState(*this, s); }
    };

    Impl(vehicle::Scheduler& scheduler, BusProvider buses, PassThruOutbox& outbox)
        : m_scheduler(scheduler)
        , m_buses(std::move(buses))
        , m_outbox(outbox)
    {
    }

    ~Impl()
    {
        for (auto& c : m_channels)
            detach(*c.second);
        for (auto& j : m_jobs)
            m_scheduler.cancel(j.second.timer);
    }

    vehicle::Scheduler& m_scheduler;
    BusProvider m_buses;
    PassThruOutbox& m_outbox;
    bool m_open = false;
    std::string m_client;
    std::map<std::uint32_t, std::unique_ptr<Channel>> m_channels;
    std::uint32_t m_nextChannel = 1;
    std::map<std::uint64_t, WriteJob> m_jobs;
    std::uint64_t m_nextJob = 1;

    // ---- replies --------------------------------------------------------
    void reply(const PassThruRequest& rq, passthru::Reply r)
    {
        r.request = rq.type;
        m_outbox.pushReply(rq.tag, std::move(r));
    }
    void replyOk(const PassThruRequest& rq, std::uint32_t value = 0)
    {
        passthru::Reply r;
        r.value = value;
        reply(rq, std::move(r));
    }
    void replyFail(const PassThruRequest& rq, const Failure& f)
    {
        passthru::Reply r;
        r.status = f.status;
        r.text = f.text.substr(0, passthru::kMaxText);
        reply(rq, std::move(r));
    }

    Channel* channel(std::uint32_t id)
    {
        const auto it = m_channels.find(id);
        return it == m_channels.end() ? nullptr : it->second.get();
    }

    void deliver(Channel& c, Message m) { m_outbox.pushMessage(c.id, std::move(m)); }

    // ---- requests -------------------------------------------------------
    void handle(const PassThruRequest& rq, const Device& device)
    {
        if (rq.type == Type::Open) {
            if (m_open)
                return replyFail(rq, fail(ERR_DEVICE_IN_USE, "the session is already open"));
            if (rq.open.version != passthru::kProtocolVersion)
                return replyFail(rq,
                    fail(ERR_NOT_SUPPORTED,
                        "pass-thru protocol version " + std::to_string(rq.open.version)
                            + " is not supported (the adapter speaks " + std::to_string(passthru::kProtocolVersion)
                            + ")"));
            m_open = true;
            m_client = rq.open.client;
            passthru::Reply r;
            r.firmwareVersion = device.firmwareVersion.substr(0, passthru::kMaxText);
            r.serial = device.serial.substr(0, passthru::kMaxText);
            r.supplyMv = device.supplyMv;
            return reply(rq, std::move(r));
        }
        if (!m_open)
            return replyFail(rq, fail(ERR_DEVICE_NOT_CONNECTED, "the session is not open"));
        switch (rq.type) {
        case Type::Version: {
            passthru::Reply r;
            r.firmwareVersion = device.firmwareVersion.substr(0, passthru::kMaxText);
            r.serial = device.serial.substr(0, passthru::kMaxText);
            return reply(rq, std::move(r));
        }
        case Type::Connect:
            return connect(rq, device);
        case Type::Disconnect:
            return disconnect(rq);
        case Type::Write:
            return write(rq);
        case Type::StartPeriodic:
            return startPeriodic(rq);
        case Type::StopPeriodic:
            return stopPeriodic(rq);
        case Type::StartFilter:
            return startFilter(rq);
        case Type::StopFilter:
            return stopFilter(rq);
        case Type::Ioctl:
            return ioctl(rq, device);
        default:
            return replyFail(rq, fail(ERR_NOT_SUPPORTED, "unknown request"));
        }
    }

    Failure busConflict(const Channel& self, std::uint32_t pins) const
    {
        for (const auto& c : m_channels) {
            const Channel& o = *c.second;
            if (&o != &self && o.family() == self.family() && o.pins() == pins && pins != 0)
                return fail(ERR_CHANNEL_IN_USE,
                    std::string(protocolName(o.protocol)) + " channel " + std::to_string(o.id) + " already uses pins "
                        + (pins == kPins614 ? "6/14" : "3/11"));
        }
        return {};
    }

    void connect(const PassThruRequest& rq, const Device& device)
    {
        const auto& r = rq.connect;
        const std::uint32_t p = r.protocolId;
        if (p != CAN && p != ISO15765 && !isPinSelectable(p)) {
            if ((p >= J1850VPW && p <= ISO14230) || (p >= SCI_A_ENGINE && p <= SCI_B_TRANS))
                return replyFail(
                    rq, fail(ERR_NOT_SUPPORTED, "the adapter has CAN and ISO 15765 only (no K-line, J1850 or SCI)"));
            return replyFail(rq, fail(ERR_INVALID_PROTOCOL_ID, "unknown protocol " + std::to_string(p)));
        }
        if (r.flags & ~std::uint32_t(CAN_29BIT_ID | CAN_ID_BOTH))
            return replyFail(rq, fail(ERR_INVALID_FLAGS, "connect flags other than CAN_29BIT_ID and CAN_ID_BOTH"));
        if (!standardBitrate(r.baudRate))
            return replyFail(rq,
                fail(ERR_INVALID_BAUDRATE,
                    std::to_string(r.baudRate)
                        + " bit/s is not a CAN rate (100000, 125000, 250000, 500000, 800000, 1000000)"));
        if (r.baudRate > device.maxBitrate)
            return replyFail(rq,
                fail(ERR_INVALID_BAUDRATE,
                    "this adapter runs CAN at up to " + std::to_string(device.maxBitrate) + " bit/s"));
        if (m_channels.size() >= passthru::kMaxChannels)
            return replyFail(rq, fail(ERR_EXCEEDED_LIMIT, "4 channels are open already"));
        auto c = std::make_unique<Channel>();
        c->session = this;
        c->id = m_nextChannel++;
        c->protocol = p;
        c->flags = r.flags;
        c->bitrate = r.baudRate;
        if (Failure f = busConflict(*c, c->pins()))
            return replyFail(rq, f);
        if (!c->pinSelectable()) {
            if (Failure f = attach(*c, Pins::P6_14))
                return replyFail(rq, f);
        }
        const std::uint32_t id = c->id;
        m_channels.emplace(id, std::move(c));
        replyOk(rq, id);
    }

    Failure attach(Channel& c, Pins pins)
    {
        std::string error;
        CanBus* bus = m_buses(pins, &error);
        if (!bus)
            return fail(ERR_FAILED, error.empty() ? std::string("no vehicle bus on those pins") : error);
        c.bus = bus;
        c.node = bus->attach(&c, c.rate());
        c.state = bus->nodeState(c.node);
        for (auto& f : c.filters)
            if (f.second->type == FLOW_CONTROL_FILTER)
                makeLink(c, *f.second);
        return {};
    }

    // Off the bus at once: nothing more is sent, nothing queued survives.
    void detach(Channel& c)
    {
        for (auto& p : c.periodic)
            m_scheduler.cancel(p.second.timer);
        c.periodic.clear();
        for (auto& f : c.filters) {
            // Queue first: an abort may report its transfer as ended.
            f.second->queue.clear();
            f.second->sending = false;
            if (f.second->link)
                f.second->link->abort();
            f.second->link.reset();
        }
        c.waiting.clear();
        c.onBus.clear();
        c.isoQueued = 0;
        if (c.bus) {
            c.bus->clearQueue(c.node);
            c.bus->detach(c.node);
            c.bus = nullptr;
            c.node = -1;
        }
    }

    void disconnect(const PassThruRequest& rq)
    {
        Channel* c = channel(rq.channel.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(rq.channel.channel)));
        const std::uint32_t id = c->id;
        detach(*c);
        m_channels.erase(id);
        m_outbox.clearChannel(id);
        failJobs(id, "the channel was disconnected");
        replyOk(rq);
    }

    // ---- messages -------------------------------------------------------
    // Checks a message against the channel's protocol, identifier kind and
    // length rules; *extended tells whether it has a 29-bit identifier.
    Failure checkMessage(const Channel& c, const Message& m, bool* extended) const
    {
        if (m.protocolId != c.protocol)
            return fail(ERR_MSG_PROTOCOL_ID,
                "message protocol " + std::to_string(m.protocolId) + " on a " + protocolName(c.protocol) + " channel");
        if (m.data.size() < 4)
            return fail(ERR_INVALID_MSG, "a message starts with a 4-byte CAN identifier");
        if (m.txFlags & ISO15765_ADDR_TYPE)
            return fail(ERR_NOT_SUPPORTED, "extended addressing (ISO15765_ADDR_TYPE) is not supported");
        const bool ext = (m.txFlags & CAN_29BIT_ID) != 0;
        if (!(c.flags & CAN_ID_BOTH) && ext != ((c.flags & CAN_29BIT_ID) != 0))
            return fail(ERR_INVALID_MSG, "the message's CAN_29BIT_ID flag does not match the channel's");
        const std::uint32_t id = idOf(m.data);
        if (id > (ext ? 0x1FFFFFFFu : 0x7FFu))
            return fail(ERR_INVALID_MSG, "identifier too large for its kind");
        const std::size_t payload = m.data.size() - 4;
        if (c.iso()) {
            const std::size_t max = c.fd() ? passthru::kMaxData - 4 : 4095;
            if (payload == 0 || payload > max)
                return fail(ERR_INVALID_MSG, "an ISO 15765 message carries 1 to " + std::to_string(max) + " bytes");
        } else if (c.fd()) {
            if (payload > 64 || vehicle::fdLengthFor(payload) != payload)
                return fail(ERR_INVALID_MSG, "a CAN FD frame carries 0-8, 12, 16, 20, 24, 32, 48 or 64 bytes");
        } else if (payload > 8) {
            return fail(ERR_INVALID_MSG, "a CAN frame carries at most 8 bytes");
        }
        *extended = ext;
        return {};
    }

    CanFrame rawFrame(const Channel& c, const Message& m, bool ext) const
    {
        CanFrame f;
        f.id = idOf(m.data);
        f.extended = ext;
        f.fd = c.fd();
        f.brs = c.fd();
        f.length = std::uint8_t(m.data.size() - 4);
        if (c.fd() && c.frameFlags) {
            // The message's own format; over 8 bytes it can only be CAN FD.
            f.fd = (m.txFlags & CAN_FD_FORMAT) != 0 || f.length > 8;
            f.brs = f.fd && (m.txFlags & CAN_FD_BRS) != 0;
        }
        std::copy(m.data.begin() + 4, m.data.end(), f.data.begin());
        return f;
    }

    // The single frame of a short ISO 15765 message; false when it needs more.
    bool singleFrame(const Channel& c, const Message& m, bool ext, CanFrame* f) const
    {
        const std::size_t n = m.data.size() - 4;
        const bool longForm = c.fd() && n > 7;
        if (n > (c.fd() ? 62u : 7u))
            return false;
        f->id = idOf(m.data);
        f->extended = ext;
        f->fd = c.fd();
        f->brs = c.fd();
        std::size_t at = 0;
        if (longForm) {
            f->data[at++] = 0x00;
            f->data[at++] = std::uint8_t(n);
        } else {
            f->data[at++] = std::uint8_t(n);
        }
        std::copy(m.data.begin() + 4, m.data.end(), f->data.begin() + long(at));
        at += n;
        std::size_t length = at;
        if (m.txFlags & ISO15765_FRAME_PAD)
            length = c.fd() ? std::max<std::size_t>(8, vehicle::fdLengthFor(at)) : 8;
        else if (c.fd())
            length = vehicle::fdLengthFor(at);
        for (std::size_t i = at; i < length; ++i)
            f->data[i] = std::uint8_t(c.padValue);
        f->length = std::uint8_t(length);
        return true;
    }

    Filter* flowControlFor(Channel& c, std::uint32_t txId, bool ext)
    {
        for (auto& f : c.filters)
            if (f.second->type == FLOW_CONTROL_FILTER && f.second->txId == txId && f.second->extended == ext)
                return f.second.get();
        return nullptr;
    }

    Failure checkTraffic(const Channel& c) const
    {
        if (c.pinSelectable() && !c.bus)
            return fail(ERR_PIN_INVALID, "choose the connector pins (J1962_PINS) before sending");
        if (!c.bus)
            return fail(ERR_FAILED, "the channel is not on a bus");
        return {};
    }

    void write(const PassThruRequest& rq)
    {
        const auto& w = rq.write;
        Channel* c = channel(w.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(w.channel)));
        if (Failure f = checkTraffic(*c))
            return replyFail(rq, f);
        if (w.messages.empty())
            return replyFail(rq, fail(ERR_INVALID_MSG, "no messages"));
        // Every message is checked before any is queued.
        std::vector<bool> ext(w.messages.size());
        for (std::size_t i = 0; i < w.messages.size(); ++i) {
            bool e = false;
            if (Failure f = checkMessage(*c, w.messages[i], &e))
                return replyFail(rq, fail(f.status, "message " + std::to_string(i + 1) + ": " + f.text));
            ext[i] = e;
            if (c->iso() && !flowControlFor(*c, idOf(w.messages[i].data), e)) {
                CanFrame sf;
                if (!singleFrame(*c, w.messages[i], e, &sf))
                    return replyFail(rq,
                        fail(ERR_NO_FLOW_CONTROL,
                            "message " + std::to_string(i + 1)
                                + ": no flow-control filter sends with this identifier"));
            }
        }
        if (c->txQueued() + w.messages.size() > kMaxTxQueue)
            return replyFail(rq, fail(ERR_BUFFER_FULL, "the channel's transmit queue is full"));
        const std::uint64_t jobId = m_nextJob++;
        WriteJob& job = m_jobs[jobId];
        job.tag = rq.tag;
        job.channel = c->id;
        job.total = std::uint32_t(w.messages.size());
        for (std::size_t i = 0; i < w.messages.size(); ++i) {
            const Message& m = w.messages[i];
            Filter* fc = c->iso() ? flowControlFor(*c, idOf(m.data), ext[i]) : nullptr;
            if (fc) {
                IsoTx t;
                t.payload.assign(m.data.begin() + 4, m.data.end());
                t.message = m;
                t.pad = (m.txFlags & ISO15765_FRAME_PAD) != 0;
                t.job = jobId;
                fc->queue.push_back(std::move(t));
                ++c->isoQueued;
            } else {
                RawTx t;
                if (c->iso()) {
                    singleFrame(*c, m, ext[i], &t.frame);
                    t.iso = true;
                } else {
                    t.frame = rawFrame(*c, m, ext[i]);
                }
                t.message = m;
                t.job = jobId;
                c->waiting.push_back(std::move(t));
            }
        }
        if (w.timeoutMs == 0) {
            // Answered once queued; the messages go on their own.
            const std::uint32_t n = job.total;
            m_jobs.erase(jobId);
            replyOk(rq, n);
        } else {
            job.timer = m_scheduler.after(Micros(w.timeoutMs) * 1000, [this, jobId] { jobTimedOut(jobId); });
        }
        // Queue first, then start: a transmission may finish synchronously.
        const std::uint32_t channelId = c->id;
        pump(*c);
        if (Channel* again = channel(channelId))
            for (auto& f : again->filters)
                if (f.second->type == FLOW_CONTROL_FILTER)
                    startIso(*again, *f.second);
    }

    void jobTimedOut(std::uint64_t jobId)
    {
        const auto it = m_jobs.find(jobId);
        if (it == m_jobs.end())
            return;
        const WriteJob job = it->second;
        m_jobs.erase(it);
        passthru::Reply r;
        r.request = Type::Write;
        r.status = ERR_TIMEOUT;
        r.value = job.sent; // the only error reply with a field: the library reports it in pNumMsgs
        r.text = std::to_string(job.sent) + " of " + std::to_string(job.total) + " message(s) sent before the timeout";
        m_outbox.pushReply(job.tag, std::move(r));
    }

    void jobProgress(std::uint64_t jobId, bool ok)
    {
        if (jobId == 0)
            return;
        const auto it = m_jobs.find(jobId);
        if (it == m_jobs.end())
            return;
        WriteJob& job = it->second;
        ++job.done;
        if (ok)
            ++job.sent;
        if (job.done < job.total)
            return;
        m_scheduler.cancel(job.timer);
        passthru::Reply r;
        r.request = Type::Write;
        if (job.sent == job.total) {
            r.value = job.sent;
        } else {
            r.status = ERR_FAILED;
            r.text = std::to_string(job.sent) + " of " + std::to_string(job.total)
                + " message(s) sent; the others could not be sent (bus off or transfer failed)";
        }
        const std::uint32_t tag = job.tag;
        m_jobs.erase(it);
        m_outbox.pushReply(tag, std::move(r));
    }

    void failJobs(std::uint32_t channelId, const std::string& why)
    {
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            if (it->second.channel != channelId) {
                ++it;
                continue;
            }
            m_scheduler.cancel(it->second.timer);
            passthru::Reply r;
            r.request = Type::Write;
            r.status = ERR_FAILED;
            r.text = std::to_string(it->second.sent) + " of " + std::to_string(it->second.total) + " message(s) sent; "
                + why;
            m_outbox.pushReply(it->second.tag, std::move(r));
            it = m_jobs.erase(it);
        }
    }

    // Hands waiting frames to the bus, a few at a time, in order.
    void pump(Channel& c)
    {
        while (c.bus && !c.waiting.empty() && c.onBus.size() < kMaxOnBus) {
            RawTx& t = c.waiting.front();
            if (!c.bus->send(c.node, t.frame)) {
                if (c.bus->nodeState(c.node) != vehicle::NodeState::BusOff)
                    return; // the bus's queue is full: go on after the next transmission
                const std::uint64_t job = t.job;
                c.waiting.pop_front();
                jobProgress(job, false);
                continue;
            }
            c.onBus.push_back(std::move(t));
            c.waiting.pop_front();
        }
    }

    void loopbackCopy(Channel& c, const Message& m, Micros at)
    {
        if (!c.loopback)
            return;
        Message copy = m;
        copy.rxStatus = TX_MSG_TYPE | (m.txFlags & CAN_29BIT_ID);
        copy.timestamp = std::uint64_t(at);
        copy.extraDataIndex = std::uint32_t(copy.data.size());
        deliver(c, std::move(copy));
    }

    void txIndication(Channel& c, std::uint32_t id, bool ext, Micros at)
    {
        Message m;
        m.protocolId = c.protocol;
        m.rxStatus = TX_MSG_TYPE | TX_INDICATION | (ext ? CAN_29BIT_ID : 0);
        m.timestamp = std::uint64_t(at);
        putId(m.data, id);
        deliver(c, std::move(m));
    }

    void onTransmitted(Channel& c, const CanFrame& frame, Micros at)
    {
        const auto it
            = std::find_if(c.onBus.begin(), c.onBus.end(), [&](const RawTx& t) { return sameFrame(t.frame, frame); });
        if (it == c.onBus.end()) {
            // A frame of an ISO 15765 transfer.
            for (auto& f : c.filters)
                if (f.second->link && f.second->txId == frame.id && f.second->extended == frame.extended) {
                    f.second->link->onTransmitted(frame, at);
                    break;
                }
            return;
        }
        RawTx t = std::move(*it);
        c.onBus.erase(it);
        if (t.iso)
            txIndication(c, frame.id, frame.extended, at);
        loopbackCopy(c, t.message, at);
        jobProgress(t.job, true);
        pump(c);
    }

    void onState(Channel& c, vehicle::NodeState s)
    {
        c.state = s;
        if (s == vehicle::NodeState::BusOff) {
            // The controller dropped its queue: what was waiting is not sent.
            std::vector<std::uint64_t> jobs;
            for (const RawTx& t : c.onBus)
                jobs.push_back(t.job);
            for (const RawTx& t : c.waiting)
                jobs.push_back(t.job);
            c.onBus.clear();
            c.waiting.clear();
            for (std::uint64_t j : jobs)
                jobProgress(j, false);
        }
        m_outbox.pushBus(c.id, s == vehicle::NodeState::Active ? 0u : s == vehicle::NodeState::ErrorPassive ? 1u : 2u);
    }

    // ---- reception ------------------------------------------------------
    bool idKindAccepted(const Channel& c, bool extended) const
    {
        if (c.flags & CAN_ID_BOTH)
            return true;
        return extended == ((c.flags & CAN_29BIT_ID) != 0);
    }

    static bool matches(const Filter& f, const Message& m)
    {
        if (m.data.size() < f.mask.size())
            return false;
        for (std::size_t i = 0; i < f.mask.size(); ++i)
            if ((m.data[i] & f.mask[i]) != (f.pattern[i] & f.mask[i]))
                return false;
        return true;
    }

    void onReceived(Channel& c, const CanFrame& frame, Micros at)
    {
        if (!idKindAccepted(c, frame.extended) || (frame.fd && !c.fd()))
            return;
        if (c.iso()) {
            for (auto& f : c.filters) {
                Filter& fc = *f.second;
                if (!fc.link || fc.extended != frame.extended || (frame.id & fc.idMask) != (fc.rxId & fc.idMask))
                    continue;
                CanFrame copy = frame;
                copy.id = fc.rxId;
                // BS_TX / STMIN_TX replace what the ECU's flow control asks for.
                if (copy.length >= 3 && (copy.data[0] & 0xF0) == 0x30) {
                    if (c.blockSizeTx != kUnset)
                        copy.data[1] = std::uint8_t(c.blockSizeTx);
                    if (c.stMinTx != kUnset)
                        copy.data[2] = std::uint8_t(c.stMinTx);
                }
                if (fc.link->onFrame(copy, at))
                    return;
            }
            return;
        }
        Message m;
        m.protocolId = c.protocol;
        m.rxStatus = frame.extended ? CAN_29BIT_ID : 0;
        if (c.frameFlags)
            m.rxStatus |= (frame.fd ? CAN_FD_FORMAT : 0) | (frame.brs ? CAN_FD_BRS : 0);
        m.timestamp = std::uint64_t(at);
        putId(m.data, frame.id);
        m.data.insert(m.data.end(), frame.data.begin(), frame.data.begin() + frame.length);
        m.extraDataIndex = std::uint32_t(m.data.size());
        bool pass = false;
        for (const auto& f : c.filters) {
            if (!matches(*f.second, m))
                continue;
            if (f.second->type == BLOCK_FILTER)
                return;
            pass = true;
        }
        if (pass)
            deliver(c, std::move(m));
    }

    // ---- ISO 15765 links --------------------------------------------------
    vehicle::IsoTpConfig linkConfig(const Channel& c, const Filter& f) const
    {
        vehicle::IsoTpConfig k;
        k.txId = f.txId;
        k.rxId = f.rxId;
        k.extended = f.extended;
        k.fd = c.fd();
        k.pad = f.pad;
        k.padValue = std::uint8_t(c.padValue);
        k.blockSize = std::uint8_t(c.blockSize);
        k.stMin = std::uint8_t(c.stMin);
        return k;
    }

    void makeLink(Channel& c, Filter& f)
    {
        if (!c.bus)
            return;
        const std::uint32_t channelId = c.id;
        const std::uint32_t filterId = f.id;
        vehicle::IsoTpLink::Callbacks cb;
        cb.firstFrame = [this, channelId, filterId](std::uint32_t, Micros at) {
            if (Channel* ch = channel(channelId))
                if (Filter* fl = filterOf(*ch, filterId)) {
                    Message m;
                    m.protocolId = ch->protocol;
                    m.rxStatus = START_OF_MESSAGE | (fl->extended ? CAN_29BIT_ID : 0);
                    m.timestamp = std::uint64_t(at);
                    putId(m.data, fl->rxId);
                    deliver(*ch, std::move(m));
                }
        };
        cb.received = [this, channelId, filterId](const std::vector<std::uint8_t>& payload, Micros at) {
            if (Channel* ch = channel(channelId))
                if (Filter* fl = filterOf(*ch, filterId)) {
                    Message m;
                    m.protocolId = ch->protocol;
                    m.rxStatus = fl->extended ? CAN_29BIT_ID : 0;
                    m.timestamp = std::uint64_t(at);
                    if (payload.size() + 4 > passthru::kMaxData)
                        return; // longer than a J2534 message carries: never delivered cut short
                    putId(m.data, fl->rxId);
                    m.data.insert(m.data.end(), payload.begin(), payload.end());
                    m.extraDataIndex = std::uint32_t(m.data.size());
                    deliver(*ch, std::move(m));
                }
        };
        cb.sent = [this, channelId, filterId](vehicle::IsoTpResult result, Micros at) {
            if (Channel* ch = channel(channelId))
                if (Filter* fl = filterOf(*ch, filterId))
                    isoSent(*ch, *fl, result == vehicle::IsoTpResult::Ok, at);
        };
        f.link = std::make_unique<vehicle::IsoTpLink>(m_scheduler, *c.bus, c.node, linkConfig(c, f), std::move(cb));
    }

    Filter* filterOf(Channel& c, std::uint32_t id)
    {
        const auto it = c.filters.find(id);
        return it == c.filters.end() ? nullptr : it->second.get();
    }

    void startIso(Channel& c, Filter& f)
    {
        if (!f.link || f.sending || f.queue.empty())
            return;
        IsoTx& t = f.queue.front();
        vehicle::IsoTpConfig k = linkConfig(c, f);
        k.pad = t.pad;
        f.link->setConfig(k);
        f.sending = true;
        if (!f.link->send(t.payload))
            isoSent(c, f, false, m_scheduler.now());
    }

    void isoSent(Channel& c, Filter& f, bool ok, Micros at)
    {
        if (!f.sending || f.queue.empty())
            return;
        IsoTx t = std::move(f.queue.front());
        f.queue.pop_front();
        f.sending = false;
        --c.isoQueued;
        f.link->setConfig(linkConfig(c, f));
        if (ok) {
            txIndication(c, f.txId, f.extended, at);
            loopbackCopy(c, t.message, at);
        }
        jobProgress(t.job, ok);
        startIso(c, f);
    }

    // ---- periodic messages ------------------------------------------------
    void startPeriodic(const PassThruRequest& rq)
    {
        const auto& p = rq.periodic;
        Channel* c = channel(p.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(p.channel)));
        if (Failure f = checkTraffic(*c))
            return replyFail(rq, f);
        if (p.intervalMs < 5 || p.intervalMs > 65535)
            return replyFail(rq, fail(ERR_INVALID_TIME_INTERVAL, "the interval is 5 to 65535 ms"));
        bool ext = false;
        if (Failure f = checkMessage(*c, p.message, &ext))
            return replyFail(rq, f);
        if (c->periodic.size() >= passthru::kMaxPeriodic)
            return replyFail(rq, fail(ERR_EXCEEDED_LIMIT, "10 periodic messages run on this channel already"));
        Periodic per;
        if (c->iso()) {
            if (!singleFrame(*c, p.message, ext, &per.frame))
                return replyFail(rq, fail(ERR_INVALID_MSG, "a periodic ISO 15765 message must fit in a single frame"));
        } else {
            per.frame = rawFrame(*c, p.message, ext);
        }
        per.id = c->nextPeriodicId++;
        per.message = p.message;
        per.period = Micros(p.intervalMs) * 1000;
        per.next = m_scheduler.now();
        const std::uint32_t channelId = c->id;
        const std::uint32_t msgId = per.id;
        c->periodic.emplace(msgId, std::move(per));
        replyOk(rq, msgId);
        firePeriodic(channelId, msgId);
    }

    void firePeriodic(std::uint32_t channelId, std::uint32_t msgId)
    {
        Channel* c = channel(channelId);
        if (!c)
            return;
        const auto it = c->periodic.find(msgId);
        if (it == c->periodic.end())
            return;
        Periodic& per = it->second;
        // A periodic message goes ahead of queued writes, as on a device where
        // it has its own buffer; one still waiting for the bus is not doubled.
        const bool queued = std::any_of(
            c->waiting.begin(), c->waiting.end(), [msgId](const RawTx& w) { return w.periodic == msgId; });
        if (!queued) {
            RawTx t;
            t.frame = per.frame;
            t.message = per.message;
            t.periodic = msgId;
            c->waiting.push_front(std::move(t));
        }
        per.next += per.period;
        per.timer = m_scheduler.at(per.next, [this, channelId, msgId] { firePeriodic(channelId, msgId); });
        pump(*c);
    }

    void stopPeriodic(const PassThruRequest& rq)
    {
        Channel* c = channel(rq.stop.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(rq.stop.channel)));
        const auto it = c->periodic.find(rq.stop.id);
        if (it == c->periodic.end())
            return replyFail(rq, fail(ERR_INVALID_MSG_ID, "no periodic message " + std::to_string(rq.stop.id)));
        m_scheduler.cancel(it->second.timer);
        c->periodic.erase(it);
        dropQueuedPeriodic(*c, rq.stop.id);
        replyOk(rq);
    }

    void clearPeriodic(Channel& c)
    {
        for (auto& p : c.periodic)
            m_scheduler.cancel(p.second.timer);
        c.periodic.clear();
        dropQueuedPeriodic(c, 0);
    }

    // A stopped periodic message sends nothing more, not even a copy waiting
    // for the bus (0: every periodic message).
    static void dropQueuedPeriodic(Channel& c, std::uint32_t id)
    {
        c.waiting.erase(std::remove_if(c.waiting.begin(), c.waiting.end(),
                            [id](const RawTx& t) { return t.periodic != 0 && (id == 0 || t.periodic == id); }),
            c.waiting.end());
    }

    // ---- filters ------------------------------------------------------------
    void startFilter(const PassThruRequest& rq)
    {
        const auto& r = rq.filter;
        Channel* c = channel(r.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(r.channel)));
        if (c->filters.size() >= passthru::kMaxFilters)
            return replyFail(rq, fail(ERR_EXCEEDED_LIMIT, "10 filters are set on this channel already"));
        if (r.mask.protocolId != c->protocol || r.pattern.protocolId != c->protocol
            || (r.flowControl && r.flowControl->protocolId != c->protocol))
            return replyFail(rq, fail(ERR_MSG_PROTOCOL_ID, "a filter message's protocol is not the channel's"));
        auto f = std::make_unique<Filter>();
        f->type = r.filterType;
        if (r.filterType == PASS_FILTER || r.filterType == BLOCK_FILTER) {
            if (c->iso())
                return replyFail(rq,
                    fail(ERR_NOT_SUPPORTED,
                        "an ISO 15765 channel receives through flow-control filters; use a CAN channel for raw "
                        "frames"));
            if (r.flowControl)
                return replyFail(rq, fail(ERR_INVALID_MSG, "pass and block filters take no flow-control message"));
            if (r.mask.data.empty() || r.mask.data.size() > 12 || r.mask.data.size() != r.pattern.data.size())
                return replyFail(rq, fail(ERR_INVALID_MSG, "mask and pattern must have the same size, 1 to 12 bytes"));
            f->mask = r.mask.data;
            f->pattern = r.pattern.data;
        } else if (r.filterType == FLOW_CONTROL_FILTER) {
            if (!c->iso())
                return replyFail(rq, fail(ERR_INVALID_MSG, "flow-control filters belong to ISO 15765 channels"));
            if (!r.flowControl)
                return replyFail(rq, fail(ERR_NULL_PARAMETER, "a flow-control filter needs a flow-control message"));
            const Message& fcm = *r.flowControl;
            if ((r.mask.txFlags | r.pattern.txFlags | fcm.txFlags) & ISO15765_ADDR_TYPE)
                return replyFail(
                    rq, fail(ERR_NOT_SUPPORTED, "extended addressing (ISO15765_ADDR_TYPE) is not supported"));
            if (r.mask.data.size() != 4 || r.pattern.data.size() != 4 || fcm.data.size() != 4)
                return replyFail(
                    rq, fail(ERR_INVALID_MSG, "mask, pattern and flow-control messages are 4-byte identifiers"));
            f->extended = (fcm.txFlags & CAN_29BIT_ID) != 0;
            if (!(c->flags & CAN_ID_BOTH) && f->extended != ((c->flags & CAN_29BIT_ID) != 0))
                return replyFail(
                    rq, fail(ERR_INVALID_MSG, "the filter's CAN_29BIT_ID flag does not match the channel's"));
            f->idMask = idOf(r.mask.data);
            f->rxId = idOf(r.pattern.data) & f->idMask;
            f->txId = idOf(fcm.data);
            f->pad = (fcm.txFlags & ISO15765_FRAME_PAD) != 0;
            const std::uint32_t limit = f->extended ? 0x1FFFFFFFu : 0x7FFu;
            if (f->rxId > limit || f->txId > limit)
                return replyFail(rq, fail(ERR_INVALID_MSG, "identifier too large for its kind"));
            for (const auto& o : c->filters)
                if (o.second->extended == f->extended && (o.second->rxId == f->rxId || o.second->txId == f->txId))
                    return replyFail(
                        rq, fail(ERR_NOT_UNIQUE, "another flow-control filter has that pattern or flow-control id"));
        } else {
            return replyFail(rq, fail(ERR_FAILED, "unknown filter type " + std::to_string(r.filterType)));
        }
        const std::uint32_t filterId = c->nextFilterId++;
        f->id = filterId;
        Filter& added = *f;
        c->filters.emplace(filterId, std::move(f));
        if (added.type == FLOW_CONTROL_FILTER)
            makeLink(*c, added);
        replyOk(rq, added.id);
    }

    void dropFilter(Channel& c, std::uint32_t id)
    {
        const auto it = c.filters.find(id);
        Filter& f = *it->second;
        std::vector<std::uint64_t> jobs;
        for (const IsoTx& t : f.queue)
            jobs.push_back(t.job);
        c.isoQueued -= f.queue.size();
        f.queue.clear();
        f.sending = false;
        if (f.link)
            f.link->abort();
        c.filters.erase(it); // the link goes with it
        for (std::uint64_t j : jobs)
            jobProgress(j, false);
    }

    void stopFilter(const PassThruRequest& rq)
    {
        Channel* c = channel(rq.stop.channel);
        if (!c)
            return replyFail(rq, fail(ERR_INVALID_CHANNEL_ID, "no channel " + std::to_string(rq.stop.channel)));
        if (!c->filters.count(rq.stop.id))
            return replyFail(rq, fail(ERR_INVALID_FILTER_ID, "no filter " + std::to_string(rq.stop.id)));
        dropFilter(*c, rq.stop.id);
        replyOk(rq);
    }

    // ---- ioctl ----------------------------------------------------------------
    Failure getParameter(const Channel& c, std::uint32_t p, std::uint32_t* v) const
    {
        switch (p) {
        case DATA_RATE:
            *v = c.bitrate;
            return {};
        case LOOPBACK:
            *v = c.loopback ? 1 : 0;
            return {};
        case BIT_SAMPLE_POINT:
            *v = c.bitSamplePoint;
            return {};
        case SYNC_JUMP_WIDTH:
            *v = c.syncJumpWidth;
            return {};
        case J1962_PINS:
            if (!c.pinSelectable())
                break;
            *v = c.pinsValue;
            return {};
        case FD_CAN_DATA_PHASE_RATE:
            if (!c.fd())
                break;
            *v = c.dataRate;
            return {};
        case FD_CAN_FRAME_FLAGS:
            if (!c.fd() || c.iso())
                break;
            *v = c.frameFlags ? 1 : 0;
            return {};
        default:
            break;
        }
        if (c.iso()) {
            switch (p) {
            case ISO15765_BS:
                *v = c.blockSize;
                return {};
            case ISO15765_STMIN:
                *v = c.stMin;
                return {};
            case BS_TX:
                *v = c.blockSizeTx;
                return {};
            case STMIN_TX:
                *v = c.stMinTx;
                return {};
            case ISO15765_WFT_MAX:
                *v = c.wftMax;
                return {};
            case ISO15765_PAD_VALUE:
                *v = c.padValue;
                return {};
            default:
                break;
            }
        }
        return fail(ERR_NOT_SUPPORTED,
            "parameter " + std::to_string(p) + " is not supported on a " + protocolName(c.protocol) + " channel");
    }

    // Checks one SET_CONFIG pair against the channel without changing anything.
    Failure checkParameter(const Channel& c, const passthru::ConfigPair& pair) const
    {
        std::uint32_t current = 0;
        if (Failure f = getParameter(c, pair.parameter, &current))
            return f;
        const std::uint32_t v = pair.value;
        const auto bad = [&](const std::string& what) {
            return fail(ERR_INVALID_IOCTL_VALUE,
                "value " + std::to_string(v) + " for parameter " + std::to_string(pair.parameter) + ": " + what);
        };
        switch (pair.parameter) {
        case DATA_RATE:
            if (!standardBitrate(v))
                return fail(ERR_INVALID_BAUDRATE, std::to_string(v) + " bit/s is not a CAN rate");
            return {};
        case LOOPBACK:
            return v <= 1 ? Failure{} : bad("0 or 1");
        case BIT_SAMPLE_POINT:
        case SYNC_JUMP_WIDTH:
            return v <= 100 ? Failure{} : bad("a percentage");
        case J1962_PINS:
            if (v != kPins614 && v != kPins311)
                return fail(ERR_PIN_INVALID, "pins 0x060E (6/14) or 0x030B (3/11) carry CAN");
            if (c.pinsValue != 0 && c.pinsValue != v)
                return fail(ERR_PIN_INVALID, "the channel's pins are chosen already; disconnect to change them");
            return busConflict(c, v);
        case FD_CAN_DATA_PHASE_RATE:
            return standardDataRate(v) ? Failure{}
                                       : fail(ERR_INVALID_BAUDRATE, "the data phase runs at 1, 2, 4 or 5 Mbit/s");
        case FD_CAN_FRAME_FLAGS:
            return v <= 1 ? Failure{} : bad("0 or 1");
        case ISO15765_BS:
        case ISO15765_WFT_MAX:
        case ISO15765_PAD_VALUE:
            return v <= 0xFF ? Failure{} : bad("0 to 255");
        case ISO15765_STMIN:
            return validStMin(v) ? Failure{} : bad("0-0x7F ms or 0xF1-0xF9 (100-900 us)");
        case BS_TX:
            return v <= 0xFF || v == kUnset ? Failure{} : bad("0 to 255, or 0xFFFF");
        case STMIN_TX:
            return validStMin(v) || v == kUnset ? Failure{} : bad("0-0x7F, 0xF1-0xF9, or 0xFFFF");
        default:
            return {};
        }
    }

    Failure applyParameter(Channel& c, const passthru::ConfigPair& pair)
    {
        const std::uint32_t v = pair.value;
        bool relink = false;
        switch (pair.parameter) {
        case DATA_RATE:
            c.bitrate = v;
            if (c.bus)
                c.bus->setNodeRate(c.node, c.rate());
            break;
        case LOOPBACK:
            c.loopback = v != 0;
            break;
        case BIT_SAMPLE_POINT:
            c.bitSamplePoint = v;
            break;
        case SYNC_JUMP_WIDTH:
            c.syncJumpWidth = v;
            break;
        case J1962_PINS:
            if (c.pinsValue == v)
                break;
            c.pinsValue = v;
            if (Failure f = attach(c, v == kPins614 ? Pins::P6_14 : Pins::P3_11)) {
                c.pinsValue = 0;
                return f;
            }
            break;
        case FD_CAN_DATA_PHASE_RATE:
            c.dataRate = v;
            if (c.bus)
                c.bus->setNodeRate(c.node, c.rate());
            break;
        case FD_CAN_FRAME_FLAGS:
            c.frameFlags = v == 1;
            break;
        case ISO15765_BS:
            c.blockSize = v;
            relink = true;
            break;
        case ISO15765_STMIN:
            c.stMin = v;
            relink = true;
            break;
        case BS_TX:
            c.blockSizeTx = v;
            break;
        case STMIN_TX:
            c.stMinTx = v;
            break;
        case ISO15765_WFT_MAX:
            c.wftMax = v;
            break; // the adapter never sends wait frames
        case ISO15765_PAD_VALUE:
            c.padValue = v;
            relink = true;
            break;
        default:
            break;
        }
        if (relink)
            for (auto& f : c.filters)
                if (f.second->link && !f.second->sending)
                    f.second->link->setConfig(linkConfig(c, *f.second));
        return {};
    }

    void ioctl(const PassThruRequest& rq, const Device& device)
    {
        const auto& r = rq.ioctl;
        const std::uint32_t id = r.ioctlId;
        if (id == READ_VBATT) {
            passthru::Reply out;
            out.pairs.push_back({0, device.supplyMv});
            return reply(rq, std::move(out));
        }
        if (id == READ_PROG_VOLTAGE || id == FIVE_BAUD_INIT || id == FAST_INIT || id == CLEAR_FUNCT_MSG_LOOKUP_TABLE
            || id == ADD_TO_FUNCT_MSG_LOOKUP_TABLE || id == DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE)
            return replyFail(rq, fail(ERR_NOT_SUPPORTED, "the adapter has no programming voltage, K-line or J1850"));
        if (id != GET_CONFIG && id != SET_CONFIG && id != CLEAR_TX_BUFFER && id != CLEAR_RX_BUFFER
            && id != CLEAR_PERIODIC_MSGS && id != CLEAR_MSG_FILTERS)
            return replyFail(rq, fail(ERR_INVALID_IOCTL_ID, "unknown ioctl " + std::to_string(id)));
        Channel* c = channel(r.channel);
        if (!c)
            return replyFail(rq,
                fail(ERR_INVALID_CHANNEL_ID,
                    r.channel == 0 ? std::string("this ioctl needs a channel")
                                   : "no channel " + std::to_string(r.channel)));
        switch (id) {
        case GET_CONFIG: {
            passthru::Reply out;
            for (const auto& pair : r.pairs) {
                std::uint32_t v = 0;
                if (Failure f = getParameter(*c, pair.parameter, &v))
                    return replyFail(rq, f);
                out.pairs.push_back({pair.parameter, v});
            }
            return reply(rq, std::move(out));
        }
        case SET_CONFIG:
            for (const auto& pair : r.pairs)
                if (Failure f = checkParameter(*c, pair))
                    return replyFail(rq, f);
            for (const auto& pair : r.pairs)
                if (Failure f = applyParameter(*c, pair))
                    return replyFail(rq, f);
            return replyOk(rq);
        case CLEAR_TX_BUFFER: {
            std::vector<std::uint64_t> jobs;
            for (const RawTx& t : c->waiting)
                jobs.push_back(t.job);
            c->waiting.clear();
            for (const RawTx& t : c->onBus)
                jobs.push_back(t.job);
            c->onBus.clear();
            if (c->bus)
                c->bus->clearQueue(c->node);
            for (auto& f : c->filters) {
                Filter& fl = *f.second;
                for (const IsoTx& t : fl.queue)
                    jobs.push_back(t.job);
                fl.queue.clear();
                const bool wasSending = fl.sending;
                fl.sending = false;
                if (fl.link && wasSending)
                    fl.link->abort();
            }
            c->isoQueued = 0;
            for (std::uint64_t j : jobs)
                jobProgress(j, false);
            return replyOk(rq);
        }
        case CLEAR_RX_BUFFER:
            m_outbox.clearChannel(c->id);
            return replyOk(rq);
        case CLEAR_PERIODIC_MSGS:
            clearPeriodic(*c);
            return replyOk(rq);
        case CLEAR_MSG_FILTERS: {
            std::vector<std::uint32_t> ids;
            for (const auto& f : c->filters)
                ids.push_back(f.first);
            for (std::uint32_t f : ids)
                dropFilter(*c, f);
            return replyOk(rq);
        }
        default:
            return replyFail(rq, fail(ERR_INVALID_IOCTL_ID, "unknown ioctl"));
        }
    }

    std::string dumpJson() const
    {
        std::string s = "{\"open\":" + std::string(m_open ? "true" : "false") + ",\"client\":" + jsonString(m_client)
            + ",\"channels\":[";
        bool first = true;
        for (const auto& e : m_channels) {
            const Channel& c = *e.second;
            if (!first)
                s += ',';
            first = false;
            const char* state = c.state == vehicle::NodeState::Active ? "active"
                : c.state == vehicle::NodeState::ErrorPassive         ? "error passive"
                                                                      : "bus off";
            s += "{\"id\":" + std::to_string(c.id) + ",\"protocol\":\"" + protocolName(c.protocol) + "\",\"pins\":\""
                + (c.pins() == kPins614        ? "6/14"
                        : c.pins() == kPins311 ? "3/11"
                                               : "none")
                + "\",\"bitrate\":" + std::to_string(c.bitrate)
                + (c.fd() ? ",\"dataRate\":" + std::to_string(c.dataRate) : "") + ",\"loopback\":"
                + (c.loopback ? "true" : "false") + ",\"filters\":" + std::to_string(c.filters.size())
                + ",\"periodic\":" + std::to_string(c.periodic.size()) + ",\"txQueued\":" + std::to_string(c.txQueued())
                + ",\"state\":\"" + (c.bus ? state : "off bus") + "\"}";
        }
        return s + "]}";
    }
};

PassThruSession::PassThruSession(vehicle::Scheduler& scheduler, BusProvider buses, PassThruOutbox& outbox)
    : m_impl(std::make_unique<Impl>(scheduler, std::move(buses), outbox))
{
}

PassThruSession::~PassThruSession() = default;

void PassThruSession::handle(const PassThruRequest& request, const Device& device)
{
    m_impl->handle(request, device);
}

bool PassThruSession::opened() const
{
    return m_impl->m_open;
}

std::size_t PassThruSession::channelCount() const
{
    return m_impl->m_channels.size();
}

std::string PassThruSession::dumpJson() const
{
    return m_impl->dumpJson();
}

} // namespace vciemu
