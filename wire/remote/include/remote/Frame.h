// The remote-session wire format: length-prefixed binary frames between the
// session libraries and the relay (and between the two ends of a P2P link).
// Layout and message list: docs/remote-protocol.md.
//
// Decoding is strict: a frame whose length is 0 or above kMaxBody, an
// unknown type, or a payload that does not have exactly the message's
// fields is refused with a reason, never read past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

inline constexpr std::uint8_t kProtocolVersion = 1;
// Length prefix (4 bytes, big-endian) counts the type byte and the payload.
inline constexpr std::size_t kHeaderSize = 4;
// Stream data travels in pieces of at most this many bytes.
inline constexpr std::size_t kMaxData = 16384;
// Largest type byte + payload: a DATA frame with a full piece.
inline constexpr std::size_t kMaxBody = 1 + 4 + kMaxData;

inline constexpr std::size_t kMaxSerial = 20; // printable ASCII, 1..20
inline constexpr std::size_t kMaxKey = 15;    // printable ASCII, 0..15
inline constexpr std::uint32_t kMaxCode = 999999;
inline constexpr std::size_t kMaxText = 63; // END reasons and peer texts
inline constexpr std::size_t kNonceSize = 16;
inline constexpr std::size_t kProofSize = 32;

enum class Type : std::uint8_t {
    Register = 1,    // C -> relay / P2P listener: serial, key, code
    RegisterAck = 2, // status
    Lookup = 3,      // B -> relay: serial
    LookupAck = 4,   // status
    Connect = 5,     // B -> relay: serial, code
    ConnectAck = 6,  // status, peer text
    Session = 7,     // relay -> C: a B-end is linked (peer text)
    Open = 8,        // stream id, optional target (StreamTarget)
    Data = 9,        // stream id, bytes
    Close = 10,      // stream id
    Ping = 11,       // time stamp, sender's delay
    Pong = 12,       // echoed time stamp, the other end's delay
    End = 13,        // reason code, text
    Challenge = 14,  // P2P listener -> C: nonce
    Proof = 15,      // P2P C -> listener: serial, key, HMAC proof
    // Device control (remote/Bridge.h): the B-end's buses bridged to the C-end adapter.
    ControlConnect = 16, // B -> relay: partner serial, code, own adapter's serial
    ControlSession = 17, // relay -> C: peer text, the B-end adapter's serial
    BusOpen = 18,        // B -> C: bus, CAN rate, CAN FD data rate
    BusStatus = 19,      // both: bus, status, frames dropped so far
    CanFrame = 20,       // both: bus, flags, identifier, data
};
// The highest type a reader takes.
inline constexpr Type kLastType = Type::CanFrame;

// Status codes carried by the *Ack frames (those of RemoteApi.h's relay enum).
enum : std::int32_t {
    kStatusOk = 0,
    kStatusChecking = 1, // REGISTER_ACK: the relay asks the adapter through the link first
    kStatusOffline = 4,
    kStatusWrongCode = 5,
    kStatusBusy = 6,
    kStatusRefused = 3,
    kStatusBadRequest = 9,
};

// Where the C-end connects an opened stream: the adapter's module port, or
// its pass-thru port (J2534 applications at the B-end). An OPEN without the
// byte means the module port, as before the pass-thru target existed.
enum StreamTarget : std::uint8_t {
    kTargetModule = 0,
    kTargetPassThru = 1,
};

// Why an END was sent.
enum class EndReason : std::uint8_t {
    PeerLeft = 1, // the other end ended or dropped; a registration stays
    Closing = 2,  // the sender ends this link
    Replaced = 3, // a newer registration of the same serial took over
    Protocol = 4, // the sender refused a frame
    Timeout = 5,  // nothing heard for too long
};

struct Frame {
    Type type = Type::End;
    std::string payload; // the bytes after the type byte
};

