// A file mapping's owner on Windows: the process is found by name while the
// mapping exists and watched through a SYNCHRONIZE handle.
#include "platform/ProcessWatch.h"

#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <windows.h>

namespace platform {
namespace {

bool sameProgram(const std::string& listed, const std::string& wanted)
{
    if (wanted.empty())
        return false;
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    const std::string a = lower(listed);
    const std::string b = lower(wanted);
    return a == b || a == b + ".exe" || a + ".exe" == b;
}

} // namespace

bool blocksOutliveTheirOwner()
{
    return false;
}

ProcessWatch::~ProcessWatch()
{
    release();
}

bool ProcessWatch::attach(const std::string& executableName, const std::string& blockName)
{
    release();
    if (!SharedMemory::exists(blockName))
        return false;
    for (const ProcessEntry& p : listProcesses()) {
        if (sameProgram(p.name, executableName) && watch(p.pid))
            return true;
    }
    return false;
}

bool ProcessWatch::watch(long pid)
{
    // A service under another account may refuse the handle; that process
    // is then skipped.
    HANDLE h = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h)
        return false;
    m_handle = h;
    m_pid = pid;
    if (running())
        return true;
    release();
    return false;
}

bool ProcessWatch::running() const
{
    return m_handle && ::WaitForSingleObject(static_cast<HANDLE>(m_handle), 0) == WAIT_TIMEOUT;
}

void ProcessWatch::release()
{
    if (m_handle)
        ::CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
    m_pid = 0;
}

} // namespace platform
