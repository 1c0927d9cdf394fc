// RemotePro: the B-end of a device-control session. The local adapter's CAN
// buses (through the registered J2534 library) are bridged frame by frame to
// the same buses of the C-end adapter through the relay. One object per
// process (CreateRemotePro), one session at a time.
#include "remote/RemoteProApi.h"

#include "PassThruBus.h"
#include "SessionSupport.h"
#include "remote/Bridge.h"
#include "remote/Link.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace remote;

struct Pro : BwRemotePro {
    std::mutex mutex; // one operation at a time; guards the members below
    bus::PassThru passThru;
    std::shared_ptr<bus::Buses> buses;
    std::shared_ptr<Link> link;
    std::thread thread;
    std::atomic<bool> alive{false};
    std::atomic<std::uint64_t> bytesB{0};
    std::atomic<std::uint64_t> bytesC{0};
    // Why the session ended (slot 6's state once it is not alive).
    std::atomic<std::int32_t> endState{BW_PRO_DISCONNECTED};
    // Frames the C-end reports it dropped, per bus (its BUS_STATUS).
    std::atomic<std::uint32_t> partnerDrops[kBusCount] = {};
    std::mutex textMutex;                  // guards the texts, pollLink and pollBuses
    std::shared_ptr<bus::Buses> pollBuses; // the local drop counts are read from
    std::shared_ptr<Link> pollLink;        // the link the figures are read from
    std::string stateText = "idle";
    std::string peerText;

    void setState(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(textMutex);
        stateText = text;
    }
    // Ends the session from a reader or the link's thread: END with `why`
    // to the C-end, and the link stops (its thread then closes the buses).
    // The first reason wins.
    void fail(const std::shared_ptr<Link>& l, std::int32_t state, const std::string& why)
    {
        std::int32_t expected = BW_PRO_DISCONNECTED;
        if (endState.compare_exchange_strong(expected, state))
            setState(why);
        l->send(encodeEnd(EndMsg{EndReason::Closing, why}));
        l->stop();
    }
    // Ends the session and closes the local buses.
    void endLocked()
    {
        // The link's thread closes the buses when the link ends; once it is
        // joined they are closed again here in case it never ran.
        if (link) {
            link->send(encodeEnd(EndMsg{EndReason::Closing, "B-end ended the session"}));
            link->stop();
        }
        if (thread.joinable())
            thread.join();
        if (buses)
            buses->closeAll();
        {
            std::lock_guard<std::mutex> lock(textMutex);
            pollLink.reset();
            pollBuses.reset();
        }
        link.reset();
        buses.reset();
        alive = false;
    }
};

Pro& self(BwRemotePro* p)
{
    return *static_cast<Pro*>(p);
}

int32_t proVersion(BwRemotePro*)
{
    return 1;
}

