// USB device presence by vendor and product id: the SetupDi device list on
// Windows ("VID_xxxx&PID_xxxx" in the hardware id), /sys/bus/usb/devices on POSIX.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// True when a device with these ids is attached.
bool usbDevicePresent(unsigned vendorId, unsigned productId);

// POSIX only: the folder scanned instead of /sys/bus/usb/devices (tests use a
// fake tree of <dev>/idVendor and <dev>/idProduct files). Empty restores the default.
void setUsbSysfsRoot(const std::string& dir);
std::string usbSysfsRoot();

// One attached device as the system describes it (POSIX: the sysfs folder name
// and its idVendor, idProduct, manufacturer and product files, each trimmed).
struct UsbDeviceDetails {
    std::string name;
    std::string vendorId;
    std::string productId;
    std::string manufacturer;
    std::string product;
};
// The devices under usbSysfsRoot() with a vendor id, sorted by name. Windows
// gives none (the support file lists the adapter's own id there).
std::vector<UsbDeviceDetails> usbDeviceDetails();

// Replaces the whole query (tests of callers); an empty function restores it.
using UsbDeviceProbe = std::function<bool(unsigned vendorId, unsigned productId)>;
void setUsbDeviceProbe(UsbDeviceProbe probe);

} // namespace platform
