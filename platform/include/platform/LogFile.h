// Rotating log files in the user's data folder, shared by the manager and the
// background service. Each line is written and handed to the OS at once, so a
// crash loses nothing that was logged; files are readable by their user only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The folder log files go to: $BRINDLEWICK_LOG_DIR when set; else on Linux
// $XDG_DATA_HOME/Brindlewick/logs (~/.local/share/Brindlewick/logs), on
// Windows %LOCALAPPDATA%\Brindlewick\logs. setLogDir overrides all of them;
// an empty value restores the default.
std::string logDir();
void setLogDir(const std::string& dir);

struct LogFileLimits {
    std::uint64_t maxBytes = 1024 * 1024; // the current file is rotated before it would grow past this
    int keep = 3;                         // old files kept: name.1.log (newest) ... name.<keep>.log
};

// "<dir>/<name>.log". Thread-safe; several processes may append to the same
// file, and a rotation done by one of them is followed by the others.
class LogFile {
public:
    LogFile(std::string dir, std::string name, LogFileLimits limits = {});
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Appends one line; a newline is added. Line breaks and other control
    // characters inside it are written escaped ("\n", "\x1b"), so one call is
    // always one line. A line longer than the size cap is cut. The folder is
    // created on first use. false when the file cannot be written (error()
    // says why; the next call tries again).
    bool write(const std::string& line);

    // Also copy every line to stderr.
    void setEcho(bool on);
    bool echo() const;

    std::string path() const;
    // The path of old file number n (1 = newest): "<dir>/<name>.<n>.log".
    std::string rotatedPath(int n) const;
    std::string error() const;

private:
    struct State;
    std::unique_ptr<State> m;
};

// The process's log "<logDir()>/<name>.log", created on first use (one per
// name). Its echo starts on when stderr is a terminal or
// BRINDLEWICK_LOG_STDERR=1 asks for it.
LogFile& processLog(const std::string& name);

// Local time with milliseconds: "2024-05-01 12:34:56.789".
std::string logTimestamp();

// Names the calling thread for log lines (and for debuggers where the OS
// allows it). threadName() gives that name, or "thread-<id>" without one.
void setThreadName(const std::string& name);
std::string threadName();

bool stderrIsTerminal();

} // namespace platform
