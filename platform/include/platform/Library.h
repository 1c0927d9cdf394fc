// Shared libraries loaded at run time from a given file (a driver package's
// mode and server libraries): load, resolve a named export, unload. A file
// that is no library, or a library without the export, gives an error text,
// never a crash at the call.
#pragma once

#include <string>

namespace platform {

class Library {
public:
    Library() = default;
    ~Library() { unload(); }
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Loads the file at `path` (UTF-8; must be absolute, so no search path is
    // involved). A library loaded before is unloaded first. On Windows the
    // library's own folder is searched for the libraries it needs.
    bool load(const std::string& path);
    void unload();
    bool loaded() const { return m_handle != nullptr; }

    // The export's address, or nullptr with errorString() saying why.
    void* resolve(const std::string& name);
    template <typename Function>
    Function resolveFunction(const std::string& name)
    {
        return reinterpret_cast<Function>(resolve(name));
    }

    // What went wrong last, in English, with the file and export named.
    const std::string& errorString() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_path;
    std::string m_error;
};

// The folder (no trailing separator) of the program or library that holds
// `address` (a function or variable of the caller), empty when unknown.
std::string moduleFolder(const void* address);

} // namespace platform
