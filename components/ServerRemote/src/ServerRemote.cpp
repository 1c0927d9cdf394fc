// ServerRemote: the B-end of a relay session. Connect starts a thread that
// opens the listening sockets on this instance's virtual adapter (module
// port and pass-thru port), links to the relay, asks for the adapter and
// then runs the tunnel until either side ends.
#include "remote/RemoteApi.h"

#include "SessionSupport.h"
#include "remote/Link.h"
#include "remote/VirtualAdapter.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace remote;

struct Session {
    std::string relay;
    std::string serial;
    std::uint32_t code = 0;
    std::atomic<int> status{BW_RELAY_PENDING};
    std::atomic<bool> alive{false};
    std::atomic<bool> stop{false};
    std::atomic<int> doipMode{0};
    std::mutex mutex; // guards the texts and the link pointer
    std::string stateText = "connecting";
    std::string peerText;
    std::shared_ptr<Link> link;
    std::thread thread;

    void setState(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(mutex);
        stateText = text;
    }
    void run();
};

session::Handles<Session>& handles()
{
    static session::Handles<Session> h;
    return h;
}

void Session::run()
{
    const std::string address = virtualAdapterAddress();
    if (address.empty()) {
        setState("no remoteDiag adapter");
        status = BW_RELAY_UNREACHABLE;
        return;
    }
    std::string error;
    const net::Socket listener = net::listenTcp(address, modulePort(), &error);
    if (listener == net::kNoSocket) {
        setState("cannot listen on the adapter");
        status = BW_RELAY_UNREACHABLE;
        return;
    }
    // J2534 applications reach the C-end's adapter here, as they would a
    // local one at its pass-thru port.
    const net::Socket passThruListener = net::listenTcp(address, passThruPort(), &error);
    if (passThruListener == net::kNoSocket) {
        net::closeSocket(listener);
        setState("cannot listen on the adapter's pass-thru port");
        status = BW_RELAY_UNREACHABLE;
        return;
    }
    auto closeListeners = [&] {
        net::closeSocket(listener);
        net::closeSocket(passThruListener);
    };
    std::unique_ptr<Channel> channel = session::connectRelay(relay, &error, &stop);
    if (!channel) {
        closeListeners();
        setState("relay unreachable");
        status = BW_RELAY_UNREACHABLE;
        return;
    }
    FrameReader reader;
    Frame frame;
    AckMsg ack;
    if (!channel->writeAll(encodeConnect(ConnectMsg{serial, code}), session::kAnswerTimeoutMs)
        || !readFrame(*channel, reader, frame, session::kAnswerTimeoutMs, &error, &stop)
        || !parseAck(frame, ack, &error) || frame.type != Type::ConnectAck) {
        closeListeners();
        setState("no answer from the relay");
        return; // status stays "no answer"
    }
    if (ack.status != BW_RELAY_CONNECTED) {
        closeListeners();
        setState(ack.text);
        status = ack.status;
        return;
    }
    auto tunnel = std::make_shared<Link>(std::move(channel), LinkOptions{});
    tunnel->adoptReader(std::move(reader));
    tunnel->addListener(listener, kTargetModule);
    tunnel->addListener(passThruListener, kTargetPassThru);
    {
        std::lock_guard<std::mutex> lock(mutex);
        link = tunnel;
        stateText = "connected";
        peerText = ack.text;
    }
    alive = true;
    status = BW_RELAY_CONNECTED;
    if (stop) {
        alive = false;
        return;
    }
    tunnel->run([](const Frame& f) {
        // END (or anything unexpected) ends the session.
        (void)f;
        return false;
    });
    alive = false;
    setState(stop ? "ended" : "disconnected: " + tunnel->endText());
    status = BW_RELAY_DISCONNECTED;
}

} // namespace

