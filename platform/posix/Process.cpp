// Processes on POSIX: /proc for the list and the program's own path and
// command line, kill(SIGTERM) for termination, double fork + exec for
// detached starts, fork + exec in a process group of its own for runs that
// are waited for.
#include "platform/Process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

std::string readLink(const std::string& path)
{
    std::string buffer(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (n <= 0)
        return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

// Plain system calls: a full /proc scan opens hundreds of small files.
std::string readWholeFile(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names a process answers to: its executable's file name, the file name
// of argv[0] and the kernel's (15-character) comm.
struct ProcInfo {
    long pid = 0;
    std::string exe, argv0, comm;
};

bool readProc(long pid, ProcInfo& info)
{
    const std::string dir = "/proc/" + std::to_string(pid);
    const std::string stat = readWholeFile(dir + "/stat");
    // "pid (comm) S ...": comm may hold blanks and parentheses, the state
    // follows the last ')'.
    const std::size_t open = stat.find('(');
    const std::size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return false;
    if (close + 2 < stat.size() && (stat[close + 2] == 'Z' || stat[close + 2] == 'X'))
        return false; // exited, not yet reaped
    info.pid = pid;
    info.comm = stat.substr(open + 1, close - open - 1);
    std::string exe = readLink(dir + "/exe");
    const std::string deleted = " (deleted)";
    if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
        exe.resize(exe.size() - deleted.size());
    info.exe = baseName(exe);
    const std::string cmdline = readWholeFile(dir + "/cmdline");
    info.argv0 = baseName(cmdline.substr(0, cmdline.find('\0')));
    return true;
}

std::vector<ProcInfo> scanProc()
{
    std::vector<ProcInfo> result;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return result;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        ProcInfo info;
        if (readProc(pid, info))
            result.push_back(std::move(info));
    }
    ::closedir(dir);
    return result;
}

bool nameMatches(const ProcInfo& p, const std::string& name)
{
    if (name.empty())
        return false;
    if (p.exe == name || p.argv0 == name)
        return true;
    // comm is cut to 15 characters by the kernel.
    return p.exe.empty() && p.argv0.empty() && p.comm == name.substr(0, 15);
}

// "BrindlewickService.exe" names the program "BrindlewickService" here.
bool matches(const ProcInfo& p, const std::string& name)
{
    if (nameMatches(p, name))
        return true;
    const std::string exe = ".exe";
    return name.size() > exe.size() && name.compare(name.size() - exe.size(), exe.size(), exe) == 0
        && nameMatches(p, name.substr(0, name.size() - exe.size()));
}

bool writeAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::size_t readAll(int fd, void* data, std::size_t size)
{
    char* p = static_cast<char*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, p + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// A child's program, arguments and folder, prepared before fork: after it
// only async-signal-safe calls are allowed.
struct ChildCommand {
    ChildCommand(const std::string& program, const std::vector<std::string>& args, const std::string& folder)
        : strings(1, program)
        , searchPath(program.find('/') == std::string::npos)
        , cwd(folder)
    {
        strings.insert(strings.end(), args.begin(), args.end());
        for (std::string& s : strings)
            argv.push_back(s.data());
        argv.push_back(nullptr);
    }
    ChildCommand(const ChildCommand&) = delete; // argv points into strings
    ChildCommand& operator=(const ChildCommand&) = delete;
    std::vector<std::string> strings;
    std::vector<char*> argv;
    bool searchPath;
    std::string cwd;
};

// In the forked child: default signals, standard streams on /dev/null, the
// folder, then exec. When chdir or exec fails, errno goes to `errorFd`.
[[noreturn]] void execChild(ChildCommand& command, int errorFd)
{
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP})
        ::signal(sig, SIG_DFL);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        if (devNull > 2)
            ::close(devNull);
    }
    int error = 0;
    if (!command.cwd.empty() && ::chdir(command.cwd.c_str()) != 0) {
        error = errno;
    } else {
        if (command.searchPath)
            ::execvp(command.argv[0], command.argv.data());
        else
            ::execv(command.argv[0], command.argv.data());
        error = errno;
    }
    writeAll(errorFd, &error, sizeof error);
    ::_exit(127);
}

} // namespace

