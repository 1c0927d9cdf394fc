// The adapter the background service publishes in the status block (the one
// the device page shows), as the libraries that applications load read it:
// the mode library and the J2534 library. Qt-free.
#pragma once

#include <string>

namespace blocks {

struct PublishedAdapter {
    std::string address; // vciIP, dotted IPv4 text; empty when none
    std::string serial;  // SN
};

// The text counts only while its writer (the service) holds the block's
// ownership lock: a dead service's last text names no adapter. Empty fields
// when there is no block, no live service or no adapter.
PublishedAdapter readPublishedAdapter();

} // namespace blocks
