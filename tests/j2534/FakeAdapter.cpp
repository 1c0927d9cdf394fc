#include "FakeAdapter.h"

#include <j2534.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

FakeAdapter::FakeAdapter()
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_listen, 8);
    socklen_t len = sizeof addr;
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_config[DATA_RATE] = 500000;
    m_config[LOOPBACK] = 0;
    m_acceptor = std::thread([this] { acceptLoop(); });
}

FakeAdapter::~FakeAdapter()
{
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    m_acceptor.join();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (int fd : m_fds)
            ::shutdown(fd, SHUT_RDWR);
    }
    for (;;) {
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            workers.swap(m_workers);
        }
        if (workers.empty())
            break;
        for (std::thread& t : workers)
            t.join();
    }
    for (int fd : m_fds)
        ::close(fd);
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void FakeAdapter::acceptLoop()
{
    for (;;) {
        pollfd p[2] = {{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0)
            continue;
        if (p[1].revents)
            return;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fds.push_back(fd);
        m_workers.emplace_back([this, fd] { serve(fd); });
    }
}

bool FakeAdapter::sendTo(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(m_sendMutex);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool FakeAdapter::send(const std::vector<std::uint8_t>& bytes)
{
    int fd = -1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        fd = m_session;
    }
    return fd >= 0 && sendTo(fd, bytes);
}

std::vector<passthru::Message> FakeAdapter::written() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_written;
}

std::size_t FakeAdapter::writeFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writeFrames;
}

bool FakeAdapter::sessionOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_session >= 0;
}

void FakeAdapter::reply(int fd, std::uint32_t tag, const passthru::Reply& r)
{
    sendTo(fd, passthru::encodeReply(tag, r));
}

void FakeAdapter::serve(int fd)
{
    using passthru::Type;
    passthru::FrameReader reader;
    std::uint8_t buf[65536];
    bool holder = false;
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        reader.feed(buf, static_cast<std::size_t>(n));
        while (auto f = reader.next()) {
            const auto type = static_cast<Type>(f->type);
            if (m_mode == Mode::Silent)
                continue;
            passthru::Reply r;
            r.request = type;
            switch (type) {
            case Type::Open: {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_session >= 0 && !holder) {
                    r.status = ERR_DEVICE_IN_USE;
                    r.text = "adapter in use by another client";
                } else {
                    m_session = fd;
                    holder = true;
                    r.firmwareVersion = "FAKE 2.0.1";
                    r.serial = "979300000042";
                    r.supplyMv = 12600;
                }
                break;
            }
            case Type::Connect: {
                passthru::ConnectRequest c;
                passthru::decodeConnect(*f, &c, nullptr);
                if (c.baudRate != 500000 && c.baudRate != 250000) {
                    r.status = ERR_INVALID_BAUDRATE;
                    r.text = "bit rate " + std::to_string(c.baudRate) + " not supported";
                } else {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    r.value = m_nextChannel++;
                }
                break;
            }
            case Type::Write: {
                passthru::WriteRequest w;
                passthru::decodeWrite(*f, &w, nullptr);
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    ++m_writeFrames;
                    m_written.insert(m_written.end(), w.messages.begin(), w.messages.end());
                }
                r.value = static_cast<std::uint32_t>(w.messages.size());
                // Loop-back copies, as LOOPBACK on would give.
                passthru::RxEvent rx{w.channel, w.messages};
                for (auto& m : rx.messages)
                    m.rxStatus = TX_MSG_TYPE;
                reply(fd, f->tag, r);
                sendTo(fd, passthru::encodeRx(rx));
                continue;
            }
            case Type::StartPeriodic:
            case Type::StartFilter: {
                std::lock_guard<std::mutex> lock(m_mutex);
                r.value = m_nextId++;
                break;
            }
            case Type::StopPeriodic:
            case Type::StopFilter: {
                passthru::StopRequest s;
                passthru::decodeStop(*f, &s, nullptr);
                std::lock_guard<std::mutex> lock(m_mutex);
                if (s.id == 0 || s.id >= m_nextId) {
                    r.status = type == Type::StopFilter ? ERR_INVALID_FILTER_ID : ERR_INVALID_MSG_ID;
                    r.text = "no such id";
                }
                break;
            }
            case Type::Ioctl: {
                passthru::IoctlRequest io;
                passthru::decodeIoctl(*f, &io, nullptr);
                std::lock_guard<std::mutex> lock(m_mutex);
                if (io.ioctlId == READ_VBATT) {
                    r.pairs.push_back({0, 12600});
                } else if (io.ioctlId == GET_CONFIG) {
                    for (auto p : io.pairs) {
                        if (!m_config.count(p.parameter)) {
                            r.status = ERR_INVALID_IOCTL_VALUE;
                            r.text = "unknown parameter";
                            break;
                        }
                        r.pairs.push_back({p.parameter, m_config[p.parameter]});
                    }
                } else if (io.ioctlId == SET_CONFIG) {
                    for (auto p : io.pairs)
                        m_config[p.parameter] = p.value;
                }
                break;
            }
            case Type::Version:
                r.firmwareVersion = "FAKE 2.0.1";
                r.serial = "979300000042";
                break;
            default:
                break;
            }
            reply(fd, f->tag, r);
            if (type == Type::Open && r.status == 0) {
                if (m_mode == Mode::Endless) {
                    passthru::RxEvent rx{1, std::vector<passthru::Message>(64)};
                    for (auto& m : rx.messages) {
                        m.protocolId = CAN;
                        m.data = {0, 0, 7, 0xE8, 1, 2, 3, 4, 5, 6, 7, 8};
                    }
                    // From a thread of its own, so requests are still answered.
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_workers.emplace_back([this, fd, bytes = passthru::encodeRx(rx)] {
                        while (sendTo(fd, bytes)) { }
                    });
                } else if (m_mode == Mode::Garbage) {
                    // A frame header announcing the largest frame, then bytes forever.
                    std::vector<std::uint8_t> junk{0, 0, 0x40, 0, 0x40, 0, 0, 0, 0};
                    junk.resize(4096, 0xAA);
                    if (sendTo(fd, junk)) {
                        junk.assign(4096, 0xAA);
                        while (sendTo(fd, junk)) { }
                    }
                }
            }
        }
        if (reader.broken())
            break;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (holder && m_session == fd)
        m_session = -1;
    // As an adapter does: the session is over, so our side of the stream ends too.
    ::shutdown(fd, SHUT_RDWR);
}
