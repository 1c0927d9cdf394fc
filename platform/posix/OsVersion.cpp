#include "../common/Detail.h"

#include <cstdlib>
#include <sys/utsname.h>

namespace platform::detail {

// The kernel release ("6.1.0-18-amd64" -> 6.1); never a Windows version.
OsVersion systemOsVersion()
{
    OsVersion version;
    utsname name{};
    if (::uname(&name) == 0) {
        char* end = nullptr;
        version.major = static_cast<int>(std::strtol(name.release, &end, 10));
        if (end && *end == '.')
            version.minor = static_cast<int>(std::strtol(end + 1, nullptr, 10));
    }
    return version;
}

} // namespace platform::detail
