#include "Device.h"

#include "Trace.h"
#include "j2534.h"

#include <chrono>

namespace j2534 {
namespace {

using Clock = std::chrono::steady_clock;

std::string typeName(passthru::Type t)
{
    switch (t) {
    case passthru::Type::Open:
        return "OPEN";
    case passthru::Type::Connect:
        return "CONNECT";
    case passthru::Type::Disconnect:
        return "DISCONNECT";
    case passthru::Type::Write:
        return "WRITE";
    case passthru::Type::StartPeriodic:
        return "START_PERIODIC";
    case passthru::Type::StopPeriodic:
        return "STOP_PERIODIC";
    case passthru::Type::StartFilter:
        return "START_FILTER";
    case passthru::Type::StopFilter:
        return "STOP_FILTER";
    case passthru::Type::Ioctl:
        return "IOCTL";
    case passthru::Type::Version:
        return "VERSION";
    default:
        return "frame " + std::to_string(static_cast<int>(t));
    }
}

// A wait of up to `ms` milliseconds, capped so the deadline cannot overflow.
Clock::time_point deadlineAfter(unsigned long ms)
{
    const unsigned long capped = ms > 0x7FFFFFFFul ? 0x7FFFFFFFul : ms;
    return Clock::now() + std::chrono::milliseconds(capped);
}

} // namespace

Device::Device(unsigned long id, std::string ip, std::uint16_t port)
    : m_id(id)
    , m_ip(std::move(ip))
    , m_port(port)
    , m_name(m_ip + ":" + std::to_string(port))
{
}

Device::~Device()
{
    close();
}

Outcome Device::open(const std::string& clientName)
{
    std::string error;
    if (!m_socket.connect(m_ip, m_port, kConnectMs, kGraceMs, &error))
        return {ERR_DEVICE_NOT_CONNECTED, "adapter " + m_name + ": " + error, {}};
    {
        std::lock_guard<std::mutex> send(m_sendMutex);
        m_socketOpen = true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = true;
    }
    m_receiver = std::thread([this] { receiveLoop(); });
    passthru::OpenRequest req;
    req.client = clientName;
    Outcome out = request(
        passthru::Type::Open, [&](std::uint32_t tag) { return passthru::encodeOpen(tag, req); }, kReplyMs + kGraceMs);
    if (out.ok()) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_firmware = out.reply.firmwareVersion;
        m_supplyMv = out.reply.supplyMv;
    }
    return out;
}

void Device::close()
{
    bool wasConnected = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
        wasConnected = m_connected;
        for (auto& entry : m_channels)
            entry.second->closed = true;
        m_channels.clear();
        m_arrivals.notify_all();
    }
    if (wasConnected) {
        // The adapter ends the session when it reads the end of our stream and
        // then closes its side: waiting for that (bounded) means the adapter
        // is free again when Close returns, so an Open right after it works.
        m_socket.shutdownSend();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_arrivals.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs), [this] { return m_receiverEnded; });
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_connected)
            failLocked("the device was closed");
    }
    m_socket.shutdown();
    if (m_receiver.joinable())
        m_receiver.join();
    std::lock_guard<std::mutex> send(m_sendMutex);
    if (m_socketOpen) {
        m_socket.close();
        m_socketOpen = false;
    }
}

bool Device::connected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected;
}

std::string Device::firmware() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware;
}

std::uint32_t Device::supplyMv() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_supplyMv;
}

Outcome Device::request(passthru::Type type, const std::function<std::vector<std::uint8_t>(std::uint32_t)>& encode,
    int waitMs, std::function<void()> onReply)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_connected)
        return {ERR_DEVICE_NOT_CONNECTED, m_reason, {}};
    std::uint32_t tag = m_nextTag++;
    if (tag == 0 || m_pending.count(tag))
        tag = m_nextTag++;
    const std::vector<std::uint8_t> bytes = encode(tag);
    if (bytes.empty())
        return {ERR_FAILED, "the request does not fit the pass-thru protocol's limits", {}};
    Pending& slot = m_pending[tag];
    slot.type = type;
    slot.onReply = std::move(onReply);
    lock.unlock();

    std::string error;
    bool sent = false;
    {
        std::lock_guard<std::mutex> send(m_sendMutex);
        sent = m_socketOpen && m_socket.sendAll(bytes.data(), bytes.size(), &error);
    }
    lock.lock();
    if (!sent) {
        m_pending.erase(tag);
        if (m_connected)
            failLocked("sending to adapter " + m_name + " failed: " + error);
        return {ERR_DEVICE_NOT_CONNECTED, m_reason, {}};
    }
    const auto deadline = deadlineAfter(static_cast<unsigned long>(waitMs));
    m_replies.wait_until(lock, deadline, [&] { return m_pending[tag].done || !m_connected; });
    Pending done = std::move(m_pending[tag]);
    m_pending.erase(tag);
    if (!done.done) {
        if (m_connected)
            failLocked("adapter " + m_name + " did not answer " + typeName(type) + " within " + std::to_string(waitMs)
                + " ms");
        return {ERR_DEVICE_NOT_CONNECTED, m_reason, {}};
    }
    Outcome out;
    out.status = static_cast<long>(done.reply.status);
    out.text = done.reply.text;
    out.reply = std::move(done.reply);
    if (!out.ok() && out.text.empty())
        out.text = "adapter " + m_name + " refused " + typeName(type);
    return out;
}

void Device::addChannel(const std::shared_ptr<Channel>& channel)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closing)
        return;
    m_channels[channel->adapterId] = channel;
}