std::vector<ProcessEntry> listProcesses()
{
    std::vector<ProcessEntry> result;
    for (const ProcInfo& p : scanProc()) {
        ProcessEntry entry;
        entry.pid = p.pid;
        entry.name = !p.exe.empty() ? p.exe : !p.argv0.empty() ? p.argv0 : p.comm;
        result.push_back(std::move(entry));
    }
    return result;
}

bool isProcessRunning(const std::string& executableName)
{
    for (const ProcInfo& p : scanProc())
        if (matches(p, executableName))
            return true;
    return false;
}

int terminateProcesses(const std::string& executableName)
{
    const long self = static_cast<long>(::getpid());
    int count = 0;
    for (const ProcInfo& p : scanProc())
        if (p.pid != self && matches(p, executableName) && ::kill(static_cast<pid_t>(p.pid), SIGTERM) == 0)
            ++count;
    return count;
}

std::string modulePath()
{
    return readLink("/proc/self/exe");
}

std::string rawCommandLine()
{
    std::string text = readWholeFile("/proc/self/cmdline");
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    for (char& c : text)
        if (c == '\0')
            c = ' ';
    return text;
}

long startDetached(
    const std::string& program, const std::vector<std::string>& args, const std::string& workingDirectory)
{
    if (program.empty())
        return 0;
    ChildCommand command(program, args, workingDirectory);

    // The pipe carries the grandchild's pid, then (only if exec fails) its errno;
    // it closes on a successful exec.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return 0;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return 0;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            const long pid = grandchild;
            writeAll(fds[1], &pid, sizeof pid);
            ::_exit(grandchild > 0 ? 0 : 1);
        }
        execChild(command, fds[1]);
    }

    ::close(fds[1]);
    long pid = 0;
    const bool gotPid = readAll(fds[0], &pid, sizeof pid) == sizeof pid;
    int error = 0;
    const bool execFailed = readAll(fds[0], &error, sizeof error) == sizeof error;
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!gotPid || pid <= 0 || execFailed)
        return 0;
    return pid;
}

} // namespace platform

namespace platform {

RunStatus runAndWait(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDirectory, int timeoutMs, int* exitCode)
{
    if (exitCode)
        *exitCode = -1;
    if (program.empty())
        return RunStatus::CouldNotStart;
    ChildCommand command(program, args, workingDirectory);

    // The pipe carries errno when exec (or chdir) fails; it closes on exec.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return RunStatus::CouldNotStart;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return RunStatus::CouldNotStart;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::setpgid(0, 0); // its own group, so a time-out ends what it started too
        execChild(command, fds[1]);
    }
    ::setpgid(child, child); // also from this side: no race with the kill below
    ::close(fds[1]);
    int error = 0;
    const bool execFailed = readAll(fds[0], &error, sizeof error) == sizeof error;
    ::close(fds[0]);

    int status = 0;
    auto reap = [&](int flags) {
        for (;;) {
            const pid_t r = ::waitpid(child, &status, flags);
            if (r < 0 && errno == EINTR)
                continue;
            return r;
        }
    };
    if (execFailed) {
        reap(0);
        return RunStatus::CouldNotStart;
    }
    // Polled with a growing pause (1 ms up to 20 ms): SIGCHLD belongs to the
    // whole program and may be someone else's.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        const pid_t r = reap(WNOHANG);
        if (r == child)
            break;
        if (r < 0)
            return RunStatus::CouldNotStart; // reaped elsewhere: the result is lost
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-child, SIGKILL);
            ::kill(child, SIGKILL);
            reap(0);
            return RunStatus::TimedOut;
        }
        std::this_thread::sleep_for(pause);
        if (pause < std::chrono::milliseconds(20))
            pause *= 2;
    }
    if (WIFEXITED(status)) {
        if (exitCode)
            *exitCode = WEXITSTATUS(status);
        return RunStatus::Exited;
    }
    if (exitCode)
        *exitCode = WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    return RunStatus::Crashed;
}

} // namespace platform

namespace platform {

long currentProcessId()
{
    return static_cast<long>(::getpid());
}

} // namespace platform
