#include "CanFrame.h"

namespace vehicle {

std::uint8_t fdLengthFor(std::size_t bytes)
{
    static const std::uint8_t lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
    for (std::uint8_t l : lengths) {
        if (bytes <= l)
            return l;
    }
    return 0;
}

} // namespace vehicle
