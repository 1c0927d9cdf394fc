// The pass-thru protocol between the J2534 library and the adapter
// (docs/passthru-protocol.md): frame layout, message and request types, and
// the codec both sides use. Qt-free; every decoder checks every length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace passthru {

inline constexpr std::uint16_t kDefaultPort = 7630;
inline constexpr std::uint16_t kProtocolVersion = 1;
inline constexpr std::size_t kHeaderSize = 9;           // length, type, tag
inline constexpr std::uint32_t kMinLength = 5;          // type + tag
inline constexpr std::uint32_t kMaxLength = 16384;      // bytes after the length field
inline constexpr std::size_t kMaxData = 4128;           // PASSTHRU_MSG data
inline constexpr std::size_t kMaxText = 256;            // a str
inline constexpr std::size_t kMaxMessagesPerFrame = 64; // WRITE and RX
inline constexpr std::size_t kMaxIoctlPairs = 64;
inline constexpr std::size_t kMaxChannels = 4;
inline constexpr std::size_t kMaxFilters = 10;
inline constexpr std::size_t kMaxPeriodic = 10;
inline constexpr std::uint32_t kMinPeriodMs = 5; // START_PERIODIC interval
inline constexpr std::uint32_t kMaxPeriodMs = 65535;
// A msg on the wire: ProtocolID, RxStatus, TxFlags, Timestamp, ExtraDataIndex, DataSize.
inline constexpr std::size_t kMessageHeaderSize = 26;
// The J2534 status of a WRITE that timed out: its reply also carries the number sent.
inline constexpr std::uint32_t kStatusTimeout = 0x09;
// BUS event states.
inline constexpr std::uint32_t kBusActive = 0, kBusErrorPassive = 1, kBusOff = 2;

enum class Type : std::uint8_t {
    Open = 0x01,
    Connect = 0x02,
    Disconnect = 0x03,
    Write = 0x04,
    StartPeriodic = 0x05,
    StopPeriodic = 0x06,
    StartFilter = 0x07,
    StopFilter = 0x08,
    Ioctl = 0x09,
    Version = 0x0A,
    Rx = 0x40,
    Lost = 0x41,
    Bus = 0x42,
};
inline constexpr std::uint8_t kReplyBit = 0x80;

// One message as the wire carries it (PASSTHRU_MSG without the fixed array).
struct Message {
    std::uint32_t protocolId = 0;
    std::uint32_t rxStatus = 0;
    std::uint32_t txFlags = 0;
    std::uint64_t timestamp = 0; // µs, adapter clock
    std::uint32_t extraDataIndex = 0;
    std::vector<std::uint8_t> data; // at most kMaxData
};

struct ConfigPair {
    std::uint32_t parameter = 0;
    std::uint32_t value = 0;
};

// ---- Requests (library -> adapter) -----------------------------------------
struct OpenRequest {
    std::uint16_t version = kProtocolVersion;
    std::string client;
};
struct ConnectRequest {
    std::uint32_t protocolId = 0, flags = 0, baudRate = 0;
};
struct ChannelRequest {
    std::uint32_t channel = 0;
}; // DISCONNECT
struct WriteRequest {
    std::uint32_t channel = 0, timeoutMs = 0;
    std::vector<Message> messages;
};
struct StartPeriodicRequest {
    std::uint32_t channel = 0, intervalMs = 0;
    Message message;
};
struct StopRequest {
    std::uint32_t channel = 0, id = 0;
}; // STOP_PERIODIC, STOP_FILTER
struct StartFilterRequest {
    std::uint32_t channel = 0, filterType = 0;
    Message mask, pattern;
    std::optional<Message> flowControl;
};
struct IoctlRequest {
    std::uint32_t channel = 0, ioctlId = 0;
    std::vector<ConfigPair> pairs;
};

// ---- Replies (adapter -> library) ------------------------------------------
// status 0: the result fields of the request's type are set; otherwise `text`
// says what happened (and for a WRITE that timed out, `value` is the number sent).
struct Reply {
    Type request = Type::Open;
    std::uint32_t status = 0;
    std::string text;
    // OPEN, VERSION
    std::string firmwareVersion;
    std::string serial;
    std::uint32_t supplyMv = 0; // OPEN only
    // CONNECT (ChannelID), WRITE (number sent), START_PERIODIC (MsgID), START_FILTER (FilterID)
    std::uint32_t value = 0;
    // IOCTL
    std::vector<ConfigPair> pairs;
};

