#include "remote/Frame.h"

#include "Payload.h"

#include <cstring>

namespace remote {
namespace {

// REGISTER's optional flags byte: the C-end serves the relay's adapter check.
constexpr std::uint8_t kRegisterCheckable = 1;

using payload::Reader;
using payload::Writer;

// Printable ASCII; blanks only where `blanks` (texts, not keys).
bool printable(std::string_view s, bool blanks = true)
{
    for (const char c : s)
        if (c < (blanks ? 0x20 : 0x21) || c > 0x7E)
            return false;
    return true;
}

bool expect(const Frame& f, Type t, std::string* error)
{
    if (f.type == t)
        return true;
    if (error)
        *error = std::string("expected ") + typeName(t) + ", got " + typeName(f.type);
    return false;
}

bool version(Reader& r)
{
    std::uint8_t v = 0;
    if (!r.u8(v))
        return false;
    return v == kProtocolVersion || r.fail("unsupported protocol version " + std::to_string(v));
}

bool checkSerial(Reader& r, const std::string& s)
{
    return validSerial(s) || r.fail("bad serial");
}

bool checkKey(Reader& r, const std::string& s)
{
    return validKey(s) || r.fail("bad key");
}

bool checkCode(Reader& r, std::uint32_t code)
{
    return code <= kMaxCode || r.fail("bad code");
}

} // namespace

bool validSerial(std::string_view s)
{
    if (s.empty() || s.size() > kMaxSerial)
        return false;
    for (const char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    return true;
}

bool validKey(std::string_view s)
{
    return s.size() <= kMaxKey && printable(s, false);
}

const char* typeName(Type t)
{
    switch (t) {
    case Type::Register:
        return "REGISTER";
    case Type::RegisterAck:
        return "REGISTER_ACK";
    case Type::Lookup:
        return "LOOKUP";
    case Type::LookupAck:
        return "LOOKUP_ACK";
    case Type::Connect:
        return "CONNECT";
    case Type::ConnectAck:
        return "CONNECT_ACK";
    case Type::Session:
        return "SESSION";
    case Type::Open:
        return "OPEN";
    case Type::Data:
        return "DATA";
    case Type::Close:
        return "CLOSE";
    case Type::Ping:
        return "PING";
    case Type::Pong:
        return "PONG";
    case Type::End:
        return "END";
    case Type::Challenge:
        return "CHALLENGE";
    case Type::Proof:
        return "PROOF";
    case Type::ControlConnect:
        return "CONTROL_CONNECT";
    case Type::ControlSession:
        return "CONTROL_SESSION";
    case Type::BusOpen:
        return "BUS_OPEN";
    case Type::BusStatus:
        return "BUS_STATUS";
    case Type::CanFrame:
        return "CAN";
    }
    return "unknown";
}

std::string encodeRegister(const RegisterMsg& m)
{
    Writer w(Type::Register);
    w.u8(kProtocolVersion);
    w.text(m.serial);
    w.text(m.key);
    w.u32(m.code);
    if (m.checkable)
        w.u8(kRegisterCheckable);
    return w.done();
}

std::string encodeLookup(const LookupMsg& m)
{
    Writer w(Type::Lookup);
    w.u8(kProtocolVersion);
    w.text(m.serial);
    return w.done();
}

std::string encodeConnect(const ConnectMsg& m)
{
    Writer w(Type::Connect);
    w.u8(kProtocolVersion);
    w.text(m.serial);
    w.u32(m.code);
    return w.done();
}

std::string encodeAck(Type type, const AckMsg& m)
{
    Writer w(type);
    w.i32(m.status);
    w.text(m.text.substr(0, kMaxText));
    return w.done();
}

std::string encodeSession(const std::string& peerText)
{
    Writer w(Type::Session);
    w.text(peerText.substr(0, kMaxText));
    return w.done();
}

std::string encodeOpen(std::uint32_t stream)
{
    Writer w(Type::Open);
    w.u32(stream);
    return w.done();
}

std::string encodeOpen(std::uint32_t stream, std::uint8_t target)
{
    Writer w(Type::Open);
    w.u32(stream);
    w.u8(target);
    return w.done();
}

std::string encodeClose(std::uint32_t stream)
{
    Writer w(Type::Close);
    w.u32(stream);
    return w.done();
}

void appendData(std::string& out, std::uint32_t stream, const char* data, std::size_t size)
{
    if (size > kMaxData)
        size = kMaxData;
    const std::uint32_t body = static_cast<std::uint32_t>(1 + 4 + size);
    char head[9];
    for (int i = 0; i < 4; ++i)
        head[i] = static_cast<char>((body >> (24 - 8 * i)) & 0xFF);
    head[4] = static_cast<char>(Type::Data);
    for (int i = 0; i < 4; ++i)
        head[5 + i] = static_cast<char>((stream >> (24 - 8 * i)) & 0xFF);
    out.append(head, sizeof head);
    out.append(data, size);
}

std::string encodePing(Type type, const PingMsg& m)
{
    Writer w(type);
    w.u64(m.stamp);
    w.i32(m.delay);
    return w.done();
}

std::string encodeEnd(const EndMsg& m)
{
    Writer w(Type::End);
    w.u8(static_cast<std::uint8_t>(m.reason));
    w.text(m.text.substr(0, kMaxText));
    return w.done();
}

std::string encodeChallenge(const ChallengeMsg& m)
{
    Writer w(Type::Challenge);
    w.raw(m.nonce.substr(0, kNonceSize));
    return w.done();
}

std::string encodeProof(const ProofMsg& m)
{
    Writer w(Type::Proof);
    w.u8(kProtocolVersion);
    w.text(m.serial);
    w.text(m.key);
    w.raw(m.proof.substr(0, kProofSize));
    return w.done();
}

bool parseRegister(const Frame& f, RegisterMsg& m, std::string* error)
{
    if (!expect(f, Type::Register, error))
        return false;
    Reader r(f, error);
    if (!version(r) || !r.text(m.serial, kMaxSerial, "serial") || !checkSerial(r, m.serial)
        || !r.text(m.key, kMaxKey, "key") || !checkKey(r, m.key) || !r.u32(m.code) || !checkCode(r, m.code))
        return false;
    m.checkable = false;
    if (r.atEnd())
        return true;
    std::uint8_t flags = 0;
    if (!r.u8(flags))
        return false;
    if (flags != kRegisterCheckable)
        return r.fail("unknown registration flags");
    m.checkable = true;
    return r.end();
}

bool parseLookup(const Frame& f, LookupMsg& m, std::string* error)
{
    if (!expect(f, Type::Lookup, error))
        return false;
    Reader r(f, error);
    return version(r) && r.text(m.serial, kMaxSerial, "serial") && checkSerial(r, m.serial) && r.end();
}

bool parseConnect(const Frame& f, ConnectMsg& m, std::string* error)
{
    if (!expect(f, Type::Connect, error))
        return false;
    Reader r(f, error);
    return version(r) && r.text(m.serial, kMaxSerial, "serial") && checkSerial(r, m.serial) && r.u32(m.code)
        && checkCode(r, m.code) && r.end();
}

bool parseAck(const Frame& f, AckMsg& m, std::string* error)
{
    if (f.type != Type::RegisterAck && f.type != Type::LookupAck && f.type != Type::ConnectAck) {
        if (error)
            *error = std::string("expected an answer, got ") + typeName(f.type);
        return false;
    }
    Reader r(f, error);
    return r.i32(m.status) && r.text(m.text, kMaxText, "text") && (printable(m.text) || r.fail("bad text")) && r.end();
}

bool parseSession(const Frame& f, std::string& peerText, std::string* error)
{
    if (!expect(f, Type::Session, error))
        return false;
    Reader r(f, error);
    return r.text(peerText, kMaxText, "peer text") && (printable(peerText) || r.fail("bad peer text")) && r.end();
}

bool parseStream(const Frame& f, StreamMsg& m, std::string* error)
{
    if (f.type != Type::Open && f.type != Type::Data && f.type != Type::Close) {
        if (error)
            *error = std::string("expected a stream frame, got ") + typeName(f.type);
        return false;
    }
    Reader r(f, error);
    if (!r.u32(m.stream))
        return false;
    if (f.type == Type::Data) {
        m.data = r.rest();
        if (m.data.empty())
            return r.fail("empty DATA");
        return true;
    }
    m.data = {};
    m.target = kTargetModule;
    m.targetGiven = false;
    if (f.type == Type::Open && f.payload.size() == 5) {
        if (!r.u8(m.target))
            return false;
        m.targetGiven = true;
    }
    return r.end();
}

bool parsePing(const Frame& f, PingMsg& m, std::string* error)
{
    if (f.type != Type::Ping && f.type != Type::Pong) {
        if (error)
            *error = std::string("expected PING or PONG, got ") + typeName(f.type);
        return false;
    }
    Reader r(f, error);
    return r.u64(m.stamp) && r.i32(m.delay) && (m.delay >= -1 || r.fail("bad delay")) && r.end();
}

bool parseEnd(const Frame& f, EndMsg& m, std::string* error)
{
    if (!expect(f, Type::End, error))
        return false;
    Reader r(f, error);
    std::uint8_t reason = 0;
    if (!r.u8(reason))
        return false;
    if (reason < 1 || reason > 5)
        return r.fail("unknown END reason");
    m.reason = static_cast<EndReason>(reason);
    return r.text(m.text, kMaxText, "text") && (printable(m.text) || r.fail("bad text")) && r.end();
}

bool parseChallenge(const Frame& f, ChallengeMsg& m, std::string* error)
{
    if (!expect(f, Type::Challenge, error))
        return false;
    Reader r(f, error);
    return r.raw(m.nonce, kNonceSize) && r.end();
}

bool parseProof(const Frame& f, ProofMsg& m, std::string* error)
{
    if (!expect(f, Type::Proof, error))
        return false;
    Reader r(f, error);
    return version(r) && r.text(m.serial, kMaxSerial, "serial") && checkSerial(r, m.serial)
        && r.text(m.key, kMaxKey, "key") && checkKey(r, m.key) && r.raw(m.proof, kProofSize) && r.end();
}

// ---- FrameReader ----------------------------------------------------------
void FrameReader::feed(const char* data, std::size_t size)
{
    if (m_failed || size == 0)
        return;
    // Drop what was taken before growing, so the buffer holds at most one
    // frame plus what arrived with it.
    if (m_pos > 0 && (m_pos == m_buffer.size() || m_pos > 65536)) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, size);
}

std::size_t FrameReader::pendingFrameSize() const
{
    if (m_buffer.size() - m_pos < kHeaderSize)
        return 0;
    std::uint32_t body = 0;
    for (std::size_t i = 0; i < 4; ++i)
        body = (body << 8) | static_cast<std::uint8_t>(m_buffer[m_pos + i]);
    return kHeaderSize + body;
}

FrameReader::Result FrameReader::next(Frame& frame)
{
    if (m_failed)
        return Result::Error;
    const std::size_t held = m_buffer.size() - m_pos;
    if (held < kHeaderSize)
        return Result::NeedMore;
    std::uint32_t body = 0;
    for (std::size_t i = 0; i < 4; ++i)
        body = (body << 8) | static_cast<std::uint8_t>(m_buffer[m_pos + i]);
    if (body == 0 || body > kMaxBody) {
        m_failed = true;
        m_error = body == 0 ? "empty frame" : "frame of " + std::to_string(body) + " bytes is over the limit";
        return Result::Error;
    }
    if (held == kHeaderSize)
        return Result::NeedMore; // the type byte is not in yet
    const std::uint8_t type = static_cast<std::uint8_t>(m_buffer[m_pos + kHeaderSize]);
    if (type < static_cast<std::uint8_t>(Type::Register) || type > static_cast<std::uint8_t>(kLastType)) {
        m_failed = true;
        m_error = "unknown frame type " + std::to_string(type);
        return Result::Error;
    }
    if (held < kHeaderSize + body)
        return Result::NeedMore;
    frame.type = static_cast<Type>(type);
    frame.payload.assign(m_buffer, m_pos + kHeaderSize + 1, body - 1);
    m_pos += kHeaderSize + body;
    if (m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    }
    return Result::Frame;
}

void FrameReader::shrink()
{
    if (m_pos == m_buffer.size()) {
        std::string().swap(m_buffer);
        m_pos = 0;
    }
}

} // namespace remote
