// ClientRemote: the C-end. With the relay's port it keeps the adapter
// registered at the relay and serves the sessions the relay pairs it with;
// with any other port it links to a P2P listener, proves that it holds the
// adapter's code and serves that one session. Either way the streams the
// B-end opens go to this machine's adapter only, at its module port or (for
// a J2534 application at the B-end, once the session is paired) at its
// pass-thru port.
#include "remote/RemoteApi.h"

#include "PassThruBus.h"
#include "SessionSupport.h"
#include "remote/Bridge.h"
#include "remote/Link.h"
#include "remote/VirtualAdapter.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace remote;

struct Client {
    std::string address;
    std::uint16_t port = 0;
    bool viaRelay = true;
    std::string serial;
    std::string key;
    std::uint32_t code = 0;
    std::atomic<int> status{BW_CLIENT_PENDING};
    std::atomic<bool> alive{false};
    std::atomic<bool> stop{false};
    std::mutex mutex; // guards the text and the link pointer
    std::string peerText;
    std::shared_ptr<Link> link;
    std::thread thread;
    // The relay checks the adapter through the link before the registration
    // counts (its answer to REGISTER was "checking").
    bool checking = false;
    // Pass-thru streams are served only in a session: through the relay from
    // its SESSION to the end, in P2P once the listener accepted the proof.
    // Never while the relay checks the adapter.
    std::atomic<bool> passThruAllowed{false};
    // Device control: the adapter's buses bridged to a B-end's (link thread only).
    bus::PassThru passThru;
    std::unique_ptr<bus::Buses> buses;
    bool deviceControl = false;
    std::string controller; // the B-end adapter's serial
    // Frames the B-end reports it dropped, per bus (its BUS_STATUS).
    std::atomic<std::uint32_t> partnerDrops[kBusCount] = {};
    // The state text of a device-control session: who, and the frames
    // dropped at either end once there are any (the C-end's notice shows it).
    void showControl();

    // Starts a device-control session for the B-end adapter `by`.
    void beginControl(const std::string& by);
    // Ends it at once: nothing queued reaches the car afterwards.
    void endControl();
    bool openBus(Link& l, const BusOpenMsg& m);

    void setPeer(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        peerText = text;
    }
    void run();
    bool handshakeRelay(Channel& channel, FrameReader& reader);
    // The relay's answer to a registration: connected, or refused with its reason.
    bool takeRegistration(const AckMsg& ack);
    bool handshakeP2p(Channel& channel, FrameReader& reader);
};

session::Handles<Client>& handles()
{
    static session::Handles<Client> h;
    return h;
}

bool Client::handshakeRelay(Channel& channel, FrameReader& reader)
{
    std::string error;
    Frame frame;
    AckMsg ack;
    // Offers the relay's adapter check: a registration the adapter itself
    // vouches for wins over one made by someone who only knows the serial.
    RegisterMsg request{serial, key, code};
    request.checkable = true;
    if (!channel.writeAll(encodeRegister(request), session::kAnswerTimeoutMs)
        || !readFrame(channel, reader, frame, session::kAnswerTimeoutMs, &error, &stop)
        || frame.type != Type::RegisterAck || !parseAck(frame, ack, &error)) {
        setPeer("no answer from the relay");
        status = BW_CLIENT_FAILED;
        return false;
    }
    if (ack.status == kStatusChecking) {
        // The status stays pending until the relay's final answer.
        checking = true;
        setPeer("checking");
        return true;
    }
    return takeRegistration(ack);
}

bool Client::takeRegistration(const AckMsg& ack)
{
    if (ack.status != kStatusOk) {
        setPeer(ack.text);
        status = BW_CLIENT_REFUSED;
        return false;
    }
    setPeer("registered");
    status = BW_CLIENT_CONNECTED;
    return true;
}

