// USB devices from sysfs: every <root>/<device>/idVendor and idProduct pair.
#include "platform/UsbDevices.h"

#include "../common/Detail.h"

#include <algorithm>
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

std::vector<UsbDeviceDetails> usbDeviceDetails()
{
    // At most 256 bytes of a small attribute file, without surrounding blanks.
    const auto small = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        char buffer[256];
        in.read(buffer, sizeof buffer);
        std::string text(buffer, static_cast<std::size_t>(in.gcount()));
        const char* blanks = " \t\n\r\v\f";
        const std::size_t first = text.find_first_not_of(blanks);
        if (first == std::string::npos)
            return std::string();
        return text.substr(first, text.find_last_not_of(blanks) - first + 1);
    };
    std::vector<UsbDeviceDetails> list;
    const std::string root = usbSysfsRoot();
    DIR* dir = ::opendir(root.c_str());
    if (!dir)
        return list;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string device = root + "/" + e->d_name;
        UsbDeviceDetails d;
        d.vendorId = small(device + "/idVendor");
        if (d.vendorId.empty())
            continue;
        d.name = e->d_name;
        d.productId = small(device + "/idProduct");
        d.manufacturer = small(device + "/manufacturer");
        d.product = small(device + "/product");
        list.push_back(std::move(d));
    }
    ::closedir(dir);
    std::sort(
        list.begin(), list.end(), [](const UsbDeviceDetails& a, const UsbDeviceDetails& b) { return a.name < b.name; });
    return list;
}

} // namespace platform
