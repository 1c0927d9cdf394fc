// Wire format between MT7628Config and the adapter's network module: one JSON
// object per line ("\n"-terminated, UTF-8, at most kMaxFrameBytes including the
// line end). A request carries "op" and its arguments; a reply carries "ok"
// (bool), "error" (text, when ok is false) and the operation's results.
// An upload ("upload_begin") is the one exchange that is not a single line:
// after the module accepts it, the image follows as raw bytes and the module
// answers with acknowledgement lines and one result line.
// Shared by the library, the adapter emulator and the tests.
#pragma once

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace mt7628 {

constexpr std::size_t kMaxFrameBytes = 64 * 1024;
// Objects and arrays open at once, the outer object included; one more is refused.
constexpr int kMaxNesting = 64;
constexpr int kDefaultPort = 7628;

// Operation names.
namespace op {
constexpr const char* kStatus = "status";
constexpr const char* kReboot = "reboot";
constexpr const char* kBuzz = "buzz";
constexpr const char* kRelease = "release";
constexpr const char* kGetRemoteKey = "get_remote_key";
constexpr const char* kSetRemoteKey = "set_remote_key";
constexpr const char* kGetEnet = "get_enet";
constexpr const char* kSetEnet = "set_enet";
constexpr const char* kApList = "ap_list";
constexpr const char* kApInfo = "ap_info";
constexpr const char* kClientStatus = "client_status";
constexpr const char* kConnectAp = "connect_ap";
constexpr const char* kKillExe = "kill_exe";
constexpr const char* kConfigReset = "config_reset";
constexpr const char* kSetWifi = "set_wifi";
constexpr const char* kGetWifi = "get_wifi";
constexpr const char* kUploadBegin = "upload_begin";
constexpr const char* kSetMode = "set_mode";
constexpr const char* kGetMode = "get_mode";
} // namespace op

// The adapter's modes: its own ("original"), or the mode a make's own
// diagnostic software expects, named as the make list names the make
// ("Porsche", "VW", ... "J0500": the 24 names of isMakeMode).
constexpr const char* kModeOriginal = "original";
bool isMakeMode(const std::string& name);
bool isModeName(const std::string& name); // original or a make

// The adapter's three firmware images, named "system", "application" and "can"
// on the wire.
enum class ImageKind { System, Application, Can };
const char* imageKindName(ImageKind kind);
bool parseImageKind(const std::string& name, ImageKind& kind);

// Upload flow control: the module names its window (the bytes a client may
// send beyond the last acknowledged count) in its answer to upload_begin; a
// module that names none gets kDefaultUploadWindow.
constexpr std::uint32_t kDefaultUploadWindow = 64 * 1024;
constexpr std::uint32_t kMinUploadWindow = 4 * 1024;
constexpr std::uint32_t kMaxUploadWindow = 16 * 1024 * 1024;

// {"op":"upload_begin","image":...,"length":N}.
Json::Value uploadBeginRequest(ImageKind kind, std::uint32_t length);
// The image and length of an upload_begin request; false with a reason when
// the image is missing or unknown or the length is not a positive 32-bit number.
bool parseUploadBegin(const Json::Value& request, ImageKind& kind, std::uint32_t& length, std::string* error);

// A line of the module during an upload: an acknowledgement
// {"ok":true,"received":M}, the result {"ok":true,"written":true,"version":V},
// a refusal {"ok":false,"error":E}, or anything else (Invalid).
struct UploadLine {
    enum Kind { Progress, Written, Refused, Invalid };
    Kind kind = Invalid;
    std::uint32_t received = 0; // Progress: bytes the module has stored
    std::string text;           // Written: the version; Refused: the reason
};
UploadLine readUploadLine(const Json::Value& frame);
Json::Value uploadProgressReply(std::uint32_t received);
Json::Value uploadWrittenReply(const std::string& version);

// Serialises one object as a single compact line ending in "\n". Fails (empty
// result) when the value is not an object, the line would exceed the limit or
// it would not decode again (a text that is not UTF-8).
std::string encodeFrame(const Json::Value& object);

// Parses one line (with or without its "\n"). Accepts only a JSON object with
// nothing after it; error receives a short reason on failure.
bool decodeFrame(const std::string& line, Json::Value& object, std::string* error = nullptr);

// Cuts a byte stream into lines. A line longer than the limit puts the reader
// into the overflow state, after which it yields nothing.
class FrameReader {
public:
    explicit FrameReader(std::size_t maxFrame = kMaxFrameBytes)
        : m_max(maxFrame)
    {
    }
    void append(const char* data, std::size_t size);
    // Takes the next complete line (without "\n", a trailing "\r" removed).
    bool next(std::string& line);
    bool overflow() const { return m_overflow; }
    std::size_t buffered() const { return m_buffer.size(); }
    // Takes the bytes after the last complete line (raw data that follows a
    // request, such as an image after upload_begin).
    std::string takeBuffered();

private:
    std::string m_buffer;
    std::size_t m_max;
    bool m_overflow = false;
};

// Typed access to members: false when the member is missing or of another type
// (numbers: also when out of range or not integral).
bool getString(const Json::Value& object, const char* key, std::string& out);
bool getBool(const Json::Value& object, const char* key, bool& out);
bool getUInt(const Json::Value& object, const char* key, std::uint32_t& out);
bool getInt(const Json::Value& object, const char* key, std::int32_t& out);

// A reply {"ok":false,"error":text}.
Json::Value errorReply(const std::string& text);
// A reply {"ok":true}.
Json::Value okReply();
// true when the reply is an object whose "ok" is the boolean true.
bool replyOk(const Json::Value& reply);

// Copies text into a fixed char field, cut to size-1 bytes (never inside a
// UTF-8 sequence) and NUL-terminated.
void copyField(char* field, std::size_t size, const std::string& text);
// The string member `key` of `object` into a fixed field; the field keeps its
// contents when the member is missing or not a string.
template <std::size_t N>
void copyMember(const Json::Value& object, const char* key, char (&field)[N])
{
    std::string text;
    if (getString(object, key, text))
        copyField(field, N, text);
}

} // namespace mt7628
