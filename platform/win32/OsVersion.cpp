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

namespace platform {

bool is64BitSystem()
{
    const DWORD attributes = ::GetFileAttributesA("C:\\Windows\\SysWOW64");
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

} // namespace platform
