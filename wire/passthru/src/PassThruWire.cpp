#include "passthru/PassThruWire.h"

#include "wire/BigEndian.h"

#include <algorithm>

namespace passthru {
namespace {

// ---- Writing ------------------------------------------------------------
class Writer : public wire::BigEndianWriter<std::vector<std::uint8_t>> {
public:
    Writer(std::uint8_t type, std::uint32_t tag)
        : BigEndianWriter(4)
    {
        u8(type);
        u32(tag);
    }
    void str(const std::string& s)
    {
        const std::string t = wireText(s);
        u16(static_cast<std::uint16_t>(t.size()));
        m_bytes.insert(m_bytes.end(), t.begin(), t.end());
    }
    // A message whose data is too long makes the whole frame unencodable.
    void msg(const Message& m)
    {
        if (m.data.size() > kMaxData) {
            m_bad = true;
            return;
        }
        u32(m.protocolId);
        u32(m.rxStatus);
        u32(m.txFlags);
        u64(m.timestamp);
        u32(m.extraDataIndex);
        u16(static_cast<std::uint16_t>(m.data.size()));
        m_bytes.insert(m_bytes.end(), m.data.begin(), m.data.end());
    }
    void fail() { m_bad = true; }
    std::vector<std::uint8_t> done()
    {
        if (m_bad || bodySize() > kMaxLength)
            return {};
        return finish();
    }

private:
    bool m_bad = false;
};

// ---- Reading --------------------------------------------------------------
class Reader : public wire::BigEndianReader<std::vector<std::uint8_t>> {
public:
    Reader(const Frame& f, std::string* error)
        : BigEndianReader(f.payload, error, "payload too short")
    {
    }
    bool str(std::string& s)
    {
        std::uint16_t n = 0;
        if (!u16(n))
            return false;
        if (n > kMaxText)
            return fail("text of " + std::to_string(n) + " bytes (at most 256)");
        if (!need(n))
            return false;
        s.assign(reinterpret_cast<const char*>(m_data.data() + m_pos), n);
        m_pos += n;
        if (!wellFormedUtf8(s))
            return fail("text is not UTF-8");
        return true;
    }
    bool msg(Message& m)
    {
        std::uint16_t n = 0;
        if (!u32(m.protocolId) || !u32(m.rxStatus) || !u32(m.txFlags) || !u64(m.timestamp) || !u32(m.extraDataIndex)
            || !u16(n))
            return false;
        if (n > kMaxData)
            return fail("message of " + std::to_string(n) + " data bytes (at most 4128)");
        if (!need(n))
            return false;
        m.data.assign(m_data.begin() + static_cast<std::ptrdiff_t>(m_pos),
            m_data.begin() + static_cast<std::ptrdiff_t>(m_pos + n));
        m_pos += n;
        return true;
    }
    bool count(std::uint16_t& n, std::size_t min, std::size_t max, const char* what)
    {
        if (!u16(n))
            return false;
        if (n < min || n > max)
            return fail(
                std::to_string(n) + " " + what + " (" + std::to_string(min) + " .. " + std::to_string(max) + ")");
        return true;
    }
    // The payload must be used up exactly.
    bool messages(std::vector<Message>& list, std::size_t min)
    {
        std::uint16_t n = 0;
        if (!count(n, min, kMaxMessagesPerFrame, "messages"))
            return false;
        list.resize(n);
        for (Message& m : list)
            if (!msg(m))
                return false;
        return true;
    }
    bool pairs(std::vector<ConfigPair>& list)
    {
        std::uint16_t n = 0;
        if (!count(n, 0, kMaxIoctlPairs, "parameters"))
            return false;
        list.resize(n);
        for (ConfigPair& p : list)
            if (!u32(p.parameter) || !u32(p.value))
                return false;
        return true;
    }
};

bool expectType(const Frame& f, Type t, std::string* error)
{
    if (f.type == static_cast<std::uint8_t>(t))
        return true;
    if (error)
        *error = "frame of type " + std::to_string(f.type) + " where " + std::to_string(static_cast<int>(t))
            + " was expected";
    return false;
}

bool isRequest(std::uint8_t t)
{
    return t >= 0x01 && t <= 0x0A;
}

// Events carry tag 0: no request's reply can be mistaken for one.
bool expectEvent(const Frame& f, Type t, std::string* error)
{
    if (!expectType(f, t, error))
        return false;
    if (f.tag == 0)
        return true;
    if (error)
        *error = "event with tag " + std::to_string(f.tag);
    return false;
}

} // namespace

bool wellFormedUtf8(const std::string& s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (s.size() - i < len)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string wireText(const std::string& s)
{
    std::string out;
    out.reserve(std::min(s.size(), kMaxText));
    std::size_t i = 0;
    while (i < s.size()) {
        // Length of the sequence starting here if it is well-formed, else 0.
        std::size_t len = 1;
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
            if (len && (s.size() - i < len || !wellFormedUtf8(s.substr(i, len))))
                len = 0;
        }
        const std::string piece = len ? s.substr(i, len) : std::string("?");
        if (out.size() + piece.size() > kMaxText)
            break;
        out += piece;
        i += len ? len : 1;
    }
    return out;
}

std::size_t messageWireSize(const Message& m)
{
    return kMessageHeaderSize + m.data.size();
}

bool knownType(std::uint8_t type)
{
    if (isRequest(type) || isRequest(static_cast<std::uint8_t>(type & ~kReplyBit)))
        return true;
    return type >= 0x40 && type <= 0x42;
}

// ---- Encoding -----------------------------------------------------------------
std::vector<std::uint8_t> encodeOpen(std::uint32_t tag, const OpenRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::Open), tag);
    w.u16(r.version);
    w.str(r.client);
    return w.done();
}

