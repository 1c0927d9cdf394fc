#include "Service.h"

#include "ProbeList.h"
#include "StatusText.h"

#include <blocks/StatusBlock.h>

#include "platform/LogFile.h"
#include "platform/NetAdapters.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace bwservice {

namespace {
using Clock = std::chrono::steady_clock;
}

bool linkLocalInterfaceUp()
{
    static std::mutex mutex;
    static Clock::time_point checked;
    static bool up = false;
    static bool valid = false;
    std::lock_guard<std::mutex> lock(mutex);
    const auto now = Clock::now();
    if (!valid || now - checked > std::chrono::seconds(2)) {
        up = false;
        for (const platform::NetAdapter& a : platform::listAdapters())
            if (isLinkLocal(a.ipv4))
                up = true;
        checked = now;
        valid = true;
    }
    return up;
}

std::vector<std::string> remoteAdapterAddresses(const std::vector<platform::NetAdapter>& adapters)
{
    std::vector<std::string> out;
    for (const platform::NetAdapter& a : adapters)
        if (a.description == kRemoteAdapterDescription && !a.ipv4.empty()
            && std::find(out.begin(), out.end(), a.ipv4) == out.end())
            out.push_back(a.ipv4);
    return out;
}

namespace {
bool anyLinkLocalAdapter()
{
    for (const platform::NetAdapter& a : platform::listAdapters())
        if (isLinkLocal(a.ipv4))
            return true;
    return false;
}
} // namespace

Service::Service(ServiceOptions options)
    : m_options(std::move(options))
    , m_linkWatch([this] {
        // On the watch's thread: the loop looks at the links and nudges Discovery.
        m_linkChanged = true;
        m_wake.signal();
    })
    , m_probe(m_options.probe)
{
    m_discovery = makeDiscovery(m_probe);
}

std::unique_ptr<Discovery> Service::makeDiscovery(const std::vector<std::string>& probe)
{
    auto discovery = std::make_unique<Discovery>(probe, m_options.discovery, [this] { return linkLocalUp(); });
    // A change in the answers wakes the loop at once, so it can sleep.
    discovery->setChangeListener([this] { m_wake.signal(); });
    discovery->setLinkEvents(m_linkEvents);
    return discovery;
}

bool Service::linkLocalUp() const
{
    return m_linkEvents ? m_linkLocal.load() : linkLocalInterfaceUp();
}

Service::~Service()
{
    m_discovery->stop();
    m_linkWatch.stop();
}

std::vector<std::string> Service::wantedProbe() const
{
    return m_remoteMode ? remoteAdapterAddresses(platform::listAdapters()) : m_options.probe;
}

bool Service::switchProbe(const std::vector<std::string>& probe)
{
    if (probe == m_probe)
        return false;
    m_discovery->stop();
    m_probe = probe;
    m_discovery = makeDiscovery(m_probe);
    m_discovery->start();
    std::string list;
    for (const std::string& a : m_probe)
        list += (list.empty() ? "" : ",") + a;
    log("asking " + (list.empty() ? std::string("no address") : list));
    return true;
}

void Service::log(const std::string& text) const
{
    // BrindlewickService.log in the log folder; also stderr on a terminal or
    // with BRINDLEWICK_LOG_STDERR=1.
    platform::processLog("BrindlewickService")
        .write(platform::logTimestamp() + " info service [" + platform::threadName() + "]: " + text);
}

bool Service::createStatusBlock(std::string* error)
{
    if (!m_status.create(blocks::kStatusBlockName, blocks::kStatusBlockSize)) {
        *error = m_status.error();
        return false;
    }
    // Readers trust the text only while this lock is held.
    if (!m_status.holdOwnership()) {
        *error = "the status block is owned by another process: " + m_status.error();
        m_status.close();
        return false;
    }
    return true;
}

bool Service::createCommandBlock(std::string* error)
{
    if (!m_command.create(blocks::kCommandBlockName, blocks::kCommandBlockSize)) {
        *error = m_command.error();
        return false;
    }
    return true;
}