void Device::removeChannel(const std::shared_ptr<Channel>& channel)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_channels.find(channel->adapterId);
    if (it != m_channels.end() && it->second == channel)
        m_channels.erase(it);
    channel->closed = true;
    m_arrivals.notify_all();
}

Device::Taken Device::take(Channel& channel, std::size_t count, unsigned long timeoutMs)
{
    Taken out;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (timeoutMs > 0)
        m_arrivals.wait_until(lock, deadlineAfter(timeoutMs),
            [&] { return channel.queue.size() >= count || !m_connected || channel.closed; });
    const std::size_t n = std::min(count, channel.queue.size());
    out.messages.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        channel.queuedBytes -= channel.queue.front().data.size();
        out.messages.push_back(std::move(channel.queue.front()));
        channel.queue.pop_front();
    }
    if (channel.lostHere || channel.lostAdapter) {
        out.status = ERR_BUFFER_OVERFLOW;
        if (channel.lostHere)
            out.text = std::to_string(channel.lostHere) + " messages lost: the receive queue was full";
        else
            out.text = "adapter " + m_name + " dropped " + std::to_string(channel.lostAdapter)
                + " messages that were not read in time";
        channel.lostHere = 0;
        channel.lostAdapter = 0;
    } else if (channel.closed && n < count) {
        out.status = ERR_INVALID_CHANNEL_ID;
        out.text = "the channel was closed during the read";
    } else if (!m_connected && n < count) {
        out.status = ERR_DEVICE_NOT_CONNECTED;
        out.text = m_reason;
    } else if (n == 0) {
        out.status = ERR_BUFFER_EMPTY;
        out.text = "no message received";
    } else if (n < count && timeoutMs > 0) {
        out.status = ERR_TIMEOUT;
        out.text = std::to_string(n) + " of " + std::to_string(count) + " messages arrived within "
            + std::to_string(timeoutMs) + " ms";
    }
    return out;
}

void Device::receiveLoop()
{
    struct Ended {
        Device* device;
        ~Ended()
        {
            std::lock_guard<std::mutex> lock(device->m_mutex);
            device->m_receiverEnded = true;
            device->m_arrivals.notify_all();
        }
    } ended{this};
    passthru::FrameReader reader;
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        std::string error;
        const long n = m_socket.receive(buffer.data(), buffer.size(), &error);
        if (n <= 0) {
            fail(n == 0 ? "adapter " + m_name + " closed the connection"
                        : "connection to adapter " + m_name + " lost (" + error + ")");
            return;
        }
        reader.feed(buffer.data(), static_cast<std::size_t>(n));
        while (auto frame = reader.next()) {
            std::string why;
            if (!dispatch(*frame, &why)) {
                fail("adapter " + m_name + " sent a malformed frame (" + why + ")");
                return;
            }
        }
        if (reader.broken()) {
            fail("adapter " + m_name + " sent a malformed frame (" + reader.error() + ")");
            return;
        }
    }
}

bool Device::dispatch(const passthru::Frame& frame, std::string* why)
{
    using passthru::Type;
    if (frame.type & passthru::kReplyBit) {
        passthru::Reply reply;
        if (!passthru::decodeReply(frame, &reply, why))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_pending.find(frame.tag);
        if (it == m_pending.end() || it->second.done) {
            *why = "a reply to no request (tag " + std::to_string(frame.tag) + ")";
            return false;
        }
        if (it->second.type != reply.request) {
            *why = "a " + typeName(reply.request) + " reply to " + typeName(it->second.type);
            return false;
        }
        if (reply.status == 0 && it->second.onReply)
            it->second.onReply();
        it->second.done = true;
        it->second.reply = std::move(reply);
        m_replies.notify_all();
        return true;
    }
    switch (static_cast<Type>(frame.type)) {
    case Type::Rx: {
        passthru::RxEvent rx;
        if (!passthru::decodeRx(frame, &rx, why))
            return false;
        trace::received(m_id, rx);
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_channels.find(rx.channel);
        if (it == m_channels.end())
            return true; // a channel being disconnected: its last messages go nowhere
        Channel& ch = *it->second;
        for (passthru::Message& m : rx.messages) {
            if (ch.queue.size() >= kQueueMessages || ch.queuedBytes + m.data.size() > kQueueBytes) {
                ++ch.lostHere;
                continue;
            }
            ch.queuedBytes += m.data.size();
            ch.queue.push_back(std::move(m));
        }
        m_arrivals.notify_all();
        return true;
    }
    case Type::Lost: {
        passthru::LostEvent lost;
        if (!passthru::decodeLost(frame, &lost, why))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_channels.find(lost.channel);
        if (it != m_channels.end()) {
            it->second->lostAdapter += lost.count;
            m_arrivals.notify_all();
        }
        return true;
    }
    case Type::Bus: {
        passthru::BusEvent bus;
        if (!passthru::decodeBus(frame, &bus, why))
            return false;
        trace::busState(m_id, bus.channel, bus.state);
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_channels.find(bus.channel);
        if (it != m_channels.end())
            it->second->busState = bus.state;
        return true;
    }
    default:
        *why = "a request (type " + std::to_string(frame.type) + ") from the adapter";
        return false;
    }
}

void Device::failLocked(const std::string& why)
{
    if (!m_connected)
        return;
    m_connected = false;
    m_reason = why;
    trace::note("device " + std::to_string(m_id) + ": " + why);
    m_replies.notify_all();
    m_arrivals.notify_all();
    m_socket.shutdown();
}

void Device::fail(const std::string& why)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    failLocked(why);
}

} // namespace j2534
