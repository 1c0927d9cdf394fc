// USB device presence by vendor and product id: the SetupDi device list on
// Windows ("VID_xxxx&PID_xxxx" in the hardware id), /sys/bus/usb/devices on POSIX.
#pragma once

#include <functional>
#include <string>

namespace platform {

// True when a device with these ids is attached.
bool usbDevicePresent(unsigned vendorId, unsigned productId);

// POSIX only: the folder scanned instead of /sys/bus/usb/devices (tests use a
// fake tree of <dev>/idVendor and <dev>/idProduct files). Empty restores the default.
void setUsbSysfsRoot(const std::string& dir);
std::string usbSysfsRoot();

// Replaces the whole query (tests of callers); an empty function restores it.
using UsbDeviceProbe = std::function<bool(unsigned vendorId, unsigned productId)>;
void setUsbDeviceProbe(UsbDeviceProbe probe);

} // namespace platform