extern "C" {

BW_REMOTE_EXPORT int ServerRemote_Lookup(const char* sn, const char* codeText, char* relayOut)
{
    (void)codeText; // the code is only ever checked by the relay, on connect
    session::copyText(relayOut, BW_REMOTE_ADDRESS_SIZE, std::string());
    if (!sn || !validSerial(sn))
        return 1;
    std::string relay;
    if (!session::relayFromDirectory(sn, relay))
        return 1;
    if (relay.empty())
        return 0;
    std::string error;
    std::unique_ptr<Channel> channel = session::connectRelay(relay, &error, nullptr);
    if (!channel)
        return 1;
    FrameReader reader;
    Frame frame;
    AckMsg ack;
    if (!channel->writeAll(encodeLookup(LookupMsg{sn}), session::kAnswerTimeoutMs)
        || !readFrame(*channel, reader, frame, session::kAnswerTimeoutMs, &error) || !parseAck(frame, ack, &error)
        || frame.type != Type::LookupAck)
        return 1;
    channel->writeAll(encodeEnd(EndMsg{EndReason::Closing, "lookup done"}), 500);
    // A relay that refuses this address more lookups has said nothing about
    // the adapter: a failed lookup, not "offline".
    if (ack.status != kStatusOk && ack.status != kStatusOffline)
        return 1;
    if (ack.status == kStatusOk)
        session::copyText(relayOut, BW_REMOTE_ADDRESS_SIZE, relay);
    return 0;
}

BW_REMOTE_EXPORT void* ServerRemote_Connect(const char* relay, const char* sn, const char* tag, int code)
{
    (void)tag;
    if (!relay || !sn || !net::isIpv4(relay) || !validSerial(sn) || code < 0 || code > static_cast<int>(kMaxCode))
        return nullptr;
    auto* s = new Session;
    s->relay = relay;
    s->serial = sn;
    s->code = static_cast<std::uint32_t>(code);
    s->thread = std::thread([s] { s->run(); });
    handles().add(s);
    return s;
}

BW_REMOTE_EXPORT int ServerRemote_Status(void* session)
{
    int status = BW_RELAY_DISCONNECTED;
    handles().with(session, [&](Session& s) { status = s.status.load(); });
    return status;
}

BW_REMOTE_EXPORT int ServerRemote_State(void* session, char* text1, char* text2)
{
    int state = -1;
    std::string t1 = "gone";
    std::string t2;
    handles().with(session, [&](Session& s) {
        state = s.alive ? 0 : (s.status == BW_RELAY_PENDING ? 1 : s.status.load());
        std::lock_guard<std::mutex> lock(s.mutex);
        t1 = s.stateText;
        t2 = s.peerText;
    });
    session::copyText(text1, BW_REMOTE_STATE_TEXT_SIZE, t1);
    session::copyText(text2, BW_REMOTE_STATE_TEXT_SIZE, t2);
    return state;
}

BW_REMOTE_EXPORT uint64_t ServerRemote_BytesB(void* session)
{
    std::uint64_t n = 0;
    handles().with(session, [&](Session& s) {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.link)
            n = s.link->bytesSent();
    });
    return n;
}

BW_REMOTE_EXPORT uint64_t ServerRemote_BytesC(void* session)
{
    std::uint64_t n = 0;
    handles().with(session, [&](Session& s) {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.link)
            n = s.link->bytesReceived();
    });
    return n;
}

BW_REMOTE_EXPORT void ServerRemote_Delays(void* session, int32_t* delayB, int32_t* delayC)
{
    std::int32_t b = -1;
    std::int32_t c = -1;
    handles().with(session, [&](Session& s) {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.link && s.alive) {
            b = s.link->ownDelay();
            c = s.link->peerDelay();
        }
    });
    if (delayB)
        *delayB = b;
    if (delayC)
        *delayC = c;
}

BW_REMOTE_EXPORT void ServerRemote_SetDoIpMode(void* session, int mode)
{
    handles().with(session, [&](Session& s) { s.doipMode = mode; });
}

BW_REMOTE_EXPORT void ServerRemote_Destroy(void* session)
{
    auto* s = static_cast<Session*>(session);
    if (!s || !handles().take(s))
        return;
    s->stop = true;
    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(s->mutex);
        link = s->link;
    }
    if (link) {
        link->send(encodeEnd(EndMsg{EndReason::Closing, "B-end ended the session"}));
        link->stop();
    }
    if (s->thread.joinable())
        s->thread.join();
    delete s;
}

} // extern "C"
