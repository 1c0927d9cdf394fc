#include "PassThruBus.h"

#include <j2534/Registration.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

namespace remote::bus {

namespace {

// Received frames are taken up to this many per read.
constexpr unsigned long kReadBatch = 64;
// A reader waits this long for a first frame: the stop is seen within it
// (the adapter's transmissions are cleared before, not after it), and an
// idle bus costs four wakeups a second.
constexpr unsigned long kReadWaitMs = 250;
// Drop counts are passed on at most this often.
constexpr std::chrono::seconds kReportEvery{1};

template <typename F>
bool take(platform::Library& lib, const char* name, F& out, std::string* error)
{
    out = lib.resolveFunction<F>(name);
    if (!out && error && error->empty())
        *error = lib.errorString();
    return out != nullptr;
}

} // namespace

bool PassThru::load(std::string* error)
{
    if (loaded())
        return true;
    const j2534::LocatedLibrary found = j2534::locateLibrary(std::string());
    if (found.path.empty()) {
        if (error)
            *error = "no J2534 library is registered";
        return false;
    }
    if (!m_library.load(found.path)) {
        if (error)
            *error = m_library.errorString();
        return false;
    }
    std::string why;
    const bool ok = take(m_library, "PassThruOpen", m_open, &why) & take(m_library, "PassThruClose", m_close, &why)
        & take(m_library, "PassThruConnect", m_connect, &why)
        & take(m_library, "PassThruDisconnect", m_disconnect, &why) & take(m_library, "PassThruReadMsgs", m_read, &why)
        & take(m_library, "PassThruWriteMsgs", m_write, &why)
        & take(m_library, "PassThruStartMsgFilter", m_filter, &why) & take(m_library, "PassThruIoctl", m_ioctl, &why);
    if (!ok) {
        m_open = nullptr;
        m_library.unload();
        if (error)
            *error = why;
        return false;
    }
    return true;
}

long Buses::openDevice(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_deviceOpen)
        return STATUS_NOERROR;
    std::vector<char> text(name.begin(), name.end());
    text.push_back('\0');
    const long rc = m_pt.m_open(name.empty() ? nullptr : text.data(), &m_device);
    m_deviceOpen = rc == STATUS_NOERROR;
    m_stop = false;
    return rc;
}

long Buses::openBus(std::uint8_t bus, std::uint32_t canBaud, std::uint32_t canFdBaud, unsigned long& channelId)
{
    if (bus >= kBusCount || !validCanBaud(canBaud) || !validCanFdBaud(canFdBaud))
        return ERR_INVALID_BAUDRATE;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_deviceOpen || m_stop)
        return ERR_DEVICE_NOT_CONNECTED;
    Bus& b = m_bus[bus];
    if (b.open) {
        if (b.canBaud != canBaud || b.canFdBaud != canFdBaud)
            return ERR_INVALID_BAUDRATE;
        channelId = b.channel;
        return STATUS_NOERROR;
    }
    const bool fd = canFdBaud != 0;
    unsigned long channel = 0;
    long rc = m_pt.m_connect(m_device, fd ? CAN_FD_PS : CAN_PS, CAN_ID_BOTH, canBaud, &channel);
    if (rc != STATUS_NOERROR)
        return rc;
    SCONFIG params[2] = {{J1962_PINS, bus == 0 ? 0x060EUL : 0x030BUL}, {FD_CAN_DATA_PHASE_RATE, canFdBaud}};
    SCONFIG_LIST list{fd ? 2UL : 1UL, params};
    rc = m_pt.m_ioctl(channel, SET_CONFIG, &list, nullptr);
    // Each frame's own format (classic or FD, with or without the faster
    // data phase) where the library tells it; otherwise a CAN FD bus sends
    // every frame as CAN FD with it, and only the length tells FD apart.
    bool frameFlags = false;
    if (rc == STATUS_NOERROR && fd) {
        SCONFIG flags{FD_CAN_FRAME_FLAGS, 1};
        SCONFIG_LIST one{1, &flags};
        frameFlags = m_pt.m_ioctl(channel, SET_CONFIG, &one, nullptr) == STATUS_NOERROR;
    }
    if (rc == STATUS_NOERROR) {
        // Everything passes: a mask of all zeroes matches every identifier.
        auto mask = std::make_unique<PASSTHRU_MSG>();
        auto pattern = std::make_unique<PASSTHRU_MSG>();
        for (PASSTHRU_MSG* m : {mask.get(), pattern.get()}) {
            std::memset(m, 0, sizeof *m);
            m->ProtocolID = fd ? CAN_FD_PS : CAN_PS;
            m->DataSize = 4;
        }
        unsigned long filter = 0;
        rc = m_pt.m_filter(channel, PASS_FILTER, mask.get(), pattern.get(), nullptr, &filter);
    }
    if (rc != STATUS_NOERROR) {
        m_pt.m_disconnect(channel);
        return rc;
    }
    b.open = true;
    b.fd = fd;
    b.frameFlags = frameFlags;
    b.canBaud = canBaud;
    b.canFdBaud = canFdBaud;
    b.channel = channel;
    channelId = channel;
    if (m_started) {
        b.reader = std::thread([this, bus] { readLoop(bus); });
        b.writer = std::thread([this, bus] { writeLoop(bus); });
    }
    return STATUS_NOERROR;
}

