// Processes on Windows: the Toolhelp snapshot, TerminateProcess, the module
// path and CreateProcess with a properly quoted command line; runs that are
// waited for go into a job object, so a time-out ends what they started too.
#include "platform/Process.h"

// windows.h first: the other Windows headers need its types.
#include <windows.h>

#include <tlhelp32.h>

namespace platform {
namespace {

std::string narrow(const wchar_t* text)
{
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<std::size_t>(n - 1), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

template <typename Visit>
void forEachProcess(Visit visit)
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry))
        visit(static_cast<long>(entry.th32ProcessID), narrow(entry.szExeFile));
    ::CloseHandle(snapshot);
}

// Exact, case-sensitive; "Name" without extension also matches "Name.exe".
bool matches(const std::string& exeFile, const std::string& name)
{
    return !name.empty() && (exeFile == name || exeFile == name + ".exe");
}

// One argument in the quoting that CommandLineToArgvW and the C runtime undo.
std::string quoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"')
            out.append(backslashes * 2 + 1, '\\');
        else
            out.append(backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

} // namespace

std::vector<ProcessEntry> listProcesses()
{
    std::vector<ProcessEntry> result;
    forEachProcess([&](long pid, const std::string& name) { result.push_back(ProcessEntry{pid, name}); });
    return result;
}

bool isProcessRunning(const std::string& executableName)
{
    bool found = false;
    forEachProcess([&](long, const std::string& name) { found = found || matches(name, executableName); });
    return found;
}

int terminateProcesses(const std::string& executableName)
{
    const long self = static_cast<long>(::GetCurrentProcessId());
    int count = 0;
    forEachProcess([&](long pid, const std::string& name) {
        if (pid == self || !matches(name, executableName))
            return;
        HANDLE h = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(pid));
        if (!h)
            return;
        if (::TerminateProcess(h, 1))
            ++count;
        ::CloseHandle(h);
    });
    return count;
}

std::string modulePath()
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string rawCommandLine()
{
    const char* line = ::GetCommandLineA();
    return line ? line : "";
}

long startDetached(
    const std::string& program, const std::vector<std::string>& args, const std::string& workingDirectory)
{
    if (program.empty())
        return 0;
    std::string commandLine = quoteArgument(program);
    for (const std::string& arg : args)
        commandLine += " " + quoteArgument(arg);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
            DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr,
            workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info))
        return 0;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return static_cast<long>(info.dwProcessId);
}

} // namespace platform

namespace platform {

RunStatus runAndWait(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDirectory, int timeoutMs, int* exitCode)
{
    if (exitCode)
        *exitCode = -1;
    if (program.empty())
        return RunStatus::CouldNotStart;
    std::string commandLine = quoteArgument(program);
    for (const std::string& arg : args)
        commandLine += " " + quoteArgument(arg);
    HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
    if (job) {
        // Whatever is still in the job when its handle closes is ended.
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // A program without a folder is searched for (lpApplicationName null).
    const bool search = program.find_first_of("\\/") == std::string::npos;
    if (!::CreateProcessA(search ? nullptr : program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
            CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, workingDirectory.empty() ? nullptr : workingDirectory.c_str(),
            &startup, &info)) {
        if (job)
            ::CloseHandle(job);
        return RunStatus::CouldNotStart;
    }
    const bool inJob = job && ::AssignProcessToJobObject(job, info.hProcess);
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    const DWORD wait = ::WaitForSingleObject(info.hProcess, timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs));
    RunStatus result = RunStatus::Exited;
    if (wait != WAIT_OBJECT_0) {
        if (inJob)
            ::TerminateJobObject(job, 1);
        ::TerminateProcess(info.hProcess, 1);
        ::WaitForSingleObject(info.hProcess, 5000);
        result = RunStatus::TimedOut;
    } else {
        DWORD code = 0;
        ::GetExitCodeProcess(info.hProcess, &code);
        // Exception codes (0xC0000005 ...) mean the program crashed.
        if ((code & 0xF0000000u) == 0xC0000000u)
            result = RunStatus::Crashed;
        if (exitCode)
            *exitCode = static_cast<int>(code);
    }
    ::CloseHandle(info.hProcess);
    if (job) {
        if (result != RunStatus::TimedOut) {
            // Children it left running stay: only a time-out ends them.
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION keep{};
            ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &keep, sizeof keep);
        }
        ::CloseHandle(job);
    }
    return result;
}

} // namespace platform

namespace platform {

long currentProcessId()
{
    return static_cast<long>(::GetCurrentProcessId());
}

} // namespace platform
