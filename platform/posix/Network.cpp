// Connectivity from the routing tables and
// one ICMP echo over an unprivileged ping socket (or a raw socket as root).
#include "platform/Network.h"

#include "../common/Detail.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

detail::Replaceable<std::string>& routeDirectory()
{
    static detail::Replaceable<std::string> dir;
    return dir;
}

constexpr unsigned kRouteUp = 0x0001;
constexpr unsigned kRouteReject = 0x0200;

// /proc/net/route: Iface Destination Gateway Flags RefCnt Use Metric Mask ...
bool ipv4DefaultRoute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // column titles
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCnt, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCnt >> use >> metric >> mask))
            continue;
        const unsigned f = static_cast<unsigned>(std::strtoul(flags.c_str(), nullptr, 16));
        if (iface != "lo" && destination == "00000000" && mask == "00000000" && (f & kRouteUp) && !(f & kRouteReject))
            return true;
    }
    return false;
}

// /proc/net/ipv6_route: dest plen src splen nexthop metric refcnt use flags iface
bool ipv6DefaultRoute(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string dest, plen, src, splen, nexthop, metric, refcnt, use, flags, iface;
        if (!(fields >> dest >> plen >> src >> splen >> nexthop >> metric >> refcnt >> use >> flags >> iface))
            continue;
        const unsigned f = static_cast<unsigned>(std::strtoul(flags.c_str(), nullptr, 16));
        if (iface != "lo" && dest == std::string(32, '0') && plen == "00" && (f & kRouteUp) && !(f & kRouteReject))
            return true;
    }
    return false;
}

std::uint16_t checksum(const unsigned char* data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

constexpr std::size_t kHeader = 8;
constexpr std::size_t kPayload = 32;

} // namespace

void setRouteTableDirectory(const std::string& dir)
{
    routeDirectory().set(dir);
}

namespace {

// The status pass asks once a second; the routing tables rarely change. A
// routing netlink socket subscribed to link and route changes tells when
// to read them again: while it holds no message the last answer stands, so
// an idle pass costs one receive that finds nothing instead of reading and
// parsing two tables. Without the socket every call reads the tables.
class RouteAnswer {
public:
    bool get()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_opened) {
            m_opened = true;
            open();
        }
        if (m_fd < 0)
            return read();
        bool changed = !m_valid;
        char buffer[8192];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0 || (n < 0 && (errno == ENOBUFS || errno == EINTR))) {
                changed = true; // a change, or so many that some were lost
                continue;
            }
            break;
        }
        if (changed) {
            // Read after the queue is empty: a change from now on leaves a
            // message for the next call.
            m_answer = read();
            m_valid = true;
        }
        return m_answer;
    }

private:
    static bool read() { return ipv4DefaultRoute("/proc/net/route") || ipv6DefaultRoute("/proc/net/ipv6_route"); }
    void open()
    {
        const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
        if (fd < 0)
            return;
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd);
            return;
        }
        m_fd = fd;
    }
    std::mutex m_mutex;
    int m_fd = -1; // kept for the process's life
    bool m_opened = false;
    bool m_valid = false;
    bool m_answer = false;
};

} // namespace

bool systemReportsInternet()
{
    const std::string dir = routeDirectory().get();
    if (!dir.empty())
        return ipv4DefaultRoute(dir + "/route") || ipv6DefaultRoute(dir + "/ipv6_route");
    static RouteAnswer* const answer = new RouteAnswer; // never destroyed: callers may run at exit
    return answer->get();
}

bool icmpEcho(const std::string& ipv4, unsigned timeoutMs, unsigned long& rttMs)
{
    in_addr address{};
    if (::inet_pton(AF_INET, ipv4.c_str(), &address) != 1 || address.s_addr == INADDR_NONE)
        return false;

    // A datagram ICMP socket needs the group in net.ipv4.ping_group_range; a raw
    // one needs CAP_NET_RAW.
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0)
        return false;

    static std::atomic<unsigned> counter{0};
    const unsigned n = counter++;
    const std::uint16_t id = static_cast<std::uint16_t>((::getpid() ^ (n >> 16)) & 0xffff);
    const std::uint16_t sequence = static_cast<std::uint16_t>(n & 0xffff);

    unsigned char packet[kHeader + kPayload] = {};
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<unsigned char>(id >> 8);
    packet[5] = static_cast<unsigned char>(id & 0xff);
    packet[6] = static_cast<unsigned char>(sequence >> 8);
    packet[7] = static_cast<unsigned char>(sequence & 0xff);
    std::memcpy(packet + kHeader, "Data buffer", sizeof "Data buffer"); // text, NUL, then zeros
    const std::uint16_t sum = checksum(packet, sizeof packet);
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum & 0xff);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = address;
    const auto start = std::chrono::steady_clock::now();
    if (::sendto(fd, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to)
        != static_cast<ssize_t>(sizeof packet)) {
        ::close(fd);
        return false;
    }

    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    bool ok = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left > 0 ? left : 0));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        unsigned char reply[1500];
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t got = ::recvfrom(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            break; // e.g. an ICMP error queued on the socket
        }
        std::size_t offset = 0;
        if (raw) {
            if (got < 20)
                continue;
            offset = static_cast<std::size_t>(reply[0] & 0x0f) * 4;
        }
        if (static_cast<std::size_t>(got) < offset + kHeader || from.sin_addr.s_addr != address.s_addr)
            continue;
        const unsigned char* icmp = reply + offset;
        const std::uint16_t replySequence = static_cast<std::uint16_t>(icmp[6] << 8 | icmp[7]);
        const std::uint16_t replyId = static_cast<std::uint16_t>(icmp[4] << 8 | icmp[5]);
        // The kernel puts its own id into datagram echoes and filters replies by it.
        if (icmp[0] != ICMP_ECHOREPLY || replySequence != sequence || (raw && replyId != id))
            continue;
        rttMs = static_cast<unsigned long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        ok = true;
        break;
    }
    ::close(fd);
    return ok;
}

} // namespace platform
