#include "blocks/StatusBlock.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace blocks {

namespace {

std::string cleanValue(std::string_view value, std::size_t width)
{
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            continue; // CR, LF, NUL and the other controls would break the line format
        out.push_back(c);
    }
    // A value holding the separator is no real serial, version or address,
    // only an attempt to pass for another line: it is not written at all.
    if (out.find(kSeparator) != std::string::npos)
        return std::string();
    // Blanks around the value would be lost by a reader that trims anyway.
    const std::size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos)
        return std::string();
    out = out.substr(b, out.find_last_not_of(' ') - b + 1);
    if (width > 0 && out.size() > width - 1) {
        std::size_t n = width - 1;
        while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80)
            --n; // never cut a UTF-8 sequence in two
        out.resize(n);
        while (!out.empty() && out.back() == ' ')
            out.pop_back();
    }
    return out;
}

void appendLine(std::string& text, StatusKey k, std::string_view value)
{
    text += keyInfo(k).name;
    text += kSeparator;
    text += value;
    text += "\r\n";
}

} // namespace

bool isConnTypeName(std::string_view text)
{
    return text == "USB" || text == "RJ45" || text == "WIFI" || text == "ROUTE";
}

std::string composeStatusText(const StatusValues& v)
{
    std::string text;
    text.reserve(512);
    auto field
        = [&text](StatusKey k, const std::string& value) { appendLine(text, k, cleanValue(value, keyInfo(k).width)); };
    field(StatusKey::SN, v.SN);
    field(StatusKey::testIP, v.testIP);
    field(StatusKey::vciIP, v.vciIP);
    field(StatusKey::softVer, v.softVer);
    field(StatusKey::FirmwareVersion, v.FirmwareVersion);
    field(StatusKey::portNumber, v.portNumber);
    field(StatusKey::key, v.key);
    appendLine(text, StatusKey::status, std::to_string(v.status));
    appendLine(text, StatusKey::vbatt, std::to_string(v.vbatt));
    field(StatusKey::DllVersion, v.DllVersion);
    if (isConnTypeName(v.connType))
        appendLine(text, StatusKey::connType, v.connType);
    return text;
}

void storeStatusText(unsigned char* block, std::size_t size, std::string_view text)
{
    if (!block || size == 0)
        return;
    std::vector<unsigned char> local(size, 0);
    if (!text.empty())
        std::memcpy(local.data(), text.data(), text.size() < size - 1 ? text.size() : size - 1);

    auto* first = reinterpret_cast<volatile unsigned char*>(block);
    *first = 0;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::memcpy(block + 1, local.data() + 1, size - 1);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    *first = local[0];
}

std::string_view blockText(const unsigned char* block, std::size_t size)
{
    if (!block)
        return std::string_view();
    const void* nul = std::memchr(block, 0, size);
    const std::size_t n = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - block) : size;
    return std::string_view(reinterpret_cast<const char*>(block), n);
}

std::uint32_t parseUnsigned(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return 0;
    std::uint64_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (v > 0xFFFFFFFFull)
            return 0;
    }
    return static_cast<std::uint32_t>(v);
}

StatusText::StatusText(std::string_view text)
    : m_empty(text.empty())
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        // CR LF ends a value; a CR at the very end of the text, with no LF
        // after it, is part of the value.
        if (ended && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const std::size_t at = line.find(kSeparator);
        if (at == std::string_view::npos || at == 0)
            continue;
        const std::string_view name = line.substr(0, at);
        for (std::size_t k = 0; k < kStatusKeyCount; ++k) {
            if (kStatusKeys[k].name != name)
                continue;
            const std::string_view value = line.substr(at + kSeparator.size());
            const bool separator = value.find('=') != std::string_view::npos;
            if (!((m_present >> k) & 1u)) {
                m_values[k] = value;
                m_present |= 1u << k;
                if (separator)
                    m_separator |= 1u << k;
            }
            // A line holding a second "=" is no key=value pair to the map;
            // of the others, the last one stands.
            if (!separator) {
                m_mapValues[k] = value;
                m_mapPresent |= 1u << k;
            }
            break;
        }
    }
}

std::string StatusText::mapValue(StatusKey k) const
{
    const std::string_view v = m_mapValues[index(k)];
    std::string out;
    out.reserve(v.size());
    for (char c : v)
        if (c != '\r')
            out.push_back(c);
    const std::size_t b = out.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return out.substr(b, out.find_last_not_of(" \t") - b + 1);
}

std::uint32_t StatusText::number(StatusKey k) const
{
    return parseUnsigned(value(k));
}

} // namespace blocks