int32_t proConnect(BwRemotePro* p, const char* relay, const char* sn, const char* tag, int32_t code)
{
    (void)tag;
    Pro& pro = self(p);
    std::lock_guard<std::mutex> lock(pro.mutex);
    pro.endLocked();
    // A new attempt: the last session's reason for ending is not this one's.
    pro.endState = BW_PRO_DISCONNECTED;
    std::string error;
    if (!pro.passThru.load(&error)) {
        pro.setState("no J2534 library");
        return BW_PRO_NO_PASSTHRU;
    }
    if (!relay || !sn || !net::isIpv4(relay) || !validSerial(sn) || code < 0 || code > static_cast<int>(kMaxCode))
        return BW_PRO_TIMEOUT;
    std::unique_ptr<Channel> channel = session::connectRelay(relay, &error, nullptr);
    if (!channel) {
        pro.setState("relay unreachable");
        return BW_PRO_UNREACHABLE;
    }
    FrameReader reader;
    Frame frame;
    AckMsg ack;
    const ControlConnectMsg hello{sn, static_cast<std::uint32_t>(code), session::selectedAdapterSerial()};
    if (!channel->writeAll(encodeControlConnect(hello), session::kAnswerTimeoutMs)
        || !readFrame(*channel, reader, frame, session::kAnswerTimeoutMs, &error, nullptr)
        || frame.type != Type::ConnectAck || !parseAck(frame, ack, &error)) {
        pro.setState("no answer from the relay");
        return BW_PRO_TIMEOUT;
    }
    switch (ack.status) {
    case kStatusOk:
        break;
    case kStatusOffline:
        pro.setState("partner not online");
        return BW_PRO_VCI_OFFLINE;
    case kStatusWrongCode:
        pro.setState("code refused");
        return BW_PRO_WRONG_CODE;
    default:
        pro.setState(ack.text);
        return BW_PRO_TIMEOUT;
    }
    // The partner accepted; the local adapter must be usable too, else the
    // session ends at once (the caller keeps its object and says so).
    auto buses = std::make_shared<bus::Buses>(pro.passThru);
    if (buses->openDevice(std::string()) != 0) {
        channel->writeAll(encodeEnd(EndMsg{EndReason::Closing, "B-end adapter not available"}), 500);
        pro.setState("local adapter not available");
        return BW_PRO_NO_PASSTHRU;
    }
    auto link = std::make_shared<Link>(std::move(channel), LinkOptions{});
    link->adoptReader(std::move(reader));
    pro.bytesB = 0;
    pro.bytesC = 0;
    pro.endState = BW_PRO_DISCONNECTED;
    for (auto& d : pro.partnerDrops)
        d = 0;
    {
        std::lock_guard<std::mutex> texts(pro.textMutex);
        pro.stateText = "connected";
        pro.peerText = ack.text;
        pro.pollLink = link;
        pro.pollBuses = buses;
    }
    pro.buses = std::move(buses);
    pro.link = link;
    pro.alive = true;
    bus::Buses* local = pro.buses.get();
    pro.thread = std::thread([&pro, link, local] {
        link->run([&pro, local, &link](const Frame& f) {
            if (f.type == Type::CanFrame) {
                CanFrameMsg m;
                if (!parseCanFrame(f, m, nullptr))
                    return false;
                pro.bytesC += f.payload.size() + 1;
                local->post(m); // a frame the bus cannot take is counted there
                return true;
            }
            if (f.type == Type::BusStatus) {
                BusStatusMsg m;
                if (!parseBusStatus(f, m, nullptr))
                    return false;
                pro.partnerDrops[m.bus] = m.drops;
                if (m.status == kBusOpen)
                    return true;
                // The C-end's bus is gone or was never opened: its car is not
                // reached any more, so the session ends on both sides.
                std::uint32_t a = 0, b = 0;
                busPins(m.bus, a, b);
                const std::string pins = std::to_string(a) + "/" + std::to_string(b);
                if (m.status != kBusRefused && m.status != ERR_INVALID_BAUDRATE)
                    pro.fail(link, BW_PRO_ENDED_REMOTE_ADAPTER,
                        "C-end adapter lost on pins " + pins
                            + (m.status > 0 ? " (J2534 error " + std::to_string(m.status) + ")" : std::string()));
                else
                    pro.fail(link, BW_PRO_ENDED_REMOTE_RATE,
                        "C-end adapter refused pins " + pins + " (J2534 error " + std::to_string(m.status) + ")");
                return true; // the link stops on its own
            }
            if (f.type == Type::End) {
                EndMsg end;
                if (parseEnd(f, end, nullptr))
                    pro.setState("ended: " + end.text); // by the C-end or the relay
            }
            return false; // END or anything else ends the session
        });
        // The partner or the relay is gone: the local buses stop at once.
        local->closeAll();
        pro.alive = false;
        if (pro.endState == BW_PRO_DISCONNECTED) {
            std::lock_guard<std::mutex> texts(pro.textMutex);
            if (pro.stateText.rfind("ended: ", 0) != 0)
                pro.stateText = "disconnected: " + link->endText();
        }
    });
    return BW_PRO_CONNECTED;
}

void proDisconnect(BwRemotePro* p)
{
    Pro& pro = self(p);
    std::lock_guard<std::mutex> lock(pro.mutex);
    pro.endLocked();
    pro.setState("ended");
}

int32_t proOpenCanChannel(BwRemotePro* p, uint32_t protocol, const uint32_t* pins, uint32_t pinCount, uint32_t canBaud,
    uint32_t canFdBaud, uint32_t* channelId)
{
    Pro& pro = self(p);
    std::lock_guard<std::mutex> lock(pro.mutex);
    if (protocol != BW_PRO_PROTOCOL_CAN || !pins || pinCount != 2 || !channelId)
        return ERR_INVALID_PROTOCOL_ID;
    const int bus = busOfPins(pins[0], pins[1]);
    if (bus < 0)
        return ERR_PIN_INVALID;
    if (!pro.buses || !pro.link || !pro.alive)
        return ERR_DEVICE_NOT_CONNECTED;
    unsigned long channel = 0;
    const long rc = pro.buses->openBus(static_cast<std::uint8_t>(bus), canBaud, canFdBaud, channel);
    if (rc != 0) {
        // The technician asked for buses the local adapter cannot run: the
        // session would bridge nothing, so it ends on both sides.
        pro.fail(pro.link, rc == ERR_INVALID_BAUDRATE ? BW_PRO_ENDED_LOCAL_RATE : BW_PRO_ENDED_LOCAL_ADAPTER,
            "B-end adapter refused pins " + std::to_string(pins[0]) + "/" + std::to_string(pins[1]) + " at "
                + std::to_string(canBaud) + " bit/s (J2534 error " + std::to_string(rc) + ")");
        return static_cast<int32_t>(rc);
    }
    pro.link->send(encodeBusOpen(BusOpenMsg{static_cast<std::uint8_t>(bus), canBaud, canFdBaud}));
    *channelId = static_cast<uint32_t>(channel);
    return 0;
}

