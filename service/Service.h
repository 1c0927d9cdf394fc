// The background service's main loop: publishes the chosen adapter in the
// status block and answers the command block.
#pragma once

#include "CommandMailbox.h"
#include "Discovery.h"

#include "platform/LinkWatch.h"
#include "platform/NamedEvent.h"
#include "platform/NetAdapters.h"
#include "platform/SharedMemory.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace bwservice {

struct ServiceOptions {
    std::vector<std::string> probe;
    DiscoveryOptions discovery;
    // The loop sleeps until the manager signals a request, Discovery sees a
    // change or a link of the machine changes; it also looks at the command
    // block this often, for a writer that does not signal (inside the 1000 ms
    // such a writer waits for a list reply).
    int fallbackPollMs = 900;
};

class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();

    // Creates (or reuses) both blocks and their wake-up events. false with a
    // message when a block cannot be created; without the events the service
    // still works, by polling.
    bool open(std::string* error);
    // Runs until stop becomes true. Returns the process exit code.
    int run(const std::atomic<bool>& stop);
    // Clears the status text and removes both block names and the events.
    void shutdown();

private:
    bool createStatusBlock(std::string* error);
    bool createCommandBlock(std::string* error);
    // Takes both blocks back when another process shrank, removed or replaced
    // them, and rewrites a status text that was changed behind our back.
    void repairBlocks();
    void publish();
    void log(const std::string& text) const;
    // The addresses to ask in the current mode: the usual list, or in remote
    // mode those of the "Brindlewick remoteDiag" adapters.
    std::vector<std::string> wantedProbe() const;
    // Starts asking `probe` instead of the current list (no-op when equal).
    bool switchProbe(const std::vector<std::string>& probe);
    std::unique_ptr<Discovery> makeDiscovery(const std::vector<std::string>& probe);
    // Whether a 169.254.x.x interface is up: kept from the link events when
    // they run, else listed at most every two seconds.
    bool linkLocalUp() const;

    ServiceOptions m_options;
    platform::SharedMemory m_status;
    platform::SharedMemory m_command;
    platform::NamedEvent m_wake;          // signalled by the manager and by Discovery
    platform::NamedEvent m_reply;         // signalled here when a list reply is ready
    platform::NamedEvent m_statusChanged; // signalled here after every change of the status text
    std::unique_ptr<Discovery> m_discovery;
    platform::LinkWatch m_linkWatch;
    bool m_linkEvents = false;              // m_linkWatch runs
    std::atomic<bool> m_linkLocal{false};   // with link events: a 169.254.x.x interface is up
    std::atomic<bool> m_linkChanged{false}; // set by m_linkWatch's thread
    std::vector<std::string> m_probe;       // what m_discovery asks
    bool m_remoteMode = false;
    std::chrono::steady_clock::time_point m_adaptersChecked{};
    CommandMailbox m_mailbox;
    std::vector<FoundAdapter> m_present;
    std::vector<std::string> m_serials;
    std::string m_published;
    std::string m_publishedSerial;
    bool m_havePublished = false;
};

// Whether this machine has an interface with a 169.254.x.x address (the
// USB-to-Ethernet link to an adapter), checked at most every two seconds.
bool linkLocalInterfaceUp();

// The description of the B-end's virtual adapter of a remote session; in
// remote mode (mode byte 0x10) the service asks the addresses of these
// adapters only, since the adapter it should show is the partner's.
constexpr const char* kRemoteAdapterDescription = "Brindlewick remoteDiag";
// Their IPv4 addresses in `adapters`, in list order.
std::vector<std::string> remoteAdapterAddresses(const std::vector<platform::NetAdapter>& adapters);

} // namespace bwservice
