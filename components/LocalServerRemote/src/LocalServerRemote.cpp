// LocalServerRemote: the B-end of a P2P session. Listens on the given port
// for one C-end. A C-end must prove that it holds the code of the adapter
// it lends: the listener sends a nonce, the C-end answers with an HMAC of it
// keyed by the code, and the listener checks that proof against the adapter
// itself, asked through the tunnel (its serial, key and current code).
// Only then does the tunnel serve this machine's virtual adapter address.
#include "remote/RemoteApi.h"

#include "Mt7628Protocol.h"
#include "SessionSupport.h"
#include "remote/Link.h"
#include "remote/VirtualAdapter.h"

#include <openssl/rand.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace remote;
using Clock = std::chrono::steady_clock;

constexpr int kVerifyTimeoutMs = 8000;

struct Listener {
    std::uint16_t port = 0;
    std::string adapterAddress;
    std::atomic<int> status{BW_LISTEN_OK};
    std::atomic<int> state{1}; // 0 linked, 1 waiting, else ended
    std::atomic<bool> stop{false};
    std::atomic<int> doipMode{0};
    net::Socket server = net::kNoSocket;
    std::mutex mutex; // guards the texts and the link pointer
    std::string serial;
    std::string stateText = "listening";
    std::string peerText;
    std::shared_ptr<Link> link;
    std::thread thread;

    void setTexts(const std::string& word, const std::string& peer)
    {
        std::lock_guard<std::mutex> lock(mutex);
        stateText = word;
        peerText = peer;
    }
    void run();
    bool serveOne(net::Socket s, const std::string& peerIp);
};

session::Handles<Listener>& handles()
{
    static session::Handles<Listener> h;
    return h;
}

// One MT7628 request through the verification stream; false on any failure.
bool ask(net::Socket s, const Json::Value& request, Json::Value& reply, Clock::time_point deadline,
    const std::atomic<bool>& stop)
{
    const std::string line = mt7628::encodeFrame(request);
    std::size_t sent = 0;
    while (sent < line.size()) {
        const long n = net::sendSome(s, line.data() + sent, line.size() - sent);
        if (n < 0 || Clock::now() > deadline || stop)
            return false;
        if (n == 0) {
            net::PollFd p{};
            p.fd = s;
            p.events = POLLOUT;
            net::pollSockets(&p, 1, 50);
        }
        sent += static_cast<std::size_t>(n);
    }
    mt7628::FrameReader reader;
    char buf[4096];
    std::string answer;
    while (!reader.next(answer)) {
        if (reader.overflow() || Clock::now() > deadline || stop)
            return false;
        net::PollFd p{};
        p.fd = s;
        p.events = POLLIN;
        net::pollSockets(&p, 1, 50);
        const long n = net::recvSome(s, buf, sizeof buf);
        if (n < 0)
            return false;
        reader.append(buf, static_cast<std::size_t>(n));
    }
    return mt7628::decodeFrame(answer, reply) && mt7628::replyOk(reply);
}

// Asks the C-end's adapter, through the tunnel's verification listener on
// 127.0.0.1:port, for its serial, key and code, and checks the proof.
bool verifyProof(std::uint16_t port, const ProofMsg& proof, const std::string& nonce, const std::atomic<bool>& stop)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kVerifyTimeoutMs);
    std::string error;
    net::Socket s = net::connectTcp("127.0.0.1", port, 2000, &error, &stop);
    if (s == net::kNoSocket)
        return false;
    Json::Value request(Json::objectValue);
    request["op"] = "status";
    Json::Value status;
    std::string serial;
    std::string key;
    bool ok = ask(s, request, status, deadline, stop) && mt7628::getString(status, "serial", serial)
        && mt7628::getString(status, "key", key) && serial == proof.serial && key == proof.key;
    net::closeSocket(s);
    if (!ok)
        return false;
    // One exchange per connection, as the module's clients do.
    s = net::connectTcp("127.0.0.1", port, 2000, &error, &stop);
    if (s == net::kNoSocket)
        return false;
    request["op"] = "get_remote_key";
    request["serial"] = proof.serial;
    Json::Value keyReply;
    std::string codeText;
    ok = ask(s, request, keyReply, deadline, stop) && mt7628::getString(keyReply, "key", codeText);
    net::closeSocket(s);
    if (!ok || codeText.empty() || codeText.size() > 6 || codeText.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const auto code = static_cast<std::uint32_t>(std::stoul(codeText));
    return session::sameProof(session::p2pProof(code, nonce, proof.serial, proof.key), proof.proof);
}

