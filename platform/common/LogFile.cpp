// The rotating log writer: line escaping, the size cap and rotation. The file
// operations themselves are per OS (LogFileOs.h).
#include "platform/LogFile.h"

#include "LogFileOs.h"

#include <map>
#include <mutex>

namespace platform {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::mutex g_dirMutex;
std::string g_dirOverride;

const char kCutMark[] = " [cut]";

// One call is one line, whatever the text holds: a message read from a server
// or a file cannot forge log lines of its own.
std::string escapedLine(const std::string& line, std::uint64_t maxBytes)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(line.size() + 1);
    for (const char ch : line) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if ((c < 0x20 && c != '\t') || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    // The newline and the cut mark must fit below the cap as well.
    const std::uint64_t room = maxBytes > sizeof kCutMark ? maxBytes - sizeof kCutMark : 0;
    if (out.size() + 1 > maxBytes && room > 0) {
        std::size_t n = static_cast<std::size_t>(room);
        while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80)
            --n; // do not split a UTF-8 character
        out.resize(n);
        out += kCutMark;
    }
    out += '\n';
    return out;
}

std::string joinPath(const std::string& dir, const std::string& file)
{
    if (dir.empty())
        return file;
    const char last = dir.back();
    return last == '/' || last == '\\' ? dir + file : dir + kSeparator + file;
}

} // namespace

std::string logDir()
{
    {
        std::lock_guard<std::mutex> lock(g_dirMutex);
        if (!g_dirOverride.empty())
            return g_dirOverride;
    }
    const std::string env = detail::environmentValue("BRINDLEWICK_LOG_DIR");
    return env.empty() ? detail::defaultLogDir() : env;
}

void setLogDir(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_dirMutex);
    g_dirOverride = dir;
}

struct LogFile::State {
    std::string path;
    std::string dir;
    std::string name;
    LogFileLimits limits;
    mutable std::mutex mutex;
    detail::AppendFile file;
    detail::AppendFile rotationLock; // "<name>.lock": one rotation at a time across processes
    std::string error;
    bool echo = false;

    bool ensureOpen()
    {
        if (file.isOpen())
            return true;
        if (!detail::makePrivateDirs(dir, &error))
            return false;
        return file.open(path, &error);
    }

    std::string numbered(int n) const { return joinPath(dir, name + "." + std::to_string(n) + ".log"); }

    // Moves name.log to name.1.log (and each older file one number up,
    // dropping the oldest) and starts a fresh name.log. A lock file keeps
    // processes that share the log from renaming at the same time.
    bool rotate(std::uint64_t incoming)
    {
        const bool locked = rotationLock.isOpen() || rotationLock.open(joinPath(dir, name + ".lock"), &error);
        if (locked)
            rotationLock.lock();
        // Another process may have rotated while this one waited for the lock.
        const bool stillDue = file.isAt(path) && file.size() > 0 && file.size() + incoming > limits.maxBytes;
        file.close();
        if (stillDue) {
            detail::removeFile(numbered(limits.keep));
            for (int i = limits.keep - 1; i >= 1; --i)
                detail::renameReplacing(numbered(i), numbered(i + 1));
            if (limits.keep > 0)
                detail::renameReplacing(path, numbered(1));
            else
                detail::removeFile(path);
        }
        const bool opened = ensureOpen();
        if (locked)
            rotationLock.unlock();
        return opened;
    }
};

LogFile::LogFile(std::string dir, std::string name, LogFileLimits limits)
    : m(std::make_unique<State>())
{
    m->path = joinPath(dir, name + ".log");
    m->dir = std::move(dir);
    m->name = std::move(name);
    m->limits = limits;
    if (m->limits.keep < 0)
        m->limits.keep = 0;
}

LogFile::~LogFile() = default;

bool LogFile::write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(m->mutex);
    const std::string text = escapedLine(line, m->limits.maxBytes);
    if (m->echo)
        detail::writeStderr(text);
    if (!m->ensureOpen())
        return false;
    // Follow a rotation (or a removal) done by someone else.
    if (!m->file.isAt(m->path)) {
        m->file.close();
        if (!m->ensureOpen())
            return false;
    }
    const std::uint64_t size = m->file.size();
    if (size > 0 && size + text.size() > m->limits.maxBytes && !m->rotate(text.size()))
        return false;
    if (!m->file.append(text.data(), text.size(), &m->error)) {
        m->file.close();
        return false;
    }
    return true;
}

void LogFile::setEcho(bool on)
{
    std::lock_guard<std::mutex> lock(m->mutex);
    m->echo = on;
}

bool LogFile::echo() const
{
    std::lock_guard<std::mutex> lock(m->mutex);
    return m->echo;
}

std::string LogFile::path() const
{
    return m->path;
}

std::string LogFile::rotatedPath(int n) const
{
    return m->numbered(n);
}

std::string LogFile::error() const
{
    std::lock_guard<std::mutex> lock(m->mutex);
    return m->error;
}

LogFile& processLog(const std::string& name)
{
    static std::mutex mutex;
    // Never destroyed: threads and exit handlers may still log while static
    // objects are torn down.
    static auto* logs = new std::map<std::string, std::unique_ptr<LogFile>>;
    std::lock_guard<std::mutex> lock(mutex);
    std::unique_ptr<LogFile>& log = (*logs)[name];
    if (!log) {
        log = std::make_unique<LogFile>(logDir(), name);
        log->setEcho(detail::stderrIsTerminal() || detail::environmentValue("BRINDLEWICK_LOG_STDERR") == "1");
    }
    return *log;
}

std::string logTimestamp()
{
    return detail::localTimestamp();
}

namespace {
thread_local std::string t_threadName;
}

void setThreadName(const std::string& name)
{
    t_threadName = name;
    detail::setOsThreadName(name);
}

std::string threadName()
{
    return t_threadName.empty() ? "thread-" + std::to_string(detail::currentThreadId()) : t_threadName;
}

bool stderrIsTerminal()
{
    return detail::stderrIsTerminal();
}

} // namespace platform
