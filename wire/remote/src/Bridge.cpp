#include "remote/Bridge.h"

#include "Payload.h"

namespace remote {
namespace {

using payload::Reader;
using payload::Writer;

bool expect(const Frame& f, Type t, std::string* error)
{
    if (f.type == t)
        return true;
    if (error)
        *error = std::string("expected ") + typeName(t) + ", got " + typeName(f.type);
    return false;
}

bool printable(const std::string& s)
{
    for (const char c : s)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

bool alnum(const std::string& s)
{
    return s.empty() || validSerial(s);
}

bool validFdLength(std::size_t n)
{
    if (n <= 8)
        return true;
    return n == 12 || n == 16 || n == 20 || n == 24 || n == 32 || n == 48 || n == 64;
}

} // namespace

bool validCanBaud(std::uint32_t baud)
{
    switch (baud) {
    case 100000:
    case 125000:
    case 250000:
    case 500000:
    case 800000:
    case 1000000:
        return true;
    default:
        return false;
    }
}

bool validCanFdBaud(std::uint32_t baud)
{
    return baud == 0 || baud == 1000000 || baud == 2000000 || baud == 4000000 || baud == 5000000;
}

bool validCanFrame(const CanFrameMsg& m)
{
    if (m.bus >= kBusCount || (m.flags & ~kCanKnownFlags) != 0)
        return false;
    if (m.id > ((m.flags & kCanExtended) ? 0x1FFFFFFFu : 0x7FFu))
        return false;
    if (m.flags & kCanFd)
        return validFdLength(m.length);
    return (m.flags & kCanBrs) == 0 && m.length <= kMaxClassicData;
}

void busPins(std::uint8_t bus, std::uint32_t& pinA, std::uint32_t& pinB)
{
    pinA = bus == 0 ? 6 : 3;
    pinB = bus == 0 ? 14 : 11;
}

int busOfPins(std::uint32_t a, std::uint32_t b)
{
    if ((a == 6 && b == 14) || (a == 14 && b == 6))
        return 0;
    if ((a == 3 && b == 11) || (a == 11 && b == 3))
        return 1;
    return -1;
}

std::string encodeControlConnect(const ControlConnectMsg& m)
{
    Writer w(Type::ControlConnect);
    w.u8(kProtocolVersion);
    w.text(m.serial);
    w.u32(m.code);
    w.text(m.ownSerial);
    return w.done();
}

std::string encodeControlSession(const ControlSessionMsg& m)
{
    Writer w(Type::ControlSession);
    w.text(m.peerText);
    w.text(m.ownSerial);
    return w.done();
}

std::string encodeBusOpen(const BusOpenMsg& m)
{
    Writer w(Type::BusOpen);
    w.u8(m.bus);
    w.u32(m.canBaud);
    w.u32(m.canFdBaud);
    return w.done();
}

std::string encodeBusStatus(const BusStatusMsg& m)
{
    Writer w(Type::BusStatus);
    w.u8(m.bus);
    w.u32(static_cast<std::uint32_t>(m.status));
    w.u32(m.drops);
    return w.done();
}

void appendCanFrame(std::string& out, const CanFrameMsg& m)
{
    Writer w(Type::CanFrame);
    w.u8(m.bus);
    w.u8(m.flags);
    w.u32(m.id);
    w.raw(m.data, m.length <= kMaxCanData ? m.length : kMaxCanData);
    out += w.done();
}

bool parseControlConnect(const Frame& f, ControlConnectMsg& m, std::string* error)
{
    if (!expect(f, Type::ControlConnect, error))
        return false;
    Reader r(f, error);
    std::uint8_t version = 0;
    if (!r.u8(version))
        return false;
    if (version != kProtocolVersion)
        return r.fail("unsupported protocol version " + std::to_string(version));
    return r.text(m.serial, kMaxSerial, "serial") && (validSerial(m.serial) || r.fail("bad serial")) && r.u32(m.code)
        && (m.code <= kMaxCode || r.fail("bad code")) && r.text(m.ownSerial, kMaxSerial, "serial")
        && (alnum(m.ownSerial) || r.fail("bad serial")) && r.end();
}

bool parseControlSession(const Frame& f, ControlSessionMsg& m, std::string* error)
{
    if (!expect(f, Type::ControlSession, error))
        return false;
    Reader r(f, error);
    return r.text(m.peerText, kMaxText, "peer text") && (printable(m.peerText) || r.fail("control character"))
        && r.text(m.ownSerial, kMaxSerial, "serial") && (alnum(m.ownSerial) || r.fail("bad serial")) && r.end();
}

bool parseBusOpen(const Frame& f, BusOpenMsg& m, std::string* error)
{
    if (!expect(f, Type::BusOpen, error))
        return false;
    Reader r(f, error);
    return r.u8(m.bus) && (m.bus < kBusCount || r.fail("no such bus")) && r.u32(m.canBaud)
        && (validCanBaud(m.canBaud) || r.fail("CAN rate not offered")) && r.u32(m.canFdBaud)
        && (validCanFdBaud(m.canFdBaud) || r.fail("CAN FD rate not offered")) && r.end();
}

bool parseBusStatus(const Frame& f, BusStatusMsg& m, std::string* error)
{
    if (!expect(f, Type::BusStatus, error))
        return false;
    Reader r(f, error);
    std::uint32_t status = 0;
    if (!r.u8(m.bus) || !(m.bus < kBusCount || r.fail("no such bus")) || !r.u32(status) || !r.u32(m.drops) || !r.end())
        return false;
    m.status = static_cast<std::int32_t>(status);
    return m.status >= kBusRefused || r.fail("bad bus status");
}

bool parseCanFrame(const Frame& f, CanFrameMsg& m, std::string* error)
{
    if (!expect(f, Type::CanFrame, error))
        return false;
    Reader r(f, error);
    if (!r.u8(m.bus) || !r.u8(m.flags) || !r.u32(m.id))
        return false;
    if (r.left() > kMaxCanData)
        return r.fail("CAN frame over 64 bytes");
    m.length = static_cast<std::uint8_t>(r.left());
    r.rest(m.data, m.length);
    return validCanFrame(m) || r.fail("not a CAN frame");
}

} // namespace remote
