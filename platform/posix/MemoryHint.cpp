#include "platform/MemoryHint.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

bool adviseLargeBuffer(void* data, std::size_t length)
{
#ifdef MADV_HUGEPAGE
    if (!data || length < kLargeBufferBytes)
        return false;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize <= 0)
        return false;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t begin = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + length) & ~(page - 1);
    if (end <= begin)
        return false;
    return ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE) == 0;
#else
    (void)data;
    (void)length;
    return false;
#endif
}

} // namespace platform
