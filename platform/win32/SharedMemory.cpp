// Named file mappings backed by the paging file. "Global\" names need
// SeCreateGlobalPrivilege to be created; without it the block is created in
// the session namespace ("Local\") and openers look there too.
#include "platform/SharedMemory.h"

#include <windows.h>

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
    close();
    m_error.clear();
    if (size == 0) {
        m_error = "shared memory block " + name + ": size 0";
        return false;
    }
    const unsigned long long size64 = size;
    auto createMapping = [&](const std::string& n) {
        return ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, static_cast<DWORD>(size64 >> 32),
            static_cast<DWORD>(size64 & 0xffffffffu), n.c_str());
    };
    HANDLE h = createMapping(name);
    if (!h && ::GetLastError() == ERROR_ACCESS_DENIED && !localFallback(name).empty())
        h = createMapping(localFallback(name));
    if (!h) {
        m_error = systemError("CreateFileMapping", name, ::GetLastError());
        return false;
    }
    void* p = ::MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size);
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

bool SharedMemory::open(const std::string& name, std::size_t size)
{
    close();
    m_error.clear();
    if (size == 0) {
        m_error = "shared memory block " + name + ": size 0";
        return false;
    }
    HANDLE h = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name.c_str());
    if (!h && !localFallback(name).empty())
        h = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, localFallback(name).c_str());
    if (!h) {
        m_error = systemError("OpenFileMapping", name, ::GetLastError());
        return false;
    }
    // A view larger than the section is refused by the system.
    void* p = ::MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, size);
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
    m_data = nullptr;
    m_handle = nullptr;
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

// A mapping disappears with its last handle; there is no name to remove.
bool SharedMemory::remove(const std::string&)
{
    return true;
}

} // namespace platform
