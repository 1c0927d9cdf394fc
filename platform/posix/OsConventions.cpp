#include "platform/OsConventions.h"

#include <sys/stat.h>

namespace platform {

const char* programSuffix()
{
    return "";
}

const char* sharedLibrarySuffix()
{
    return ".so";
}

bool pathsCaseSensitive()
{
    return true;
}

bool toolsBesideProgram()
{
    return false;
}

std::vector<std::pair<std::string, std::string>> utf8ProgramEnvironment()
{
    return {{"LC_ALL", "C.UTF-8"}};
}

bool keychainNeedsSessionBus()
{
    return true;
}

bool servicePerUser()
{
    return true;
}

bool passThruDiscoveryByRegistry()
{
    return false;
}

bool toLocalTime(std::time_t t, std::tm& out)
{
    return ::localtime_r(&t, &out) != nullptr;
}

void makeExecutable(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
        ::chmod(path.c_str(), st.st_mode | S_IXUSR);
}

} // namespace platform
