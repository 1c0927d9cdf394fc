// A routing netlink socket joined to the link and IPv4 address groups, and an
// eventfd that ends the wait; the thread sleeps in poll() on both.
#include "platform/LinkWatch.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <thread>

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

struct LinkWatch::State {
    int netlink = -1;
    int stop = -1;
    std::thread thread;
    ~State()
    {
        if (netlink >= 0)
            ::close(netlink);
        if (stop >= 0)
            ::close(stop);
    }
};

LinkWatch::LinkWatch(std::function<void()> changed)
    : m_changed(std::move(changed))
{
}

LinkWatch::~LinkWatch()
{
    stop();
}

bool LinkWatch::running() const
{
    return m_state != nullptr;
}

bool LinkWatch::start()
{
    if (m_state)
        return true;
    auto state = std::make_unique<State>();
    state->netlink = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (state->netlink < 0) {
        m_error = std::string("netlink socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR;
    if (::bind(state->netlink, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        m_error = std::string("netlink bind: ") + std::strerror(errno);
        return false;
    }
    state->stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->stop < 0) {
        m_error = std::string("eventfd: ") + std::strerror(errno);
        return false;
    }
    const int netlink = state->netlink;
    const int stopFd = state->stop;
    std::function<void()> changed = m_changed;
    state->thread = std::thread([netlink, stopFd, changed] {
        // The messages are not parsed: any of them means "look again". A
        // full receive buffer (ENOBUFS) lost some, which means the same.
        char buffer[8192];
        for (;;) {
            pollfd fds[2] = {{netlink, POLLIN, 0}, {stopFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            if (fds[1].revents != 0)
                return;
            if (fds[0].revents & (POLLERR | POLLNVAL))
                return;
            bool any = false;
            for (;;) {
                const ssize_t n = ::recv(netlink, buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0 || (n < 0 && errno == ENOBUFS)) {
                    any = true;
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                break;
            }
            if (any && changed)
                changed();
        }
    });
    m_state = std::move(state);
    return true;
}

void LinkWatch::stop()
{
    if (!m_state)
        return;
    const std::uint64_t one = 1;
    if (::write(m_state->stop, &one, sizeof one) < 0) {
        // An eventfd write fails only on overflow, which a single write cannot cause.
    }
    if (m_state->thread.joinable())
        m_state->thread.join();
    m_state.reset();
}

} // namespace platform
