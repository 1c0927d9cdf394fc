// Keeps a shrunk shared-memory object from killing the process.
//
// Touching a MAP_SHARED page that lies past the end of its object raises
// SIGBUS. Any process of the same user can shrink our blocks, so every shared
// mapping is registered here: a SIGBUS inside a registered range swaps that
// range for private zero pages (the faulting access then completes on them)
// and marks it faulted, so its owner notices and maps the object afresh.
// A SIGBUS anywhere else goes to the handler that was there before.
#pragma once

#include <cstddef>

namespace platform::detail {

// Registers [begin, begin + size) and returns a slot for the calls below, or
// -1 when every slot is taken (the mapping then works unguarded).
int guardMapping(void* begin, std::size_t size);
// Forgets the slot; call before unmapping.
void unguardMapping(int slot);
// Whether a fault in this slot's range was caught since it was registered.
bool mappingFaulted(int slot);

} // namespace platform::detail
