#include "device/ServiceWatch.h"

#include "device/LinkDrivers.h"
#include "device/VciStatusRecord.h"

#include <platform/ProcessWatch.h>
#include <platform/SharedMemory.h>

#include <chrono>
#include <mutex>

namespace {

std::mutex g_checkMutex;
std::function<bool()> g_check;

// The service process being watched, and when the process list was last scanned.
class Watch {
public:
    long alive()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_process.running())
            return m_process.pid();
        m_process.release();
        // Scanning the process list costs milliseconds; the status thread and
        // the status watch ask several times a second. No block means no
        // service at all, and while a block is left without a writer (a killed
        // service) the scan runs at most once a second.
        if (!platform::SharedMemory::exists(kVciStatusBlockName))
            return 0;
        const auto now = std::chrono::steady_clock::now();
        if (m_scanned && now - m_lastScan < std::chrono::seconds(1))
            return 0;
        m_scanned = true;
        m_lastScan = now;
        return m_process.attach(kServiceExecutable, kVciStatusBlockName) ? m_process.pid() : 0;
    }

private:
    std::mutex m_mutex;
    platform::ProcessWatch m_process;
    bool m_scanned = false;
    std::chrono::steady_clock::time_point m_lastScan;
};

Watch g_watch;

} // namespace

bool statusOwnerAlive(long* ownerId)
{
    if (ownerId)
        *ownerId = 0;
    std::function<bool()> check;
    {
        std::lock_guard<std::mutex> lock(g_checkMutex);
        check = g_check;
    }
    if (check)
        return check();
    // Where a block goes with its writer, a block that opens has one.
    if (!platform::blocksOutliveTheirOwner())
        return true;
    const long pid = g_watch.alive();
    if (ownerId)
        *ownerId = pid;
    return pid != 0;
}

void setStatusOwnerCheck(std::function<bool()> check)
{
    std::lock_guard<std::mutex> lock(g_checkMutex);
    g_check = std::move(check);
}
