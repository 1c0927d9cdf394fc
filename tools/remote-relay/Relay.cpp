#include "Relay.h"

#include "Mt7628Protocol.h"

#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace relay {
namespace {
// Back-pressure: a link is not read while its partner has this much waiting.
constexpr std::size_t kHighWater = 1 << 20;
// What may wait for a link beyond forwarded streams: its answers (acks,
// pongs, a session's start and end). A client that reads takes them as they
// come; one whose answers pile up to this does not read.
constexpr std::size_t kAnswerRoom = 64 << 10;
constexpr int kMaxLookupsPerLink = 16;
// The stream the relay opens to a C-end's adapter for the check, and the
// most it reads of the answer.
constexpr std::uint32_t kCheckStream = 1;
constexpr std::size_t kMaxCheckReply = 16 * 1024;

bool sameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

// Descriptors kept out of the link caps (standard streams, the listener,
// what OpenSSL and the C library open).
constexpr std::size_t kDescriptorHeadroom = 32;
// accept() out of descriptors leaves the listener readable: it is left out
// of poll() this long.
constexpr auto kAcceptBackoff = std::chrono::milliseconds(250);
// A link held back by its partner hears a ping from the relay this often,
// so its end knows the relay is there while its own pings wait unread.
constexpr auto kHeldBackPing = std::chrono::seconds(1);

std::string stamp()
{
    char text[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &now);
#else
    gmtime_r(&now, &tm);
#endif
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}
} // namespace

Relay::Relay(Options options)
    : m_options(std::move(options))
    , m_buffer(remote::kMaxData * 4, '\0')
{
}

Relay::~Relay()
{
    m_clients.clear();
    remote::net::closeSocket(m_listener);
    if (m_ctx)
        SSL_CTX_free(m_ctx);
}

void Relay::log(const std::string& text) const
{
    // Serials and addresses only: codes and keys never reach the log.
    std::fprintf(stderr, "%s remote-relay: %s\n", stamp().c_str(), text.c_str());
    std::fflush(stderr);
}

bool Relay::open(std::string* error)
{
    if (!remote::net::init()) {
        *error = "sockets cannot be used";
        return false;
    }
    m_ctx = remote::tls::serverContext(m_options.certFile, m_options.keyFile, error);
    if (!m_ctx)
        return false;
    m_listener = remote::net::listenTcp(m_options.bind, m_options.port, error, 128);
    if (m_listener == remote::net::kNoSocket)
        return false;
    m_port = remote::net::localPort(m_listener);
    // Every link is a descriptor: the caps stay below the process's limit,
    // so accept() does not run out in normal operation.
    const std::size_t limit = remote::net::raiseDescriptorLimit();
    if (limit)
        m_options.maxClients
            = std::min(m_options.maxClients, limit > 2 * kDescriptorHeadroom ? limit - kDescriptorHeadroom : limit / 2);
    m_options.maxClients = std::max<std::size_t>(m_options.maxClients, 1);
    m_options.maxPerAddress = std::min(m_options.maxPerAddress, std::max<std::size_t>(m_options.maxClients / 4, 1));
    log("at most " + std::to_string(m_options.maxClients) + " links, " + std::to_string(m_options.maxPerAddress)
        + " from one address (descriptor limit " + (limit ? std::to_string(limit) : std::string("none")) + ")");
    return true;
}

std::size_t Relay::queueLimit(const Client& c)
{
    // In a session a link also takes up to kHighWater of its partner's
    // stream frames (plus the frames of the read that crossed it).
    // A link keeps that room until the stream frames queued for it are
    // written, also when its session ended meanwhile.
    return c.partner || c.streamsQueued ? kHighWater + 4 * kAnswerRoom : kAnswerRoom;
}

bool Relay::heldBack(const Client& c)
{
    return c.partner && queued(*c.partner) >= kHighWater;
}

