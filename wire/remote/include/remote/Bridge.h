// The device-control messages of the remote-session frames: a B-end's CAN
// buses bridged, frame by frame, to the same buses of the C-end adapter
// through the relay. Layout: docs/remote-protocol.md, "Device control".
//
// Strict like the other messages: a payload that is not exactly its fields,
// a bus other than the two, a rate outside the offered lists, an identifier
// beyond its format, a length a CAN or CAN FD frame cannot have, or an
// unknown flag is refused with a reason.
#pragma once

#include "remote/Frame.h"

#include <cstdint>
#include <string>

namespace remote {

// The two buses: 0 = pins 6/14, 1 = pins 3/11.
inline constexpr std::uint8_t kBusCount = 2;
inline constexpr std::size_t kMaxCanData = 64;
inline constexpr std::size_t kMaxClassicData = 8;

// CAN frame flags.
enum : std::uint8_t {
    kCanExtended = 0x01, // 29-bit identifier
    kCanFd = 0x02,       // CAN FD frame
    kCanBrs = 0x04,      // CAN FD with the faster data phase
    kCanKnownFlags = kCanExtended | kCanFd | kCanBrs,
};

// BUS_STATUS states.
enum : std::int32_t {
    kBusOpen = 0,
    kBusClosed = -1,  // the sender closed the bus (session end, adapter gone)
    kBusRefused = -2, // not the rates of the session, or opened twice
    // A positive value is the J2534 error of the sender's adapter.
};

struct ControlConnectMsg {
    std::string serial; // the C-end adapter
    std::uint32_t code = 0;
    std::string ownSerial; // the B-end adapter, shown at the C-end
};
struct ControlSessionMsg {
    std::string peerText; // the B-end's address
    std::string ownSerial;
};
struct BusOpenMsg {
    std::uint8_t bus = 0;
    std::uint32_t canBaud = 500000;
    std::uint32_t canFdBaud = 0; // 0: classic CAN only
};
struct BusStatusMsg {
    std::uint8_t bus = 0;
    std::int32_t status = kBusOpen;
    std::uint32_t drops = 0; // frames the sender dropped on this bus so far
};
struct CanFrameMsg {
    std::uint8_t bus = 0;
    std::uint8_t flags = 0;
    std::uint32_t id = 0;
    std::uint8_t length = 0;
    std::uint8_t data[kMaxCanData] = {};
};

// The rates a bus may be opened with (those "Config Select" offers).
bool validCanBaud(std::uint32_t baud);
bool validCanFdBaud(std::uint32_t baud); // 0 included
// Whether a frame with these fields can exist on a bus (see above).
bool validCanFrame(const CanFrameMsg& m);
// The OBD pins of a bus.
void busPins(std::uint8_t bus, std::uint32_t& pinA, std::uint32_t& pinB);
// The bus on pins a/b (either order); -1 for any other pair.
int busOfPins(std::uint32_t a, std::uint32_t b);

std::string encodeControlConnect(const ControlConnectMsg& m);
std::string encodeControlSession(const ControlSessionMsg& m);
std::string encodeBusOpen(const BusOpenMsg& m);
std::string encodeBusStatus(const BusStatusMsg& m);
// Appends a CAN frame (valid per validCanFrame) to `out`.
void appendCanFrame(std::string& out, const CanFrameMsg& m);

bool parseControlConnect(const Frame& f, ControlConnectMsg& m, std::string* error);
bool parseControlSession(const Frame& f, ControlSessionMsg& m, std::string* error);
bool parseBusOpen(const Frame& f, BusOpenMsg& m, std::string* error);
bool parseBusStatus(const Frame& f, BusStatusMsg& m, std::string* error);
bool parseCanFrame(const Frame& f, CanFrameMsg& m, std::string* error);

} // namespace remote