std::vector<std::uint8_t> encodeConnect(std::uint32_t tag, const ConnectRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::Connect), tag);
    w.u32(r.protocolId);
    w.u32(r.flags);
    w.u32(r.baudRate);
    return w.done();
}

std::vector<std::uint8_t> encodeDisconnect(std::uint32_t tag, const ChannelRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::Disconnect), tag);
    w.u32(r.channel);
    return w.done();
}

std::vector<std::uint8_t> encodeWrite(std::uint32_t tag, const WriteRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::Write), tag);
    if (r.messages.empty() || r.messages.size() > kMaxMessagesPerFrame)
        w.fail();
    w.u32(r.channel);
    w.u32(r.timeoutMs);
    w.u16(static_cast<std::uint16_t>(r.messages.size()));
    for (const Message& m : r.messages)
        w.msg(m);
    return w.done();
}

std::vector<std::uint8_t> encodeStartPeriodic(std::uint32_t tag, const StartPeriodicRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::StartPeriodic), tag);
    if (r.intervalMs < kMinPeriodMs || r.intervalMs > kMaxPeriodMs)
        w.fail();
    w.u32(r.channel);
    w.u32(r.intervalMs);
    w.msg(r.message);
    return w.done();
}

std::vector<std::uint8_t> encodeStop(Type type, std::uint32_t tag, const StopRequest& r)
{
    Writer w(static_cast<std::uint8_t>(type), tag);
    if (type != Type::StopPeriodic && type != Type::StopFilter)
        w.fail();
    w.u32(r.channel);
    w.u32(r.id);
    return w.done();
}

std::vector<std::uint8_t> encodeStartFilter(std::uint32_t tag, const StartFilterRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::StartFilter), tag);
    w.u32(r.channel);
    w.u32(r.filterType);
    w.u8(r.flowControl ? 1 : 0);
    w.msg(r.mask);
    w.msg(r.pattern);
    if (r.flowControl)
        w.msg(*r.flowControl);
    return w.done();
}

std::vector<std::uint8_t> encodeIoctl(std::uint32_t tag, const IoctlRequest& r)
{
    Writer w(static_cast<std::uint8_t>(Type::Ioctl), tag);
    if (r.pairs.size() > kMaxIoctlPairs)
        w.fail();
    w.u32(r.channel);
    w.u32(r.ioctlId);
    w.u16(static_cast<std::uint16_t>(r.pairs.size()));
    for (const ConfigPair& p : r.pairs) {
        w.u32(p.parameter);
        w.u32(p.value);
    }
    return w.done();
}

std::vector<std::uint8_t> encodeVersion(std::uint32_t tag)
{
    Writer w(static_cast<std::uint8_t>(Type::Version), tag);
    return w.done();
}

