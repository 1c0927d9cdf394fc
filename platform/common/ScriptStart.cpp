// The script folder: an override for tests, else the system's per-user folder.
#include "platform/ScriptStart.h"

#include "Detail.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace platform {
namespace {
std::mutex g_mutex;
std::string g_override;
} // namespace

const char* scriptSuffix(ScriptKind kind)
{
    return kind == ScriptKind::Batch ? ".bat" : ".sh";
}

void setScriptDirectory(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = dir;
}

std::string scriptDirectory()
{
    std::string dir;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        dir = g_override;
    }
    if (dir.empty())
        dir = detail::defaultScriptDirectory();
    if (dir.empty())
        return {};
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        fs::create_directories(dir, ec);
        // Only the user may put a script here that the manager will run.
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
    return fs::is_directory(dir, ec) ? dir : std::string();
}

} // namespace platform
