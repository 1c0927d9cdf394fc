// The addresses the service asks for adapters, in order of preference.
#pragma once

#include <string>
#include <vector>

namespace bwservice {

// The default list: the USB-to-Ethernet link's adapter first, then the
// addresses the adapter emulator uses.
constexpr const char* kDefaultProbeList = "169.254.100.1,127.0.100.1-8";

// Parses "a.b.c.d", "a.b.c.d-e" (last number from d to e) and comma or blank
// separated lists of both. Duplicates are dropped, order is kept. false with a
// message on any malformed part (nothing is returned then).
bool parseProbeList(const std::string& text, std::vector<std::string>& out, std::string* error);

// True for 169.254.0.0/16, which is only reachable over a link-local interface.
bool isLinkLocal(const std::string& ipv4);

} // namespace bwservice
