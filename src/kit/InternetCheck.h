// The internet check shown on the device page and used before server calls:
// the system's connectivity answer, then, as a second opinion, one ICMP echo
// to a well-known public host.
//
// The host name is resolved on a worker thread and the caller waits at most
// kResolveWaitMs for it; the answer (also "does not resolve") is kept for
// kResolveCacheMs. A machine without a working resolver therefore never
// blocks the GUI thread for the resolver's own time-out (seconds): the check
// costs at most the resolve wait plus the echo time-out.
#pragma once

#include <QString>

#include <functional>
#include <string>

bool internetReachable();

// One ICMP echo (32 bytes, 100 ms time-out) to a dotted IPv4 address. True
// when a reply came back; its round-trip time in milliseconds goes to rttMs.
// An invalid address gives false.
bool pingHost(const std::string& ip, unsigned long& rttMs);
inline bool pingHost(const QString& ip, unsigned long& rttMs)
{
    return pingHost(ip.toStdString(), rttMs);
}

namespace InternetCheck {

inline constexpr unsigned kEchoTimeoutMs = 100;
inline constexpr unsigned kResolveWaitMs = 100;
inline constexpr unsigned kResolveCacheMs = 5000;

// Host name to dotted IPv4 text, empty when it does not resolve.
using Resolver = std::function<std::string(const std::string& host)>;

// Test seams: the resolver (empty restores the system resolver), the public
// host (empty restores the build's probe host) and the kept answer.
void setResolver(Resolver resolver);
void setProbeHost(const std::string& host);
void clearResolveCache();

// The probe host's address as the check sees it: the kept answer, or the
// worker's answer if it comes within kResolveWaitMs, else empty.
std::string resolveProbeHost();

} // namespace InternetCheck
