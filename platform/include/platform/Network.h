// Network facilities behind the internet check: the connectivity probe that
// stands in for the Network List Manager, name resolution and one ICMP echo.
#pragma once

#include <functional>
#include <string>

namespace platform {

// True when the system reports a connection to the internet (Network List
// Manager on Windows; a default route on POSIX). Replaceable for tests.
using ConnectivityProbe = std::function<bool()>;
bool systemReportsInternet();
void setConnectivityProbe(ConnectivityProbe probe); // empty restores the system probe
bool connectivityProbe();
// POSIX only: the folder holding the "route" and "ipv6_route" tables read by
// systemReportsInternet (default /proc/net). Empty restores the default.
void setRouteTableDirectory(const std::string& dir);

// First IPv4 address of a host name in dotted text, or empty when it does not resolve.
std::string resolveFirstIPv4(const std::string& host);

// One ICMP echo to a dotted IPv4 address with 32 data bytes ("Data buffer", NUL,
// zeros). True on an echo reply within timeoutMs; the round-trip time goes to rttMs.
// Invalid addresses give false. Datagram ICMP socket where allowed, raw as root.
bool icmpEcho(const std::string& ipv4, unsigned timeoutMs, unsigned long& rttMs);

} // namespace platform