bool Client::handshakeP2p(Channel& channel, FrameReader& reader)
{
    std::string error;
    Frame frame;
    ChallengeMsg challenge;
    if (!readFrame(channel, reader, frame, session::kAnswerTimeoutMs, &error, &stop)
        || !parseChallenge(frame, challenge, &error)) {
        setPeer("the listener did not answer");
        status = BW_CLIENT_FAILED;
        return false;
    }
    const std::string proof = session::p2pProof(code, challenge.nonce, serial, key);
    if (proof.size() != kProofSize
        || !channel.writeAll(encodeProof(ProofMsg{serial, key, proof}), session::kAnswerTimeoutMs)) {
        setPeer("link lost");
        status = BW_CLIENT_FAILED;
        return false;
    }
    // The listener checks the proof against the adapter through the tunnel,
    // so the tunnel runs before its answer arrives.
    setPeer("B-end " + address);
    status = BW_CLIENT_CONNECTED;
    return true;
}

void Client::showControl()
{
    std::uint64_t here = 0;
    std::uint64_t there = 0;
    for (std::uint8_t b = 0; b < kBusCount; ++b) {
        if (buses)
            here += std::uint64_t(buses->drops(b)) + buses->linkDrops(b);
        there += partnerDrops[b].load();
    }
    std::string text = "device control by " + controller;
    if (here + there > 0)
        text += " dropped " + std::to_string(here) + "/" + std::to_string(there);
    setPeer(text);
}

void Client::beginControl(const std::string& by)
{
    endControl();
    deviceControl = true;
    controller = by.empty() ? std::string("--") : by;
    for (auto& d : partnerDrops)
        d = 0;
    std::string error;
    if (passThru.load(&error)) {
        buses = std::make_unique<bus::Buses>(passThru);
        // The registered adapter by its serial, never another one.
        if (buses->openDevice(serial) != 0)
            buses.reset();
    }
    showControl();
}

void Client::endControl()
{
    if (buses)
        buses->closeAll();
    buses.reset();
    deviceControl = false;
}

bool Client::openBus(Link& l, const BusOpenMsg& m)
{
    unsigned long channel = 0;
    const long rc = buses ? buses->openBus(m.bus, m.canBaud, m.canFdBaud, channel) : ERR_DEVICE_NOT_CONNECTED;
    l.send(encodeBusStatus(BusStatusMsg{m.bus, rc == 0 ? kBusOpen : static_cast<std::int32_t>(rc), 0}));
    if (rc != 0)
        return true;
    Link* tunnel = &l;
    buses->start(
        [tunnel](const CanFrameMsg& f) {
            std::string out;
            appendCanFrame(out, f);
            // Bounded per bus: a bus faster than the link drops (counted).
            return tunnel->sendBounded(std::move(out), f.bus);
        },
        [this, tunnel](std::uint8_t b, std::uint32_t dropped) {
            tunnel->send(encodeBusStatus(BusStatusMsg{b, kBusOpen, dropped}));
            showControl();
        },
        [tunnel](std::uint8_t b, long) {
            // The adapter is gone (unplugged): nothing reaches the car any
            // more. The B-end ends the session on this word; the buses close
            // when its END arrives (or the link ends).
            tunnel->send(encodeBusStatus(BusStatusMsg{b, kBusClosed, 0}));
        });
    return true;
}