void Relay::accept()
{
    for (int i = 0; i < 64; ++i) {
        std::string address;
        bool exhausted = false;
        const remote::net::Socket s = remote::net::acceptTcp(m_listener, &address, &exhausted);
        if (s == remote::net::kNoSocket) {
            if (exhausted) {
                // The connection stays in the backlog until a descriptor is free.
                m_acceptPausedUntil = Clock::now() + kAcceptBackoff;
                if (!m_exhaustedLogged)
                    log("out of descriptors: new links wait");
                m_exhaustedLogged = true;
            }
            return;
        }
        m_exhaustedLogged = false;
        if (m_clients.size() >= m_options.maxClients) {
            remote::net::closeSocket(s);
            log("connection from " + address + " refused: too many links");
            continue;
        }
        const auto fromThere = static_cast<std::size_t>(std::count_if(m_clients.begin(), m_clients.end(),
            [&](const std::unique_ptr<Client>& c) { return c->channel && c->address == address; }));
        if (fromThere >= m_options.maxPerAddress) {
            remote::net::closeSocket(s);
            log("connection from " + address + " refused: too many links from that address");
            continue;
        }
        SSL* ssl = SSL_new(m_ctx);
        if (!ssl || !remote::attachSocket(ssl, s)) {
            if (ssl)
                SSL_free(ssl);
            remote::net::closeSocket(s);
            continue;
        }
        SSL_set_accept_state(ssl);
        auto c = std::make_unique<Client>();
        c->id = m_nextId++;
        c->channel = std::make_unique<remote::Channel>(s, ssl);
        c->address = address;
        const auto now = Clock::now();
        c->deadline = now + std::chrono::milliseconds(m_options.helloTimeoutMs);
        c->heard = now;
        c->wrote = now;
        c->pinged = now;
        m_clients.push_back(std::move(c));
    }
}

void Relay::send(Client& c, const std::string& frame)
{
    if (!c.closing || c.out.empty())
        c.out += frame;
}

bool Relay::flush(Client& c)
{
    while (c.outPos < c.out.size()) {
        const long n = c.channel->write(c.out.data() + c.outPos, c.out.size() - c.outPos);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        c.outPos += static_cast<std::size_t>(n);
        c.wrote = Clock::now();
    }
    if (c.outPos >= c.out.size()) {
        c.streamsQueued = false;
        // Idle links give their buffers back.
        if (c.out.capacity() > 4096)
            std::string().swap(c.out);
        else
            c.out.clear();
        c.outPos = 0;
    } else if (c.outPos > kHighWater) {
        c.out.erase(0, c.outPos);
        c.outPos = 0;
    }
    return true;
}

bool Relay::locked(std::map<std::string, Failures>& table, const std::string& key, Clock::time_point now)
{
    auto it = table.find(key);
    return it != table.end() && it->second.lockedUntil > now;
}

void Relay::fail(std::map<std::string, Failures>& table, const std::string& key, int max, Clock::time_point now)
{
    Failures& f = table[key];
    f.times.push_back(now);
    while (!f.times.empty() && now - f.times.front() > std::chrono::seconds(m_options.windowSeconds))
        f.times.pop_front();
    if (static_cast<int>(f.times.size()) >= max) {
        f.lockedUntil = now + std::chrono::seconds(m_options.lockoutSeconds);
        f.times.clear();
    }
}

void Relay::endSession(Client& c, const char* why)
{
    Client* other = c.partner;
    if (!other)
        return;
    c.partner = nullptr;
    other->partner = nullptr;
    c.controlEnded = c.controlEnded || c.deviceControl;
    other->controlEnded = other->controlEnded || other->deviceControl;
    c.deviceControl = false;
    other->deviceControl = false;
    const Client& b = c.role == Role::BEnd ? c : *other;
    const Client& cEnd = c.role == Role::BEnd ? *other : c;
    log("session of " + cEnd.serial + " ended: " + why + "; bytes from the B-end " + std::to_string(b.bytesIn)
        + ", from the C-end " + std::to_string(cEnd.bytesIn - cEnd.bytesInAtPairing));
    send(*other, remote::encodeEnd(remote::EndMsg{remote::EndReason::PeerLeft, why}));
    if (other->role == Role::BEnd)
        other->closing = true; // a B-end's link serves one session
}

