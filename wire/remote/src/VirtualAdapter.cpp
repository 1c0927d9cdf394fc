#include "remote/VirtualAdapter.h"

#include "platform/NetAdapters.h"

#include <cctype>
#include <cstdlib>
#include <set>

namespace remote {
namespace {

std::uint16_t portFrom(const char* name, std::uint16_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return (*end == '\0' && v > 0 && v < 65536) ? static_cast<std::uint16_t>(v) : fallback;
}

} // namespace

std::string virtualAdapterId()
{
    std::string id = "remoteDiag";
    if (const char* prefix = std::getenv("BRINDLEWICK_SHM_PREFIX")) {
        for (const char* p = prefix; *p && id.size() < 64; ++p) {
            const unsigned char c = static_cast<unsigned char>(*p);
            id += (std::isalnum(c) || c == '-') ? static_cast<char>(c) : '_';
        }
    }
    return id;
}

std::string virtualAdapterAddress()
{
    const std::string id = virtualAdapterId();
    for (const auto& record : platform::userAdapters())
        if (record.first == id)
            return record.second.ipv4;
    return {};
}

std::string enableVirtualAdapter(std::string* error)
{
    const std::string id = virtualAdapterId();
    std::set<std::string> taken;
    for (const auto& record : platform::userAdapters()) {
        if (record.first == id && record.second.description == kVirtualAdapterDescription)
            return record.second.ipv4;
        taken.insert(record.second.ipv4);
    }
    for (int n = 1; n <= 254; ++n) {
        const std::string address = "127.0.101." + std::to_string(n);
        if (taken.count(address))
            continue;
        platform::NetAdapter adapter;
        adapter.name = id;
        adapter.description = kVirtualAdapterDescription;
        adapter.ipv4 = address;
        if (!platform::addUserAdapter(id, adapter, error))
            return {};
        return address;
    }
    if (error)
        *error = "every 127.0.101.x address is taken";
    return {};
}

bool disableVirtualAdapter()
{
    return platform::removeUserAdapter(virtualAdapterId());
}

std::uint16_t modulePort()
{
    return portFrom("BRINDLEWICK_MT7628_PORT", 7628);
}

std::uint16_t passThruPort()
{
    return portFrom("BW_PASSTHRU_PORT", 7630);
}

std::uint16_t relayPort()
{
    return portFrom("BRINDLEWICK_RELAY_PORT", 11923);
}

} // namespace remote