void Client::run()
{
    std::string error;
    const std::string target = session::adapterAddressFor(serial);
    if (target.empty()) {
        setPeer("adapter not published by the service");
        status = BW_CLIENT_FAILED;
        return;
    }
    std::unique_ptr<Channel> channel;
    if (viaRelay) {
        channel = session::connectRelay(address, &error, &stop);
    } else {
        const net::Socket s = net::connectTcp(address, port, session::kConnectTimeoutMs, &error, &stop);
        if (s != net::kNoSocket)
            channel = std::make_unique<Channel>(s, nullptr);
    }
    if (!channel) {
        setPeer(error);
        status = BW_CLIENT_UNREACHABLE;
        return;
    }
    FrameReader reader;
    if (!(viaRelay ? handshakeRelay(*channel, reader) : handshakeP2p(*channel, reader)))
        return;

    LinkOptions options;
    options.targetIp = target;
    options.targetPort = modulePort();
    options.passThruPort = passThruPort();
    // Each stream goes to the adapter with this serial as the service shows
    // it now: an adapter that moved is followed, another adapter at the same
    // address is never reached.
    const std::string wanted = serial;
    options.resolveTarget = [this, wanted](std::uint8_t streamTarget) {
        if (streamTarget != kTargetModule && !passThruAllowed)
            return std::string();
        return session::adapterAddressFor(wanted);
    };
    auto tunnel = std::make_shared<Link>(std::move(channel), options);
    tunnel->adoptReader(std::move(reader));
    // Through the relay, streams are taken only while a B-end is paired, or
    // while the relay checks the adapter.
    tunnel->allowStreamsNow(!viaRelay || checking);
    {
        std::lock_guard<std::mutex> lock(mutex);
        link = tunnel;
    }
    alive = true;
    if (stop) {
        alive = false;
        return;
    }
    Link* l = tunnel.get();
    tunnel->run([this, l](const Frame& f) {
        std::string why;
        if (f.type == Type::Session) {
            std::string peer;
            if (!parseSession(f, peer, &why))
                return false;
            l->allowStreamsNow(true);
            passThruAllowed = true;
            setPeer("session with " + peer);
            return true;
        }
        if (f.type == Type::ControlSession) {
            // Device control comes through the relay only: it checked the
            // code, and the registration is where the remote page shows who
            // drives the buses and offers to end it. A P2P listener never
            // sends this; one that does is not to be trusted with the car.
            if (!viaRelay)
                return false;
            ControlSessionMsg m;
            if (!parseControlSession(f, m, &why))
                return false;
            // Buses only: the module port stays out of reach of this session.
            l->allowStreamsNow(false);
            beginControl(m.ownSerial);
            return true;
        }
        if (f.type == Type::BusOpen) {
            BusOpenMsg m;
            if (!parseBusOpen(f, m, &why) || !deviceControl)
                return false;
            return openBus(*l, m);
        }
        if (f.type == Type::CanFrame) {
            CanFrameMsg m;
            if (!parseCanFrame(f, m, &why))
                return false;
            if (!deviceControl)
                return viaRelay; // late frame of an ended session: never put on the bus
            if (buses)
                buses->post(m);
            return true;
        }
        if (f.type == Type::BusStatus) {
            BusStatusMsg m;
            if (!parseBusStatus(f, m, &why))
                return false;
            if (!deviceControl)
                return viaRelay;
            partnerDrops[m.bus] = m.drops;
            showControl();
            return true;
        }
        if (f.type == Type::RegisterAck) {
            AckMsg ack;
            if (!parseAck(f, ack, &why))
                return false;
            if (viaRelay && checking) {
                // The relay's verdict after its adapter check.
                checking = false;
                l->allowStreamsNow(false);
                return takeRegistration(ack);
            }
            if (viaRelay)
                return ack.status == kStatusOk; // a renewed registration
            if (ack.status != kStatusOk) {
                setPeer("refused: " + ack.text);
                status = BW_CLIENT_REFUSED;
                return false;
            }
            status = BW_CLIENT_LINKED;
            passThruAllowed = true;
            return true;
        }
        if (f.type == Type::End) {
            EndMsg end;
            if (!parseEnd(f, end, &why))
                return false;
            endControl();
            if (viaRelay && end.reason == EndReason::PeerLeft) {
                // The session is over; the registration stays for the next
                // one. Closing the streams ends the adapter's pass-thru
                // session at once, so nothing the B-end set up keeps running.
                passThruAllowed = false;
                l->allowStreamsNow(false);
                setPeer("registered");
                return true;
            }
            setPeer("ended: " + end.text);
            return false;
        }
        return false;
    });
    endControl();
    alive = false;
    if (status != BW_CLIENT_REFUSED)
        status = BW_CLIENT_DISCONNECTED;
    if (!stop)
        setPeer("disconnected: " + tunnel->endText());
}

} // namespace

