// On Windows "C:\ProgramData\..." paths are used as they stand, unless a test
// has pointed the data root elsewhere.
#include "platform/DataRoot.h"

#include "../common/Detail.h"

#include <cstdlib>

namespace platform {
std::string dataRoot()
{
    if (std::string root = detail::dataRootOverride(); !root.empty())
        return root;
    const char* env = std::getenv("ProgramData");
    return env && *env ? env : "C:\\ProgramData";
}

std::string mapDataPath(const std::string& windowsPath)
{
    std::string root = detail::dataRootOverride();
    const std::string prefix = "c:\\programdata";
    if (root.empty() || windowsPath.size() < prefix.size())
        return windowsPath;
    std::string head = windowsPath.substr(0, prefix.size());
    for (char& c : head)
        if (c == '/')
            c = '\\';
    if (!detail::equalsIgnoreCase(head, prefix)
        || (windowsPath.size() > prefix.size() && windowsPath[prefix.size()] != '\\'
            && windowsPath[prefix.size()] != '/'))
        return windowsPath;
    std::string rest = windowsPath.substr(prefix.size());
    for (char& c : rest)
        if (c == '/')
            c = '\\';
    while (!root.empty() && (root.back() == '\\' || root.back() == '/'))
        root.pop_back();
    return root + rest;
}

} // namespace platform
