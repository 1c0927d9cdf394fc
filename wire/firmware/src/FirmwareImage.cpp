#include "firmware/FirmwareImage.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace firmware {

namespace {

struct Kind {
    std::string_view typeName;
    std::string_view markers[3];
};

// The header marker of every type name the server knows.
constexpr Kind kKinds[] = {
    {"KestrixMT7628Firmware", {"M5093K"}},
    {"KestrixMT7628_NEWFirmware", {"HALVERN_SYS"}},
    {"KestrixMT7628MDIFirmware", {"W82_MDI2"}},
    {"KestrixMT7628_ICOMFirmware", {"ICOM_SYS"}},
    {"KestrixMT7628App", {"M5093K_APP"}},
    {"KestrixMT7628_NEWApp", {"HALVERN_APP"}},
    {"KestrixMT7628_ICOMApp", {"ICOM_APP"}},
    {"M5093R_F407FirmWare", {"M5YQ"}},
    {"KestrixM5EFirmWare", {"Orvane M5093K", "Orvane M37C", "Orvane M3aK"}},
    {"M5093K_E508FirmWare", {"kestrix_E508"}},
    {"KestrixM5MDIFirmWare", {"M5MDI2"}},
    {"M5YQFirmWare", {"Orvane M3aK"}},
    {"M5093R_E508FirmWare", {"Orvane M37C"}},
};

std::string_view headerTextOf(const unsigned char* data, std::size_t size)
{
    const std::size_t n = size < kHeaderSize ? size : kHeaderSize;
    const void* nul = std::memchr(data, 0, n);
    const std::size_t len = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - data) : n;
    return std::string_view(reinterpret_cast<const char*>(data), len);
}

bool parseDecimal(std::string_view text, std::uint32_t& out)
{
    if (text.empty() || text.size() > 10)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFull)
        return false;
    out = static_cast<std::uint32_t>(v);
    return true;
}

bool parseHex8(std::string_view text, std::uint32_t& out)
{
    if (text.size() != 8)
        return false;
    std::uint32_t v = 0;
    for (char c : text) {
        v <<= 4;
        if (c >= '0' && c <= '9')
            v |= static_cast<std::uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v |= static_cast<std::uint32_t>(c - 'a' + 10);
        else
            return false;
    }
    out = v;
    return true;
}

bool plainField(std::string_view text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '|' || u < 0x20 || u == 0x7F)
            return false;
    }
    return !text.empty();
}

} // namespace

const std::string& TypeNames::of(Image image) const
{
    switch (image) {
    case Image::System:
        return system;
    case Image::Application:
        return application;
    case Image::Can:
        break;
    }
    return can;
}

TypeNames firmwareTypeNames(std::string_view firmwareVersion, std::string_view portNumber, bool keyProgrammer)
{
    const bool boot = firmwareVersion.find("boot") != std::string_view::npos;
    if ((!boot && keyProgrammer) || (boot && portNumber == "M5WC"))
        return {"KestrixMT7628_NEWFirmware", "KestrixMT7628_NEWApp", "M5093K_E508FirmWare"};
    return {};
}

std::vector<std::string_view> markersFor(std::string_view typeName)
{
    for (const Kind& k : kKinds) {
        if (k.typeName != typeName)
            continue;
        std::vector<std::string_view> out;
        for (std::string_view m : k.markers)
            if (!m.empty())
                out.push_back(m);
        return out;
    }
    return {};
}

bool headerHoldsMarker(const unsigned char* data, std::size_t size, std::string_view typeName)
{
    if (!data)
        return false;
    const std::string_view text = headerTextOf(data, size);
    for (std::string_view marker : markersFor(typeName))
        if (text.find(marker) != std::string_view::npos)
            return true;
    return false;
}

