// The status block "Global\KestrixVciShareMemory": the background service
// writes the chosen adapter's status into it as a text of "KEY = value\r\n"
// lines, NUL-terminated; the manager reads it. This header is the one place
// where its name, size, keys and field widths are written down, with the
// writer and the reader side by side.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace blocks {

inline constexpr const char* kStatusBlockName = "Global\\KestrixVciShareMemory";
inline constexpr std::size_t kStatusBlockSize = 1024;

// The writer signals this wake-up event (platform::NamedEvent) after every
// change of the text, so a reader can sleep until there is news instead of
// looking at the block over and over. Readers still read the block itself:
// the event only says "look now".
inline std::string statusEventName(std::string_view blockName = kStatusBlockName)
{
    return std::string(blockName) + "Event";
}

// The keys in the order the writer puts them into the text.
enum class StatusKey : std::size_t {
    SN,
    testIP,
    vciIP,
    softVer,
    FirmwareVersion,
    portNumber,
    key,
    status,
    vbatt,
    DllVersion,
    connType,
};
inline constexpr std::size_t kStatusKeyCount = 11;

struct StatusKeyInfo {
    std::string_view name;
    // Room for the value in the manager's record, terminator included; 0 for
    // the two numbers (decimal text of an unsigned 32-bit value).
    std::size_t width;
};

inline constexpr std::array<StatusKeyInfo, kStatusKeyCount> kStatusKeys{{
    {"SN", 20},
    {"testIP", 16},
    {"vciIP", 16},
    {"softVer", 32},
    {"FirmwareVersion", 40},
    {"portNumber", 16},
    {"key", 16},
    {"status", 0},
    {"vbatt", 0},
    {"DllVersion", 32},
    {"connType", 16},
}};

constexpr const StatusKeyInfo& keyInfo(StatusKey k)
{
    return kStatusKeys[static_cast<std::size_t>(k)];
}

// Between a key and its value.
inline constexpr std::string_view kSeparator = " = ";

// The four connection kinds the text may name; anything else means none.
bool isConnTypeName(std::string_view text);

// ---- Writer (the service) --------------------------------------------------

struct StatusValues {
    std::string SN;
    std::string testIP;
    std::string vciIP;
    std::string softVer;
    std::string FirmwareVersion;
    std::string portNumber;
    std::string key;
    std::uint32_t status = 0;
    std::uint32_t vbatt = 0;
    std::string DllVersion;
    std::string connType; // written only when it is one of the four names
};

// The text for one adapter. Every value is cleaned of control characters
// (so it cannot end its line early or start a line of its own), written
// empty when it holds the separator " = ", stripped of surrounding blanks and
// cut on a UTF-8 boundary to what the reader's field can hold, so the whole
// text always fits the block.
std::string composeStatusText(const StatusValues& values);

// Puts text into a block so that a reader never sees a mix of two texts: the
// first byte is cleared, the rest (zero-padded to the end) copied, then the
// first byte set. A reader that overlaps the write sees an empty text at
// worst. Text longer than size - 1 bytes is cut; an empty text clears it.
void storeStatusText(unsigned char* block, std::size_t size, std::string_view text);

// ---- Reader (the manager) --------------------------------------------------

// The text of a block copy: up to the first NUL or the end of the copy.
std::string_view blockText(const unsigned char* block, std::size_t size);

// One parse of a status text. Keys count only at the start of a line, so a
// value can never pose as another key. The text is read two ways, as the
// manager has always read it: the fixed record takes the first line of a key
// (value()), the key/value map behind the bus takes the last line that holds
// no second "=" (mapValue()).
class StatusText {
public:
    // Keeps views into `text`, which must outlive this object.
    explicit StatusText(std::string_view text);
    explicit StatusText(std::string&&) = delete; // would keep views into a temporary

    bool empty() const { return m_empty; }
    bool has(StatusKey k) const { return (m_present >> index(k)) & 1u; }
    // The first line's value as written, up to its CR LF (a lone LF also ends
    // it; a CR at the very end of the text stays in the value); "" when the key
    // is missing. A view into the parsed text.
    std::string_view value(StatusKey k) const { return m_values[index(k)]; }
    // Whether the value itself holds another "=" (a plain key=value reader
    // cannot tell such a line apart from a broken one).
    bool holdsSeparator(StatusKey k) const { return (m_separator >> index(k)) & 1u; }
    // status and vbatt as numbers: base 10, anything that is not a number or
    // does not fit in 32 bits gives 0.
    std::uint32_t number(StatusKey k) const;
    // The map's value: the last line of the key without a second "=", every
    // CR removed, blanks trimmed; "" when there is none.
    std::string mapValue(StatusKey k) const;
    bool inMap(StatusKey k) const { return (m_mapPresent >> index(k)) & 1u; }

private:
    static constexpr std::size_t index(StatusKey k) { return static_cast<std::size_t>(k); }

    std::array<std::string_view, kStatusKeyCount> m_values{};
    std::array<std::string_view, kStatusKeyCount> m_mapValues{};
    std::uint32_t m_present = 0;
    std::uint32_t m_mapPresent = 0;
    std::uint32_t m_separator = 0;
    bool m_empty = true;
};

// Base-10 unsigned value of a text (leading blanks skipped, stops at the first
// non-digit); 0 when it does not start with a digit or exceeds 32 bits.
std::uint32_t parseUnsigned(std::string_view text);

} // namespace blocks
