// Network interfaces from getifaddrs, with the hardware address and driver
// name from /sys/class/net/<name>.
#include "platform/NetAdapters.h"

#include "../common/Detail.h"

#include <arpa/inet.h>
#include <fstream>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

namespace platform {
namespace {

std::string hardwareAddress(const std::string& name)
{
    std::ifstream in("/sys/class/net/" + name + "/address");
    std::string text;
    if (!(in >> text))
        return {};
    for (char& c : text) {
        if (c == ':')
            c = '-';
        else if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string driverName(const std::string& name)
{
    char buffer[4096];
    const std::string link = "/sys/class/net/" + name + "/device/driver";
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0)
        return {};
    const std::string target(buffer, static_cast<std::size_t>(n));
    return target.substr(target.rfind('/') + 1);
}

} // namespace

namespace detail {

std::vector<NetAdapter> systemAdapters()
{
    std::vector<NetAdapter> adapters;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return adapters;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_name)
            continue;
        const std::string name = a->ifa_name;
        auto it = adapters.begin();
        while (it != adapters.end() && it->name != name)
            ++it;
        if (it == adapters.end()) {
            NetAdapter adapter;
            adapter.name = name;
            adapter.mac = hardwareAddress(name);
            adapter.description = driverName(name);
            adapters.push_back(std::move(adapter));
            it = adapters.end() - 1;
        }
        if (it->ipv4.empty() && a->ifa_addr && a->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* sin = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            if (::inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text))
                it->ipv4 = text;
        }
    }
    ::freeifaddrs(list);
    return adapters;
}

} // namespace detail
} // namespace platform
