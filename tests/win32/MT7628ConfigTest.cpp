// MT7628Config's Winsock transport against the adapter emulator on loopback:
// the operations (buzzer, Wi-Fi list, reboot) and the failures (bad address,
// nobody listening, a module that never answers) within their bounds.
#include "Win32Checks.h"

#include "MT7628Config.h"

#include <algorithm>
#include <cstring>

namespace {

TEST_CASE(operations_reach_the_emulated_adapter)
{
    const std::string ip = w32::adapterIp(2);
    MT7628Config adapter;
    CHECK(adapter.RequestBuzz(ip.c_str()));

    const std::vector<survey_table> aps = adapter.get_ap_list(ip);
    const auto workshop = std::find_if(
        aps.begin(), aps.end(), [](const survey_table& t) { return std::strcmp(t.ssid, "Workshop-5G") == 0; });
    CHECK_EQ(aps.size(), std::size_t(3));
    CHECK(workshop != aps.end() && std::strstr(workshop->security, "WPA2") != nullptr);
    CHECK(workshop != aps.end() && workshop->signal >= 0 && workshop->signal <= 100);

    vci_status before;
    CHECK(adapter.GetVciStatus(ip, before));
    CHECK(adapter.RebootVci(ip.c_str()));
    vci_status during;
    CHECK(!adapter.GetVciStatus(ip, during)); // away for the reboot time
    vci_status after;
    CHECK(th::waitFor([&] { return adapter.GetVciStatus(ip, after); }, 15000));
    CHECK_EQ(after.serial, before.serial);
}

TEST_CASE(failures_come_back_within_their_bounds)
{
    const std::string ip = w32::adapterIp(2);
    MT7628Config adapter;
    adapter.setTimeouts(1000, 800);
    vci_status status;
    CHECK(!adapter.GetVciStatus("300.1.2.3", status));
    CHECK(!adapter.GetVciStatus("", status));

    CHECK_EQ(w32::emulatorCommand("unplug 2").substr(0, 2), std::string("OK"));
    auto start = std::chrono::steady_clock::now();
    CHECK(!adapter.RequestBuzz(ip.c_str())); // connection refused
    CHECK(w32::msSince(start) < 1000 + 500);
    CHECK_EQ(w32::emulatorCommand("plug 2").substr(0, 2), std::string("OK"));

    CHECK_EQ(w32::emulatorCommand("silent 2 on").substr(0, 2), std::string("OK"));
    start = std::chrono::steady_clock::now();
    CHECK(adapter.get_ap_list(ip).empty());
    const long long waited = w32::msSince(start);
    CHECK(waited >= 700 && waited < 800 + 1500);
    CHECK_EQ(w32::emulatorCommand("silent 2 off").substr(0, 2), std::string("OK"));
    CHECK(th::waitFor([&] { return adapter.GetVciStatus(ip, status); }, 5000));
}

} // namespace

int main()
{
    return th::runAll();
}
