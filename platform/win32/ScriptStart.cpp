// Batch files are opened through the shell, hidden, without waiting.
#include "platform/ScriptStart.h"

#include "../common/Detail.h"

// windows.h first: the other Windows headers need its types.
#include <windows.h>

#include <shellapi.h>

#include <cstdlib>

namespace platform {

ScriptKind scriptKind()
{
    return ScriptKind::Batch;
}

std::string detail::defaultScriptDirectory()
{
    if (const char* local = std::getenv("LOCALAPPDATA"); local && *local)
        return std::string(local) + "\\Brindlewick\\Scripts";
    if (const char* profile = std::getenv("USERPROFILE"); profile && *profile)
        return std::string(profile) + "\\AppData\\Local\\Brindlewick\\Scripts";
    return {};
}

long startDetachedScript(const std::string& scriptPath, const std::string& workingDirectory)
{
    if (scriptPath.empty())
        return 0;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "open";
    info.lpFile = scriptPath.c_str();
    info.lpDirectory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    info.nShow = SW_HIDE;
    if (!::ShellExecuteExA(&info))
        return 0;
    long pid = 1;
    if (info.hProcess) {
        const DWORD id = ::GetProcessId(info.hProcess);
        if (id)
            pid = static_cast<long>(id);
        ::CloseHandle(info.hProcess);
    }
    return pid;
}

} // namespace platform