void Relay::drop(Client& c, const char* why)
{
    endSession(c, why);
    if (c.role == Role::CEnd) {
        auto it = m_registered.find(c.serial);
        if (it != m_registered.end() && it->second == &c) {
            m_registered.erase(it);
            log("adapter " + c.serial + " unregistered: " + why);
        }
    }
    c.closing = true;
    c.out.clear();
    c.outPos = 0;
    c.channel.reset();
}

bool Relay::handleConnect(Client& c, const remote::ConnectMsg& m, bool control, const std::string& ownSerial)
{
    const auto now = Clock::now();
    auto answer = [&](std::int32_t status, const std::string& text) {
        send(c, remote::encodeAck(remote::Type::ConnectAck, remote::AckMsg{status, text}));
    };
    if (locked(m_addressFailures, c.address, now) || locked(m_serialFailures, m.serial, now)) {
        log("connect to " + m.serial + " from " + c.address + " refused: locked out after wrong codes");
        answer(remote::kStatusWrongCode, "locked");
        c.closing = true;
        return true;
    }
    auto it = m_registered.find(m.serial);
    if (it == m_registered.end()) {
        answer(remote::kStatusOffline, "offline");
        c.closing = true;
        return true;
    }
    Client& target = *it->second;
    // Fixed-width comparison whose time does not depend on where the codes differ.
    const std::uint32_t given = m.code;
    const std::uint32_t held = target.code;
    if (CRYPTO_memcmp(&given, &held, sizeof given) != 0) {
        fail(m_serialFailures, m.serial, m_options.maxWrongPerSerial, now);
        fail(m_addressFailures, c.address, m_options.maxWrongPerAddress, now);
        log("wrong code for " + m.serial + " from " + c.address);
        answer(remote::kStatusWrongCode, "wrong code");
        c.closing = true;
        return true;
    }
    if (target.partner) {
        log("connect to " + m.serial + " from " + c.address + " refused: already in a session");
        answer(remote::kStatusBusy, "busy");
        c.closing = true;
        return true;
    }
    c.role = Role::BEnd;
    c.serial = m.serial;
    c.partner = &target;
    target.partner = &c;
    target.bytesInAtPairing = target.bytesIn;
    c.deviceControl = control;
    target.deviceControl = control;
    answer(remote::kStatusOk, m.serial);
    if (control)
        send(target, remote::encodeControlSession(remote::ControlSessionMsg{c.address, ownSerial}));
    else
        send(target, remote::encodeSession(c.address));
    log(std::string(control ? "device-control session of " : "session of ") + m.serial + " started for " + c.address);
    return true;
}

bool Relay::handleRegister(Client& c, const remote::RegisterMsg& m)
{
    using remote::Type;
    auto refuse = [&](const char* text) {
        send(c, remote::encodeAck(Type::RegisterAck, remote::AckMsg{remote::kStatusRefused, text}));
        c.closing = true;
        return true;
    };
    if (m.code == 0)
        return refuse("no code"); // 0 is "no code yet" on the C-end: nobody could connect with it
    if (c.role == Role::CEnd) {
        // The same link renews its registration with a new code.
        c.code = m.code;
        send(c, remote::encodeAck(Type::RegisterAck, remote::AckMsg{remote::kStatusOk, "registered"}));
        return true;
    }
    auto it = m_registered.find(m.serial);
    if (it != m_registered.end() && it->second->proven && !sameText(it->second->key, m.key)) {
        log("registration of " + m.serial + " from " + c.address + " refused: a checked adapter holds it");
        return refuse("registered with another key");
    }
    c.role = Role::CEnd;
    c.serial = m.serial;
    c.key = m.key;
    c.code = m.code;
    if (!m.checkable) {
        admit(c, false);
        return true;
    }
    // Ask the adapter behind this link for its serial and key before the
    // registration counts: the C-end connects the stream to the adapter it
    // serves, as it would for a B-end.
    c.checking = true;
    c.checkDeadline = Clock::now() + std::chrono::milliseconds(m_options.checkTimeoutMs);
    c.checkReply.clear();
    send(c, remote::encodeAck(Type::RegisterAck, remote::AckMsg{remote::kStatusChecking, "checking"}));
    send(c, remote::encodeOpen(kCheckStream));
    Json::Value request(Json::objectValue);
    request["op"] = mt7628::op::kStatus;
    const std::string line = mt7628::encodeFrame(request);
    remote::appendData(c.out, kCheckStream, line.data(), line.size());
    return true;
}

