// The manager's reading of the status block: whatever bytes a process of the
// same user leaves in it. Checks the reader's promises (blocks/StatusBlock.h,
// device/VciStatusRecord.h): keys count only at line starts, the first line
// of a key wins, values end at their line end, numbers are base 10 within 32
// bits, and the record and the published DeviceInfo agree with the text.
#include "FuzzSupport.h"

#include <blocks/StatusBlock.h>
#include <device/VciStatusRecord.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using blocks::StatusKey;

// Offset of the first line that starts with "<name> = ", or npos.
std::size_t firstLineWithKey(std::string_view text, std::string_view name)
{
    const std::string prefix = std::string(name) + " = ";
    std::size_t start = 0;
    while (start < text.size()) {
        if (text.compare(start, prefix.size(), prefix) == 0)
            return start;
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos)
            break;
        start = nl + 1;
    }
    return std::string_view::npos;
}

// The documented number rule, written independently: blanks and tabs, then
// the decimal digits; 0 without a digit or beyond 32 bits.
std::uint32_t expectedNumber(std::string_view value)
{
    std::size_t i = value.find_first_not_of(" \t");
    if (i == std::string_view::npos)
        return 0;
    std::size_t end = i;
    while (end < value.size() && value[end] >= '0' && value[end] <= '9')
        ++end;
    std::uint32_t n = 0;
    const auto [ptr, ec] = std::from_chars(value.data() + i, value.data() + end, n);
    (void)ptr;
    return ec == std::errc() ? n : 0;
}

template <std::size_t N>
void checkField(const char (&field)[N], std::string_view value)
{
    BW_FUZZ_CHECK(::strnlen(field, N) < N); // always terminated
    const std::size_t n = std::min(value.size(), N - 1);
    BW_FUZZ_CHECK(::strnlen(field, N) == n);
    BW_FUZZ_CHECK(n == 0 || std::memcmp(field, value.data(), n) == 0);
}

void checkInfoText(const QString& shown, const blocks::StatusText& text, StatusKey k)
{
    // The bus shows the map's value: the last clean line of the key.
    const std::string v = text.mapValue(k);
    BW_FUZZ_CHECK(v.find('\r') == std::string::npos);
    if (!text.inMap(k))
        BW_FUZZ_CHECK(shown.isEmpty());
    else
        BW_FUZZ_CHECK(shown == QString::fromUtf8(v.data(), int(v.size())).trimmed());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy, so that a read past the given size is caught.
    const std::size_t n = std::min(size, blocks::kStatusBlockSize);
    const std::vector<unsigned char> block(data, data + n);

    const std::string_view text = blocks::blockText(block.data(), block.size());
    BW_FUZZ_CHECK(text.size() <= n);
    BW_FUZZ_CHECK(text.find('\0') == std::string_view::npos);
    BW_FUZZ_CHECK(text.size() == n || block[text.size()] == 0);

    const blocks::StatusText parsed(text);
    BW_FUZZ_CHECK(parsed.empty() == text.empty());
    for (std::size_t i = 0; i < blocks::kStatusKeyCount; ++i) {
        const auto k = static_cast<StatusKey>(i);
        const std::string_view name = blocks::kStatusKeys[i].name;
        const std::string_view value = parsed.value(k);
        const std::size_t line = firstLineWithKey(text, name);
        BW_FUZZ_CHECK(parsed.has(k) == (line != std::string_view::npos));
        if (!parsed.has(k)) {
            BW_FUZZ_CHECK(value.empty());
            continue;
        }
        // The value is the rest of the first line that starts with the key,
        // up to CR LF or LF; a CR that ends the whole text stays in it.
        const std::size_t at = line + name.size() + blocks::kSeparator.size();
        BW_FUZZ_CHECK(value.data() == text.data() + at);
        BW_FUZZ_CHECK(value.find('\n') == std::string_view::npos);
        const std::size_t end = at + value.size();
        BW_FUZZ_CHECK(end == text.size() || text[end] == '\n'
            || (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n'));
        BW_FUZZ_CHECK(parsed.holdsSeparator(k) == (value.find('=') != std::string_view::npos));
    }
    BW_FUZZ_CHECK(parsed.number(StatusKey::status) == expectedNumber(parsed.value(StatusKey::status)));
    BW_FUZZ_CHECK(parsed.number(StatusKey::vbatt) == expectedNumber(parsed.value(StatusKey::vbatt)));

    // The manager's record and the DeviceInfo of the same copy.
    const StatusReading reading = interpretStatusBlock(block.data(), block.size());
    BW_FUZZ_CHECK(reading.present == !text.empty());
    const VciStatusRecord& r = reading.record;
    checkField(r.SN, parsed.value(StatusKey::SN));
    checkField(r.testIP, parsed.value(StatusKey::testIP));
    checkField(r.vciIP, parsed.value(StatusKey::vciIP));
    checkField(r.softVer, parsed.value(StatusKey::softVer));
    checkField(r.FirmwareVersion, parsed.value(StatusKey::FirmwareVersion));
    checkField(r.portNumber, parsed.value(StatusKey::portNumber));
    checkField(r.key, parsed.value(StatusKey::key));
    checkField(r.DllVersion, parsed.value(StatusKey::DllVersion));
    BW_FUZZ_CHECK(r.status == parsed.number(StatusKey::status));
    BW_FUZZ_CHECK(r.vbatt == parsed.number(StatusKey::vbatt));
    const std::string_view conn = parsed.value(StatusKey::connType);
    const std::int32_t expectedConn = conn == "USB" ? CONN_USB
        : conn == "RJ45"                            ? CONN_RJ45
        : conn == "WIFI"                            ? CONN_WIFI
        : conn == "ROUTE"                           ? CONN_ROUTE
                                                    : CONN_NONE;
    BW_FUZZ_CHECK(r.connType == expectedConn);

    const DeviceInfo& info = reading.info;
    checkInfoText(info.SN, parsed, StatusKey::SN);
    checkInfoText(info.key, parsed, StatusKey::key);
    checkInfoText(info.vciIP, parsed, StatusKey::vciIP);
    checkInfoText(info.connType, parsed, StatusKey::connType);
    // Versions are shown normalised; one with no clean line shows nothing.
    const std::pair<StatusKey, const QString*> versions[] = {{StatusKey::softVer, &info.softVer},
        {StatusKey::DllVersion, &info.DllVersion}, {StatusKey::FirmwareVersion, &info.FirmwareVersion}};
    for (const auto& [k, shown] : versions)
        if (!parsed.inMap(k))
            BW_FUZZ_CHECK(shown->isEmpty());
    if (!reading.present) {
        VciStatusRecord none;
        clearRecord(none);
        BW_FUZZ_CHECK(sameRecord(r, none));
    }
    return 0;
}
