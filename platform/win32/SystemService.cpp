// The Service Control Manager's side of a service program: the main thread is
// handed to the dispatcher, which runs the service's main function on a thread
// of its own and delivers control requests to the handler on another.
#include "platform/SystemService.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cwchar>
#include <mutex>

namespace platform {
namespace {

struct HostedService {
    std::string name;
    std::atomic<bool>* stop = nullptr;
    const std::function<int()>* body = nullptr;
    int exitCode = 0;
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
    std::mutex mutex;
};

// One service per process; set only while the dispatcher runs.
HostedService* g_service = nullptr;

void report(DWORD state, int exitCode, DWORD waitHintMs)
{
    HostedService& s = *g_service;
    std::lock_guard<std::mutex> lock(s.mutex);
    SERVICE_STATUS& st = s.status;
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    st.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    st.dwServiceSpecificExitCode = static_cast<DWORD>(exitCode);
    st.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : st.dwCheckPoint + 1;
    st.dwWaitHint = waitHintMs;
    ::SetServiceStatus(s.handle, &st);
}

DWORD WINAPI onControl(DWORD control, DWORD, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        g_service->stop->store(true);
        // The body's loop sees the flag within its poll interval.
        report(SERVICE_STOP_PENDING, 0, 10000);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, LPSTR*)
{
    HostedService& s = *g_service;
    s.handle = ::RegisterServiceCtrlHandlerExA(s.name.c_str(), onControl, nullptr);
    if (!s.handle) {
        s.exitCode = 1;
        return;
    }
    report(SERVICE_RUNNING, 0, 0);
    s.exitCode = (*s.body)();
    report(SERVICE_STOPPED, s.exitCode, 0);
}

// The Service Control Manager (services.exe) starts every service process.
// Asking the dispatcher instead is not enough: under wine a program started
// from a console connects to the pipe of whichever service started last and
// waits there for good.
bool startedByServiceManager()
{
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    DWORD parent = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && parent == 0;
         more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    bool byManager = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && parent != 0;
         more = ::Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent) {
            byManager = ::_wcsicmp(entry.szExeFile, L"services.exe") == 0;
            break;
        }
    ::CloseHandle(snapshot);
    return byManager;
}

} // namespace

bool runAsSystemService(
    const std::string& name, std::atomic<bool>& stop, const std::function<int()>& body, int& exitCode)
{
    if (!startedByServiceManager())
        return false;
    HostedService service;
    service.name = name;
    service.stop = &stop;
    service.body = &body;
    g_service = &service;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(service.name.c_str()), serviceMain}, {nullptr, nullptr}};
    // Returns when the service has stopped.
    const bool hosted = ::StartServiceCtrlDispatcherA(table) != FALSE;
    g_service = nullptr;
    if (hosted)
        exitCode = service.exitCode;
    return hosted;
}

} // namespace platform
