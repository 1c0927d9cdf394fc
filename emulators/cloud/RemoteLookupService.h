// The relay directory: which relay serves an adapter (GET /api/remote/relay
// with ?sn=SERIAL), and which relay this machine registers with (without
// sn). Both answer the relay given with --relay (default 127.0.0.1).
#pragma once

#include "Digest.h"

#include <string>

namespace cloud {

// The relay address handed out; false when it is not IPv4 text.
bool setRelayAddress(const std::string& address);
void installRemoteLookup(httplib::Server& server);

} // namespace cloud
