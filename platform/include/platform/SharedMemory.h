// Named shared memory blocks shared between the manager and the background
// service. On Windows a named file mapping ("Global\\Name"), on POSIX a shm_open
// object "/Name" mapped with mmap; never world-writable.
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

    bool isOpen() const { return m_data != nullptr; }
    unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    const std::string& error() const { return m_error; }

    // The OS object name for a Windows-style name: "Global\\X" -> "/X" on POSIX.
    static std::string nativeName(const std::string& name);

private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    std::string m_name;
    std::string m_error;
    void* m_handle = nullptr; // Win32 HANDLE
    int m_fd = -1;            // POSIX descriptor (closed right after mapping)
};

} // namespace platform