bool Listener::serveOne(net::Socket s, const std::string& peerIp)
{
    auto channel = std::make_unique<Channel>(s, nullptr);
    std::string nonce(kNonceSize, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(&nonce[0]), static_cast<int>(nonce.size())) != 1)
        return false;
    std::string error;
    FrameReader reader;
    Frame frame;
    ProofMsg proof;
    if (!channel->writeAll(encodeChallenge(ChallengeMsg{nonce}), session::kAnswerTimeoutMs)
        || !readFrame(*channel, reader, frame, session::kAnswerTimeoutMs, &error, &stop)
        || !parseProof(frame, proof, &error)) {
        channel->writeAll(encodeEnd(EndMsg{EndReason::Protocol, "bad frame"}), 500);
        return false;
    }
    // The tunnel runs first, with only a private verification listener.
    const net::Socket verifyListener = net::listenTcp("127.0.0.1", 0, &error);
    if (verifyListener == net::kNoSocket)
        return false;
    const std::uint16_t verifyPort = net::localPort(verifyListener);
    auto tunnel = std::make_shared<Link>(std::move(channel), LinkOptions{});
    tunnel->adoptReader(std::move(reader));
    tunnel->addListener(verifyListener);
    {
        std::lock_guard<std::mutex> lock(mutex);
        link = tunnel;
        stateText = "checking";
        peerText = peerIp;
    }
    std::atomic<bool> verified{false};
    std::thread verifier([&] {
        if (!verifyProof(verifyPort, proof, nonce, stop)) {
            tunnel->send(encodeAck(Type::RegisterAck, AckMsg{kStatusRefused, "proof refused"}));
            tunnel->send(encodeEnd(EndMsg{EndReason::Closing, "proof refused"}));
            tunnel->stop();
            return;
        }
        std::string bindError;
        const net::Socket adapterListener = net::listenTcp(adapterAddress, modulePort(), &bindError);
        const net::Socket passThruListener = adapterListener == net::kNoSocket
            ? net::kNoSocket
            : net::listenTcp(adapterAddress, passThruPort(), &bindError);
        tunnel->dropListeners();
        if (passThruListener == net::kNoSocket) {
            net::closeSocket(adapterListener);
            tunnel->send(encodeAck(Type::RegisterAck, AckMsg{kStatusRefused, "listener busy"}));
            tunnel->send(encodeEnd(EndMsg{EndReason::Closing, "B-end cannot serve"}));
            tunnel->stop();
            return;
        }
        tunnel->addListener(adapterListener, kTargetModule);
        tunnel->addListener(passThruListener, kTargetPassThru);
        tunnel->send(encodeAck(Type::RegisterAck, AckMsg{kStatusOk, "linked"}));
        {
            std::lock_guard<std::mutex> lock(mutex);
            serial = proof.serial;
            stateText = "linked";
        }
        verified = true;
        state = 0;
    });
    tunnel->run([](const Frame&) { return false; });
    verifier.join();
    if (!verified) {
        std::lock_guard<std::mutex> lock(mutex);
        link.reset();
        stateText = "listening";
        peerText.clear();
    }
    return verified;
}

void Listener::run()
{
    while (!stop) {
        net::PollFd p{};
        p.fd = server;
        p.events = POLLIN;
        if (net::pollSockets(&p, 1, 200) <= 0)
            continue;
        std::string peerIp;
        const net::Socket s = net::acceptTcp(server, &peerIp);
        if (s == net::kNoSocket)
            continue;
        if (serveOne(s, peerIp)) {
            // One session per listener: the session has ended, and a later
            // C-end is refused at once instead of waiting in the queue.
            net::closeSocket(server);
            server = net::kNoSocket;
            state = -2;
            setTexts(stop ? "closed" : "session ended", peerIp);
            return;
        }
    }
}

} // namespace