bool Service::open(std::string* error)
{
    if (!createStatusBlock(error))
        return false;
    if (!createCommandBlock(error)) {
        m_status.close();
        return false;
    }
    if (!m_wake.create(blocks::requestEventName(blocks::kCommandBlockName)))
        log("no request event, polling the command block: " + m_wake.error());
    if (!m_reply.create(blocks::replyEventName(blocks::kCommandBlockName)))
        log("no reply event: " + m_reply.error());
    if (!m_statusChanged.create(blocks::statusEventName()))
        log("no status event, readers look by themselves: " + m_statusChanged.error());
    return true;
}

void Service::repairBlocks()
{
    std::string error;
    if (!m_status.intact() || !m_status.stillNamed()) {
        log("status block shrunk, removed or replaced by another process; creating it again");
        m_status.close();
        platform::SharedMemory::remove(blocks::kStatusBlockName);
        if (!createStatusBlock(&error))
            log("cannot create the status block: " + error);
        m_havePublished = false; // the new block gets the text at once
    } else if (m_havePublished) {
        const std::string_view now = blocks::blockText(m_status.data(), m_status.size());
        const std::string_view mine = std::string_view(m_published).substr(0, m_status.size() - 1);
        if (now != mine) {
            log("status block changed by another process; writing it again");
            m_havePublished = false;
        }
    }
    if (!m_command.intact() || !m_command.stillNamed()) {
        log("command block shrunk, removed or replaced by another process; creating it again");
        m_command.close();
        platform::SharedMemory::remove(blocks::kCommandBlockName);
        if (!createCommandBlock(&error))
            log("cannot create the command block: " + error);
    }
}

void Service::publish()
{
    if (!m_status.isOpen())
        return;
    const FoundAdapter* chosen = chooseAdapter(m_present, m_mailbox.selectedSerial());
    std::string text;
    if (chosen && m_remoteMode) {
        // Through the tunnel the module's own address means nothing here:
        // operations go to the address it answered at.
        vci_status status = chosen->status;
        status.ip.clear();
        text = buildStatusText(status, chosen->address);
    } else if (chosen) {
        text = buildStatusText(chosen->status, chosen->address);
    }
    // Rewrite only on change, so readers overlap a write as rarely as possible;
    // but always once at start, replacing whatever an earlier instance left.
    if (m_havePublished && text == m_published)
        return;
    blocks::storeStatusText(m_status.data(), m_status.size(), text);
    m_statusChanged.signal();
    const std::string serial = chosen ? chosen->status.serial : std::string();
    if (!m_havePublished || serial != m_publishedSerial)
        log(chosen ? "publishing adapter " + serial + " at " + chosen->address : std::string("no adapter"));
    m_published = text;
    m_publishedSerial = serial;
    m_havePublished = true;
}

