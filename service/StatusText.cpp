#include "StatusText.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace bwservice {

namespace {

// Field widths of the manager's record, terminator included.
constexpr std::size_t kSerialWidth = 20;
constexpr std::size_t kIpWidth = 16;
constexpr std::size_t kSoftVerWidth = 32;
constexpr std::size_t kFirmwareWidth = 40;
constexpr std::size_t kPortWidth = 16;
constexpr std::size_t kKeyWidth = 16;
constexpr std::size_t kDllWidth = 32;

std::string clean(const std::string& value, std::size_t width)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            continue; // CR, LF, NUL and other controls would break the line format
        out.push_back(c);
    }
    // Blanks around the value would be lost by the reader's trimming anyway.
    const std::size_t b = out.find_first_not_of(' ');
    const std::size_t e = out.find_last_not_of(' ');
    out = b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
    std::size_t n = out.size();
    if (n > width - 1) {
        n = width - 1;
        while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80)
            --n;
        out.resize(n);
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
    }
    return out;
}

void line(std::string& text, const char* key, const std::string& value)
{
    text += key;
    text += " = ";
    text += value;
    text += "\r\n";
}

} // namespace

std::string buildStatusText(const vci_status& s, const std::string& testIP)
{
    std::string text;
    text.reserve(512);
    const std::string vciIP = s.ip.empty() ? testIP : s.ip;
    line(text, "SN", clean(s.serial, kSerialWidth));
    line(text, "testIP", clean(testIP, kIpWidth));
    line(text, "vciIP", clean(vciIP, kIpWidth));
    line(text, "softVer", clean(s.softVer, kSoftVerWidth));
    line(text, "FirmwareVersion", clean(s.firmwareVersion, kFirmwareWidth));
    line(text, "portNumber", clean(s.portNumber, kPortWidth));
    line(text, "key", clean(s.key, kKeyWidth));
    line(text, "status", std::to_string(s.status));
    line(text, "vbatt", std::to_string(s.vbatt));
    line(text, "DllVersion", clean(s.dllVersion, kDllWidth));
    if (s.connType == "USB" || s.connType == "RJ45" || s.connType == "WIFI" || s.connType == "ROUTE")
        line(text, "connType", s.connType);
    return text;
}

void writeStatusText(unsigned char* block, std::size_t size, const std::string& text)
{
    if (!block || size == 0)
        return;
    std::vector<unsigned char> local(size, 0);
    const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(local.data(), text.data(), n);

    auto* first = reinterpret_cast<volatile unsigned char*>(block);
    *first = 0;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::memcpy(block + 1, local.data() + 1, size - 1);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    *first = local[0];
}

std::string readStatusText(const unsigned char* block, std::size_t size)
{
    if (!block)
        return {};
    const void* nul = std::memchr(block, 0, size);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - block) : size;
    return std::string(reinterpret_cast<const char*>(block), n);
}

} // namespace bwservice
