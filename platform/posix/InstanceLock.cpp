#include "platform/InstanceLock.h"

#include "../common/Detail.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

InstanceLock::~InstanceLock()
{
    if (m_fd < 0)
        return;
    // Removed while still held, so the folder does not keep one file per
    // prefix that ever ran; a process waiting on the old file sees that its
    // path is gone (acquire() checks) and makes a new one.
    ::unlink(m_path.c_str());
    ::close(m_fd);
}

InstanceLock::Result InstanceLock::acquire(const std::string& path, std::string* error)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            *error = "cannot create the lock file " + path + ": " + std::strerror(errno);
            return Result::Unavailable;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool held = errno == EWOULDBLOCK;
            *error = held ? "another instance is running (" + path + ")"
                          : "cannot lock " + path + ": " + std::strerror(errno);
            ::close(fd);
            return held ? Result::HeldByAnother : Result::Unavailable;
        }
        // The previous holder may have removed the file between our open and
        // our lock: a lock on a file that no longer has the name counts for nothing.
        struct stat opened { };
        struct stat named { };
        if (::fstat(fd, &opened) != 0 || ::stat(path.c_str(), &named) != 0 || opened.st_ino != named.st_ino
            || opened.st_dev != named.st_dev) {
            ::close(fd);
            continue;
        }
        // The holder's process id, for people looking at the file.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            [[maybe_unused]] const ssize_t n = ::write(fd, pid.data(), pid.size());
        }
        m_fd = fd;
        m_path = path;
        return Result::Acquired;
    }
    *error = "the lock file " + path + " keeps being replaced";
    return Result::Unavailable;
}

std::string InstanceLock::defaultPath(const std::string& name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string dir = runtime && *runtime ? runtime : "/tmp";
    return dir + "/" + name + "-" + std::to_string(::getuid()) + detail::instanceLockSuffix();
}

} // namespace platform
