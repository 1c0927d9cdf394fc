// One instance per user and block prefix: an exclusive lock on a file that
// the system releases when the process ends, however it ends. The file holds
// the holder's process id; a clean end also removes it (POSIX).
#pragma once

#include <string>

namespace platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Result { Acquired, HeldByAnother, Unavailable };

    // HeldByAnother when another process holds the lock; Unavailable when the
    // lock file cannot be made or locked (a missing or read-only folder).
    Result acquire(const std::string& path, std::string* error);

    // POSIX: $XDG_RUNTIME_DIR (else /tmp) / "<name>-<uid><$BRINDLEWICK_SHM_PREFIX>.lock";
    // Windows: the user's temporary folder / "<name><$BRINDLEWICK_SHM_PREFIX>.lock".
    static std::string defaultPath(const std::string& name);

private:
    void* m_handle = nullptr; // Windows: the file opened without sharing is the lock
    int m_fd = -1;            // POSIX: the descriptor holding the flock
    std::string m_path;
};

} // namespace platform