bool Relay::admit(Client& c, bool proven)
{
    using remote::Type;
    auto it = m_registered.find(c.serial);
    if (it != m_registered.end() && it->second != &c) {
        // The latest registration wins with the adapter's own key; a checked
        // one also wins over an unchecked one with another key, so whoever
        // registers a serial first cannot keep its adapter out. An unchecked
        // registration never replaces a checked one.
        Client& old = *it->second;
        const bool sameKey = sameText(old.key, c.key);
        const bool allowed = (proven || !old.proven) && (sameKey || (proven && !old.proven));
        if (!allowed) {
            const char* why = sameKey ? "a checked adapter holds it" : "registered with another key";
            log("registration of " + c.serial + " from " + c.address + " refused: " + why);
            send(c, remote::encodeAck(Type::RegisterAck, remote::AckMsg{remote::kStatusRefused, why}));
            c.closing = true;
            c.role = Role::None;
            return false;
        }
        if (!sameKey)
            log("registration of " + c.serial + " from " + old.address + " replaced by the checked adapter from "
                + c.address);
        endSession(old, "registration replaced");
        send(old, remote::encodeEnd(remote::EndMsg{remote::EndReason::Replaced, "registered elsewhere"}));
        old.closing = true;
        old.role = Role::None;
    }
    c.role = Role::CEnd;
    c.proven = proven;
    m_registered[c.serial] = &c;
    log("adapter " + c.serial + " registered from " + c.address + (proven ? " (checked)" : " (unchecked)"));
    send(c, remote::encodeAck(Type::RegisterAck, remote::AckMsg{remote::kStatusOk, "registered"}));
    return true;
}

void Relay::checkAnswer(Client& c, const remote::Frame& f, const remote::StreamMsg& m)
{
    if (m.stream != kCheckStream)
        return;
    if (f.type == remote::Type::Close) {
        finishCheck(c, false); // the C-end could not reach the adapter
        return;
    }
    c.checkReply.append(m.data.data(), m.data.size());
    const std::size_t lineEnd = c.checkReply.find('\n');
    if (lineEnd == std::string::npos) {
        if (c.checkReply.size() > kMaxCheckReply)
            finishCheck(c, false);
        return;
    }
    Json::Value reply;
    std::string serial;
    std::string key;
    const bool passed = mt7628::decodeFrame(c.checkReply.substr(0, lineEnd + 1), reply) && mt7628::replyOk(reply)
        && mt7628::getString(reply, "serial", serial) && mt7628::getString(reply, "key", key) && serial == c.serial
        && sameText(key, c.key);
    finishCheck(c, passed);
}

void Relay::finishCheck(Client& c, bool passed)
{
    c.checking = false;
    std::string().swap(c.checkReply);
    send(c, remote::encodeClose(kCheckStream));
    if (!passed)
        log("adapter check of " + c.serial + " from " + c.address + " failed");
    // A failed check leaves an unchecked registration, as from a C-end that
    // offers none.
    admit(c, passed);
}

