// Replaceable front ends of the OS queries: a test installs a function, the
// rest of the program keeps calling the same entry points.
#include "Detail.h"

#include "platform/Network.h"
#include "platform/UsbDevices.h"

namespace platform {
namespace {
detail::Replaceable<std::function<OsVersion()>>& osProbe()
{
    static detail::Replaceable<std::function<OsVersion()>> probe;
    return probe;
}
detail::Replaceable<UsbDeviceProbe>& usbProbe()
{
    static detail::Replaceable<UsbDeviceProbe> probe;
    return probe;
}
detail::Replaceable<AdapterLister>& adapterLister()
{
    static detail::Replaceable<AdapterLister> lister;
    return lister;
}
detail::Replaceable<ConnectivityProbe>& internetProbe()
{
    static detail::Replaceable<ConnectivityProbe> probe;
    return probe;
}
} // namespace

OsVersion osVersion()
{
    if (auto probe = osProbe().get())
        return probe();
    return detail::systemOsVersion();
}

void setOsVersionProbe(std::function<OsVersion()> probe)
{
    osProbe().set(std::move(probe));
}

bool usbDevicePresent(unsigned vendorId, unsigned productId)
{
    if (auto probe = usbProbe().get())
        return probe(vendorId, productId);
    return detail::systemUsbDevicePresent(vendorId, productId);
}

void setUsbDeviceProbe(UsbDeviceProbe probe)
{
    usbProbe().set(std::move(probe));
}

std::vector<NetAdapter> listAdapters()
{
    if (auto lister = adapterLister().get())
        return lister();
    std::vector<NetAdapter> adapters = detail::systemAdapters();
    for (auto& user : userAdapters())
        adapters.push_back(std::move(user.second));
    return adapters;
}

void setAdapterLister(AdapterLister lister)
{
    adapterLister().set(std::move(lister));
}

bool connectivityProbe()
{
    if (auto probe = internetProbe().get())
        return probe();
    return systemReportsInternet();
}

void setConnectivityProbe(ConnectivityProbe probe)
{
    internetProbe().set(std::move(probe));
}

namespace detail {

std::string toLowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && toLowerAscii(a) == toLowerAscii(b);
}

} // namespace detail
} // namespace platform
