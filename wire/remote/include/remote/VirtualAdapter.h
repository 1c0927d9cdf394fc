// The B-end's user-space virtual adapter ("Brindlewick remoteDiag"): a
// loopback IPv4 address recorded as a user adapter (platform::addUserAdapter)
// for this instance. The session libraries listen on it at the module port
// and the pass-thru port while a session is up; the service probes it in
// remote mode.
#pragma once

#include <cstdint>
#include <string>

namespace remote {

inline constexpr const char* kVirtualAdapterDescription = "Brindlewick remoteDiag";

// This instance's record id: "remoteDiag" plus BRINDLEWICK_SHM_PREFIX (cleaned),
// so that two B-ends on one machine keep their own adapters.
std::string virtualAdapterId();
// Makes (or keeps) this instance's adapter: the lowest 127.0.101.N (1..254)
// no other instance's record holds. Its address, or "" with a reason.
std::string enableVirtualAdapter(std::string* error);
bool disableVirtualAdapter();
// This instance's adapter address, "" when it is not enabled.
std::string virtualAdapterAddress();

// The module port (BRINDLEWICK_MT7628_PORT, else 7628), the pass-thru port
// (BW_PASSTHRU_PORT, else 7630: the J2534 library's own default and override)
// and the relay port (BRINDLEWICK_RELAY_PORT, else 11923).
std::uint16_t modulePort();
std::uint16_t passThruPort();
std::uint16_t relayPort();

} // namespace remote