void Relay::forward(Client& to, const remote::Frame& f)
{
    const char head[5] = {static_cast<char>((f.payload.size() + 1) >> 24),
        static_cast<char>((f.payload.size() + 1) >> 16), static_cast<char>((f.payload.size() + 1) >> 8),
        static_cast<char>(f.payload.size() + 1), static_cast<char>(f.type)};
    to.out.append(head, sizeof head);
    to.out += f.payload;
}

bool Relay::handle(Client& c, const remote::Frame& f)
{
    using remote::Type;
    std::string error;
    const bool first = !c.greeted;
    c.greeted = true;
    switch (f.type) {
    case Type::Register: {
        remote::RegisterMsg m;
        if (!remote::parseRegister(f, m, &error) || c.role == Role::BEnd || c.checking
            || (c.role == Role::CEnd && (m.serial != c.serial || !sameText(m.key, c.key))))
            break;
        return handleRegister(c, m);
    }
    case Type::Lookup: {
        remote::LookupMsg m;
        if (!remote::parseLookup(f, m, &error) || c.role != Role::None)
            break;
        if (++c.lookups > kMaxLookupsPerLink) {
            c.closing = true;
            return true;
        }
        // Lookups are counted per source address like wrong codes, so
        // reconnecting does not turn them into a serial oracle.
        const auto now = Clock::now();
        if (locked(m_lookups, c.address, now)) {
            send(c, remote::encodeAck(Type::LookupAck, remote::AckMsg{remote::kStatusWrongCode, "too many lookups"}));
            c.closing = true;
            return true;
        }
        fail(m_lookups, c.address, m_options.maxLookupsPerAddress, now);
        if (locked(m_lookups, c.address, now))
            log("lookups from " + c.address + " locked out: too many");
        const bool online = m_registered.count(m.serial) != 0;
        send(c,
            remote::encodeAck(Type::LookupAck,
                remote::AckMsg{online ? remote::kStatusOk : remote::kStatusOffline, online ? "online" : "offline"}));
        return true;
    }
    case Type::Connect: {
        remote::ConnectMsg m;
        if (!remote::parseConnect(f, m, &error) || c.role != Role::None)
            break;
        return handleConnect(c, m);
    }
    case Type::ControlConnect: {
        remote::ControlConnectMsg m;
        if (!remote::parseControlConnect(f, m, &error) || c.role != Role::None)
            break;
        return handleConnect(c, remote::ConnectMsg{m.serial, m.code}, true, m.ownSerial);
    }
    case Type::BusOpen:
    case Type::BusStatus:
    case Type::CanFrame: {
        // Bus frames pass unchanged, only within a device-control session;
        // buses are opened by the B-end only.
        remote::BusOpenMsg open;
        remote::BusStatusMsg status;
        remote::CanFrameMsg frame;
        const bool valid = f.type == Type::BusOpen ? remote::parseBusOpen(f, open, &error)
            : f.type == Type::BusStatus            ? remote::parseBusStatus(f, status, &error)
                                                   : remote::parseCanFrame(f, frame, &error);
        if (!valid)
            break;
        // An end's bus frames cross the end of its session on the wire:
        // those of an ended session are dropped, not taken as a fault.
        if (!c.deviceControl && c.controlEnded && f.type != Type::BusOpen)
            return true;
        if (!c.deviceControl || (f.type == Type::BusOpen && c.role != Role::BEnd)) {
            error = std::string(remote::typeName(f.type)) + " outside a device-control session";
            break;
        }
        if (c.partner) {
            c.bytesIn += f.payload.size() + 1;
            c.partner->streamsQueued = true;
            forward(*c.partner, f);
        }
        return true;
    }
    case Type::Ping: {
        remote::PingMsg m;
        if (!remote::parsePing(f, m, &error))
            break;
        c.delay = m.delay;
        send(c, remote::encodePing(Type::Pong, remote::PingMsg{m.stamp, c.partner ? c.partner->delay : -1}));
        return true;
    }
    case Type::Pong:
        return true;
    case Type::Open:
    case Type::Data:
    case Type::Close: {
        remote::StreamMsg m;
        if (!remote::parseStream(f, m, &error))
            break;
        if (c.checking && f.type != Type::Open) {
            checkAnswer(c, f, m);
            return true;
        }
        // Streams are opened by the B-end only; frames of an ended session are dropped.
        if (f.type == Type::Open && c.role != Role::BEnd) {
            error = "OPEN from a C-end";
            break;
        }
        if (c.role == Role::None) {
            error = "stream frame before a session";
            break;
        }
        // A device-control session reaches the buses only, never the adapter's module port.
        if (c.deviceControl) {
            error = "stream frame in a device-control session";
            break;
        }
        if (c.partner) {
            c.bytesIn += m.data.size();
            c.partner->streamsQueued = true;
            forward(*c.partner, f);
        }
        return true;
    }
    case Type::End: {
        remote::EndMsg m;
        if (!remote::parseEnd(f, m, &error))
            break;
        drop(c, c.role == Role::BEnd ? "B-end ended the session" : "C-end ended");
        return false;
    }
    default:
        error = std::string(remote::typeName(f.type)) + " not expected here";
        break;
    }
    if (error.empty())
        error = std::string(remote::typeName(f.type)) + " not expected in this state";
    log("link from " + c.address + " refused: " + error + (first ? " (first frame)" : ""));
    send(c, remote::encodeEnd(remote::EndMsg{remote::EndReason::Protocol, "bad frame"}));
    endSession(c, "the other end sent a bad frame");
    if (c.role == Role::CEnd) {
        auto it = m_registered.find(c.serial);
        if (it != m_registered.end() && it->second == &c)
            m_registered.erase(it);
    }
    c.role = Role::None;
    c.closing = true;
    return false;
}

