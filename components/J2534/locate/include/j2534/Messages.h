// PASSTHRU_MSG helpers every J2534 application of this project shares (the
// j2534-tool, the diagnosis component): an ISO 15765 message from an
// identifier and its data, and the identifier of a received one. Needs
// "j2534.h" (components/J2534/include) on the include path.
#pragma once

#include "j2534.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace j2534 {

// `protocol`'s message to (or the filter value of) `id`: the 4-byte big-endian
// identifier, then `data` (cut to what a message holds), padded frames.
inline PASSTHRU_MSG isoMessage(unsigned long protocol, std::uint32_t id, const std::vector<unsigned char>& data)
{
    PASSTHRU_MSG m;
    std::memset(&m, 0, sizeof m);
    m.ProtocolID = protocol;
    m.TxFlags = ISO15765_FRAME_PAD;
    m.Data[0] = static_cast<unsigned char>(id >> 24);
    m.Data[1] = static_cast<unsigned char>(id >> 16);
    m.Data[2] = static_cast<unsigned char>(id >> 8);
    m.Data[3] = static_cast<unsigned char>(id);
    const std::size_t n = std::min<std::size_t>(data.size(), PASSTHRU_MSG_DATA_SIZE - 4);
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n), m.Data + 4);
    m.DataSize = 4 + n;
    return m;
}

// The identifier in a message's first four bytes.
inline std::uint32_t messageId(const PASSTHRU_MSG& m)
{
    return (std::uint32_t(m.Data[0]) << 24) | (std::uint32_t(m.Data[1]) << 16) | (std::uint32_t(m.Data[2]) << 8)
        | m.Data[3];
}

} // namespace j2534
