// The machine's network adapters.
#include "TestHarness.h"

#include "platform/NetAdapters.h"

#include <algorithm>
#include <cctype>

using namespace platform;

namespace {

bool wellFormedMac(const std::string& mac)
{
    if (mac.empty())
        return true;
    if (mac.size() % 3 != 2)
        return false;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        const char c = mac[i];
        if (i % 3 == 2 ? c != '-' : !(std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

} // namespace

TEST_CASE(system_list_is_well_formed)
{
    const auto adapters = listAdapters();
    for (const NetAdapter& a : adapters) {
        CHECK(!a.name.empty());
        CHECK(wellFormedMac(a.mac));
        CHECK(a.ipv4.empty() || std::count(a.ipv4.begin(), a.ipv4.end(), '.') == 3);
    }
#ifndef _WIN32
    const auto lo = std::find_if(adapters.begin(), adapters.end(), [](const NetAdapter& a) { return a.name == "lo"; });
    CHECK(lo != adapters.end());
    if (lo != adapters.end()) {
        CHECK_EQ(lo->ipv4, std::string("127.0.0.1"));
        CHECK_EQ(lo->mac, std::string("00-00-00-00-00-00"));
    }
    // Every interface appears once although getifaddrs reports it per family.
    for (const NetAdapter& a : adapters)
        CHECK_EQ(
            std::count_if(adapters.begin(), adapters.end(), [&](const NetAdapter& b) { return b.name == a.name; }), 1);
#endif
}

TEST_CASE(lister_replaces_the_system_list)
{
    setAdapterLister([] {
        return std::vector<NetAdapter>{
            {"eth9", "Realtek USB FE Family Controller", "00-E0-4C-36-00-01", "169.254.100.2"}};
    });
    const auto fake = listAdapters();
    CHECK_EQ(fake.size(), std::size_t(1));
    if (!fake.empty())
        CHECK_EQ(fake[0].ipv4, std::string("169.254.100.2"));
    setAdapterLister(nullptr);
    const auto real = listAdapters();
    CHECK(std::none_of(
        real.begin(), real.end(), [](const NetAdapter& a) { return a.name == "eth9" && a.ipv4 == "169.254.100.2"; }));
}

int main()
{
    return th::runAll();
}
