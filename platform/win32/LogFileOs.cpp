// Log files on Windows: FILE_APPEND_DATA writes, shared for deletion so that
// another process can rotate a file this one holds open, LockFileEx while
// rotating. The folder below %LOCALAPPDATA% inherits the profile's ACL, which
// already keeps other users out.
#include "../common/LogFileOs.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <io.h>

namespace platform::detail {
namespace {

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text)
{
    if (!text || !*text)
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

HANDLE asHandle(std::intptr_t h)
{
    return reinterpret_cast<HANDLE>(h);
}

std::string lastErrorText(DWORD code)
{
    return "error " + std::to_string(code);
}

bool fileIdOf(HANDLE h, BY_HANDLE_FILE_INFORMATION& info)
{
    return GetFileInformationByHandle(h, &info) != 0;
}

} // namespace

bool AppendFile::open(const std::string& path, std::string* error)
{
    close();
    const HANDLE h = CreateFileW(widen(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *error = "cannot open " + path + ": " + lastErrorText(GetLastError());
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void AppendFile::close()
{
    if (m_handle != kNone)
        CloseHandle(asHandle(m_handle));
    m_handle = kNone;
}

bool AppendFile::append(const char* data, std::size_t size, std::string* error)
{
    // Appends through several handles are atomic on local NTFS volumes but
    // not on every file system (network shares, wine). A lock on one byte far
    // past the end of any log serialises them; Windows locks are mandatory,
    // so it has to be a byte that no write touches.
    OVERLAPPED beyondEnd{};
    beyondEnd.OffsetHigh = 0x40000000;
    const bool locked = LockFileEx(asHandle(m_handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyondEnd) != 0;
    bool ok = true;
    while (size > 0) {
        DWORD written = 0;
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!WriteFile(asHandle(m_handle), data, chunk, &written, nullptr) || written == 0) {
            *error = "cannot write the log: " + lastErrorText(GetLastError());
            ok = false;
            break;
        }
        data += written;
        size -= written;
    }
    if (locked)
        UnlockFileEx(asHandle(m_handle), 0, 1, 0, &beyondEnd);
    return ok;
}

std::uint64_t AppendFile::size() const
{
    LARGE_INTEGER size{};
    return m_handle != kNone && GetFileSizeEx(asHandle(m_handle), &size) ? static_cast<std::uint64_t>(size.QuadPart)
                                                                         : 0;
}

bool AppendFile::isAt(const std::string& path) const
{
    if (m_handle == kNone)
        return false;
    const HANDLE named
        = CreateFileW(widen(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    const bool same = fileIdOf(asHandle(m_handle), a) && fileIdOf(named, b)
        && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh
        && a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(named);
    return same;
}

void AppendFile::lock()
{
    OVERLAPPED at{};
    LockFileEx(asHandle(m_handle), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at);
}

void AppendFile::unlock()
{
    OVERLAPPED at{};
    UnlockFileEx(asHandle(m_handle), 0, MAXDWORD, MAXDWORD, &at);
}

bool makePrivateDirs(const std::string& dir, std::string* error)
{
    if (dir.empty()) {
        *error = "no log folder";
        return false;
    }
    const std::filesystem::path path(widen(dir));
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (!std::filesystem::is_directory(path, ec)) {
        *error = "cannot create " + dir;
        return false;
    }
    return true;
}

bool renameReplacing(const std::string& from, const std::string& to)
{
    return MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const std::string& path)
{
    return DeleteFileW(widen(path).c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::string environmentValue(const char* name)
{
    return narrow(_wgetenv(widen(name).c_str()));
}

std::string defaultLogDir()
{
    std::string base = environmentValue("LOCALAPPDATA");
    if (base.empty()) {
        const std::string profile = environmentValue("USERPROFILE");
        if (!profile.empty())
            base = profile + "\\AppData\\Local";
    }
    if (base.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        base = narrow(temp);
        while (!base.empty() && (base.back() == '\\' || base.back() == '/'))
            base.pop_back();
    }
    return base + "\\Brindlewick\\logs";
}

std::string localTimestamp()
{
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", unsigned(t.wYear), unsigned(t.wMonth),
        unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute), unsigned(t.wSecond), unsigned(t.wMilliseconds));
    return stamp;
}

std::uint64_t currentThreadId()
{
    return GetCurrentThreadId();
}

void setOsThreadName(const std::string& name)
{
    // SetThreadDescription exists from Windows 10 1607 on; older systems skip it.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC proc = kernel ? GetProcAddress(kernel, "SetThreadDescription") : nullptr;
    if (proc)
        reinterpret_cast<SetDescription>(reinterpret_cast<void*>(proc))(GetCurrentThread(), widen(name).c_str());
}

bool stderrIsTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

void writeStderr(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform::detail
