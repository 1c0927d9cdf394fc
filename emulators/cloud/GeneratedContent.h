// Contents of the emulator's generated files (/files/gen/<bytes>.bin), shared
// with the tests and benchmarks that check what they downloaded.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace cloud {

// Byte at offset i: a period of 251 (a prime) so that no power-of-two chunking
// of the transfer lines up with the pattern and a shifted or lost block shows.
inline std::uint8_t generatedByte(std::size_t i)
{
    return static_cast<std::uint8_t>(i % 251u);
}

inline void appendGenerated(std::string& out, std::size_t offset, std::size_t length)
{
    out.reserve(out.size() + length);
    for (std::size_t i = 0; i < length; ++i)
        out.push_back(static_cast<char>(generatedByte(offset + i)));
}

inline bool isGenerated(const char* data, std::size_t length)
{
    // Compare whole periods against one table of the pattern.
    static const std::string table = [] {
        std::string t;
        appendGenerated(t, 0, 251u * 256u);
        return t;
    }();
    for (std::size_t offset = 0; offset < length; offset += table.size()) {
        const std::size_t n = std::min(table.size(), length - offset);
        if (std::memcmp(data + offset, table.data(), n) != 0)
            return false;
    }
    return true;
}

} // namespace cloud
