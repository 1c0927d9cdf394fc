#include "platform/ScriptStart.h"

#include "../common/Detail.h"
#include "platform/Process.h"

#include <cstdlib>

namespace platform {

ScriptKind scriptKind()
{
    return ScriptKind::Shell;
}

std::string detail::defaultScriptDirectory()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
        return std::string(runtime) + "/Brindlewick";
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/')
        return std::string(cache) + "/Brindlewick";
    const char* home = std::getenv("HOME");
    if (!home || *home != '/')
        return {};
    return std::string(home) + "/.cache/Brindlewick";
}

// Helper scripts run with /bin/sh, detached.
long startDetachedScript(const std::string& scriptPath, const std::string& workingDirectory)
{
    if (scriptPath.empty())
        return 0;
    return startDetached("/bin/sh", {scriptPath}, workingDirectory);
}

} // namespace platform
