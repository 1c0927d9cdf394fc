// One CAN or CAN FD frame on an emulated bus.
#pragma once

#include <array>
#include <cstdint>

namespace vehicle {

struct CanFrame {
    std::uint32_t id = 0;    // 11 bits, or 29 with `extended`
    bool extended = false;   // 29-bit identifier
    bool fd = false;         // CAN FD frame
    bool brs = false;        // FD: data phase at the bus's data rate
    std::uint8_t length = 0; // classic 0..8; FD 0..8, 12, 16, 20, 24, 32, 48, 64
    std::array<std::uint8_t, 64> data{};
};

// Valid FD lengths round up to the next one (9 -> 12 ...); 0 when over 64.
std::uint8_t fdLengthFor(std::size_t bytes);

} // namespace vehicle
