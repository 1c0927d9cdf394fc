// "C:\ProgramData\X" -> <data root>/X.
#include "platform/DataRoot.h"

#include "../common/Detail.h"

#include <cstdlib>

namespace platform {
std::string dataRoot()
{
    if (std::string root = detail::dataRootOverride(); !root.empty())
        return root;
    if (const char* env = std::getenv("BRINDLEWICK_DATA_ROOT"); env && *env)
        return env;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/brindlewick/ProgramData";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "") + "/.local/share/brindlewick/ProgramData";
}

std::string mapDataPath(const std::string& windowsPath)
{
    std::string path = windowsPath;
    for (char& c : path)
        if (c == '\\')
            c = '/';
    const std::string prefix = "c:/programdata";
    if (path.size() >= prefix.size() && detail::equalsIgnoreCase(path.substr(0, prefix.size()), prefix)
        && (path.size() == prefix.size() || path[prefix.size()] == '/')) {
        std::string rest = path.substr(prefix.size());
        // "C://ProgramData//x" style doubled separators collapse to one.
        while (rest.size() > 1 && rest[0] == '/' && rest[1] == '/')
            rest.erase(0, 1);
        std::string root = dataRoot();
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        return root + rest;
    }
    return path;
}

} // namespace platform