std::vector<std::uint8_t> encodeReply(std::uint32_t tag, const Reply& r)
{
    Writer w(static_cast<std::uint8_t>(static_cast<std::uint8_t>(r.request) | kReplyBit), tag);
    if (!isRequest(static_cast<std::uint8_t>(r.request)))
        w.fail();
    w.u32(r.status);
    if (r.status != 0) {
        w.str(r.text);
        if (r.request == Type::Write && r.status == kStatusTimeout)
            w.u32(r.value);
        return w.done();
    }
    switch (r.request) {
    case Type::Open:
        w.str(r.firmwareVersion);
        w.str(r.serial);
        w.u32(r.supplyMv);
        break;
    case Type::Version:
        w.str(r.firmwareVersion);
        w.str(r.serial);
        break;
    case Type::Connect:
    case Type::Write:
    case Type::StartPeriodic:
    case Type::StartFilter:
        w.u32(r.value);
        break;
    case Type::Ioctl:
        if (r.pairs.size() > kMaxIoctlPairs)
            w.fail();
        w.u16(static_cast<std::uint16_t>(r.pairs.size()));
        for (const ConfigPair& p : r.pairs) {
            w.u32(p.parameter);
            w.u32(p.value);
        }
        break;
    default:
        break;
    }
    return w.done();
}

std::vector<std::uint8_t> encodeRx(const RxEvent& e)
{
    Writer w(static_cast<std::uint8_t>(Type::Rx), 0);
    if (e.messages.empty() || e.messages.size() > kMaxMessagesPerFrame)
        w.fail();
    w.u32(e.channel);
    w.u16(static_cast<std::uint16_t>(e.messages.size()));
    for (const Message& m : e.messages)
        w.msg(m);
    return w.done();
}

std::vector<std::uint8_t> encodeLost(const LostEvent& e)
{
    Writer w(static_cast<std::uint8_t>(Type::Lost), 0);
    w.u32(e.channel);
    w.u32(e.count);
    return w.done();
}

std::vector<std::uint8_t> encodeBus(const BusEvent& e)
{
    Writer w(static_cast<std::uint8_t>(Type::Bus), 0);
    if (e.state > kBusOff)
        w.fail();
    w.u32(e.channel);
    w.u32(e.state);
    return w.done();
}

// ---- Stream -------------------------------------------------------------------
void FrameReader::feed(const std::uint8_t* data, std::size_t size)
{
    if (broken() || !data || size == 0)
        return;
    // Drop what was consumed before growing, so the buffer holds at most the
    // frame being assembled plus the new bytes.
    if (m_offset > 0 && (m_offset >= m_buffer.size() / 2 || m_offset == m_buffer.size())) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_offset));
        m_offset = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

std::optional<Frame> FrameReader::next()
{
    if (broken() || buffered() < 4 + 1)
        return std::nullopt;
    const std::uint8_t* p = m_buffer.data() + m_offset;
    const std::uint32_t length
        = (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
    if (length < kMinLength || length > kMaxLength) {
        m_error = "frame length " + std::to_string(length) + " out of range (5 .. 16384)";
        return std::nullopt;
    }
    if (!knownType(p[4])) {
        m_error = "unknown frame type " + std::to_string(p[4]);
        return std::nullopt;
    }
    if (buffered() < 4 + std::size_t(length))
        return std::nullopt;
    Frame f;
    f.type = p[4];
    f.tag = (std::uint32_t(p[5]) << 24) | (std::uint32_t(p[6]) << 16) | (std::uint32_t(p[7]) << 8) | p[8];
    f.payload.assign(p + kHeaderSize, p + 4 + length);
    m_offset += 4 + std::size_t(length);
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    return f;
}

// ---- Decoding ---------------------------------------------------------------
namespace {

// What every decoder does around its own fields: the type check, the payload
// read by `read` with nothing left over, and the result stored only when all
// of it held.
template <typename T, typename Read>
bool decodeBody(const Frame& f, bool typeOk, T* target, std::string* error, Read read)
{
    if (!typeOk)
        return false;
    Reader in(f, error);
    T out;
    if (!read(in, out) || !in.end())
        return false;
    if (target)
        *target = std::move(out);
    return true;
}

} // namespace

bool decodeOpen(const Frame& f, OpenRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::Open, error), r, error,
        [](Reader& in, OpenRequest& out) { return in.u16(out.version) && in.str(out.client); });
}

bool decodeConnect(const Frame& f, ConnectRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::Connect, error), r, error, [](Reader& in, ConnectRequest& out) {
        return in.u32(out.protocolId) && in.u32(out.flags) && in.u32(out.baudRate);
    });
}

bool decodeDisconnect(const Frame& f, ChannelRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::Disconnect, error), r, error,
        [](Reader& in, ChannelRequest& out) { return in.u32(out.channel); });
}

bool decodeWrite(const Frame& f, WriteRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::Write, error), r, error, [](Reader& in, WriteRequest& out) {
        return in.u32(out.channel) && in.u32(out.timeoutMs) && in.messages(out.messages, 1);
    });
}