extern "C" {

BW_REMOTE_EXPORT void* LocalServerRemote_Construct(const char* tag, uint16_t port, int* status)
{
    (void)tag;
    auto* l = new Listener;
    l->port = port;
    auto finish = [&](int code) {
        l->status = code;
        if (code != BW_LISTEN_OK)
            l->state = -1;
        if (status)
            *status = code;
        handles().add(l);
        return l;
    };
    net::init();
    l->adapterAddress = virtualAdapterAddress();
    if (l->adapterAddress.empty()) {
        l->stateText = "no remoteDiag adapter";
        return finish(BW_LISTEN_NO_ADAPTER);
    }
    if (port == 0) {
        l->stateText = "no port";
        return finish(BW_LISTEN_BIND_FAILED);
    }
    std::string error;
    l->server = net::listenTcp("0.0.0.0", port, &error, 4);
    if (l->server == net::kNoSocket) {
        l->stateText = "port not available";
        return finish(BW_LISTEN_BIND_FAILED);
    }
    l->thread = std::thread([l] { l->run(); });
    return finish(BW_LISTEN_OK);
}

BW_REMOTE_EXPORT int LocalServerRemote_Status(void* listener)
{
    int status = BW_LISTEN_FAILED;
    handles().with(listener, [&](Listener& l) { status = l.status.load(); });
    return status;
}

BW_REMOTE_EXPORT int LocalServerRemote_State(void* listener, char* serialOut, char* text1, char* text2)
{
    int state = -1;
    std::string serial;
    std::string t1 = "gone";
    std::string t2;
    handles().with(listener, [&](Listener& l) {
        state = l.state.load();
        std::lock_guard<std::mutex> lock(l.mutex);
        serial = state == 0 ? l.serial : std::string();
        t1 = l.stateText;
        t2 = l.peerText;
    });
    session::copyText(serialOut, 20, serial);
    session::copyText(text1, BW_REMOTE_STATE_TEXT_SIZE, t1);
    session::copyText(text2, BW_REMOTE_STATE_TEXT_SIZE, t2);
    return state;
}

BW_REMOTE_EXPORT uint64_t LocalServerRemote_BytesB(void* listener)
{
    std::uint64_t n = 0;
    handles().with(listener, [&](Listener& l) {
        std::lock_guard<std::mutex> lock(l.mutex);
        if (l.link)
            n = l.link->bytesSent();
    });
    return n;
}

BW_REMOTE_EXPORT uint64_t LocalServerRemote_BytesC(void* listener)
{
    std::uint64_t n = 0;
    handles().with(listener, [&](Listener& l) {
        std::lock_guard<std::mutex> lock(l.mutex);
        if (l.link)
            n = l.link->bytesReceived();
    });
    return n;
}

BW_REMOTE_EXPORT void LocalServerRemote_Delays(void* listener, int32_t* delayB, int32_t* delayC)
{
    std::int32_t b = -1;
    std::int32_t c = -1;
    handles().with(listener, [&](Listener& l) {
        std::lock_guard<std::mutex> lock(l.mutex);
        if (l.link && l.state == 0) {
            b = l.link->ownDelay();
            c = l.link->peerDelay();
        }
    });
    if (delayB)
        *delayB = b;
    if (delayC)
        *delayC = c;
}

BW_REMOTE_EXPORT void LocalServerRemote_SetDoIpMode(void* listener, int mode)
{
    handles().with(listener, [&](Listener& l) { l.doipMode = mode; });
}

BW_REMOTE_EXPORT void LocalServerRemote_Destruct(void* listener)
{
    auto* l = static_cast<Listener*>(listener);
    if (!l || !handles().take(l))
        return;
    l->stop = true;
    std::shared_ptr<Link> link;
    {
        std::lock_guard<std::mutex> lock(l->mutex);
        link = l->link;
    }
    if (link) {
        link->send(encodeEnd(EndMsg{EndReason::Closing, "B-end ended the session"}));
        link->stop();
    }
    if (l->thread.joinable())
        l->thread.join();
    net::closeSocket(l->server);
    delete l;
}

} // extern "C"
