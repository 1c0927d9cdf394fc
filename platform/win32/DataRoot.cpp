// On Windows "C:\ProgramData\..." paths are used as they stand, unless a test
// has pointed the data root elsewhere.
#include "platform/DataRoot.h"

#include "../common/Detail.h"

#include <cstdlib>
#include <mutex>

namespace platform {
namespace {
std::mutex g_mutex;
std::string g_rootOverride;
} // namespace

void setDataRoot(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_rootOverride = dir;
}

std::string dataRoot()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_rootOverride.empty())
            return g_rootOverride;
    }
    const char* env = std::getenv("ProgramData");
    return env && *env ? env : "C:\\ProgramData";
}

std::string mapDataPath(const std::string& windowsPath)
{
    std::string root;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        root = g_rootOverride;
    }
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
