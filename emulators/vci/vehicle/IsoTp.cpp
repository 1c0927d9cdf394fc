#include "IsoTp.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace vehicle {

namespace {

enum class Tx { Idle, SingleSent, FirstSent, WaitFc, CfSent, Pause };

constexpr Micros kNAs = 1000000; // a frame handed to the bus must leave it within this

enum : std::uint8_t { PciSingle = 0, PciFirst = 1, PciConsecutive = 2, PciFlow = 3 };
enum : std::uint8_t { FsContinue = 0, FsWait = 1, FsOverflow = 2 };

bool sameFrame(const CanFrame& a, const CanFrame& b)
{
    return a.id == b.id && a.extended == b.extended && a.fd == b.fd && a.length == b.length
        && std::equal(a.data.begin(), a.data.begin() + a.length, b.data.begin());
}

} // namespace

Micros IsoTpLink::stMinMicros(std::uint8_t stMin)
{
    if (stMin <= 0x7F)
        return Micros(stMin) * 1000;
    if (stMin >= 0xF1 && stMin <= 0xF9)
        return Micros(stMin - 0xF0) * 100;
    return 127000;
}

struct IsoTpLink::Impl {
    Scheduler& scheduler;
    CanBus& bus;
    CanBus::NodeId node;
    IsoTpConfig config;
    Callbacks callbacks;

    // Sending.
    Tx tx = Tx::Idle;
    std::vector<std::uint8_t> txData;
    std::size_t txPos = 0;
    std::uint8_t txSn = 0;
    std::uint8_t txBlockSize = 0;
    std::uint32_t txInBlock = 0;
    Micros txStMin = 0;
    std::optional<CanFrame> pending; // our frame on its way to the bus
    Scheduler::TimerId txTimer = 0;  // N_Bs or STmin
    Scheduler::TimerId asTimer = 0;  // N_As

    // Receiving.
    bool rx = false;
    std::vector<std::uint8_t> rxData;
    std::uint32_t rxExpected = 0;
    std::uint8_t rxSn = 0;
    std::uint32_t rxInBlock = 0;
    Scheduler::TimerId rxTimer = 0; // N_Cr

    Impl(Scheduler& s, CanBus& b, CanBus::NodeId n, IsoTpConfig c, Callbacks cb)
        : scheduler(s)
        , bus(b)
        , node(n)
        , config(c)
        , callbacks(std::move(cb))
    {
    }

    std::size_t txDl() const { return config.fd ? 64 : 8; }
    std::uint32_t maxMessage() const { return config.fd ? kMaxFdMessage : kMaxClassicMessage; }

    void cancel(Scheduler::TimerId& id)
    {
        if (id) {
            scheduler.cancel(id);
            id = 0;
        }
    }

    CanFrame makeFrame(const std::uint8_t* bytes, std::size_t n) const
    {
        CanFrame f;
        f.id = config.txId;
        f.extended = config.extended;
        f.fd = config.fd;
        f.brs = config.fd && config.brs;
        n = std::min(n, txDl());
        std::size_t length = n;
        if (config.fd)
            length = (config.pad && n < 8) ? 8 : fdLengthFor(n); // FD lengths above 8 are padded anyway
        else if (config.pad)
            length = 8;
        length = std::max(length, n);
        f.length = std::uint8_t(length);
        for (std::size_t i = 0; i < length; ++i)
            f.data[i] = i < n ? bytes[i] : config.padValue;
        return f;
    }

    bool put(const CanFrame& f) { return bus.send(node, f); }

    // Sends one of our frames whose confirmation drives the next step;
    // false when the bus refuses it (bus-off, queue full).
    bool putTracked(const CanFrame& f)
    {
        if (!put(f))
            return false;
        pending = f;
        cancel(asTimer);
        asTimer = scheduler.after(kNAs, [this] {
            asTimer = 0;
            finishTx(bus.nodeState(node) == NodeState::BusOff ? IsoTpResult::BusOff : IsoTpResult::Aborted);
        });
        return true;
    }

    // The first frame of a message: refused at once, without callbacks,
    // when the bus does not take it.
    bool start(const CanFrame& f, Tx state)
    {
        tx = state;
        if (putTracked(f))
            return true;
        tx = Tx::Idle;
        txData.clear();
        return false;
    }

    void sendFlow(std::uint8_t status)
    {
        const std::uint8_t fc[3] = {std::uint8_t(0x30 | status), config.blockSize, config.stMin};
        put(makeFrame(fc, 3));
    }

    void finishTx(IsoTpResult result)
    {
        cancel(txTimer);
        cancel(asTimer);
        pending.reset();
        tx = Tx::Idle;
        txData.clear();
        if (callbacks.sent)
            callbacks.sent(result, scheduler.now());
    }

