#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace bwservice {

namespace {
// The block prefix, made safe for a file name.
std::string lockSuffix()
{
    std::string prefix;
    if (const char* p = std::getenv("BRINDLEWICK_SHM_PREFIX")) {
        for (const char* c = p; *c; ++c)
            prefix += (*c == '/' || *c == '\\' || *c == ':' ? '_' : *c);
    }
    return prefix + ".lock";
}
} // namespace

#ifdef _WIN32
InstanceLock::~InstanceLock()
{
    if (m_handle)
        ::CloseHandle(m_handle);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::string* error)
{
    // No sharing: a second open fails with a sharing violation while the
    // holder runs; the system closes the handle however the holder ends.
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr);
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

std::string InstanceLock::defaultPath()
{
    char dir[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathA(sizeof dir, dir);
    std::string folder = n > 0 && n <= MAX_PATH ? std::string(dir, n) : std::string(".\\");
    if (folder.back() != '\\' && folder.back() != '/')
        folder += '\\';
    return folder + "BrindlewickService" + lockSuffix();
}
#else

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = "cannot create the lock file " + path + ": " + std::strerror(errno);
        return Result::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        *error
            = held ? "another instance is running (" + path + ")" : "cannot lock " + path + ": " + std::strerror(errno);
        ::close(fd);
        return held ? Result::HeldByAnother : Result::Unavailable;
    }
    // The holder's process id, for people looking at the file.
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, pid.data(), pid.size());
    }
    m_fd = fd;
    return Result::Acquired;
}

std::string InstanceLock::defaultPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? runtime : "/tmp";
    return dir + "/BrindlewickService-" + std::to_string(::getuid()) + lockSuffix();
}
#endif

} // namespace bwservice
