// Connectivity probe, resolver and ICMP echo, all against loopback only.
#include "TestHarness.h"

#include "platform/Network.h"

#include <fstream>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace platform;

TEST_CASE(connectivity_probe_can_be_replaced_and_restored)
{
    const bool system = systemReportsInternet();
    setConnectivityProbe([] { return true; });
    CHECK(connectivityProbe());
    setConnectivityProbe([] { return false; });
    CHECK(!connectivityProbe());
    setConnectivityProbe(nullptr);
    CHECK_EQ(connectivityProbe(), system);
}

#ifndef _WIN32
TEST_CASE(default_routes_count_unless_rejected_or_on_loopback)
{
    th::TempDir dir;
    setRouteTableDirectory(dir.path());
    const std::string v4Title = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const std::string v6Unreachable = "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                                      "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";
    auto write = [&](const std::string& v4, const std::string& v6) {
        std::ofstream(dir.file("route")) << v4Title << v4;
        std::ofstream(dir.file("ipv6_route")) << v6;
    };
    write("eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n", v6Unreachable);
    CHECK(!systemReportsInternet()); // only a local subnet
    write("eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n", v6Unreachable);
    CHECK(systemReportsInternet());
    write("eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n", "");
    CHECK(!systemReportsInternet()); // route not up
    write("",
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fe800000000000000000000000000001 00000400 00000001 00000000 00000003     eth0\n");
    CHECK(systemReportsInternet()); // IPv6 only
    write("garbage line\n", "short\n");
    CHECK(!systemReportsInternet());
    setRouteTableDirectory(dir.file("missing"));
    CHECK(!systemReportsInternet());
    setRouteTableDirectory(std::string());
}

// The machine's own answer is kept between route changes; kept or not, it
// is what the tables say now.
TEST_CASE(kept_answer_matches_the_machines_tables)
{
    setRouteTableDirectory("/proc/net");
    const bool tables = systemReportsInternet();
    setRouteTableDirectory(std::string());
    for (int i = 0; i < 3; ++i)
        CHECK_EQ(systemReportsInternet(), tables);
}
#endif

TEST_CASE(localhost_resolves_to_loopback)
{
    CHECK_EQ(resolveFirstIPv4("localhost"), std::string("127.0.0.1"));
    CHECK_EQ(resolveFirstIPv4("127.0.0.1"), std::string("127.0.0.1"));
    CHECK_EQ(resolveFirstIPv4(""), std::string());
}

TEST_CASE(invalid_addresses_are_not_pinged)
{
    unsigned long rtt = 12345;
    for (const char* bad : {"", "localhost", "300.1.1.1", "1.2.3", "127.0.0.1 ", "255.255.255.255", "abc"}) {
        CHECK(!icmpEcho(bad, 100, rtt));
    }
    CHECK_EQ(rtt, 12345ul);
}

TEST_CASE(echo_to_loopback_is_answered)
{
#ifndef _WIN32
    const int dgram = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP);
    const int raw = dgram < 0 ? ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) : -1;
    if (dgram >= 0)
        ::close(dgram);
    if (raw >= 0)
        ::close(raw);
    if (dgram < 0 && raw < 0)
        SKIP("neither datagram ICMP sockets (net.ipv4.ping_group_range) nor raw sockets are permitted here");
#endif
    unsigned long rtt = 99999;
    const bool ok = icmpEcho("127.0.0.1", 1000, rtt);
#ifdef _WIN32
    if (!ok)
        SKIP("IcmpSendEcho is not answered under this Windows layer");
#endif
    CHECK(ok);
    CHECK(rtt < 1000);
    // Several echoes in a row each get their own answer.
    for (int i = 0; i < 3; ++i)
        CHECK(icmpEcho("127.0.0.1", 1000, rtt));
}

int main()
{
    return th::runAll();
}
