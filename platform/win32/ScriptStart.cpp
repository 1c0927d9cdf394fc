// Batch files are opened through the shell, hidden, without waiting.
#include "platform/ServiceControl.h"

#include <shellapi.h>
#include <windows.h>

namespace platform {

long startDetachedScript(const std::string& scriptPath)
{
    if (scriptPath.empty())
        return 0;
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "open";
    info.lpFile = scriptPath.c_str();
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