// ---- Events (adapter -> library) -------------------------------------------
struct RxEvent {
    std::uint32_t channel = 0;
    std::vector<Message> messages;
};
struct LostEvent {
    std::uint32_t channel = 0;
    std::uint32_t count = 0;
};
struct BusEvent {
    std::uint32_t channel = 0;
    std::uint32_t state = 0;
};

// A whole frame as read from the stream.
struct Frame {
    std::uint8_t type = 0;
    std::uint32_t tag = 0;
    std::vector<std::uint8_t> payload;
};

// ---- Encoding ----------------------------------------------------------------
// Each returns the complete frame bytes, or nothing when the content breaks a
// limit (a message over kMaxData, no or too many messages or pairs, an
// interval out of range, a frame over kMaxLength): split WRITE and RX by
// messageWireSize() first. Texts are cut to kMaxText bytes on a character
// boundary, bytes that are not UTF-8 replaced by '?' (wireText()).
std::vector<std::uint8_t> encodeOpen(std::uint32_t tag, const OpenRequest&);
std::vector<std::uint8_t> encodeConnect(std::uint32_t tag, const ConnectRequest&);
std::vector<std::uint8_t> encodeDisconnect(std::uint32_t tag, const ChannelRequest&);
std::vector<std::uint8_t> encodeWrite(std::uint32_t tag, const WriteRequest&);
std::vector<std::uint8_t> encodeStartPeriodic(std::uint32_t tag, const StartPeriodicRequest&);
std::vector<std::uint8_t> encodeStop(Type type, std::uint32_t tag, const StopRequest&); // STOP_PERIODIC / STOP_FILTER
std::vector<std::uint8_t> encodeStartFilter(std::uint32_t tag, const StartFilterRequest&);
std::vector<std::uint8_t> encodeIoctl(std::uint32_t tag, const IoctlRequest&);
std::vector<std::uint8_t> encodeVersion(std::uint32_t tag);
std::vector<std::uint8_t> encodeReply(std::uint32_t tag, const Reply&);
std::vector<std::uint8_t> encodeRx(const RxEvent&);
std::vector<std::uint8_t> encodeLost(const LostEvent&);
std::vector<std::uint8_t> encodeBus(const BusEvent&);

// Bytes of one message inside a frame (kMessageHeaderSize + data).
std::size_t messageWireSize(const Message&);
// A text as the wire carries it: well-formed UTF-8 of at most kMaxText bytes.
std::string wireText(const std::string&);
bool wellFormedUtf8(const std::string&);
// A request, a reply to a request, or an event.
bool knownType(std::uint8_t type);

// ---- Decoding ---------------------------------------------------------------
// Splits frames off a byte stream: feed() appends received bytes, next()
// returns the next whole frame. A length out of range or an unknown type makes
// the reader broken() for good (the connection must be closed); error() says
// why. It never holds more than one frame beyond what was fed and not taken.
class FrameReader {
public:
    void feed(const std::uint8_t* data, std::size_t size);
    std::optional<Frame> next();
    bool broken() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    std::size_t buffered() const { return m_buffer.size() - m_offset; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_offset = 0;
    std::string m_error;
};

// Payload decoders: false (with *error set) when the frame has another type,
// the payload is short, long, or breaks a limit of docs/passthru-protocol.md
// (counts, data sizes, texts of at most 256 bytes of UTF-8, the periodic
// interval, the flow-control marker, the bus state, tag 0 in events). The
// output may be null.
bool decodeOpen(const Frame&, OpenRequest*, std::string* error);
bool decodeConnect(const Frame&, ConnectRequest*, std::string* error);
bool decodeDisconnect(const Frame&, ChannelRequest*, std::string* error);
bool decodeWrite(const Frame&, WriteRequest*, std::string* error);
bool decodeStartPeriodic(const Frame&, StartPeriodicRequest*, std::string* error);
bool decodeStop(const Frame&, StopRequest*, std::string* error);
bool decodeStartFilter(const Frame&, StartFilterRequest*, std::string* error);
bool decodeIoctl(const Frame&, IoctlRequest*, std::string* error);
bool decodeVersion(const Frame&, std::string* error);
// A reply frame (type has kReplyBit); reply->request is the request's type.
bool decodeReply(const Frame&, Reply*, std::string* error);
bool decodeRx(const Frame&, RxEvent*, std::string* error);
bool decodeLost(const Frame&, LostEvent*, std::string* error);
bool decodeBus(const Frame&, BusEvent*, std::string* error);

} // namespace passthru
