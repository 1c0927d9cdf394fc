#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace bwservice {

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
    std::string prefix;
    if (const char* p = std::getenv("BRINDLEWICK_SHM_PREFIX")) {
        for (const char* c = p; *c; ++c)
            prefix += (*c == '/' ? '_' : *c);
    }
    return dir + "/BrindlewickService-" + std::to_string(::getuid()) + prefix + ".lock";
}

} // namespace bwservice
