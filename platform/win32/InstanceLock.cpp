#include "platform/InstanceLock.h"

#include "../common/Detail.h"

#include <windows.h>

#include <cstdlib>

namespace platform {

InstanceLock::~InstanceLock()
{
    if (m_handle)
        ::CloseHandle(m_handle);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::string* error)
{
    // No sharing: a second open fails with a sharing violation while the
    // holder runs; the system closes the handle however the holder ends.
    HANDLE h = ::CreateFileA(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const bool held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        *error = held ? "another instance is running (" + path + ")"
                      : "cannot create the lock file " + path + ": error " + std::to_string(code);
        return held ? Result::HeldByAnother : Result::Unavailable;
    }
    const std::string pid = std::to_string(::GetCurrentProcessId()) + "\r\n";
    DWORD written = 0;
    ::SetEndOfFile(h);
    ::WriteFile(h, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
    m_handle = h;
    return Result::Acquired;
}

std::string InstanceLock::defaultPath(const std::string& name)
{
    char dir[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof dir, dir);
    std::string folder = n > 0 && n <= MAX_PATH ? std::string(dir, n) : std::string(".\\");
    if (folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder + name + detail::instanceLockSuffix();
}

} // namespace platform
