#include "device/ServiceWatch.h"

#include "device/LinkDrivers.h"
#include "device/VciStatusRecord.h"

#include <platform/Process.h>
#include <platform/SharedMemory.h>

#include <QtGlobal>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#ifndef Q_OS_WIN
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

std::mutex g_checkMutex;
std::function<bool()> g_check;

#ifndef Q_OS_WIN
// Running, and not a zombie left for a parent that has not reaped it.
bool processLives(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return false;
    char buf[256];
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const std::string stat(buf);
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos || paren + 2 >= stat.size())
        return false;
    const char state = stat[paren + 2];
    return state != 'Z' && state != 'X';
}

enum class Owns { Yes, No, Unknown };

// Whether the process has the status block mapped. Several services may run
// side by side (each with its own block names); the one that matters is the
// one that writes our block.
Owns mapsStatusBlock(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/maps", pid);
    std::FILE* f = std::fopen(path, "r");
    if (!f)
        return Owns::Unknown; // another user's process: cannot tell
    const std::string needle = "/dev/shm" + platform::SharedMemory::nativeName(kVciStatusBlockName);
    char line[512];
    Owns result = Owns::No;
    while (std::fgets(line, sizeof line, f)) {
        const char* hit = std::strstr(line, needle.c_str());
        if (hit && (hit[needle.size()] == '\n' || hit[needle.size()] == ' ' || hit[needle.size()] == '\0')) {
            result = Owns::Yes;
            break;
        }
    }
    std::fclose(f);
    return result;
}

int openProcessHandle(long pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    (void)pid;
    return -1;
#endif
}

// The service process being watched.
class Watch {
public:
    long alive()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_pid > 0 && stillRunning())
            return m_pid;
        forget();
        // Scanning the process list costs milliseconds; the status thread and
        // the status watch ask several times a second. No block means no
        // service at all, and while a block is left without a writer (a killed
        // service) the scan runs at most once a second.
        const std::string blockPath = "/dev/shm" + platform::SharedMemory::nativeName(kVciStatusBlockName);
        if (::access(blockPath.c_str(), F_OK) != 0)
            return 0;
        const auto now = std::chrono::steady_clock::now();
        if (m_scanned && now - m_lastScan < std::chrono::seconds(1))
            return 0;
        m_scanned = true;
        m_lastScan = now;
        const std::string name = kServiceExecutable;
        long unsure = 0;
        for (const platform::ProcessEntry& p : platform::listProcesses()) {
            if ((p.name != name && p.name != name + ".exe") || !processLives(p.pid))
                continue;
            const Owns owns = mapsStatusBlock(p.pid);
            if (owns == Owns::Yes && watch(p.pid))
                return m_pid;
            if (owns == Owns::Unknown && unsure == 0)
                unsure = p.pid;
        }
        if (unsure != 0 && watch(unsure))
            return m_pid;
        return 0;
    }

private:
    bool watch(long pid)
    {
        m_pid = pid;
        m_fd = openProcessHandle(pid);
        // The process may have ended between the scan and the handle.
        if (stillRunning())
            return true;
        forget();
        return false;
    }

    bool stillRunning() const
    {
        if (m_fd >= 0) {
            // A process descriptor turns readable when the process ends.
            pollfd p{m_fd, POLLIN, 0};
            return ::poll(&p, 1, 0) == 0;
        }
        return processLives(m_pid);
    }
    void forget()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        m_pid = 0;
    }

    std::mutex m_mutex;
    long m_pid = 0;
    int m_fd = -1;
    bool m_scanned = false;
    std::chrono::steady_clock::time_point m_lastScan;
};

Watch g_watch;
#endif

} // namespace

bool statusOwnerAlive(long* ownerId)
{
    if (ownerId)
        *ownerId = 0;
    std::function<bool()> check;
    {
        std::lock_guard<std::mutex> lock(g_checkMutex);
        check = g_check;
    }
    if (check)
        return check();
#ifdef Q_OS_WIN
    return true;
#else
    const long pid = g_watch.alive();
    if (ownerId)
        *ownerId = pid;
    return pid != 0;
#endif
}

void setStatusOwnerCheck(std::function<bool()> check)
{
    std::lock_guard<std::mutex> lock(g_checkMutex);
    g_check = std::move(check);
}
