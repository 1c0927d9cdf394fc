// The device-control messages (remote/Bridge.h) as a C-end or B-end reads
// them from the relay: a message its parser takes has fields a bus can carry
// (bus, identifier, length, flags, rates) and encodes back to the very bytes
// it came from; nothing is read past a frame's end.
#include "FuzzSupport.h"

#include "remote/Bridge.h"

#include <string>

namespace {

using namespace remote;

std::string whole(const Frame& f)
{
    const std::uint32_t n = static_cast<std::uint32_t>(f.payload.size() + 1);
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
        static_cast<char>(n), static_cast<char>(f.type)};
    return out + f.payload;
}

void check(const Frame& f)
{
    const std::string bytes = whole(f);
    CanFrameMsg can;
    if (parseCanFrame(f, can, nullptr)) {
        BW_FUZZ_CHECK(validCanFrame(can) && can.length <= kMaxCanData && can.bus < kBusCount);
        std::string again;
        appendCanFrame(again, can);
        BW_FUZZ_CHECK(again == bytes);
    }
    BusOpenMsg open;
    if (parseBusOpen(f, open, nullptr))
        BW_FUZZ_CHECK(open.bus < kBusCount && validCanBaud(open.canBaud) && validCanFdBaud(open.canFdBaud)
            && encodeBusOpen(open) == bytes);
    BusStatusMsg status;
    if (parseBusStatus(f, status, nullptr))
        BW_FUZZ_CHECK(status.bus < kBusCount && status.status >= kBusRefused && encodeBusStatus(status) == bytes);
    ControlConnectMsg connect;
    if (parseControlConnect(f, connect, nullptr))
        BW_FUZZ_CHECK(validSerial(connect.serial) && connect.code <= kMaxCode
            && (connect.ownSerial.empty() || validSerial(connect.ownSerial)) && encodeControlConnect(connect) == bytes);
    ControlSessionMsg session;
    if (parseControlSession(f, session, nullptr))
        BW_FUZZ_CHECK(session.peerText.size() <= kMaxText && encodeControlSession(session) == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the bridge type; the rest is that frame's payload,
    // then whatever a stream of such frames holds.
    Frame f;
    f.type = static_cast<Type>(static_cast<std::uint8_t>(Type::ControlConnect) + data[0] % 5);
    f.payload.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    check(f);

    FrameReader reader;
    reader.feed(reinterpret_cast<const char*>(data + 1), size - 1);
    Frame g;
    while (reader.next(g) == FrameReader::Result::Frame)
        check(g);
    return 0;
}
