// The status text for one adapter as the service learned it over the MT7628
// protocol; the text format itself is the shared block contract's.
#pragma once

#include "MT7628Config.h"

#include <string>

namespace bwservice {

// The text for the adapter reached at testIP (its own address when it
// reports none). Values are cleaned and cut by the contract's writer.
std::string buildStatusText(const vci_status& status, const std::string& testIP);

} // namespace bwservice
