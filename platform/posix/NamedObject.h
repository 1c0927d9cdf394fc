// Whether a shared-memory name still refers to the object we hold open: a
// name removed or taken by a newer object of the same name says no.
#pragma once

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace platform::detail {

inline bool nameStillRefersTo(const std::string& native, int fd)
{
    const int named = ::shm_open(native.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (named < 0)
        return false;
    struct stat theirs { };
    struct stat mine { };
    const bool same = ::fstat(named, &theirs) == 0 && ::fstat(fd, &mine) == 0 && theirs.st_dev == mine.st_dev
        && theirs.st_ino == mine.st_ino;
    ::close(named);
    return same;
}

} // namespace platform::detail
