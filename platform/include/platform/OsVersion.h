// The operating system's version, behind a replaceable probe so that the
// Windows 7 only steps can be exercised anywhere.
#pragma once

#include <functional>

namespace platform {

struct OsVersion {
    int major = 0;
    int minor = 0;
    bool isWindows = false;
};

// Windows: the real version (6.1 = Windows 7, 10.0 = Windows 10/11).
// Linux: the kernel version with isWindows false.
OsVersion osVersion();
// An empty function restores the system probe.
void setOsVersionProbe(std::function<OsVersion()> probe);

// True on a 64-bit system: Windows with a SysWOW64 folder, a POSIX machine
// whose name holds "64" (x86_64, aarch64).
bool is64BitSystem();

} // namespace platform
