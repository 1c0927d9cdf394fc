// The real Windows version from RtlGetVersion (GetVersionEx reports what the
// program's manifest claims, not what runs).
#include "../common/Detail.h"

#include <windows.h>

namespace platform::detail {

OsVersion systemOsVersion()
{
    OsVersion version;
    version.isWindows = true;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    if (HMODULE ntdll = ::GetModuleHandleA("ntdll.dll")) {
        auto rtlGetVersion
            = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        OSVERSIONINFOW info{};
        info.dwOSVersionInfoSize = sizeof info;
        if (rtlGetVersion && rtlGetVersion(&info) == 0) {
            version.major = static_cast<int>(info.dwMajorVersion);
            version.minor = static_cast<int>(info.dwMinorVersion);
        }
    }
    return version;
}

} // namespace platform::detail
