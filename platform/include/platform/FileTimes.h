// File times the standard library does not give: the last access.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Last access of the entry itself (a link is not followed), in seconds since
// 1970-01-01 UTC; -1 when the entry cannot be examined. The path is in the
// system's 8-bit file name encoding (QFile::encodeName; the ANSI code page
// on Windows).
std::int64_t lastAccessTime(const std::string& path);

} // namespace platform