void Relay::serve(Client& c, bool readable)
{
    if (!c.channel)
        return;
    // Handles the whole frames the reader holds while the link's own queue
    // has room (the rest wait); false when the link is gone or refused.
    auto take = [&]() -> bool {
        remote::Frame f;
        while (!c.closing && queued(c) < queueLimit(c)) {
            const auto r = c.reader.next(f);
            if (r == remote::FrameReader::Result::NeedMore)
                return true;
            if (r == remote::FrameReader::Result::Error) {
                log("link from " + c.address + " refused: " + c.reader.error());
                send(c, remote::encodeEnd(remote::EndMsg{remote::EndReason::Protocol, "bad frame"}));
                const std::string serial = c.serial;
                endSession(c, "the other end sent a bad frame");
                if (c.role == Role::CEnd && m_registered.count(serial) && m_registered[serial] == &c)
                    m_registered.erase(serial);
                c.role = Role::None;
                c.closing = true;
                return false;
            }
            if (!handle(c, f) || !c.channel)
                return false;
        }
        return true;
    };
    if (readable && !c.closing) {
        for (int round = 0; round < 8; ++round) {
            if (!take())
                break;
            if (!c.channel)
                return;
            if (c.closing || heldBack(c) || queued(c) >= queueLimit(c))
                break;
            const long n = c.channel->read(&m_buffer[0], m_buffer.size());
            if (n < 0) {
                drop(c, c.greeted ? "link closed" : "closed before its first frame");
                return;
            }
            if (n == 0)
                break;
            c.heard = Clock::now();
            c.reader.feed(m_buffer.data(), static_cast<std::size_t>(n));
        }
        if (!c.channel)
            return;
        if (!c.closing)
            take();
        if (!c.channel)
            return;
        c.reader.shrink();
    }
    // A link that lets its queue fill up does not read: it is dropped rather
    // than given more memory (answers to a flood of pings, say).
    auto writeOut = [this](Client& x) {
        if (!flush(x)) {
            drop(x, "link lost while sending");
        } else if (queued(x) >= queueLimit(x)) {
            log("link from " + x.address + " dropped: it does not read (" + std::to_string(queued(x))
                + " bytes waiting)");
            drop(x, "does not read");
        }
    };
    Client* partner = c.partner;
    writeOut(c);
    if (partner && partner->channel)
        writeOut(*partner);
}