std::uint64_t versionNumber(std::string_view version)
{
    std::size_t at = version.rfind('V');
    if (at == std::string_view::npos)
        at = version.rfind('v');
    const std::string_view tail = at == std::string_view::npos ? version : version.substr(at + 1);
    std::uint64_t total = 0;
    std::uint64_t weight = 1;
    std::size_t end = tail.size();
    // Parts from the right; a fifth part and beyond carry no weight.
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = end == 0 ? std::string_view::npos : tail.rfind('.', end - 1);
        const std::size_t begin = dot == std::string_view::npos ? 0 : dot + 1;
        std::uint64_t value = 0;
        for (std::size_t i = begin; i < end; ++i) {
            const char c = tail[i];
            if (c < '0' || c > '9')
                break; // "3-beta" reads as 3
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
            if (value >= 1000000000ull)
                break;
        }
        total += value * weight;
        weight *= 1000;
        if (dot == std::string_view::npos)
            break;
        end = dot;
    }
    return total;
}

std::optional<std::string> headerText(const Header& header)
{
    if (!plainField(header.marker) || !plainField(header.version))
        return std::nullopt;
    char tail[32];
    std::snprintf(
        tail, sizeof tail, "|%u|%08x", static_cast<unsigned>(header.length), static_cast<unsigned>(header.crc32));
    std::string text = header.marker + "|" + header.version + tail;
    if (text.size() > kHeaderSize - 1)
        return std::nullopt;
    return text;
}

std::optional<Header> readHeader(const unsigned char* data, std::size_t size)
{
    if (!data || size < kHeaderSize)
        return std::nullopt;
    const std::string_view text = headerTextOf(data, kHeaderSize);
    if (text.size() == kHeaderSize)
        return std::nullopt; // no terminator inside the header
    std::string_view fields[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t bar = text.find('|', start);
        if ((i < 3) == (bar == std::string_view::npos))
            return std::nullopt; // too few or too many fields
        fields[i] = text.substr(start, i < 3 ? bar - start : std::string_view::npos);
        start = bar + 1;
    }
    Header h;
    if (!plainField(fields[0]) || !plainField(fields[1]) || !parseDecimal(fields[2], h.length)
        || !parseHex8(fields[3], h.crc32))
        return std::nullopt;
    h.marker = std::string(fields[0]);
    h.version = std::string(fields[1]);
    return h;
}

std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

Check checkImage(const unsigned char* data, std::size_t size, std::string_view typeName)
{
    if (!data || size < kHeaderSize)
        return Check::TooShort;
    const std::optional<Header> header = readHeader(data, size);
    if (!header)
        return Check::NoHeader;
    bool markerOk = false;
    for (std::string_view marker : markersFor(typeName))
        markerOk = markerOk || header->marker == marker;
    if (!markerOk)
        return Check::WrongMarker;
    if (size - kHeaderSize != header->length)
        return Check::WrongLength;
    if (crc32(data + kHeaderSize, header->length) != header->crc32)
        return Check::WrongChecksum;
    return Check::Ok;
}

const char* checkText(Check check)
{
    switch (check) {
    case Check::Ok:
        return "image is good";
    case Check::TooShort:
        return "file is shorter than an image header";
    case Check::NoHeader:
        return "file does not start with an image header";
    case Check::WrongMarker:
        return "image is for another kind of firmware or adapter";
    case Check::WrongLength:
        return "image is cut or has bytes appended";
    case Check::WrongChecksum:
        return "image is damaged (checksum mismatch)";
    }
    return "unknown check result";
}

namespace {
// Whether a byte count fits the header's 32-bit length (always, in a 32-bit
// process; a function, so that build does not warn of a comparison that cannot fail).
constexpr bool fitsLength(std::uint64_t size)
{
    return size <= 0xFFFFFFFFull;
}
} // namespace

std::vector<unsigned char> buildImage(
    std::string_view marker, std::string_view version, const std::vector<unsigned char>& payload)
{
    if (!fitsLength(payload.size()))
        return {};
    Header h;
    h.marker = std::string(marker);
    h.version = std::string(version);
    h.length = static_cast<std::uint32_t>(payload.size());
    h.crc32 = crc32(payload.data(), payload.size());
    const std::optional<std::string> text = headerText(h);
    if (!text)
        return {};
    std::vector<unsigned char> image(kHeaderSize + payload.size(), 0);
    std::memcpy(image.data(), text->data(), text->size());
    if (!payload.empty())
        std::memcpy(image.data() + kHeaderSize, payload.data(), payload.size());
    return image;
}

} // namespace firmware