int Service::run(const std::atomic<bool>& stop)
{
    using std::chrono::milliseconds;
    // Link events let a link-local address sleep until a link comes up.
    if (m_linkWatch.start()) {
        m_linkEvents = true;
        m_linkLocal = anyLinkLocalAdapter();
        m_discovery->setLinkEvents(true);
    } else {
        log("no link events, looking at the links every two seconds: " + m_linkWatch.error());
    }
    m_discovery->start();
    log("watching " + std::to_string(m_options.probe.size()) + " address(es)");
    const auto started = Clock::now();
    // Wait for the first round of answers (at most 800 ms) before the first
    // publication, so a restart does not clear a live adapter.
    const auto firstPublishLimit = started + milliseconds(800);
    const milliseconds fallback(m_options.fallbackPollMs > 0 ? m_options.fallbackPollMs : 500);
    std::uint64_t generation = ~std::uint64_t(0);
    bool settled = false;
    bool publishDue = true;
    // After a list reply a cleared selection counts only once the grace is
    // over; the loop looks again then, whoever signals.
    Clock::time_point graceEnds = started;

    while (!stop) {
        const auto now = Clock::now();
        if (m_linkChanged.exchange(false)) {
            // A link or address came or went: maybe a new way to an adapter.
            m_linkLocal = anyLinkLocalAdapter();
            m_discovery->nudge();
        }
        const std::uint64_t g = m_discovery->generation();
        if (g != generation) {
            generation = g;
            m_present = m_discovery->present(&settled);
            m_serials = listSerials(m_present);
            publishDue = true; // a change is shown at once
        } else if (!settled) {
            m_present = m_discovery->present(&settled);
        }

        repairBlocks();
        if (!m_havePublished)
            publishDue = true; // the first text, or one that another process spoiled

        // A list asked for before the first round of answers would be empty
        // for an adapter that is there: it waits for that round (at most
        // 800 ms, inside the manager's 1000 ms).
        const bool listsReady = settled || now >= firstPublishLimit;
        const CommandMailbox::Event event = m_mailbox.poll(m_command.data(), m_command.size(), m_serials,
            std::chrono::duration_cast<milliseconds>(now - started).count(), listsReady);
        switch (event) {
        case CommandMailbox::Event::ListAnswered:
            m_reply.signal();
            graceEnds = now + milliseconds(kSelectionGraceMs + 1);
            // The user asked for the list: the addresses without an adapter
            // are asked again now, so a refresh soon after shows a new one.
            m_discovery->nudge();
            break;
        case CommandMailbox::Event::ModeChanged:
            log(m_mailbox.mode() == blocks::ModeRemote ? "mode: remote" : "mode: local");
            m_remoteMode = m_mailbox.mode() == blocks::ModeRemote;
            m_adaptersChecked = Clock::time_point{}; // look at the adapters now
            break;
        case CommandMailbox::Event::SelectionChanged:
            log(m_mailbox.selectedSerial().empty() ? "selection cleared" : "selected " + m_mailbox.selectedSerial());
            publishDue = true; // show the newly chosen adapter at once
            break;
        case CommandMailbox::Event::Garbage: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "ignoring request byte 0x%02x", m_mailbox.lastGarbage());
            log(buf);
            break;
        }
        default:
            break;
        }

        // The virtual adapter comes and goes with the session: in remote mode
        // the adapter list is read again every second (a folder and
        // getifaddrs), otherwise only when the mode changes.
        if (m_remoteMode || m_probe != m_options.probe) {
            if (now - m_adaptersChecked >= std::chrono::seconds(1)) {
                m_adaptersChecked = now;
                if (switchProbe(wantedProbe())) {
                    generation = ~std::uint64_t(0);
                    m_present.clear();
                    m_serials.clear();
                    publishDue = true;
                }
            }
        }

        if (publishDue && (m_havePublished || settled || now >= firstPublishLimit)) {
            publish();
            publishDue = false;
        }

        auto wakeAt = now + fallback;
        if (m_remoteMode && m_adaptersChecked + std::chrono::seconds(1) < wakeAt)
            wakeAt = m_adaptersChecked + std::chrono::seconds(1);
        if ((publishDue || !listsReady) && firstPublishLimit < wakeAt)
            wakeAt = firstPublishLimit;
        if (graceEnds > now && graceEnds < wakeAt)
            wakeAt = graceEnds;
        const auto left = std::chrono::ceil<milliseconds>(wakeAt - now);
        m_wake.wait(left > milliseconds(0) ? left : milliseconds(0));
    }
    m_discovery->stop();
    m_linkWatch.stop();
    return 0;
}

void Service::shutdown()
{
    m_discovery->stop();
    m_linkWatch.stop();
    if (m_status.isOpen() && m_status.intact())
        blocks::storeStatusText(m_status.data(), m_status.size(), std::string());
    m_statusChanged.signal(); // the readers see the empty text at once
    m_status.close();
    m_command.close();
    platform::SharedMemory::remove(blocks::kStatusBlockName);
    platform::SharedMemory::remove(blocks::kCommandBlockName);
    m_wake.close();
    m_reply.close();
    m_statusChanged.close();
    platform::NamedEvent::remove(blocks::requestEventName(blocks::kCommandBlockName));
    platform::NamedEvent::remove(blocks::replyEventName(blocks::kCommandBlockName));
    platform::NamedEvent::remove(blocks::statusEventName());
    log("stopped");
}

} // namespace bwservice
