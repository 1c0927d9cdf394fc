// Device control: the device-control library's object behind IRemotePro, the
// session object of an attempt, the "Config Select" values and the connect
// results.
#include "remote/RemotePro.h"

#include "remote/RemoteLog.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>
#include <remote/RemoteProApi.h>

#include <QString>

#include <array>

namespace remote {

namespace {

// The library's table behind the C++ interface; kept for the process's life.
class TableRemotePro final : public IRemotePro {
public:
    explicit TableRemotePro(BwRemotePro* object)
        : m_o(object)
    {
    }
    int connect(const std::string& relay, const std::string& sn, const std::string& tag, int code) override
    {
        return m_o->ops->connect(m_o, relay.c_str(), sn.c_str(), tag.c_str(), code);
    }
    void disconnect() override { m_o->ops->disconnect(m_o); }
    int openCanChannel(std::uint32_t protocol, const std::uint32_t* pins, std::uint32_t pinCount, std::uint32_t canBaud,
        std::uint32_t canFdBaud, std::uint32_t* channelId) override
    {
        return m_o->ops->openCanChannel(m_o, protocol, pins, pinCount, canBaud, canFdBaud, channelId);
    }
    void start(int on) override { m_o->ops->start(m_o, on); }
    void state(std::int32_t* state, char* text1, char* text2) override { m_o->ops->state(m_o, state, text1, text2); }
    void bytesB(std::uint64_t* bytes) override { m_o->ops->bytesB(m_o, bytes); }
    void bytesC(std::uint64_t* bytes) override { m_o->ops->bytesC(m_o, bytes); }
    void delays(std::int32_t* delayB, std::int32_t* delayC) override { m_o->ops->delays(m_o, delayB, delayC); }

private:
    BwRemotePro* m_o;
};

bool completeTable(const BwRemotePro* o)
{
    if (!o || !o->ops)
        return false;
    const BwRemoteProSlots& s = *o->ops;
    return s.connect && s.disconnect && s.openCanChannel && s.start && s.state && s.bytesB && s.bytesC && s.delays;
}

std::string cut(const char* text, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && text[n] != '\0')
        ++n;
    return std::string(text, n);
}

} // namespace

IRemotePro* processRemotePro(const std::string& folder)
{
    static std::mutex mutex;
    static IRemotePro* instance = nullptr;
    std::lock_guard<std::mutex> lock(mutex);
    if (instance)
        return instance;
    // Never unloaded: the object it hands out lives until the process ends.
    auto* library = new platform::Library;
    const std::string path = folder + "/RemotePro" + platform::sharedLibrarySuffix();
    if (!library->load(path)) {
        qCWarning(lcRemote) << "device-control library:" << QString::fromStdString(library->errorString());
        delete library;
        return nullptr;
    }
    auto create = library->resolveFunction<BwCreateRemoteProFn>("CreateRemotePro");
    BwRemotePro* object = create ? create() : nullptr;
    if (!completeTable(object)) {
        qCWarning(lcRemote) << "device-control library gave no usable object:"
                            << QString::fromStdString(library->errorString());
        delete library;
        return nullptr;
    }
    instance = new TableRemotePro(object);
    return instance;
}

// ---- ControlRemotePro -----------------------------------------------------

SessionReading ControlRemotePro::poll()
{
    SessionReading r;
    std::int32_t state = -1;
    std::array<char, BW_REMOTE_STATE_TEXT_SIZE> t1{}, t2{};
    queryState(&state, t1.data(), t2.data());
    r.state = state;
    r.peerText = cut(t2.data(), t2.size());
    bytesB(&r.bytesB);
    bytesC(&r.bytesC);
    delays(&r.delayB, &r.delayC);
    return r;
}

void ControlRemotePro::addChannel(std::uint32_t id)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_channels.push_back(id);
}

std::vector<std::uint32_t> ControlRemotePro::channels() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_channels;
}

// ---- "Config Select" ------------------------------------------------------

const char* const kCanRateItems[kCanRateCount] = {
    QT_TRANSLATE_NOOP("Remote", "100 Kbps"),
    QT_TRANSLATE_NOOP("Remote", "125 Kbps"),
    QT_TRANSLATE_NOOP("Remote", "250 Kbps"),
    QT_TRANSLATE_NOOP("Remote", "500 Kbps"),
    QT_TRANSLATE_NOOP("Remote", "800 Kbps"),
    QT_TRANSLATE_NOOP("Remote", "1000 Kbps"),
};
const char* const kCanFdRateItems[kCanFdRateCount] = {
    QT_TRANSLATE_NOOP("Remote", "None"),
    QT_TRANSLATE_NOOP("Remote", "1M bps"),
    QT_TRANSLATE_NOOP("Remote", "2M bps"),
    QT_TRANSLATE_NOOP("Remote", "4M bps"),
    QT_TRANSLATE_NOOP("Remote", "5M bps"),
};

std::uint32_t canRateAt(int index)
{
    static constexpr std::uint32_t values[kCanRateCount] = {100000, 125000, 250000, 500000, 800000, 1000000};
    return index >= 0 && index < kCanRateCount ? values[index] : 500000;
}

std::uint32_t canFdRateAt(int index)
{
    static constexpr std::uint32_t values[kCanFdRateCount] = {0, 1000000, 2000000, 4000000, 5000000};
    return index >= 0 && index < kCanFdRateCount ? values[index] : 0;
}

// ---- Connect results ------------------------------------------------------

DeviceControlOutcome deviceControlOutcome(int result)
{
    switch (result) {
    case BW_PRO_CONNECTED:
        return {QT_TRANSLATE_NOOP("Remote", "connection established successfully"), true, true};
    case BW_PRO_NO_PASSTHRU:
        return {QT_TRANSLATE_NOOP("Remote", "Failed to load passthru"), true, false};
    case BW_PRO_UNREACHABLE:
        return {QT_TRANSLATE_NOOP("Remote", "Failed to connect to the server"), false, false};
    case BW_PRO_VCI_OFFLINE:
        return {QT_TRANSLATE_NOOP("Remote", "VCI is not online"), false, false};
    case BW_PRO_WRONG_CODE:
        return {QT_TRANSLATE_NOOP("Remote", "Password error"), false, false};
    case BW_PRO_DISCONNECTED:
        return {QT_TRANSLATE_NOOP("Remote", "The server is disconnected"), false, false};
    default:
        return {QT_TRANSLATE_NOOP("Remote", "The server response timed out"), false, false};
    }
}

const char* deviceControlEndText(int state)
{
    switch (state) {
    case BW_PRO_ENDED_LOCAL_ADAPTER:
        return QT_TRANSLATE_NOOP("Remote", "Device control ended: this PC's VCI stopped answering");
    case BW_PRO_ENDED_REMOTE_ADAPTER:
        return QT_TRANSLATE_NOOP("Remote", "Device control ended: the partner's VCI stopped answering");
    case BW_PRO_ENDED_LOCAL_RATE:
        return QT_TRANSLATE_NOOP("Remote", "Device control ended: this PC's VCI cannot use the selected baud rate");
    case BW_PRO_ENDED_REMOTE_RATE:
        return QT_TRANSLATE_NOOP("Remote", "Device control ended: the partner's VCI cannot use the selected baud rate");
    default:
        return nullptr;
    }
}

} // namespace remote
