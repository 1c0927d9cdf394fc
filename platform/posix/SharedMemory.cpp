// POSIX shared memory: shm_open + mmap, mode 0600. The descriptor stays open
// with the mapping: it carries the ownership lock and answers the size checks.
#include "platform/SharedMemory.h"

#include "MappingGuard.h"
#include "NamedObject.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string systemError(const std::string& what, const std::string& name)
{
    return what + "(" + name + "): " + std::strerror(errno);
}

// Only characters that are safe inside one POSIX shm name component.
std::string sanitized(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
    return out;
}

// Maps `size` bytes of an open shm descriptor (closed on failure). A block smaller
// than `size` grows when `grow` is set (a block left by an earlier owner keeps
// its bytes and never shrinks, so another process mapping the old size never
// touches missing pages); otherwise it is refused, because mapping past the end
// of the object would fault on first access. Null on failure, with `error` set.
void* mapDescriptor(int fd, const std::string& native, std::size_t size, bool grow, std::string& error)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        error = systemError("fstat", native);
        ::close(fd);
        return nullptr;
    }
    if (static_cast<std::size_t>(st.st_size) < size) {
        if (!grow) {
            error = "shared memory block " + native + " holds " + std::to_string(st.st_size) + " bytes, "
                + std::to_string(size) + " needed";
            ::close(fd);
            return nullptr;
        }
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            error = systemError("ftruncate", native);
            ::close(fd);
            return nullptr;
        }
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        error = systemError("mmap", native);
        ::close(fd);
        return nullptr;
    }
    return p;
}

} // namespace

std::string SharedMemory::nativeName(const std::string& name)
{
    std::string base = name;
    for (const char* prefix : {"Global\\", "Local\\"}) {
        const std::size_t n = std::strlen(prefix);
        if (base.compare(0, n, prefix) == 0) {
            base.erase(0, n);
            break;
        }
    }
    const char* envPrefix = std::getenv("BRINDLEWICK_SHM_PREFIX");
    // /dev/shm is one namespace for all users: the user id keeps each user's
    // manager and service to their own blocks.
    return "/" + sanitized(envPrefix ? envPrefix : "") + sanitized(base) + "-" + std::to_string(::getuid());
}

bool SharedMemory::create(const std::string& name, std::size_t size)
{
    return attach(name, size, true);
}

bool SharedMemory::open(const std::string& name, std::size_t size)
{
    return attach(name, size, false);
}

bool SharedMemory::attach(const std::string& name, std::size_t size, bool create)
{
    close();
    m_error.clear();
    if (size == 0) {
        m_error = "shared memory block " + name + ": size 0";
        return false;
    }
    const std::string native = nativeName(name);
    const int fd = create ? ::shm_open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)
                          : ::shm_open(native.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
        m_error = systemError("shm_open", native);
        return false;
    }
    void* p = mapDescriptor(fd, native, size, create, m_error);
    if (!p)
        return false;
    m_data = static_cast<unsigned char*>(p);
    m_size = size;
    m_name = name;
    m_fd = fd;
    m_guard = detail::guardMapping(p, size);
    return true;
}

void SharedMemory::close()
{
    detail::unguardMapping(m_guard);
    if (m_data)
        ::munmap(m_data, m_size);
    if (m_fd >= 0)
        ::close(m_fd); // also drops the ownership lock
    m_data = nullptr;
    m_size = 0;
    m_fd = -1;
    m_guard = -1;
    m_name.clear();
}

namespace {

// The whole object: a lock on the file description, not on the process, so
// that only closing this descriptor (or the end of the process) releases it.
struct flock wholeObject(short type)
{
    struct flock lock { };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

} // namespace

bool SharedMemory::holdOwnership()
{
    if (m_fd < 0)
        return false;
    struct flock lock = wholeObject(F_WRLCK);
    if (::fcntl(m_fd, F_OFD_SETLK, &lock) != 0) {
        m_error = systemError("F_OFD_SETLK", nativeName(m_name));
        return false;
    }
    return true;
}

bool SharedMemory::ownerAlive() const
{
    if (m_fd < 0)
        return false;
    struct flock lock = wholeObject(F_RDLCK);
    // Asks without taking: the answer is the conflicting lock, if any.
    if (::fcntl(m_fd, F_OFD_GETLK, &lock) != 0)
        return false;
    return lock.l_type == F_WRLCK;
}

bool SharedMemory::intact() const
{
    if (!m_data || m_fd < 0 || detail::mappingFaulted(m_guard))
        return false;
    struct stat st { };
    return ::fstat(m_fd, &st) == 0 && static_cast<std::size_t>(st.st_size) >= m_size;
}

bool SharedMemory::faulted() const
{
    return detail::mappingFaulted(m_guard);
}

bool SharedMemory::stillNamed() const
{
    if (m_fd < 0)
        return false;
    return detail::nameStillRefersTo(nativeName(m_name), m_fd);
}

bool SharedMemory::remove(const std::string& name)
{
    return ::shm_unlink(nativeName(name).c_str()) == 0;
}

bool SharedMemory::exists(const std::string& name)
{
    const int fd = ::shm_open(nativeName(name).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return errno != ENOENT; // there, but not ours to open
    ::close(fd);
    return true;
}

} // namespace platform