    void failRx(IsoTpResult result)
    {
        rx = false;
        rxData.clear();
        cancel(rxTimer);
        if (callbacks.receiveFailed)
            callbacks.receiveFailed(result, scheduler.now());
    }

    bool send(const std::vector<std::uint8_t>& payload)
    {
        if (tx != Tx::Idle || payload.empty() || payload.size() > maxMessage())
            return false;
        txData = payload;
        txPos = 0;
        std::uint8_t buf[64];
        const std::size_t n = payload.size();
        if (n <= 7 && (n + 1 <= txDl())) {
            buf[0] = std::uint8_t(n);
            std::copy(payload.begin(), payload.end(), buf + 1);
            return start(makeFrame(buf, n + 1), Tx::SingleSent);
        }
        if (config.fd && n <= txDl() - 2) {
            buf[0] = 0;
            buf[1] = std::uint8_t(n);
            std::copy(payload.begin(), payload.end(), buf + 2);
            return start(makeFrame(buf, n + 2), Tx::SingleSent);
        }
        std::size_t header;
        if (n <= 4095) {
            buf[0] = std::uint8_t(0x10 | (n >> 8));
            buf[1] = std::uint8_t(n & 0xFF);
            header = 2;
        } else {
            buf[0] = 0x10;
            buf[1] = 0;
            buf[2] = std::uint8_t(n >> 24);
            buf[3] = std::uint8_t(n >> 16);
            buf[4] = std::uint8_t(n >> 8);
            buf[5] = std::uint8_t(n);
            header = 6;
        }
        const std::size_t chunk = txDl() - header;
        std::copy(payload.begin(), payload.begin() + long(chunk), buf + header);
        txPos = chunk;
        txSn = 1;
        return start(makeFrame(buf, txDl()), Tx::FirstSent);
    }

    void waitForFlow()
    {
        tx = Tx::WaitFc;
        cancel(txTimer);
        txTimer = scheduler.after(config.nBs, [this] {
            txTimer = 0;
            finishTx(IsoTpResult::TimeoutBs);
        });
    }

    void sendNextCf()
    {
        std::uint8_t buf[64];
        buf[0] = std::uint8_t(0x20 | txSn);
        const std::size_t n = std::min(txDl() - 1, txData.size() - txPos);
        std::copy(txData.begin() + long(txPos), txData.begin() + long(txPos + n), buf + 1);
        txPos += n;
        txSn = std::uint8_t((txSn + 1) & 0x0F);
        ++txInBlock;
        tx = Tx::CfSent;
        if (!putTracked(makeFrame(buf, n + 1)))
            finishTx(IsoTpResult::BusOff);
    }

    void onTransmitted(const CanFrame& f, Micros at)
    {
        if (!pending || !sameFrame(*pending, f))
            return;
        pending.reset();
        cancel(asTimer);
        switch (tx) {
        case Tx::SingleSent:
            tx = Tx::Idle;
            txData.clear();
            if (callbacks.sent)
                callbacks.sent(IsoTpResult::Ok, at);
            return;
        case Tx::FirstSent:
            waitForFlow();
            return;
        case Tx::CfSent:
            if (txPos >= txData.size()) {
                tx = Tx::Idle;
                txData.clear();
                if (callbacks.sent)
                    callbacks.sent(IsoTpResult::Ok, at);
                return;
            }
            if (txBlockSize && txInBlock >= txBlockSize) {
                waitForFlow();
                return;
            }
            if (txStMin == 0) {
                sendNextCf();
                return;
            }
            tx = Tx::Pause;
            txTimer = scheduler.at(at + txStMin, [this] {
                txTimer = 0;
                sendNextCf();
            });
            return;
        default:
            return;
        }
    }

    void onFlow(const CanFrame& f)
    {
        if (tx != Tx::WaitFc || f.length < 3)
            return;
        switch (f.data[0] & 0x0F) {
        case FsContinue:
            cancel(txTimer);
            txBlockSize = f.data[1];
            txStMin = stMinMicros(f.data[2]);
            txInBlock = 0;
            sendNextCf();
            return;
        case FsWait:
            waitForFlow();
            return;
        case FsOverflow:
            finishTx(IsoTpResult::Overflow);
            return;
        default:
            finishTx(IsoTpResult::Aborted); // invalid flow status
            return;
        }
    }

    void onSingle(const CanFrame& f, Micros at)
    {
        std::size_t len = f.data[0] & 0x0F;
        std::size_t offset = 1;
        if (len == 0) {
            // Escaped length, only in frames longer than 8 bytes.
            if (f.length <= 8 || f.length < 2)
                return;
            len = f.data[1];
            offset = 2;
            if (len < 8 || len > std::size_t(f.length) - 2)
                return;
        } else if (len > 7 || len > std::size_t(f.length) - 1) {
            return;
        }
        if (rx)
            failRx(IsoTpResult::Aborted); // a new message replaces the one in progress
        const std::vector<std::uint8_t> message(f.data.begin() + long(offset), f.data.begin() + long(offset + len));
        if (callbacks.received)
            callbacks.received(message, at);
    }

