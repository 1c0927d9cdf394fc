// USB devices from the SetupDi list of present devices: a hardware instance
// id such as "USB\VID_A5A5&PID_2560\..." names the ids.
#include "platform/UsbDevices.h"

#include "../common/Detail.h"

// windows.h first: the other Windows headers need its types.
#include <windows.h>

#include <setupapi.h>

#include <cstdio>

namespace platform {

// The device tree is the system's; there is no folder to point elsewhere.
void setUsbSysfsRoot(const std::string&)
{
}
std::string usbSysfsRoot()
{
    return {};
}

namespace detail {

bool systemUsbDevicePresent(unsigned vendorId, unsigned productId)
{
    char needle[32];
    std::snprintf(needle, sizeof needle, "vid_%04x&pid_%04x", vendorId & 0xffff, productId & 0xffff);
    HDEVINFO devices = ::SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD i = 0; !found && ::SetupDiEnumDeviceInfo(devices, i, &info); ++i) {
        char id[512] = {};
        if (::SetupDiGetDeviceInstanceIdA(devices, &info, id, sizeof id, nullptr))
            found = toLowerAscii(id).find(needle) != std::string::npos;
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return found;
}

} // namespace detail
} // namespace platform

namespace platform {

std::vector<UsbDeviceDetails> usbDeviceDetails()
{
    return {};
}

} // namespace platform
