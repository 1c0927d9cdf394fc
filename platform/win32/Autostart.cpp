// The log-on autostart entry: value "Brindlewick" of HKLM\...\Run.
#include "platform/Autostart.h"

#include <windows.h>

#include <mutex>

namespace platform {
namespace {

constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kValueName = "Brindlewick";
constexpr DWORD kBufferSize = 1024;

std::mutex g_mutex;
std::string g_dir;

// Size query, then the read into a 1024-byte buffer; the text up to its first NUL.
bool readFrom(HKEY key, std::string& out)
{
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key, kValueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    char buffer[kBufferSize] = {};
    DWORD got = kBufferSize;
    if (::RegQueryValueExA(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &got) != ERROR_SUCCESS)
        return false;
    const DWORD length = got < kBufferSize ? got : kBufferSize;
    std::string text(buffer, length);
    out = text.substr(0, text.find('\0'));
    return true;
}

} // namespace

std::string readAutostartEntry()
{
    std::string value;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        const bool ok = readFrom(key, value);
        ::RegCloseKey(key);
        if (ok)
            return value;
    }
    // Second attempt in the 32-bit view (Wow6432Node), where a 32-bit
    // installer of the product writes the value.
    key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) == ERROR_SUCCESS) {
        const bool ok = readFrom(key, value);
        ::RegCloseKey(key);
        if (ok)
            return value;
    }
    return {};
}

bool writeAutostartEntry(const std::string& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(
            HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return false;
    const std::string text = value.substr(0, value.find('\0'));
    // The byte count is the text's length without its NUL.
    const bool ok = ::RegSetValueExA(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size()))
        == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

void removeAutostartEntry()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(key, kValueName);
    ::RegCloseKey(key);
}

// Only the POSIX entry lives in a folder; kept so callers need no #ifdef.
void setAutostartDirectory(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_dir = dir;
}

std::string autostartDirectory()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dir;
}

} // namespace platform
