// Firmware images of the adapter: which images an adapter takes, how an image
// file is laid out, and how a version text compares. Shared by the manager
// (before it hands an image to an upgrader), the upgraders and the adapter
// emulator (before it writes one), so all three refuse the same bad images.
//
// An image is a 64-byte header followed by the payload. The header is a
// NUL-terminated text, so the marker check on "the first 64 bytes read as
// text" works on it as it stands:
//
//   <marker>|<version>|<payload length>|<CRC-32 of the payload, 8 hex digits>
//
// e.g. "HALVERN_SYS|V2.1.0|1048576|1a2b3c4d", NUL-padded to 64 bytes. The
// marker names the image's kind and the adapter family it is for; the
// length and checksum let a flasher refuse a cut or damaged file before it
// writes anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace firmware {

inline constexpr std::size_t kHeaderSize = 64;

enum class Image { System, Application, Can };

// The type names under which the server offers an adapter's three images;
// all empty when the adapter takes none.
struct TypeNames {
    std::string system;
    std::string application;
    std::string can;

    bool empty() const { return system.empty() && application.empty() && can.empty(); }
    const std::string& of(Image image) const;
};

// The adapter's images from its status: a key programmer running normal
// firmware takes the three images; one in its boot loader (the firmware
// version holds "boot") takes them only when its port text is exactly "M5WC".
TypeNames firmwareTypeNames(std::string_view firmwareVersion, std::string_view portNumber, bool keyProgrammer);

// The markers a header must hold for a type name; empty for an unknown name.
std::vector<std::string_view> markersFor(std::string_view typeName);

// Whether the first 64 bytes of a file, read as a NUL-terminated text, hold a
// marker of the type name. The first check on a downloaded image.
bool headerHoldsMarker(const unsigned char* data, std::size_t size, std::string_view typeName);

// The number a version text stands for: the text after the last "V" (else
// after the last "v"), its dotted parts read from the right as decimal
// numbers weighted 1, 1000, 1000000 and 1000000000. 0 when there is nothing
// to read. Two versions are the same when their numbers are.
std::uint64_t versionNumber(std::string_view version);

struct Header {
    std::string marker;
    std::string version;
    std::uint32_t length = 0;
    std::uint32_t crc32 = 0;
};

// The header text for an image; nullopt when the fields do not fit 63 bytes
// or hold a "|" or a control character.
std::optional<std::string> headerText(const Header& header);
// The header at the start of an image file; nullopt when it is not one.
std::optional<Header> readHeader(const unsigned char* data, std::size_t size);

// CRC-32 (IEEE 802.3, as zlib's crc32), continued from `crc` for pieces.
std::uint32_t crc32(const unsigned char* data, std::size_t size, std::uint32_t crc = 0);

enum class Check { Ok, TooShort, NoHeader, WrongMarker, WrongLength, WrongChecksum };

// The whole check a flasher makes before writing: a header, a marker of the
// type name, a payload of the stated length and checksum.
Check checkImage(const unsigned char* data, std::size_t size, std::string_view typeName);
// A short English text for a failed check, for logs and exit messages.
const char* checkText(Check check);

// A complete image (header and payload); empty when the header does not fit.
std::vector<unsigned char> buildImage(
    std::string_view marker, std::string_view version, const std::vector<unsigned char>& payload);

} // namespace firmware
