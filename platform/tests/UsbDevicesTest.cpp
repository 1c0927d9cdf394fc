// USB presence by vendor and product id.
#include "TestHarness.h"

#include "platform/UsbDevices.h"

#include <fstream>

using namespace platform;

#ifndef _WIN32
TEST_CASE(fake_sysfs_tree_is_searched)
{
    th::TempDir dir;
    auto device = [&](const std::string& name, const std::string& vendor, const std::string& product) {
        std::filesystem::create_directories(dir.file(name));
        if (!vendor.empty())
            std::ofstream(dir.file(name + "/idVendor")) << vendor << "\n";
        if (!product.empty())
            std::ofstream(dir.file(name + "/idProduct")) << product << "\n";
    };
    device("usb1", "1d6b", "0002"); // root hub
    device("1-1", "a5a5", "2560");  // the adapter
    device("1-2", "0bda", "");      // no product file
    device("1-2:1.0", "", "");      // interface folder, no ids
    device("1-3", "0BDA", "8152");  // upper-case digits
    device("1-4", "zzzz", "8152");  // not a number
    setUsbSysfsRoot(dir.path());
    CHECK_EQ(usbSysfsRoot(), dir.path());
    CHECK(usbDevicePresent(0xA5A5, 0x2560));
    CHECK(usbDevicePresent(0x0BDA, 0x8152));
    CHECK(usbDevicePresent(0x1d6b, 0x0002));
    CHECK(!usbDevicePresent(0xA5A5, 0x2561));
    CHECK(!usbDevicePresent(0x2560, 0xA5A5));
    CHECK(!usbDevicePresent(0x0BDA, 0));
    std::ofstream(dir.file("1-1/manufacturer")) << "  Brindlewick \n";
    std::ofstream(dir.file("1-1/product")) << std::string(300, 'p');
    // Sorted by name, only folders with a vendor id, values trimmed and cut at 256 bytes.
    const std::vector<UsbDeviceDetails> details = usbDeviceDetails();
    std::string names;
    for (const UsbDeviceDetails& d : details)
        names += d.name + " ";
    CHECK_EQ(names, std::string("1-1 1-2 1-3 1-4 usb1 "));
    if (details.size() == 5) {
        CHECK_EQ(details[0].vendorId + ":" + details[0].productId, std::string("a5a5:2560"));
        CHECK_EQ(details[0].manufacturer, std::string("Brindlewick"));
        CHECK_EQ(details[0].product, std::string(256, 'p'));
        CHECK_EQ(details[1].productId, std::string());
    }
    setUsbSysfsRoot(dir.file("missing"));
    CHECK(!usbDevicePresent(0xA5A5, 0x2560));
    CHECK(usbDeviceDetails().empty());
    setUsbSysfsRoot(std::string());
    CHECK_EQ(usbSysfsRoot(), std::string("/sys/bus/usb/devices"));
}
#else
TEST_CASE(absent_device_is_not_found)
{
    CHECK(!usbDevicePresent(0xA5A5, 0x2560));
    CHECK(usbDeviceDetails().empty());
}
#endif

TEST_CASE(probe_replaces_the_query)
{
    setUsbDeviceProbe([](unsigned vendor, unsigned product) { return vendor == 0xA5A5 && product == 0x2560; });
    CHECK(usbDevicePresent(0xA5A5, 0x2560));
    CHECK(!usbDevicePresent(0x0BDA, 0x8152));
    setUsbDeviceProbe(nullptr);
#ifndef _WIN32
    th::TempDir empty;
    setUsbSysfsRoot(empty.path());
    CHECK(!usbDevicePresent(0xA5A5, 0x2560));
    setUsbSysfsRoot(std::string());
#endif
}

int main()
{
    return th::runAll();
}
