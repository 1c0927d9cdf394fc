// GetFileAttributesEx reports on a link (reparse point) itself, not on its target.
#include "platform/FileTimes.h"

#include <windows.h>

namespace platform {

std::int64_t lastAccessTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    // FILETIME counts 100 ns steps from 1601-01-01.
    const std::uint64_t ticks
        = (std::uint64_t(data.ftLastAccessTime.dwHighDateTime) << 32) | data.ftLastAccessTime.dwLowDateTime;
    const std::uint64_t kEpochDifference = 11644473600ull; // seconds from 1601 to 1970
    const std::uint64_t seconds = ticks / 10000000ull;
    if (seconds < kEpochDifference)
        return -1;
    return static_cast<std::int64_t>(seconds - kEpochDifference);
}

} // namespace platform
