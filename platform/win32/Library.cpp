// Run-time libraries on Windows: LoadLibraryExW with the library's own folder
// searched for its dependencies, error boxes switched off for the load (a
// broken file reports an error code instead of a dialog), GetProcAddress,
// FreeLibrary.
#include "platform/Library.h"

#include <windows.h>

#include <utility>

namespace platform {
namespace {

std::wstring widen(const std::string& text)
{
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(n - 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, out.data(), n);
    return out;
}

bool absolute(const std::string& path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    const bool unc = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    return drive || unc;
}

std::string systemMessage(DWORD code)
{
    char* text = nullptr;
    const DWORD n
        = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text)
        ::LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
        out.pop_back();
    return out;
}

} // namespace

bool Library::load(const std::string& path)
{
    unload();
    m_error.clear();
    if (!absolute(path)) {
        m_error = "not an absolute path: \"" + path + "\"";
        return false;
    }
    std::wstring wide = widen(path);
    if (wide.empty()) {
        m_error = "not a UTF-8 path: \"" + path + "\"";
        return false;
    }
    for (wchar_t& c : wide)
        if (c == L'/')
            c = L'\\'; // LOAD_WITH_ALTERED_SEARCH_PATH needs backslashes
    DWORD previousMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
    HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD code = ::GetLastError();
    ::SetThreadErrorMode(previousMode, nullptr);
    if (!module) {
        m_error = "cannot load " + path + ": " + systemMessage(code);
        return false;
    }
    m_handle = reinterpret_cast<void*>(module);
    m_path = path;
    return true;
}

void Library::unload()
{
    if (m_handle)
        ::FreeLibrary(reinterpret_cast<HMODULE>(m_handle));
    m_handle = nullptr;
    m_path.clear();
}

void* Library::resolve(const std::string& name)
{
    if (!m_handle) {
        m_error = "no library loaded to resolve \"" + name + "\"";
        return nullptr;
    }
    FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(m_handle), name.c_str());
    if (!address) {
        m_error = m_path + " has no export \"" + name + "\"";
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
}

} // namespace platform

namespace platform {

std::string moduleFolder(const void* address)
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCSTR>(address), &module))
        return {};
    char buffer[MAX_PATH * 2];
    const DWORD n = ::GetModuleFileNameA(module, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        return {};
    const std::string path(buffer, n);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace platform
