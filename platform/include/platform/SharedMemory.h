// Named shared memory blocks shared between the manager and the background
// service. On Windows a named file mapping ("Global\\Name"), on POSIX a shm_open
// object "/Name-<uid>" mapped with mmap: one set of blocks per user, never
// world-writable.
//
// Another process of the same user can shrink, replace or scribble on a block.
// None of that may crash us: a fault on a shrunk POSIX block is caught (the
// view turns to zeros and intact() to false), and the owner checks intact()
// and stillNamed() to know when to create the block again.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

class SharedMemory {
public:
    enum class Mode { Create, Open };

    SharedMemory() = default;
    ~SharedMemory();
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;

    // Creates the block (zero-filled) or opens an existing one. Create also
    // succeeds when the block exists already (e.g. left by a killed owner): it is
    // reused with its bytes, grown to `size` when smaller (never shrunk, so other
    // mappings stay valid). Returns false and sets error() on failure.
    bool create(const std::string& name, std::size_t size);
    // Opens an existing block for reading and writing; false when it does not
    // exist or is smaller than `size`.
    bool open(const std::string& name, std::size_t size);
    void close();
    // Removes the name (POSIX shm_unlink); mapped views stay valid until closed.
    static bool remove(const std::string& name);
    // Whether a block of this name exists, without mapping it.
    static bool exists(const std::string& name);

    // The writer's proof of life, part of the blocks' contract: the process
    // that created a block holds this for as long as it runs (POSIX: a write
    // lock on the object's open file description, released by the kernel when
    // the process ends however it ends; Windows: a named mutex beside the
    // mapping). False when another live process holds it.
    bool holdOwnership();
    // Whether some live process holds ownership of this open block. Only the
    // lock counts, never a guess from the process list.
    bool ownerAlive() const;
    // False once the block was shrunk below its size or a fault on it was
    // caught: close it and open (or create) it again.
    bool intact() const;
    // Only the second half of intact(), without a system call: whether a
    // touch of a shrunk block was caught (the view then reads as zeros).
    bool faulted() const;
    // Whether the name still leads to this very block (not removed, not
    // replaced by another object). One open and close; for the owner's checks.
    bool stillNamed() const;

    bool isOpen() const { return m_data != nullptr; }
    unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    const std::string& error() const { return m_error; }

    // The OS object name for a Windows-style name: "Global\\X" -> "/X-<uid>" on POSIX.
    static std::string nativeName(const std::string& name);

private:
    // create() and open(): the same steps, but for making a missing block.
    bool attach(const std::string& name, std::size_t size, bool create);

    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_name;
    std::string m_error;
    void* m_handle = nullptr; // Win32 HANDLE
    void* m_owner = nullptr;  // Win32 HANDLE of the ownership mutex
    int m_fd = -1;            // POSIX descriptor, kept for the checks above
    int m_guard = -1;         // POSIX fault guard slot
};

} // namespace platform
