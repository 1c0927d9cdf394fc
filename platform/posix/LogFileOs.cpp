// Log files on POSIX: O_APPEND writes (whole lines from several processes do
// not interleave), mode 0600 files in 0700 folders, flock while rotating.
#include "../common/LogFileOs.h"

#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <thread>

namespace platform::detail {

bool AppendFile::open(const std::string& path, std::string* error)
{
    close();
    // No symbolic links: a link planted at the log's place must not redirect it.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = path + " is not a regular file";
        ::close(fd);
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0600) != 0) {
        *error = "cannot make " + path + " private: " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void AppendFile::close()
{
    if (m_handle != kNone)
        ::close(static_cast<int>(m_handle));
    m_handle = kNone;
}

bool AppendFile::append(const char* data, std::size_t size, std::string* error)
{
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(m_handle), data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = std::string("cannot write the log: ") + std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::uint64_t AppendFile::size() const
{
    struct stat st { };
    return m_handle != kNone && ::fstat(static_cast<int>(m_handle), &st) == 0 ? static_cast<std::uint64_t>(st.st_size)
                                                                              : 0;
}

bool AppendFile::isAt(const std::string& path) const
{
    struct stat mine { };
    struct stat named { };
    return m_handle != kNone && ::fstat(static_cast<int>(m_handle), &mine) == 0 && ::lstat(path.c_str(), &named) == 0
        && mine.st_dev == named.st_dev && mine.st_ino == named.st_ino;
}

void AppendFile::lock()
{
    while (::flock(static_cast<int>(m_handle), LOCK_EX) != 0 && errno == EINTR) { }
}

void AppendFile::unlock()
{
    ::flock(static_cast<int>(m_handle), LOCK_UN);
}

bool makePrivateDirs(const std::string& dir, std::string* error)
{
    if (dir.empty()) {
        *error = "no log folder";
        return false;
    }
    std::string partial;
    std::size_t pos = 0;
    while (pos <= dir.size()) {
        const std::size_t next = dir.find('/', pos);
        partial = dir.substr(0, next == std::string::npos ? dir.size() : next);
        pos = next == std::string::npos ? dir.size() + 1 : next + 1;
        if (partial.empty())
            continue; // the root of an absolute path
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot create " + partial + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st { };
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = dir + " is not a folder";
        return false;
    }
    return true;
}

bool renameReplacing(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string defaultLogDir()
{
    const std::string xdg = environmentValue("XDG_DATA_HOME");
    if (!xdg.empty() && xdg[0] == '/')
        return xdg + "/Brindlewick/logs";
    std::string home = environmentValue("HOME");
    if (home.empty()) {
        // A service started without a login environment.
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return home + "/.local/share/Brindlewick/logs";
}

std::string localTimestamp()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::tm tm{};
    ::localtime_r(&now.tv_sec, &tm);
    char stamp[40];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03ld", now.tv_nsec / 1000000);
    return stamp;
}

std::uint64_t currentThreadId()
{
#ifdef SYS_gettid
    return static_cast<std::uint64_t>(::syscall(SYS_gettid));
#else
    return std::hash<std::thread::id>()(std::this_thread::get_id());
#endif
}

void setOsThreadName(const std::string& name)
{
#ifdef __linux__
    // The kernel keeps 15 characters.
    ::pthread_setname_np(::pthread_self(), name.substr(0, 15).c_str());
#else
    (void)name;
#endif
}

bool stderrIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void writeStderr(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform::detail