void Relay::run(const std::atomic<bool>& stop)
{
    std::vector<remote::net::PollFd> fds;
    std::vector<Client*> owners;
    const auto idle = std::chrono::milliseconds(m_options.idleTimeoutMs);
    const auto silence = std::chrono::milliseconds(m_options.sessionSilenceMs);
    while (!stop) {
        const auto now = Clock::now();
        // Time-outs, finished closes, and buffers of dropped links.
        for (auto& c : m_clients) {
            if (!c->channel)
                continue;
            if (c->checking && now > c->checkDeadline)
                finishCheck(*c, false);
            if (heldBack(*c)) {
                c->heard = now;
                if (now - c->pinged >= kHeldBackPing) {
                    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
                    send(*c,
                        remote::encodePing(
                            remote::Type::Ping, remote::PingMsg{static_cast<std::uint64_t>(ms.count()), -1}));
                    c->pinged = now;
                }
            }
            if (queued(*c) == 0)
                c->wrote = now;
            if (!c->greeted && now > c->deadline) {
                log("link from " + c->address + " sent no valid first frame in time");
                drop(*c, "time-out");
            } else if (c->greeted && now - c->heard > (c->partner ? silence : idle)) {
                log("link from " + c->address + " silent too long" + (c->partner ? " in a session" : ""));
                drop(*c, "the other end went silent");
            } else if (now - c->wrote > idle) {
                log("link from " + c->address + " takes none of its bytes");
                drop(*c, "the other end stopped reading");
            } else if (c->closing && queued(*c) == 0) {
                drop(*c, "closed");
            }
        }
        m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(),
                            [](const std::unique_ptr<Client>& c) { return !c->channel; }),
            m_clients.end());

        fds.clear();
        owners.clear();
        remote::net::PollFd p{};
        p.fd = m_listener;
        // Out of descriptors, the listener would stay readable: left out a while.
        const bool acceptPaused = now < m_acceptPausedUntil;
        p.events = acceptPaused ? 0 : POLLIN;
        fds.push_back(p);
        owners.push_back(nullptr);
        bool pending = false;
        for (auto& c : m_clients) {
            p.fd = c->channel->fd();
            p.events = 0;
            const bool blocked = heldBack(*c);
            if (!blocked || c->channel->wantsWrite())
                p.events |= POLLIN;
            if (c->outPos < c->out.size() || c->channel->wantsWrite())
                p.events |= POLLOUT;
            if (!blocked && c->channel->hasPending())
                pending = true;
            fds.push_back(p);
            owners.push_back(c.get());
        }
        int timeout = 500;
        if (acceptPaused)
            timeout = static_cast<int>(std::min<long long>(
                timeout, std::chrono::duration_cast<std::chrono::milliseconds>(m_acceptPausedUntil - now).count() + 1));
        const int n = remote::net::pollSockets(fds.data(), fds.size(), pending ? 0 : timeout);
        if (n < 0) {
            log("poll failed");
            return;
        }
        if (fds[0].revents & POLLIN)
            accept();
        for (std::size_t i = 1; i < fds.size(); ++i) {
            Client* c = owners[i];
            if (!c->channel)
                continue;
            const bool readable = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) || c->channel->hasPending();
            if (readable || (fds[i].revents & POLLOUT))
                serve(*c, readable);
        }
    }
    log("stopping, " + std::to_string(m_clients.size()) + " link(s) open");
    for (auto& c : m_clients)
        if (c->channel) {
            send(*c, remote::encodeEnd(remote::EndMsg{remote::EndReason::Closing, "relay stopping"}));
            flush(*c);
        }
}

} // namespace relay
