// Which process serves a shared-memory block, and whether it still runs.
//
// A POSIX shared-memory object outlives the process that wrote it, with the
// last bytes in place; a Windows file mapping goes with its last handle. A
// reader on POSIX therefore needs to know whether the writer is alive: find
// the writer once (a scan of the process list), then watch that one process
// cheaply until it ends.
#pragma once

#include <string>

namespace platform {

// True where a shared-memory block stays after its owner ended (POSIX),
// false where it disappears with its last handle (Windows). Where it is
// false, a block that opens has a live owner and no watch is needed.
bool blocksOutliveTheirOwner();

class ProcessWatch {
public:
    ProcessWatch() = default;
    ~ProcessWatch();
    ProcessWatch(const ProcessWatch&) = delete;
    ProcessWatch& operator=(const ProcessWatch&) = delete;

    // Looks for a live process with this executable name ("Name.exe" and
    // "Name" name the same program) that has the block mapped, and watches
    // it. False, with nothing watched, when the block does not exist or no
    // such process runs. Several processes of that name may run, each with
    // its own block names: the one that maps this block is taken.
    //  - POSIX: the block is looked for in /proc/<pid>/maps. A process whose
    //    maps cannot be read (another user's) is taken only when no readable
    //    one has the block.
    //  - Windows: which process holds a mapping cannot be asked cheaply, so
    //    the first live process of that name counts when the block exists.
    // Costs a scan of the process list: call it rarely.
    bool attach(const std::string& executableName, const std::string& blockName);

    // Whether the watched process still runs; false when nothing is watched.
    // About a microsecond: a poll of a process descriptor (pidfd on Linux,
    // /proc/<pid>/stat where there is none) or WaitForSingleObject(0).
    // A zombie counts as ended.
    bool running() const;

    // The watched process id, 0 when nothing is watched.
    long pid() const { return m_pid; }
    void release();

private:
    bool watch(long pid);

    long m_pid = 0;
    int m_fd = -1;            // POSIX process descriptor
    void* m_handle = nullptr; // Win32 process HANDLE
};

} // namespace platform