void proReserved4(BwRemotePro*, int32_t)
{
}

void proStart(BwRemotePro* p, int32_t on)
{
    Pro& pro = self(p);
    std::lock_guard<std::mutex> lock(pro.mutex);
    if (on != 1 || !pro.buses || !pro.link)
        return;
    std::shared_ptr<Link> link = pro.link;
    pro.buses->start(
        [&pro, link](const CanFrameMsg& m) {
            std::string out;
            appendCanFrame(out, m);
            const std::size_t size = out.size() - kHeaderSize;
            // Bounded per bus: a bus faster than the link drops (counted).
            if (!link->sendBounded(std::move(out), m.bus))
                return false;
            pro.bytesB += size;
            return true;
        },
        [link](std::uint8_t bus, std::uint32_t dropped) {
            link->send(encodeBusStatus(BusStatusMsg{bus, kBusOpen, dropped}));
        },
        [&pro, link](std::uint8_t bus, long error) {
            std::uint32_t a = 0, b = 0;
            busPins(bus, a, b);
            pro.fail(link, BW_PRO_ENDED_LOCAL_ADAPTER,
                "B-end adapter lost on pins " + std::to_string(a) + "/" + std::to_string(b) + " (J2534 error "
                    + std::to_string(error) + ")");
        });
}

void proState(BwRemotePro* p, int32_t* state, char* text1, char* text2)
{
    Pro& pro = self(p);
    if (state)
        *state = pro.alive ? 0 : pro.endState.load();
    std::lock_guard<std::mutex> lock(pro.textMutex);
    if (text1)
        session::copyText(text1, BW_REMOTE_STATE_TEXT_SIZE, pro.stateText);
    // The partner, and the frames dropped so far at either end when there
    // are any (the session page shows this text while the session runs).
    std::uint64_t here = 0;
    std::uint64_t there = 0;
    for (std::uint8_t b = 0; b < kBusCount; ++b) {
        if (pro.pollBuses)
            here += std::uint64_t(pro.pollBuses->drops(b)) + pro.pollBuses->linkDrops(b);
        there += pro.partnerDrops[b].load();
    }
    std::string text = pro.peerText;
    if (here + there > 0) {
        // "dropped HERE/THERE"; the partner's name gives way when both do not fit.
        const std::string drops = "dropped " + std::to_string(here) + "/" + std::to_string(there);
        text = text.size() + 1 + drops.size() < BW_REMOTE_STATE_TEXT_SIZE ? text + " " + drops : drops;
    }
    if (text2)
        session::copyText(text2, BW_REMOTE_STATE_TEXT_SIZE, text);
}

void proBytesB(BwRemotePro* p, uint64_t* bytes)
{
    if (bytes)
        *bytes = self(p).bytesB.load();
}

void proBytesC(BwRemotePro* p, uint64_t* bytes)
{
    if (bytes)
        *bytes = self(p).bytesC.load();
}

void proDelays(BwRemotePro* p, int32_t* delayB, int32_t* delayC)
{
    Pro& pro = self(p);
    std::int32_t b = -1;
    std::int32_t c = -1;
    {
        std::lock_guard<std::mutex> lock(pro.textMutex);
        if (pro.alive && pro.pollLink) {
            b = pro.pollLink->ownDelay();
            c = pro.pollLink->peerDelay();
        }
    }
    if (delayB)
        *delayB = b;
    if (delayC)
        *delayC = c;
}

const BwRemoteProSlots kSlots = {proVersion, proConnect, proDisconnect, proOpenCanChannel, proReserved4, proStart,
    proState, proBytesB, proBytesC, proDelays};

} // namespace

extern "C" BW_REMOTE_EXPORT BwRemotePro* CreateRemotePro(void)
{
    // Lives until the process ends, as the manager expects.
    static Pro* pro = [] {
        auto* p = new Pro;
        p->ops = &kSlots;
        return p;
    }();
    return pro;
}
