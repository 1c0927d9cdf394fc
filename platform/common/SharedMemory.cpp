// Ownership of a mapped block, the same on every system; mapping and
// unmapping are in the posix/ and win32/ implementations.
#include "platform/SharedMemory.h"

#include <utility>

namespace platform {

SharedMemory::~SharedMemory()
{
    close();
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
{
    *this = std::move(other);
}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept
{
    if (this != &other) {
        close();
        m_data = other.m_data;
        m_size = other.m_size;
        m_name = std::move(other.m_name);
        m_error = std::move(other.m_error);
        m_handle = other.m_handle;
        m_owner = other.m_owner;
        m_fd = other.m_fd;
        m_guard = other.m_guard;
        other.m_data = nullptr;
        other.m_size = 0;
        other.m_handle = nullptr;
        other.m_owner = nullptr;
        other.m_fd = -1;
        other.m_guard = -1;
    }
    return *this;
}

} // namespace platform
