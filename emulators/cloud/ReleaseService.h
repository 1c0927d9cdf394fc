// The application's release archives from a folder the build made
// (--release DIR, e.g. build/release-next): GET /files/app/<name>.zip streams
// DIR/<name>.zip from disk. Without --release the emulator's generated
// placeholder archive answers as before.
#pragma once

#include "Digest.h"

#include <string>

namespace cloud {

// False when the folder does not exist.
bool setReleaseDirectory(const std::string& folder);
void installReleaseService(httplib::Server& server);

} // namespace cloud