// ---- Messages ---------------------------------------------------------
struct RegisterMsg {
    std::string serial;
    std::string key;
    std::uint32_t code = 0;
    // The C-end serves the relay's adapter check (a trailing flags byte, 1).
    bool checkable = false;
};
struct LookupMsg {
    std::string serial;
};
struct ConnectMsg {
    std::string serial;
    std::uint32_t code = 0;
};
struct AckMsg {
    std::int32_t status = 0;
    std::string text;
};
struct StreamMsg {
    std::uint32_t stream = 0;
    std::string_view data; // DATA only; a view into the frame's payload
    // OPEN only: the target byte as sent (any value; the C-end refuses the
    // ones it does not serve), and whether the frame carried it.
    std::uint8_t target = kTargetModule;
    bool targetGiven = false;
};
struct PingMsg {
    std::uint64_t stamp = 0;
    std::int32_t delay = -1; // ms, -1 unknown
};
struct EndMsg {
    EndReason reason = EndReason::Closing;
    std::string text;
};
struct ChallengeMsg {
    std::string nonce; // kNonceSize bytes
};
struct ProofMsg {
    std::string serial;
    std::string key;
    std::string proof; // kProofSize bytes
};

// Whole frames, header included, ready to send.
std::string encodeRegister(const RegisterMsg& m);
std::string encodeLookup(const LookupMsg& m);
std::string encodeConnect(const ConnectMsg& m);
std::string encodeAck(Type type, const AckMsg& m);
std::string encodeSession(const std::string& peerText);
// OPEN without a target byte (the module port, understood by every peer) and with one.
std::string encodeOpen(std::uint32_t stream);
std::string encodeOpen(std::uint32_t stream, std::uint8_t target);
std::string encodeClose(std::uint32_t stream);
// Appends a DATA frame (data.size() <= kMaxData) to `out`.
void appendData(std::string& out, std::uint32_t stream, const char* data, std::size_t size);
std::string encodePing(Type type, const PingMsg& m);
std::string encodeEnd(const EndMsg& m);
std::string encodeChallenge(const ChallengeMsg& m);
std::string encodeProof(const ProofMsg& m);

// Each parse takes a frame of its type; false with a reason on any mismatch.
bool parseRegister(const Frame& f, RegisterMsg& m, std::string* error);
bool parseLookup(const Frame& f, LookupMsg& m, std::string* error);
bool parseConnect(const Frame& f, ConnectMsg& m, std::string* error);
bool parseAck(const Frame& f, AckMsg& m, std::string* error); // RegisterAck, LookupAck, ConnectAck
bool parseSession(const Frame& f, std::string& peerText, std::string* error);
bool parseStream(const Frame& f, StreamMsg& m, std::string* error); // Open, Data, Close
bool parsePing(const Frame& f, PingMsg& m, std::string* error);     // Ping, Pong
bool parseEnd(const Frame& f, EndMsg& m, std::string* error);
bool parseChallenge(const Frame& f, ChallengeMsg& m, std::string* error);
bool parseProof(const Frame& f, ProofMsg& m, std::string* error);

// A serial: 1..kMaxSerial characters, letters and digits only.
bool validSerial(std::string_view s);
// A key: 0..kMaxKey printable ASCII characters, no blank.
bool validKey(std::string_view s);
const char* typeName(Type t);

// Cuts a byte stream into frames. Feed what arrived, then take frames until
// next() says NeedMore. After Error the reader stays failed.
class FrameReader {
public:
    enum class Result { Frame, NeedMore, Error };

    void feed(const char* data, std::size_t size);
    Result next(Frame& frame);
    const std::string& error() const { return m_error; }
    // Bytes held that do not yet form a frame.
    std::size_t buffered() const { return m_buffer.size() - m_pos; }
    // Header + body size of the next frame when its header is in, else 0.
    std::size_t pendingFrameSize() const;
    // Frees the buffer's memory while nothing is held (idle links).
    void shrink();

private:
    std::string m_buffer;
    std::size_t m_pos = 0;
    std::string m_error;
    bool m_failed = false;
};

} // namespace remote
