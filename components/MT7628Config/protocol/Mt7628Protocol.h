// Wire format between MT7628Config and the adapter's network module: one JSON
// object per line ("\n"-terminated, UTF-8, at most kMaxFrameBytes including the
// line end). A request carries "op" and its arguments; a reply carries "ok"
// (bool), "error" (text, when ok is false) and the operation's results.
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
} // namespace op

// Serialises one object as a single compact line ending in "\n". Fails (empty
// result) when the value is not an object or the line would exceed the limit.
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

} // namespace mt7628
