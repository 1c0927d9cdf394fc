// Run-time libraries on POSIX: dlopen with every symbol bound at load
// (RTLD_NOW), so a library with unresolved references fails here rather than
// at a later call.
#include "platform/Library.h"

#include <dlfcn.h>
#include <utility>

namespace platform {

bool Library::load(const std::string& path)
{
    unload();
    m_error.clear();
    if (path.empty() || path[0] != '/') {
        m_error = "not an absolute path: \"" + path + "\"";
        return false;
    }
    ::dlerror();
    m_handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char* why = ::dlerror();
        m_error = "cannot load " + path + ": " + (why ? why : "unknown error");
        return false;
    }
    m_path = path;
    return true;
}

void Library::unload()
{
    if (m_handle)
        ::dlclose(m_handle);
    m_handle = nullptr;
    m_path.clear();
}

void* Library::resolve(const std::string& name)
{
    if (!m_handle) {
        m_error = "no library loaded to resolve \"" + name + "\"";
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(m_handle, name.c_str());
    if (!address) {
        m_error = m_path + " has no export \"" + name + "\"";
        return nullptr;
    }
    return address;
}

} // namespace platform

namespace platform {

std::string moduleFolder(const void* address)
{
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || !info.dli_fname)
        return {};
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace platform
