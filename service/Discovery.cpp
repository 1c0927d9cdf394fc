#include "Discovery.h"

#include "ProbeList.h"

#include <algorithm>
#include <chrono>

#include "platform/StopRequests.h"

namespace bwservice {

Discovery::Discovery(std::vector<std::string> addresses, DiscoveryOptions options, std::function<bool()> linkLocalUp)
    : m_options(options)
    , m_linkLocalUp(std::move(linkLocalUp))
{
    for (auto& a : addresses) {
        Slot s;
        s.address = std::move(a);
        m_slots.push_back(std::move(s));
    }
}

Discovery::~Discovery()
{
    stop();
}

void Discovery::start()
{
    if (!m_threads.empty())
        return;
    m_stop = false;
    // The workers take no signals: a stop request then reaches the main
    // thread and cuts its wait short.
    platform::startThreadsWithoutSignals([this] {
        for (std::size_t i = 0; i < m_slots.size(); ++i)
            m_threads.emplace_back(&Discovery::probeLoop, this, i);
    });
}

void Discovery::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
    m_threads.clear();
}

void Discovery::nudge()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_nudges;
    }
    m_wake.notify_all();
}

std::chrono::milliseconds Discovery::waitAfter(int misses) const
{
    const int interval = std::max(1, m_options.intervalMs);
    const int most = std::max(interval, m_options.absentIntervalMs);
    int wait = interval;
    for (int i = 1; i < misses && wait < most; ++i)
        wait = wait > most / 2 ? most : wait * 2;
    return std::chrono::milliseconds(std::min(wait, most));
}

bool Discovery::sameStatus(const vci_status& a, const vci_status& b)
{
    return a.serial == b.serial && a.softVer == b.softVer && a.firmwareVersion == b.firmwareVersion
        && a.dllVersion == b.dllVersion && a.portNumber == b.portNumber && a.key == b.key && a.ip == b.ip
        && a.connType == b.connType && a.status == b.status && a.vbatt == b.vbatt && a.bootloader == b.bootloader;
}

void Discovery::probeLoop(std::size_t index)
{
    MT7628Config module;
    module.setTimeouts(m_options.connectTimeoutMs, m_options.replyTimeoutMs);
    module.setPort(m_options.port);
    std::string address;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        address = m_slots[index].address;
    }
    const bool linkLocal = isLinkLocal(address);
    std::uint64_t nudgesSeen = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nudgesSeen = m_nudges;
    }
    int misses = 0;

    while (!m_stop) {
        const auto started = std::chrono::steady_clock::now();
        vci_status status;
        bool answered = false;
        const bool ask = !linkLocal || !m_linkLocalUp || m_linkLocalUp();
        if (ask)
            answered = module.GetVciStatus(address, status);
        bool tell = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Slot& slot = m_slots[index];
            const bool changed = slot.present != answered || (answered && !sameStatus(slot.status, status));
            tell = changed || !slot.probed;
            slot.present = answered;
            slot.probed = true;
            if (answered)
                slot.status = std::move(status);
            if (changed)
                ++m_generation;
        }
        if (tell && m_changed)
            m_changed();
        misses = answered ? 0 : std::min(misses + 1, 64);
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto woken = [this, &nudgesSeen] { return m_stop.load() || m_nudges != nudgesSeen; };
        if (!ask && m_linkEvents)
            m_wake.wait(lock, woken); // no route to it until a link comes up
        else
            m_wake.wait_until(lock,
                started + (answered ? std::chrono::milliseconds(m_options.intervalMs) : waitAfter(misses)), woken);
        if (m_nudges != nudgesSeen) {
            nudgesSeen = m_nudges;
            misses = 0;
        }
    }
}

std::vector<FoundAdapter> Discovery::present(bool* settled) const
{
    std::vector<FoundAdapter> out;
    std::lock_guard<std::mutex> lock(m_mutex);
    bool all = true;
    for (const Slot& s : m_slots) {
        all = all && s.probed;
        if (s.present)
            out.push_back({s.address, s.status});
    }
    if (settled)
        *settled = all;
    return out;
}

bool Discovery::settled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::all_of(m_slots.begin(), m_slots.end(), [](const Slot& s) { return s.probed; });
}

const FoundAdapter* chooseAdapter(const std::vector<FoundAdapter>& present, const std::string& selectedSerial)
{
    if (present.empty())
        return nullptr;
    if (!selectedSerial.empty()) {
        for (const FoundAdapter& a : present)
            if (a.status.serial == selectedSerial)
                return &a;
    }
    return &present.front();
}

std::vector<std::string> listSerials(const std::vector<FoundAdapter>& present)
{
    std::vector<std::string> out;
    for (const FoundAdapter& a : present)
        if (std::find(out.begin(), out.end(), a.status.serial) == out.end())
            out.push_back(a.status.serial);
    return out;
}

} // namespace bwservice
