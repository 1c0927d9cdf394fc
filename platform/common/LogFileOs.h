// What the log writer needs from the OS; posix/ and win32/ implement it.
#pragma once

#include <cstdint>
#include <string>

namespace platform::detail {

// A file opened for appending only, created readable by its user only.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile() { close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool open(const std::string& path, std::string* error);
    void close();
    bool isOpen() const { return m_handle != kNone; }
    // The whole buffer at the end of the file; false on a short or failed write.
    bool append(const char* data, std::size_t size, std::string* error);
    // The file's current size, including what other processes appended.
    std::uint64_t size() const;
    // Whether `path` still names this file (another process may have rotated it away).
    bool isAt(const std::string& path) const;
    // An exclusive lock between processes, held while rotating.
    void lock();
    void unlock();

private:
    static constexpr std::intptr_t kNone = -1;
    std::intptr_t m_handle = kNone;
};

// Creates the folder and its missing parents; new folders are private to the user.
bool makePrivateDirs(const std::string& dir, std::string* error);
// Renames, replacing `to` when it exists. false when `from` does not exist.
bool renameReplacing(const std::string& from, const std::string& to);
bool removeFile(const std::string& path);
std::string defaultLogDir();
std::string environmentValue(const char* name);
std::string localTimestamp();
std::uint64_t currentThreadId();
void setOsThreadName(const std::string& name);
bool stderrIsTerminal();
void writeStderr(const std::string& text);

} // namespace platform::detail