extern "C" {

BW_REMOTE_EXPORT int ClientRemote_RelayAddress(char* relayOut)
{
    session::copyText(relayOut, BW_REMOTE_ADDRESS_SIZE, std::string());
    std::string relay;
    if (!session::relayFromDirectory(std::string(), relay))
        return 1;
    session::copyText(relayOut, BW_REMOTE_ADDRESS_SIZE, relay);
    return 0;
}

BW_REMOTE_EXPORT void* ClientRemote_Connect(
    const char* address, uint16_t port, const char* sn, const char* tag, int code, const char* key)
{
    (void)tag;
    if (!address || !sn || !key || !net::isIpv4(address) || port == 0 || !validSerial(sn) || !validKey(key) || code <= 0
        || code > static_cast<int>(kMaxCode))
        return nullptr;
    auto* c = new Client;
    c->address = address;
    c->port = port;
    c->viaRelay = port == relayPort();
    c->serial = sn;
    c->key = key;
    c->code = static_cast<std::uint32_t>(code);
    c->thread = std::thread([c] { c->run(); });
    handles().add(c);
    return c;
}

BW_REMOTE_EXPORT int ClientRemote_Status(void* client)
{
    int status = BW_CLIENT_DISCONNECTED;
    handles().with(client, [&](Client& c) { status = c.status.load(); });
    return status;
}

BW_REMOTE_EXPORT int ClientRemote_State(void* client, char* peerText)
{
    int state = 0;
    std::string text = "gone";
    handles().with(client, [&](Client& c) {
        const int status = c.status.load();
        if (c.alive && (status == BW_CLIENT_CONNECTED || status == BW_CLIENT_LINKED))
            state = 1;
        else if (status == BW_CLIENT_PENDING)
            state = 2;
        else
            state = status == BW_CLIENT_DISCONNECTED ? -2 : -1;
        std::lock_guard<std::mutex> lock(c.mutex);
        text = c.peerText;
    });
    session::copyText(peerText, BW_REMOTE_PEER_TEXT_SIZE, text);
    return state;
}

BW_REMOTE_EXPORT uint64_t ClientRemote_BytesB(void* client)
{
    std::uint64_t n = 0;
    handles().with(client, [&](Client& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.link)
            n = c.link->bytesReceived();
    });
    return n;
}

BW_REMOTE_EXPORT uint64_t ClientRemote_BytesC(void* client)
{
    std::uint64_t n = 0;
    handles().with(client, [&](Client& c) {
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.link)
            n = c.link->bytesSent();
    });
    return n;
}

BW_REMOTE_EXPORT void ClientRemote_Delays(void* client, int32_t* delayB, int32_t* delayC)
{
    std::int32_t b = -1;
    std::int32_t c = -1;
    handles().with(client, [&](Client& cl) {
        std::lock_guard<std::mutex> lock(cl.mutex);
        if (cl.link && cl.alive) {
            b = cl.link->peerDelay();
            c = cl.link->ownDelay();
        }
    });
    if (delayB)
        *delayB = b;
    if (delayC)
        *delayC = c;
}

BW_REMOTE_EXPORT void ClientRemote_Destroy(void* client)
{
    auto* c = static_cast<Client*>(client);
    if (!c || !handles().take(c))
        return;
    c->stop = true;
    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(c->mutex);
        link = c->link;
    }
    if (link) {
        link->send(encodeEnd(EndMsg{EndReason::Closing, "C-end ended"}));
        link->stop();
    }
    if (c->thread.joinable())
        c->thread.join();
    delete c;
}

} // extern "C"