bool decodeStartPeriodic(const Frame& f, StartPeriodicRequest* r, std::string* error)
{
    return decodeBody(
        f, expectType(f, Type::StartPeriodic, error), r, error, [](Reader& in, StartPeriodicRequest& out) {
            if (!in.u32(out.channel) || !in.u32(out.intervalMs) || !in.msg(out.message))
                return false;
            if (out.intervalMs < kMinPeriodMs || out.intervalMs > kMaxPeriodMs)
                return in.fail("interval " + std::to_string(out.intervalMs) + " ms (5 .. 65535)");
            return true;
        });
}

bool decodeStop(const Frame& f, StopRequest* r, std::string* error)
{
    const bool typeOk
        = f.type == static_cast<std::uint8_t>(Type::StopPeriodic) || expectType(f, Type::StopFilter, error);
    return decodeBody(
        f, typeOk, r, error, [](Reader& in, StopRequest& out) { return in.u32(out.channel) && in.u32(out.id); });
}

bool decodeStartFilter(const Frame& f, StartFilterRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::StartFilter, error), r, error, [](Reader& in, StartFilterRequest& out) {
        std::uint8_t hasFc = 0;
        if (!in.u32(out.channel) || !in.u32(out.filterType) || !in.u8(hasFc))
            return false;
        if (hasFc > 1)
            return in.fail("flow-control marker " + std::to_string(hasFc) + " (0 or 1)");
        if (!in.msg(out.mask) || !in.msg(out.pattern))
            return false;
        if (hasFc) {
            out.flowControl.emplace();
            return in.msg(*out.flowControl);
        }
        return true;
    });
}

bool decodeIoctl(const Frame& f, IoctlRequest* r, std::string* error)
{
    return decodeBody(f, expectType(f, Type::Ioctl, error), r, error, [](Reader& in, IoctlRequest& out) {
        return in.u32(out.channel) && in.u32(out.ioctlId) && in.pairs(out.pairs);
    });
}

bool decodeVersion(const Frame& f, std::string* error)
{
    if (!expectType(f, Type::Version, error))
        return false;
    Reader in(f, error);
    return in.end();
}

bool decodeReply(const Frame& f, Reply* r, std::string* error)
{
    const auto request = static_cast<std::uint8_t>(f.type & ~kReplyBit);
    Reader in(f, error);
    if (!(f.type & kReplyBit) || !isRequest(request))
        return in.fail("frame of type " + std::to_string(f.type) + " is no reply");
    Reply out;
    out.request = static_cast<Type>(request);
    if (!in.u32(out.status))
        return false;
    if (out.status != 0) {
        if (!in.str(out.text))
            return false;
        if (out.request == Type::Write && out.status == kStatusTimeout && !in.u32(out.value))
            return false;
    } else {
        switch (out.request) {
        case Type::Open:
            if (!in.str(out.firmwareVersion) || !in.str(out.serial) || !in.u32(out.supplyMv))
                return false;
            break;
        case Type::Version:
            if (!in.str(out.firmwareVersion) || !in.str(out.serial))
                return false;
            break;
        case Type::Connect:
        case Type::Write:
        case Type::StartPeriodic:
        case Type::StartFilter:
            if (!in.u32(out.value))
                return false;
            break;
        case Type::Ioctl:
            if (!in.pairs(out.pairs))
                return false;
            break;
        default:
            break;
        }
    }
    if (!in.end())
        return false;
    if (r)
        *r = std::move(out);
    return true;
}

bool decodeRx(const Frame& f, RxEvent* e, std::string* error)
{
    return decodeBody(f, expectEvent(f, Type::Rx, error), e, error,
        [](Reader& in, RxEvent& out) { return in.u32(out.channel) && in.messages(out.messages, 1); });
}

bool decodeLost(const Frame& f, LostEvent* e, std::string* error)
{
    return decodeBody(f, expectEvent(f, Type::Lost, error), e, error,
        [](Reader& in, LostEvent& out) { return in.u32(out.channel) && in.u32(out.count); });
}

bool decodeBus(const Frame& f, BusEvent* e, std::string* error)
{
    return decodeBody(f, expectEvent(f, Type::Bus, error), e, error, [](Reader& in, BusEvent& out) {
        if (!in.u32(out.channel) || !in.u32(out.state))
            return false;
        if (out.state > kBusOff)
            return in.fail("bus state " + std::to_string(out.state) + " (0 .. 2)");
        return true;
    });
}

} // namespace passthru
