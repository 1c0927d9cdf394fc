#include "platform/OsConventions.h"

namespace platform {

std::string nativeProgramName(const std::string& windowsName)
{
    const std::string suffix = programSuffix();
    const std::string exe = ".exe";
    if (!suffix.empty() || windowsName.size() <= exe.size()
        || windowsName.compare(windowsName.size() - exe.size(), exe.size(), exe) != 0)
        return windowsName;
    return windowsName.substr(0, windowsName.size() - exe.size());
}

} // namespace platform
