// The background service's main loop: publishes the chosen adapter in the
// status block and answers the command block.
#pragma once

#include "CommandMailbox.h"
#include "Discovery.h"

#include "platform/SharedMemory.h"

#include <atomic>
#include <string>
#include <vector>

namespace bwservice {

struct ServiceOptions {
    std::vector<std::string> probe;
    DiscoveryOptions discovery;
    int publishIntervalMs = 50; // how often the status text is compared and rewritten
    // Command block polling: every millisecond while the manager is talking
    // (for hotWindowMs after its last request), more slowly when it is quiet.
    int pollIntervalUs = 1000;
    int idlePollIntervalUs = 5000;
    int hotWindowMs = 2000;
};

class Service {
public:
    explicit Service(ServiceOptions options);
    ~Service();

    // Creates (or reuses) both blocks. false with a message on failure.
    bool open(std::string* error);
    // Runs until stop becomes true. Returns the process exit code.
    int run(const std::atomic<bool>& stop);
    // Clears the status text and removes both block names.
    void shutdown();

private:
    void publish();
    void log(const std::string& text) const;

    ServiceOptions m_options;
    platform::SharedMemory m_status;
    platform::SharedMemory m_command;
    Discovery m_discovery;
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

} // namespace bwservice
