// Named file mappings backed by the paging file. "Global\" names need
// SeCreateGlobalPrivilege to be created; without it the block is created in
// the session namespace ("Local\") and openers look there too.
#include "platform/SharedMemory.h"

#include "UserAccess.h"

#include <windows.h>

#include <optional>

namespace platform {
namespace {

std::string systemError(const std::string& what, const std::string& name, DWORD code)
{
    return what + "(" + name + "): Windows error " + std::to_string(code);
}

std::string localFallback(const std::string& name)
{
    const std::string global = "Global\\";
    return name.compare(0, global.size(), global) == 0 ? "Local\\" + name.substr(global.size()) : std::string();
}

} // namespace

std::string SharedMemory::nativeName(const std::string& name)
{
    return name;
}

bool SharedMemory::create(const std::string& name, std::size_t size)
{
    return attach(name, size, true);
}

bool SharedMemory::open(const std::string& name, std::size_t size)
{
    return attach(name, size, false);
}

bool SharedMemory::attach(const std::string& name, std::size_t size, bool create)
{
    close();
    m_error.clear();
    if (size == 0) {
        m_error = "shared memory block " + name + ": size 0";
        return false;
    }
    const unsigned long long size64 = size;
    // The descriptor only for a creator: readers that look for a missing
    // block on every pass do not build one each time.
    std::optional<detail::UserAccess> access;
    if (create)
        access.emplace();
    // Read and write is all an opener asks for (and all other users are granted).
    auto mapping = [&](const std::string& n) {
        return create ? ::CreateFileMappingA(INVALID_HANDLE_VALUE, access->attributes(), PAGE_READWRITE,
                   static_cast<DWORD>(size64 >> 32), static_cast<DWORD>(size64 & 0xffffffffu), n.c_str())
                      : ::OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, n.c_str());
    };
    HANDLE h = mapping(name);
    // Without the right to make "Global\" names the block lives in the session.
    const bool fallBack = create ? ::GetLastError() == ERROR_ACCESS_DENIED : true;
    if (!h && fallBack && !localFallback(name).empty())
        h = mapping(localFallback(name));
    if (!h) {
        m_error = systemError(create ? "CreateFileMapping" : "OpenFileMapping", name, ::GetLastError());
        return false;
    }
    // A view larger than an existing section is refused by the system.
    void* p = ::MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, size);
    if (!p) {
        m_error = systemError("MapViewOfFile", name, ::GetLastError());
        ::CloseHandle(h);
        return false;
    }
    m_handle = h;
    m_data = static_cast<unsigned char*>(p);
    m_size = size;
    m_name = name;
    return true;
}

void SharedMemory::close()
{
    if (m_data)
        ::UnmapViewOfFile(m_data);
    if (m_handle)
        ::CloseHandle(static_cast<HANDLE>(m_handle));
    if (m_owner)
        ::CloseHandle(static_cast<HANDLE>(m_owner));
    m_data = nullptr;
    m_handle = nullptr;
    m_owner = nullptr;
    m_size = 0;
    m_name.clear();
}

bool SharedMemory::exists(const std::string& name)
{
    HANDLE h = ::OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str());
    if (!h && ::GetLastError() == ERROR_FILE_NOT_FOUND && !localFallback(name).empty())
        h = ::OpenFileMappingA(FILE_MAP_READ, FALSE, localFallback(name).c_str());
    if (h) {
        ::CloseHandle(h);
        return true;
    }
    return ::GetLastError() == ERROR_ACCESS_DENIED; // there, but not ours to open
}

namespace {

// The ownership mutex lives as long as its creator's handle: a reader that
// opens it and closes it at once never keeps it alive.
std::string ownerName(const std::string& blockName)
{
    return blockName + "Owner";
}

} // namespace

bool SharedMemory::holdOwnership()
{
    if (!m_data)
        return false;
    if (m_owner)
        return true;
    detail::UserAccess access;
    HANDLE h = ::CreateMutexA(access.attributes(), TRUE, ownerName(m_name).c_str());
    if (!h && ::GetLastError() == ERROR_ACCESS_DENIED && !localFallback(m_name).empty())
        h = ::CreateMutexA(access.attributes(), TRUE, ownerName(localFallback(m_name)).c_str());
    if (!h) {
        m_error = systemError("CreateMutex", ownerName(m_name), ::GetLastError());
        return false;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        // Someone else has it open: a reader looking for a moment (then it is
        // free to take), or a live owner (then it is not).
        const DWORD got = ::WaitForSingleObject(h, 0);
        if (got != WAIT_OBJECT_0 && got != WAIT_ABANDONED) {
            ::CloseHandle(h);
            m_error = ownerName(m_name) + " is held by another process";
            return false;
        }
    }
    m_owner = h;
    return true;
}

bool SharedMemory::ownerAlive() const
{
    if (!m_data)
        return false;
    if (m_owner)
        return true;
    HANDLE h = ::OpenMutexA(SYNCHRONIZE, FALSE, ownerName(m_name).c_str());
    if (!h && !localFallback(m_name).empty())
        h = ::OpenMutexA(SYNCHRONIZE, FALSE, ownerName(localFallback(m_name)).c_str());
    if (!h)
        return false;
    ::CloseHandle(h);
    return true;
}

// A section never shrinks and its name stays while a handle is open.
bool SharedMemory::intact() const
{
    return m_data != nullptr;
}

bool SharedMemory::faulted() const
{
    return false;
}

bool SharedMemory::stillNamed() const
{
    return m_data != nullptr;
}

// A mapping disappears with its last handle; there is no name to remove.
bool SharedMemory::remove(const std::string&)
{
    return true;
}

} // namespace platform
