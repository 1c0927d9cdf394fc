// A wake-up call between processes: one side waits, the other signals.
//
// Auto-reset: a signal wakes one waiter (or the next wait, when nobody is
// waiting yet) and is then used up; signals given before anyone consumed one
// count once. Names follow SharedMemory's rules ("Global\\Name"; on POSIX
// the BRINDLEWICK_SHM_PREFIX goes in front). Events and file mappings share
// one namespace on Windows, so an event takes its block's name plus a suffix
// ("...Func" + "Event").
//   Windows: a named auto-reset event (CreateEvent / OpenEvent / SetEvent /
//            WaitForSingleObject).
//   Linux:   a futex word in a small shared-memory object of its own
//            (shm_open, mode 0600, never world-writable).
#pragma once

#include <chrono>
#include <string>

namespace platform {

class NamedEvent {
public:
    NamedEvent() = default;
    ~NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Creates the event, or opens it when it exists (e.g. left by a killed
    // owner: a pending signal in it is kept). False with error() set on failure.
    bool create(const std::string& name);
    // Opens an existing event; false when there is none.
    bool open(const std::string& name);
    void close();
    // Removes the name (POSIX shm_unlink); open handles keep working.
    static bool remove(const std::string& name);

    bool isOpen() const;
    // Whether the name still leads to the object this handle has open. False
    // once the owner removed it (a clean stop), or removed it and made a new
    // one (a restart): a waiter then opens the name again. On Windows an event
    // lives as long as a handle to it, so an open event always counts.
    bool stillNamed() const;
    const std::string& error() const { return m_error; }

    // signal() and wait() may be called from several threads at once.

    // Wakes one waiter, or leaves the signal for the next wait. False when
    // the event is not open or its object was damaged by another process.
    bool signal();
    // Waits until signalled (true, the signal is used up) or until the time
    // is over (false). An event that is not open or damaged sleeps the whole
    // time, so a caller's loop never spins. On POSIX a signal handler that
    // runs on the waiting thread (installed without SA_RESTART) ends the wait
    // early, so the caller can look at the flag the handler set.
    bool wait(std::chrono::milliseconds timeout);

private:
    bool usable() const;
    bool adopt(int fd, const std::string& native); // POSIX: maps the object behind fd

    std::string m_error;
    void* m_state = nullptr;  // POSIX: the mapped futex words
    int m_fd = -1;            // POSIX: kept to check the object's size
    int m_guard = -1;         // POSIX: fault guard slot of the mapping
    std::string m_native;     // POSIX: the object's name
    void* m_handle = nullptr; // Win32 event HANDLE
};

} // namespace platform
