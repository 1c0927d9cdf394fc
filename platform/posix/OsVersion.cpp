#include "../common/Detail.h"

#include <cstdlib>
#include <string>
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

namespace platform {

bool is64BitSystem()
{
    utsname name{};
    return ::uname(&name) == 0 && std::string(name.machine).find("64") != std::string::npos;
}

} // namespace platform
