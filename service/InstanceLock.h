// One service per user and block prefix: an exclusive lock on a file that the
// system releases when the process ends, however it ends. A clean end also
// removes the file.
#pragma once

#include <string>

namespace bwservice {

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

    // $XDG_RUNTIME_DIR (else /tmp) / "BrindlewickService-<uid><$BRINDLEWICK_SHM_PREFIX>.lock";
    // on Windows the user's temporary folder / "BrindlewickService<$BRINDLEWICK_SHM_PREFIX>.lock".
    static std::string defaultPath();

private:
#ifdef _WIN32
    void* m_handle = nullptr; // opened without sharing: the open handle is the lock
#else
    int m_fd = -1;
    std::string m_path;
#endif
};

} // namespace bwservice
