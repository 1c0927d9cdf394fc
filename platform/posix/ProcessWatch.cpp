// The writer of a POSIX shared-memory object: found through /proc/<pid>/maps,
// then watched through a process descriptor.
#include "platform/ProcessWatch.h"

#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

// Running, and not a zombie left for a parent that has not reaped it.
bool processLives(long pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
    std::FILE* f = std::fopen(path, "re");
    if (!f)
        return false;
    char buf[512];
    const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    buf[n] = '\0';
    const char* paren = std::strrchr(buf, ')');
    if (!paren || paren[1] != ' ' || paren[2] == '\0')
        return false;
    return paren[2] != 'Z' && paren[2] != 'X';
}

enum class Maps { Yes, No, Unknown };

Maps mapsFile(long pid, const std::string& file)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/maps", pid);
    std::FILE* f = std::fopen(path, "re");
    if (!f)
        return Maps::Unknown; // another user's process: cannot tell
    char line[1024];
    Maps result = Maps::No;
    while (result == Maps::No && std::fgets(line, sizeof line, f)) {
        // The path is the last field; a deleted object reads "... (deleted)".
        const char* hit = std::strstr(line, file.c_str());
        if (hit) {
            const char after = hit[file.size()];
            if (after == '\n' || after == ' ' || after == '\0')
                result = Maps::Yes;
        }
    }
    std::fclose(f);
    return result;
}

int openProcessDescriptor(long pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    (void)pid;
    return -1;
#endif
}

bool sameProgram(const std::string& listed, const std::string& wanted)
{
    return !wanted.empty() && (listed == wanted || listed + ".exe" == wanted || listed == wanted + ".exe");
}

} // namespace

bool blocksOutliveTheirOwner()
{
    return true;
}

ProcessWatch::~ProcessWatch()
{
    release();
}

bool ProcessWatch::attach(const std::string& executableName, const std::string& blockName)
{
    release();
    if (!SharedMemory::exists(blockName))
        return false;
    const std::string file = "/dev/shm" + SharedMemory::nativeName(blockName);
    long unsure = 0;
    for (const ProcessEntry& p : listProcesses()) {
        if (!sameProgram(p.name, executableName) || !processLives(p.pid))
            continue;
        const Maps maps = mapsFile(p.pid, file);
        if (maps == Maps::Yes && watch(p.pid))
            return true;
        if (maps == Maps::Unknown && unsure == 0)
            unsure = p.pid;
    }
    return unsure != 0 && watch(unsure);
}

bool ProcessWatch::watch(long pid)
{
    m_pid = pid;
    m_fd = openProcessDescriptor(pid);
    // The process may have ended between the scan and the descriptor.
    if (running())
        return true;
    release();
    return false;
}

bool ProcessWatch::running() const
{
    if (m_pid <= 0)
        return false;
    if (m_fd >= 0) {
        // A process descriptor turns readable when the process ends.
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }
    return processLives(m_pid);
}

void ProcessWatch::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pid = 0;
}

} // namespace platform