bool Buses::isOpen(std::uint8_t bus) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return bus < kBusCount && m_bus[bus].open;
}

void Buses::start(Sink sink, DropReport report, Failure failure)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_started || !m_deviceOpen || m_stop)
        return;
    m_started = true;
    m_sink = std::move(sink);
    m_report = std::move(report);
    m_failure = std::move(failure);
    for (std::uint8_t i = 0; i < kBusCount; ++i) {
        if (!m_bus[i].open)
            continue;
        m_bus[i].reader = std::thread([this, i] { readLoop(i); });
        m_bus[i].writer = std::thread([this, i] { writeLoop(i); });
    }
}

bool Buses::post(const CanFrameMsg& frame)
{
    if (frame.bus >= kBusCount || !validCanFrame(frame))
        return false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Bus& b = m_bus[frame.bus];
        if (m_stop || !b.open || b.queue.size() >= kQueueFrames || ((frame.flags & kCanFd) && !b.fd)) {
            ++b.drops;
            return false;
        }
        b.queue.push_back(frame);
    }
    m_wake.notify_all();
    return true;
}

void Buses::readLoop(std::uint8_t bus)
{
    unsigned long channel = 0;
    bool fd = false;
    bool frameFlags = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        channel = m_bus[bus].channel;
        fd = m_bus[bus].fd;
        frameFlags = m_bus[bus].frameFlags;
    }
    std::vector<PASSTHRU_MSG> msgs(kReadBatch);
    std::uint32_t reported = 0;
    auto lastReport = std::chrono::steady_clock::now();
    while (!m_stop) {
        if (m_report) {
            const std::uint32_t dropped = m_bus[bus].drops.load() + m_bus[bus].linkDrops.load();
            const auto now = std::chrono::steady_clock::now();
            if (dropped != reported && now - lastReport >= kReportEvery) {
                reported = dropped;
                lastReport = now;
                m_report(bus, dropped);
            }
        }
        // One frame with a wait, then whatever else is there without one.
        unsigned long n = 1;
        const long rc = m_pt.m_read(channel, msgs.data(), &n, kReadWaitMs);
        if (rc == ERR_BUFFER_EMPTY || rc == ERR_TIMEOUT)
            continue;
        if (rc != STATUS_NOERROR && rc != ERR_BUFFER_OVERFLOW) {
            // The channel is gone (adapter unplugged, closed): told once,
            // unless this end is stopping anyway.
            if (!m_stop && m_failure)
                m_failure(bus, rc);
            break;
        }
        if (n == 1) {
            unsigned long more = kReadBatch - 1;
            const long rest = m_pt.m_read(channel, msgs.data() + 1, &more, 0);
            if (rest == STATUS_NOERROR || rest == ERR_TIMEOUT || rest == ERR_BUFFER_OVERFLOW)
                n += more;
        }
        for (unsigned long i = 0; i < n && !m_stop; ++i) {
            const PASSTHRU_MSG& m = msgs[i];
            // Own transmissions and indications are not bus traffic from elsewhere.
            if ((m.RxStatus & (TX_MSG_TYPE | TX_INDICATION)) != 0 || m.DataSize < 4 || m.DataSize > 4 + kMaxCanData)
                continue;
            CanFrameMsg f;
            f.bus = bus;
            f.id = (std::uint32_t(m.Data[0]) << 24) | (std::uint32_t(m.Data[1]) << 16) | (std::uint32_t(m.Data[2]) << 8)
                | m.Data[3];
            std::uint8_t format = 0;
            if (frameFlags)
                format = static_cast<std::uint8_t>(((m.RxStatus & CAN_FD_FORMAT) ? kCanFd : 0)
                    | ((m.RxStatus & (CAN_FD_FORMAT | CAN_FD_BRS)) == (CAN_FD_FORMAT | CAN_FD_BRS) ? kCanBrs : 0));
            else if (fd && m.DataSize - 4 > kMaxClassicData)
                format = kCanFd | kCanBrs;
            f.flags = static_cast<std::uint8_t>(((m.RxStatus & CAN_29BIT_ID) ? kCanExtended : 0) | format);
            f.length = static_cast<std::uint8_t>(m.DataSize - 4);
            std::memcpy(f.data, m.Data + 4, f.length);
            if (!validCanFrame(f))
                continue;
            ++m_readCount;
            if (!m_sink(f))
                ++m_bus[bus].linkDrops;
        }
    }
}

