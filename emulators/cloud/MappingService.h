// The mapping service's session records: the manager posts one when a relay
// session starts and one when it ends. A record is accepted only with the
// "authorization" header the manager derives from the serial, the event and
// the build's shared pattern; a control route lists what was accepted.
#pragma once

#include "Digest.h"

#include <string>

namespace cloud {

// Adds the record route and its control routes to one listener; every
// listener of the process shares one list of records.
void installMappingService(httplib::Server& server);

// The header value the service expects (lower-case hex MD5); for tests.
std::string mappingAuthorization(const std::string& sn, const std::string& event);

} // namespace cloud
