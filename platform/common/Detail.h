// Internal pieces shared by the POSIX and Win32 implementations.
#pragma once

#include "platform/NetAdapters.h"
#include "platform/OsVersion.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace platform::detail {

// The operating system's own answers, used when no replacement is installed.
OsVersion systemOsVersion();
bool systemUsbDevicePresent(unsigned vendorId, unsigned productId);
std::vector<NetAdapter> systemAdapters();
// The per-user folder for helper scripts, not yet created; empty when unknown.
std::string defaultScriptDirectory();

// A value that tests may replace while other threads read it.
template <typename T>
class Replaceable {
public:
    void set(T value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_value = std::move(value);
    }
    T get() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value;
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};

// ASCII case folding, as the registry and file names need it.
std::string toLowerAscii(std::string text);
bool equalsIgnoreCase(const std::string& a, const std::string& b);

// The data root a test set with setDataRoot(); empty when none.
std::string dataRootOverride();

// The instance-lock file name's ending: the shared-block prefix of this run
// (BRINDLEWICK_SHM_PREFIX), made safe for a file name, then ".lock".
std::string instanceLockSuffix();

} // namespace platform::detail
