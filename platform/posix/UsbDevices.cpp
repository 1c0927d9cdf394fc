// USB devices from sysfs: every <root>/<device>/idVendor and idProduct pair.
#include "platform/UsbDevices.h"

#include "../common/Detail.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>

namespace platform {
namespace {

detail::Replaceable<std::string>& rootOverride()
{
    static detail::Replaceable<std::string> root;
    return root;
}

// The four hex digits of an id file, or -1 when it is missing or not a number.
long readHexId(const std::string& path)
{
    std::ifstream in(path);
    std::string text;
    if (!(in >> text) || text.empty() || text.size() > 4)
        return -1;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text.c_str(), &end, 16);
    return *end == '\0' ? static_cast<long>(value) : -1;
}

} // namespace

void setUsbSysfsRoot(const std::string& dir)
{
    rootOverride().set(dir);
}

std::string usbSysfsRoot()
{
    const std::string root = rootOverride().get();
    return root.empty() ? "/sys/bus/usb/devices" : root;
}

namespace detail {

bool systemUsbDevicePresent(unsigned vendorId, unsigned productId)
{
    const std::string root = usbSysfsRoot();
    DIR* dir = ::opendir(root.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string device = root + "/" + e->d_name;
        if (readHexId(device + "/idVendor") == static_cast<long>(vendorId)
            && readHexId(device + "/idProduct") == static_cast<long>(productId)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace detail
} // namespace platform
