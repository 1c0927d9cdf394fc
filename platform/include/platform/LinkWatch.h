// Tells when the machine's network links or IPv4 addresses change (an adapter
// plugged or unplugged, an address given or taken), so a caller can look at
// platform::listAdapters() again instead of listing them on a timer.
//   Linux:   a routing netlink socket (RTMGRP_LINK, RTMGRP_IPV4_IFADDR) read
//            by a thread that sleeps in poll() until the kernel reports one.
//   Windows: the adapter list compared every two seconds (no system call
//            that wakes only on a change is used yet).
// The report says only "something changed"; the caller finds out what.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class LinkWatch {
public:
    // `changed` runs on the watch's own thread after each change (several
    // changes in a row may give one call); it must be cheap and must not
    // call stop().
    explicit LinkWatch(std::function<void()> changed);
    ~LinkWatch();
    LinkWatch(const LinkWatch&) = delete;
    LinkWatch& operator=(const LinkWatch&) = delete;

    // false with error() set when the system gives no such reports; the
    // caller then has to look by itself.
    bool start();
    // Ends the thread; idempotent.
    void stop();
    bool running() const;
    const std::string& error() const { return m_error; }

private:
    struct State;
    std::function<void()> m_changed;
    std::unique_ptr<State> m_state;
    std::string m_error;
};

} // namespace platform
