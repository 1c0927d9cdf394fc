// Hints to the virtual memory system about how a buffer will be used.
#pragma once

#include <cstddef>

namespace platform {

// A buffer of at least this many bytes counts as large.
constexpr std::size_t kLargeBufferBytes = std::size_t(4) << 20;

// Asks for huge pages behind a large buffer that is about to be filled:
// filling 4 KiB pages one fault at a time is the main cost of a big download.
// Only the whole pages inside [data, data + length) are advised; the contents
// are untouched. True when the hint was given: Linux with transparent huge
// pages and a large buffer; a no-op elsewhere (Windows has no such hint for
// ordinary heap memory).
bool adviseLargeBuffer(void* data, std::size_t length);

} // namespace platform