void Buses::writeLoop(std::uint8_t bus)
{
    auto msg = std::make_unique<PASSTHRU_MSG>();
    for (;;) {
        CanFrameMsg f;
        unsigned long channel = 0;
        bool fd = false;
        bool frameFlags = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop.load() || !m_bus[bus].queue.empty(); });
            if (m_stop)
                return;
            f = m_bus[bus].queue.front();
            m_bus[bus].queue.pop_front();
            channel = m_bus[bus].channel;
            fd = m_bus[bus].fd;
            frameFlags = m_bus[bus].frameFlags;
        }
        std::memset(msg.get(), 0, offsetof(PASSTHRU_MSG, Data));
        msg->ProtocolID = fd ? CAN_FD_PS : CAN_PS;
        msg->TxFlags = (f.flags & kCanExtended) ? CAN_29BIT_ID : 0;
        if (frameFlags)
            msg->TxFlags |= ((f.flags & kCanFd) ? CAN_FD_FORMAT : 0) | ((f.flags & kCanBrs) ? CAN_FD_BRS : 0);
        msg->DataSize = 4 + f.length;
        msg->Data[0] = static_cast<unsigned char>(f.id >> 24);
        msg->Data[1] = static_cast<unsigned char>(f.id >> 16);
        msg->Data[2] = static_cast<unsigned char>(f.id >> 8);
        msg->Data[3] = static_cast<unsigned char>(f.id);
        std::memcpy(msg->Data + 4, f.data, f.length);
        unsigned long n = 1;
        if (m_pt.m_write(channel, msg.get(), &n, 100) == STATUS_NOERROR && n == 1)
            ++m_written;
        else
            ++m_bus[bus].drops;
    }
}

void Buses::closeAll()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        for (Bus& b : m_bus)
            b.queue.clear();
    }
    m_wake.notify_all();
    for (Bus& b : m_bus) {
        if (b.writer.joinable())
            b.writer.join();
    }
    // Nothing the other end sent may still go out, not even a periodic
    // message: cleared at once, while a reader may still wait for its read.
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (Bus& b : m_bus) {
            if (!b.open)
                continue;
            m_pt.m_ioctl(b.channel, CLEAR_TX_BUFFER, nullptr, nullptr);
            m_pt.m_ioctl(b.channel, CLEAR_PERIODIC_MSGS, nullptr, nullptr);
        }
    }
    for (Bus& b : m_bus) {
        if (b.reader.joinable())
            b.reader.join();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Bus& b : m_bus) {
        if (!b.open)
            continue;
        m_pt.m_disconnect(b.channel);
        b.open = false;
    }
    if (m_deviceOpen) {
        m_pt.m_close(m_device);
        m_deviceOpen = false;
    }
    m_started = false;
}

} // namespace remote::bus
