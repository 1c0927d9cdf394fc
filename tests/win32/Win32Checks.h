// Shared pieces of the Win32 integration checks: where the emulators run
// (set by scripts/test-win32.sh) and a child process the check owns.
#pragma once

#include "../../platform/tests/TestHarness.h"
#include "platform/Sockets.h"

// Winsock before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace w32 {

// An environment value the test script sets; the check is skipped without it.
inline std::string required(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        SKIP(std::string(name) + " is not set (scripts/test-win32.sh starts the emulators and sets it)");
    return value;
}

// Address of the emulated adapter n (1-based) below BW_TEST_ADAPTER_BASE (a.b.c.d).
inline std::string adapterIp(int n)
{
    const std::string base = required("BW_TEST_ADAPTER_BASE");
    const auto dot = base.rfind('.');
    return base.substr(0, dot + 1) + std::to_string(std::atoi(base.c_str() + dot + 1) + n - 1);
}

// The folder of this program, where the build puts every program and library.
inline std::string binDir()
{
    char path[MAX_PATH + 1] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(0, p.find_last_of("\\/") + 1);
}

// One command on the adapter emulator's control port; its answer line ("" on failure).
inline std::string emulatorCommand(const std::string& command)
{
    const int port = std::atoi(required("BW_TEST_VCI_CONTROL_PORT").c_str());
    if (!platform::startSockets())
        return {};
    std::string answer;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const DWORD timeoutMs = 5000;
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof timeoutMs);
    if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string line = command + "\n";
        ::send(s, line.data(), static_cast<int>(line.size()), 0);
        char c = 0;
        while (::recv(s, &c, 1, 0) == 1 && c != '\n')
            answer += c;
    }
    if (s != INVALID_SOCKET)
        ::closesocket(s);
    return answer; // Winsock stays started for the process, as platform::startSockets leaves it
}

inline long long msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// A program started by the check and ended by it (TerminateProcess), so a
// failed check never leaves it running.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args)
    {
        std::string line = "\"" + program + "\"";
        for (const std::string& a : args)
            line += " \"" + a + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::vector<char> buffer(line.begin(), line.end());
        buffer.push_back('\0');
        if (::CreateProcessA(
                nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &m_info)) {
            ::CloseHandle(m_info.hThread);
            m_started = true;
        }
    }
    ~Child() { kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool started() const { return m_started; }
    // The exit code once it has ended within ms, else -1.
    long exitCode(int ms)
    {
        if (!m_started || ::WaitForSingleObject(m_info.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_info.hProcess, &code);
        return static_cast<long>(code);
    }
    void kill()
    {
        if (!m_started)
            return;
        ::TerminateProcess(m_info.hProcess, 9);
        ::WaitForSingleObject(m_info.hProcess, 5000);
        ::CloseHandle(m_info.hProcess);
        m_started = false;
    }

private:
    PROCESS_INFORMATION m_info{};
    bool m_started = false;
};

} // namespace w32