    void onFirst(const CanFrame& f, Micros at)
    {
        if (f.length < 8)
            return;
        std::uint32_t len = std::uint32_t((f.data[0] & 0x0F) << 8) | f.data[1];
        std::size_t header = 2;
        if (len == 0) {
            if (!config.fd && !f.fd)
                return;
            len = std::uint32_t(f.data[2]) << 24 | std::uint32_t(f.data[3]) << 16 | std::uint32_t(f.data[4]) << 8
                | f.data[5];
            header = 6;
            if (len <= 4095)
                return;
        }
        const std::uint32_t minimum = f.length > 8 ? f.length - 1u : 8u;
        if (len < minimum)
            return;
        if (rx)
            failRx(IsoTpResult::Aborted); // restarted by the new first frame
        if (len > maxMessage()) {
            sendFlow(FsOverflow);
            return;
        }
        rx = true;
        rxExpected = len;
        rxData.assign(f.data.begin() + long(header), f.data.begin() + f.length);
        rxSn = 1;
        rxInBlock = 0;
        sendFlow(FsContinue);
        armCr();
        if (callbacks.firstFrame)
            callbacks.firstFrame(len, at);
    }

    void armCr()
    {
        cancel(rxTimer);
        rxTimer = scheduler.after(config.nCr, [this] {
            rxTimer = 0;
            failRx(IsoTpResult::TimeoutCr);
        });
    }

    void onConsecutive(const CanFrame& f, Micros at)
    {
        if (!rx)
            return;
        if ((f.data[0] & 0x0F) != rxSn) {
            failRx(IsoTpResult::WrongSequence);
            return;
        }
        const std::size_t n = std::min<std::size_t>(rxExpected - rxData.size(), std::size_t(f.length) - 1);
        rxData.insert(rxData.end(), f.data.begin() + 1, f.data.begin() + 1 + long(n));
        rxSn = std::uint8_t((rxSn + 1) & 0x0F);
        if (rxData.size() >= rxExpected) {
            rx = false;
            cancel(rxTimer);
            std::vector<std::uint8_t> message;
            message.swap(rxData);
            if (callbacks.received)
                callbacks.received(message, at);
            return;
        }
        if (config.blockSize && ++rxInBlock >= config.blockSize) {
            rxInBlock = 0;
            sendFlow(FsContinue);
        }
        armCr();
    }
};

IsoTpLink::IsoTpLink(Scheduler& scheduler, CanBus& bus, CanBus::NodeId node, IsoTpConfig config, Callbacks callbacks)
    : m_impl(new Impl(scheduler, bus, node, config, std::move(callbacks)))
{
}

IsoTpLink::~IsoTpLink()
{
    m_impl->cancel(m_impl->txTimer);
    m_impl->cancel(m_impl->asTimer);
    m_impl->cancel(m_impl->rxTimer);
    delete m_impl;
}

void IsoTpLink::setConfig(const IsoTpConfig& config)
{
    m_impl->config = config;
}

const IsoTpConfig& IsoTpLink::config() const
{
    return m_impl->config;
}

bool IsoTpLink::send(const std::vector<std::uint8_t>& payload)
{
    return m_impl->send(payload);
}

bool IsoTpLink::busy() const
{
    return m_impl->tx != Tx::Idle;
}

bool IsoTpLink::receiving() const
{
    return m_impl->rx;
}

void IsoTpLink::abort()
{
    m_impl->cancel(m_impl->txTimer);
    m_impl->cancel(m_impl->asTimer);
    m_impl->cancel(m_impl->rxTimer);
    m_impl->pending.reset();
    m_impl->tx = Tx::Idle;
    m_impl->txData.clear();
    m_impl->rx = false;
    m_impl->rxData.clear();
}

bool IsoTpLink::onFrame(const CanFrame& frame, Micros at)
{
    if (frame.id != m_impl->config.rxId || frame.extended != m_impl->config.extended)
        return false;
    if (frame.length == 0)
        return true;
    switch (frame.data[0] >> 4) {
    case PciSingle:
        m_impl->onSingle(frame, at);
        break;
    case PciFirst:
        m_impl->onFirst(frame, at);
        break;
    case PciConsecutive:
        m_impl->onConsecutive(frame, at);
        break;
    case PciFlow:
        m_impl->onFlow(frame);
        break;
    default:
        break;
    }
    return true;
}

void IsoTpLink::onTransmitted(const CanFrame& frame, Micros at)
{
    m_impl->onTransmitted(frame, at);
}

} // namespace vehicle
