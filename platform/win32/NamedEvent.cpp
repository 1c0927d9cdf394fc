// A named auto-reset event. Like the file mappings, an event in "Global\\"
// that cannot be created there (no right to) is created as "Local\\Name",
// and opening a "Global\\" name also looks there.
#include "platform/NamedEvent.h"

#include "UserAccess.h"

#include <windows.h>

#include <thread>

namespace platform {
namespace {

std::string systemError(const std::string& what, const std::string& name, DWORD code)
{
    return what + "(" + name + "): Windows error " + std::to_string(code);
}

std::string localFallback(const std::string& name)
{
    const std::string global = "Global\\";
    return name.compare(0, global.size(), global) == 0 ? "Local\\" + name.substr(global.size()) : std::string();
}

} // namespace

NamedEvent::~NamedEvent()
{
    close();
}

bool NamedEvent::create(const std::string& name)
{
    close();
    m_error.clear();
    detail::UserAccess access;
    HANDLE h = ::CreateEventA(access.attributes(), FALSE, FALSE, name.c_str());
    if (!h && ::GetLastError() == ERROR_ACCESS_DENIED && !localFallback(name).empty())
        h = ::CreateEventA(access.attributes(), FALSE, FALSE, localFallback(name).c_str());
    if (!h) {
        m_error = systemError("CreateEvent", name, ::GetLastError());
        return false;
    }
    m_handle = h;
    return true;
}

bool NamedEvent::open(const std::string& name)
{
    close();
    m_error.clear();
    const DWORD access = EVENT_MODIFY_STATE | SYNCHRONIZE;
    HANDLE h = ::OpenEventA(access, FALSE, name.c_str());
    if (!h && !localFallback(name).empty())
        h = ::OpenEventA(access, FALSE, localFallback(name).c_str());
    if (!h) {
        m_error = systemError("OpenEvent", name, ::GetLastError());
        return false;
    }
    m_handle = h;
    return true;
}

void NamedEvent::close()
{
    if (m_handle)
        ::CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
}

// An event disappears with its last handle; there is no name to remove.
bool NamedEvent::remove(const std::string&)
{
    return true;
}

bool NamedEvent::isOpen() const
{
    return m_handle != nullptr;
}

bool NamedEvent::stillNamed() const
{
    return m_handle != nullptr;
}

bool NamedEvent::usable() const
{
    return m_handle != nullptr;
}

bool NamedEvent::signal()
{
    return usable() && ::SetEvent(static_cast<HANDLE>(m_handle));
}

bool NamedEvent::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!usable()) {
        std::this_thread::sleep_until(deadline);
        return false;
    }
    const long long ms = timeout.count() < 0 ? 0 : timeout.count();
    const DWORD wait = ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
    const DWORD result = ::WaitForSingleObject(static_cast<HANDLE>(m_handle), wait);
    if (result == WAIT_OBJECT_0)
        return true;
    if (result == WAIT_FAILED)
        std::this_thread::sleep_until(deadline);
    return false;
}

} // namespace platform
