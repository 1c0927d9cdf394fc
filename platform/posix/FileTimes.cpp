#include "platform/FileTimes.h"

#include <sys/stat.h>

namespace platform {

std::int64_t lastAccessTime(const std::string& path)
{
    struct stat st { };
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_atime);
}

} // namespace platform
