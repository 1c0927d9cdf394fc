#include "platform/OsConventions.h"

namespace platform {

const char* programSuffix()
{
    return ".exe";
}

const char* sharedLibrarySuffix()
{
    return ".dll";
}

bool pathsCaseSensitive()
{
    return false;
}

bool toolsBesideProgram()
{
    return true;
}

std::vector<std::pair<std::string, std::string>> utf8ProgramEnvironment()
{
    return {};
}

bool keychainNeedsSessionBus()
{
    return false;
}

bool servicePerUser()
{
    return false;
}

bool passThruDiscoveryByRegistry()
{
    return true;
}

bool toLocalTime(std::time_t t, std::tm& out)
{
    return ::localtime_s(&out, &t) == 0;
}

void makeExecutable(const std::string&)
{
}

} // namespace platform
