// The status block's text ("KEY = value\r\n" lines, NUL-terminated) and the
// way it is put into the block.
#pragma once

#include "MT7628Config.h"

#include <cstddef>
#include <string>

namespace bwservice {

constexpr std::size_t kBlockSize = 1024;

// The text for one adapter reached at testIP. Every value is cleaned of
// control characters and cut (on a UTF-8 boundary) to what the manager's
// record can hold, so the text always fits the block. connType is written
// only when it is one of USB, RJ45, WIFI, ROUTE.
std::string buildStatusText(const vci_status& status, const std::string& testIP);

// Writes text into the block so that a reader never sees a mix of two texts:
// the first byte is cleared, the rest (zero-padded to the block's end) copied,
// then the first byte set. A reader that overlaps sees an empty text at worst.
// Text longer than size-1 bytes is cut. An empty text clears the block.
void writeStatusText(unsigned char* block, std::size_t size, const std::string& text);

// The text currently in the block (up to the first NUL or the block's end).
std::string readStatusText(const unsigned char* block, std::size_t size);

} // namespace bwservice
