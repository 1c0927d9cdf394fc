// Large pages on Windows need a privilege and their own allocation
// (VirtualAlloc with MEM_LARGE_PAGES); heap buffers get no hint.
#include "platform/MemoryHint.h"

namespace platform {

bool adviseLargeBuffer(void*, std::size_t)
{
    return false;
}

} // namespace platform
