// The J2534 04.04 functions: argument checks, the application's device and
// channel ids, message checks, and the requests to the adapter (Device).
// Every function returns a status; a failure leaves its text for
// PassThruGetLastError on the calling thread.
#include "j2534.h"

#include "Device.h"
#include "Trace.h"

#include <blocks/PublishedAdapter.h>
#include <platform/Process.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using j2534::Channel;
using j2534::Device;
using j2534::Outcome;

// The texts PassThruGetLastError gives: the standard's 80-character buffer.
constexpr std::size_t kTextSize = 80;
// A plain buffer: a thread-local with a destructor would keep the library
// loaded after its user unloads it, until the calling thread ends.
thread_local char t_lastError[kTextSize];

// Cut to 79 bytes without splitting a UTF-8 sequence, NUL-terminated.
void copyText(char* out, const std::string& text)
{
    std::size_t n = text.size() < kTextSize - 1 ? text.size() : kTextSize - 1;
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

const char* statusName(long s)
{
    static const char* names[] = {"STATUS_NOERROR", "ERR_NOT_SUPPORTED", "ERR_INVALID_CHANNEL_ID",
        "ERR_INVALID_PROTOCOL_ID", "ERR_NULL_PARAMETER", "ERR_INVALID_IOCTL_VALUE", "ERR_INVALID_FLAGS", "ERR_FAILED",
        "ERR_DEVICE_NOT_CONNECTED", "ERR_TIMEOUT", "ERR_INVALID_MSG", "ERR_INVALID_TIME_INTERVAL", "ERR_EXCEEDED_LIMIT",
        "ERR_INVALID_MSG_ID", "ERR_DEVICE_IN_USE", "ERR_INVALID_IOCTL_ID", "ERR_BUFFER_EMPTY", "ERR_BUFFER_FULL",
        "ERR_BUFFER_OVERFLOW", "ERR_PIN_INVALID", "ERR_CHANNEL_IN_USE", "ERR_MSG_PROTOCOL_ID", "ERR_INVALID_FILTER_ID",
        "ERR_NO_FLOW_CONTROL", "ERR_NOT_UNIQUE", "ERR_INVALID_BAUDRATE", "ERR_INVALID_DEVICE_ID"};
    return s >= 0 && s < static_cast<long>(sizeof names / sizeof names[0]) ? names[s] : "unknown status";
}

// Ends a call: its result goes to the trace, a failure's text to GetLastError.
long finish(const std::string& call, long status, const std::string& text = {})
{
    if (status != STATUS_NOERROR)
        copyText(t_lastError, text.empty() ? std::string(statusName(status)) : text);
    if (j2534::trace::active()) {
        std::string line = call + " -> " + statusName(status);
        if (status != STATUS_NOERROR && !text.empty())
            line += " \"" + text + "\"";
        j2534::trace::line(line);
    }
    return status;
}

long finish(const std::string& call, const Outcome& o)
{
    return finish(call, o.status, o.text);
}

std::string hex(unsigned long v)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%lX", v);
    return buf;
}

std::string ptr(const void* p)
{
    return p ? "ptr" : "NULL";
}

std::string describe(const PASSTHRU_MSG& m)
{
    const std::size_t size = m.DataSize > PASSTHRU_MSG_DATA_SIZE ? PASSTHRU_MSG_DATA_SIZE : m.DataSize;
    return j2534::trace::describe(m.ProtocolID, m.RxStatus, m.TxFlags, m.Timestamp, m.Data, size);
}

// ---- Ids -------------------------------------------------------------------------
struct OpenChannel {
    std::shared_ptr<Device> device;
    std::shared_ptr<Channel> channel;
};

struct Registry {
    std::mutex mutex;
    std::map<unsigned long, std::shared_ptr<Device>> devices;
    std::map<unsigned long, OpenChannel> channels;
    unsigned long nextDevice = 1;
    unsigned long nextChannel = 1;

#ifndef _WIN32
    // The library unloaded with devices still open: end their sessions and
    // threads before the code goes away.
    ~Registry()
    {
        std::map<unsigned long, std::shared_ptr<Device>> left;
        {
            std::lock_guard<std::mutex> lock(mutex);
            left.swap(devices);
            channels.clear();
        }
        for (auto& d : left)
            d.second->close();
    }
#endif
};

Registry& registry()
{
#ifdef _WIN32
    // Never destroyed on Windows: threads cannot be joined while the loader
    // lock is held; the library pins itself once a device opens instead.
    static Registry* r = new Registry;
    return *r;
#else
    static Registry r;
    return r;
#endif
}

std::shared_ptr<Device> findDevice(unsigned long id)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.devices.find(id);
    return it == r.devices.end() ? nullptr : it->second;
}

bool findChannel(unsigned long id, OpenChannel* out)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.channels.find(id);
    if (it == r.channels.end())
        return false;
    *out = it->second;
    return true;
}

std::string noDevice(unsigned long id)
{
    return "no open device with DeviceID " + std::to_string(id);
}
std::string noChannel(unsigned long id)
{
    return "no connected channel with ChannelID " + std::to_string(id);
}

// ---- Protocols and messages --------------------------------------------------------
bool isCan(unsigned long p)
{
    return p == CAN || p == CAN_PS || p == CAN_FD_PS;
}
bool isIso(unsigned long p)
{
    return p == ISO15765 || p == ISO15765_PS || p == ISO15765_FD_PS;
}
bool isFd(unsigned long p)
{
    return p == CAN_FD_PS || p == ISO15765_FD_PS;
}

// Protocols of the standard (and its pin-selectable extension) this adapter
// does not carry: K-line, J1850, SCI and the other buses.
bool knownUnsupported(unsigned long p)
{
    return (p >= J1850VPW && p <= ISO14230) || (p >= SCI_A_ENGINE && p <= SCI_B_TRANS)
        || (p >= 0x8000 && p <= 0x80FF && !isCan(p) && !isIso(p));
}

bool fdLength(std::size_t n)
{
    return n <= 8 || n == 12 || n == 16 || n == 20 || n == 24 || n == 32 || n == 48 || n == 64;
}

std::uint32_t canId(const PASSTHRU_MSG& m)
{
    return (std::uint32_t(m.Data[0]) << 24) | (std::uint32_t(m.Data[1]) << 16) | (std::uint32_t(m.Data[2]) << 8)
        | m.Data[3];
}

// A message the application hands over for sending (WriteMsgs, StartPeriodicMsg).
long checkTx(const Channel& ch, const PASSTHRU_MSG& m, bool periodic, std::string* why)
{
    if (m.ProtocolID != ch.protocolId) {
        *why = "message ProtocolID " + hex(m.ProtocolID) + " on a channel of protocol " + hex(ch.protocolId);
        return ERR_MSG_PROTOCOL_ID;
    }
    if (m.DataSize > PASSTHRU_MSG_DATA_SIZE) {
        *why = "DataSize " + std::to_string(m.DataSize) + " is over 4128";
        return ERR_INVALID_MSG;
    }
    const bool ext = isIso(ch.protocolId) && (m.TxFlags & ISO15765_ADDR_TYPE);
    const std::size_t header = ext ? 5 : 4;
    const std::size_t size = m.DataSize;
    if (size < header) {
        *why = "DataSize " + std::to_string(size) + ": the message needs its " + std::to_string(header)
            + "-byte CAN identifier" + (ext ? " and address" : "");
        return ERR_INVALID_MSG;
    }
    const std::size_t payload = size - header;
    if (isCan(ch.protocolId)) {
        const bool ok = isFd(ch.protocolId) ? fdLength(payload) : payload <= 8;
        if (!ok) {
            *why = "DataSize " + std::to_string(size) + ": a CAN" + (isFd(ch.protocolId) ? " FD" : "")
                + " frame carries " + (isFd(ch.protocolId) ? "0-8, 12, 16, 20, 24, 32, 48 or 64" : "0 to 8")
                + " bytes after the identifier";
            return ERR_INVALID_MSG;
        }
    } else {
        const std::size_t max = periodic ? (isFd(ch.protocolId) ? 62 : 7) - (ext ? 1 : 0) : 4095;
        if (payload > max || (payload == 0 && !periodic)) {
            *why = "DataSize " + std::to_string(size) + ": an ISO15765 " + (periodic ? "periodic " : "")
                + "message carries 1 to " + std::to_string(max) + " bytes after the identifier";
            return ERR_INVALID_MSG;
        }
    }
    const bool extended = m.TxFlags & CAN_29BIT_ID;
    if (!(ch.flags & CAN_ID_BOTH) && extended != bool(ch.flags & CAN_29BIT_ID)) {
        *why = std::string(extended ? "29-bit" : "11-bit") + " identifier on a channel connected for "
            + (extended ? "11-bit" : "29-bit") + " identifiers";
        return ERR_INVALID_MSG;
    }
    const std::uint32_t id = canId(m);
    if (id > (extended ? 0x1FFFFFFFu : 0x7FFu)) {
        *why = "identifier " + hex(id) + " does not fit " + (extended ? "29" : "11") + " bits";
        return ERR_INVALID_MSG;
    }
    return STATUS_NOERROR;
}

passthru::Message toWire(const PASSTHRU_MSG& m)
{
    passthru::Message w;
    w.protocolId = static_cast<std::uint32_t>(m.ProtocolID);
    w.rxStatus = static_cast<std::uint32_t>(m.RxStatus);
    w.txFlags = static_cast<std::uint32_t>(m.TxFlags);
    w.timestamp = m.Timestamp;
    const std::size_t size = m.DataSize > PASSTHRU_MSG_DATA_SIZE ? PASSTHRU_MSG_DATA_SIZE : m.DataSize;
    w.extraDataIndex = static_cast<std::uint32_t>(m.ExtraDataIndex > size ? size : m.ExtraDataIndex);
    w.data.assign(m.Data, m.Data + size);
    return w;
}

void fromWire(const passthru::Message& w, PASSTHRU_MSG* m)
{
    m->ProtocolID = w.protocolId;
    m->RxStatus = w.rxStatus;
    m->TxFlags = w.txFlags;
    m->Timestamp = static_cast<unsigned long>(w.timestamp); // wraps with 32-bit longs, as the standard's field does
    m->DataSize = w.data.size();
    m->ExtraDataIndex = w.extraDataIndex > w.data.size() ? w.data.size() : w.extraDataIndex;
    if (!w.data.empty())
        std::memcpy(m->Data, w.data.data(), w.data.size());
}

// ---- Opening ---------------------------------------------------------------------
std::uint16_t defaultPort()
{
    const char* env = std::getenv("BW_PASSTHRU_PORT");
    if (env && *env) {
        char* end = nullptr;
        const unsigned long v = std::strtoul(env, &end, 10);
        if (end && *end == '\0' && v > 0 && v <= 65535)
            return static_cast<std::uint16_t>(v);
    }
    return passthru::kDefaultPort;
}

// Where pName leads: NULL or "" the published adapter, "IP", "IP:PORT", or
// the published adapter's serial number.
bool resolveName(const char* name, std::string* ip, std::uint16_t* port, std::string* why)
{
    *port = defaultPort();
    std::string text;
    if (name) {
        const void* end = std::memchr(name, '\0', 257);
        if (!end) {
            *why = "device name longer than 256 characters";
            return false;
        }
        text = name;
    }
    const auto colon = text.rfind(':');
    if (colon != std::string::npos) {
        const std::string p = text.substr(colon + 1);
        char* endp = nullptr;
        const unsigned long v = std::strtoul(p.c_str(), &endp, 10);
        if (p.empty() || !endp || *endp || v == 0 || v > 65535 || p[0] == '-' || p[0] == '+') {
            *why = "\"" + text + "\": the port is not a number from 1 to 65535";
            return false;
        }
        *port = static_cast<std::uint16_t>(v);
        text.resize(colon);
        if (!j2534::Socket::isIpv4(text)) {
            *why = "\"" + text + "\" is not an IPv4 address";
            return false;
        }
    }
    if (j2534::Socket::isIpv4(text)) {
        *ip = text;
        return true;
    }
    const blocks::PublishedAdapter published = blocks::readPublishedAdapter();
    if (text.empty()) {
        if (published.address.empty()) {
            *why = "no adapter selected: the Brindlewick service is not running or has no adapter";
            return false;
        }
        *ip = published.address;
        return true;
    }
    if (!published.serial.empty() && text == published.serial && !published.address.empty()) {
        *ip = published.address;
        return true;
    }
    *why = "no adapter named \"" + text + "\" (give an IP, IP:PORT or the selected adapter's serial)";
    return false;
}

#ifdef _WIN32
// Once a device is open the library stays loaded for the process's life: its
// receive threads must never run in unloaded code.
void pinLibrary()
{
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
        reinterpret_cast<LPCWSTR>(&pinLibrary), &self);
}
#endif

int replyWait()
{
    return j2534::kReplyMs + j2534::kGraceMs;
}

// Channel request helpers: an unknown channel, or the channel's device gone.
using Encoder = std::function<std::vector<std::uint8_t>(std::uint32_t)>;

long ioctlPairs(const std::string& call, const OpenChannel& oc, unsigned long ioctlId, SCONFIG_LIST* list, bool get)
{
    if (!list)
        return finish(call, ERR_NULL_PARAMETER, "pInput is NULL: GET_CONFIG and SET_CONFIG take an SCONFIG_LIST");
    if (list->NumOfParams > 0 && !list->ConfigPtr)
        return finish(call, ERR_NULL_PARAMETER, "the SCONFIG_LIST's ConfigPtr is NULL");
    if (list->NumOfParams > 1024)
        return finish(
            call, ERR_INVALID_IOCTL_VALUE, "NumOfParams " + std::to_string(list->NumOfParams) + " is over 1024");
    for (unsigned long i = 0; i < list->NumOfParams; i += passthru::kMaxIoctlPairs) {
        passthru::IoctlRequest req;
        req.channel = oc.channel->adapterId;
        req.ioctlId = static_cast<std::uint32_t>(ioctlId);
        const unsigned long end = std::min<unsigned long>(list->NumOfParams, i + passthru::kMaxIoctlPairs);
        for (unsigned long k = i; k < end; ++k) {
            const SCONFIG& c = list->ConfigPtr[k];
            if (c.Parameter > 0xFFFFFFFFul || (!get && c.Value > 0xFFFFFFFFul))
                return finish(call, ERR_INVALID_IOCTL_VALUE, "parameter " + hex(c.Parameter) + " value out of range");
            req.pairs.push_back(
                {static_cast<std::uint32_t>(c.Parameter), get ? 0u : static_cast<std::uint32_t>(c.Value)});
        }
        const Outcome o = oc.device->request(
            passthru::Type::Ioctl, [&](std::uint32_t tag) { return passthru::encodeIoctl(tag, req); }, replyWait());
        if (!o.ok())
            return finish(call, o);
        if (get) {
            if (o.reply.pairs.size() != req.pairs.size())
                return finish(call, ERR_FAILED, "the adapter answered GET_CONFIG with another number of parameters");
            for (unsigned long k = i; k < end; ++k)
                list->ConfigPtr[k].Value = o.reply.pairs[k - i].value;
        }
    }
    if (get && j2534::trace::active())
        for (unsigned long k = 0; k < list->NumOfParams; ++k)
            j2534::trace::line(
                "  " + hex(list->ConfigPtr[k].Parameter) + " = " + std::to_string(list->ConfigPtr[k].Value));
    return finish(call, STATUS_NOERROR);
}

// ReadMsgs and WriteMsgs: the call's trace text, the pointer checks and the
// channel. A status other than STATUS_NOERROR ends the call with it.
long messagesCall(const char* function, unsigned long ChannelID, const PASSTHRU_MSG* pMsg, unsigned long* pNumMsgs,
    unsigned long Timeout, std::string* call, OpenChannel* oc)
{
    *call = std::string(function) + "(ChannelID=" + std::to_string(ChannelID) + ", pMsg=" + ptr(pMsg) + ", *pNumMsgs="
        + (pNumMsgs ? std::to_string(*pNumMsgs) : std::string("NULL")) + ", Timeout=" + std::to_string(Timeout) + ")";
    if (!pMsg || !pNumMsgs)
        return finish(*call, ERR_NULL_PARAMETER, pMsg ? "pNumMsgs is NULL" : "pMsg is NULL");
    if (!findChannel(ChannelID, oc)) {
        *pNumMsgs = 0;
        return finish(*call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
    }
    return STATUS_NOERROR;
}

// StopPeriodicMsg and StopMsgFilter: one id on one channel, ended on the adapter.
long stopById(const char* function, unsigned long ChannelID, const char* idName, unsigned long id, passthru::Type type,
    long badId, const char* noun)
{
    const std::string call = std::string(function) + "(ChannelID=" + std::to_string(ChannelID) + ", " + idName + "="
        + std::to_string(id) + ")";
    OpenChannel oc;
    if (!findChannel(ChannelID, &oc))
        return finish(call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
    if (id > 0xFFFFFFFFul)
        return finish(call, badId, std::string("no ") + noun + " " + std::to_string(id));
    const passthru::StopRequest req{oc.channel->adapterId, static_cast<std::uint32_t>(id)};
    return finish(call,
        oc.device->request(
            type, [&](std::uint32_t tag) { return passthru::encodeStop(type, tag, req); }, replyWait()));
}

} // namespace

extern "C" {

PTEXPORT long PTAPI PassThruOpen(void* pName, unsigned long* pDeviceID)
{
    j2534::trace::sessionStarts();
    const char* name = static_cast<const char*>(pName);
    std::string call = "PassThruOpen(pName=";
    if (name) {
        const void* end = std::memchr(name, '\0', 257);
        call += end ? "\"" + std::string(name) + "\"" : std::string("(over 256 characters)");
    } else {
        call += "NULL";
    }
    call += ", pDeviceID=" + ptr(pDeviceID) + ")";
    const auto failed = [&](long status, const std::string& text) {
        const long r = finish(call, status, text);
        j2534::trace::sessionEnds();
        return r;
    };
    if (!pDeviceID)
        return failed(ERR_NULL_PARAMETER, "pDeviceID is NULL");
    std::string ip;
    std::uint16_t port = 0;
    std::string why;
    if (!resolveName(name, &ip, &port, &why))
        return failed(ERR_DEVICE_NOT_CONNECTED, why);

    Registry& r = registry();
    unsigned long id = 0;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        id = r.nextDevice++;
    }
    auto device = std::make_shared<Device>(id, ip, port);
    const Outcome o = device->open(
        "Brindlewick J2534 " BW_J2534_VERSION ", process " + std::to_string(platform::currentProcessId()));
    if (!o.ok()) {
        device->close();
        return failed(o.status, o.text);
    }
#ifdef _WIN32
    pinLibrary();
#endif
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.devices[id] = device;
    }
    *pDeviceID = id;
    call += " DeviceID=" + std::to_string(id) + " adapter " + device->name() + " firmware \"" + device->firmware()
        + "\"";
    return finish(call, STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruClose(unsigned long DeviceID)
{
    const std::string call = "PassThruClose(DeviceID=" + std::to_string(DeviceID) + ")";
    Registry& r = registry();
    std::shared_ptr<Device> device;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.devices.find(DeviceID);
        if (it != r.devices.end()) {
            device = it->second;
            r.devices.erase(it);
            for (auto c = r.channels.begin(); c != r.channels.end();)
                c = c->second.device == device ? r.channels.erase(c) : std::next(c);
        }
    }
    if (!device)
        return finish(call, ERR_INVALID_DEVICE_ID, noDevice(DeviceID));
    device->close();
    const long status = finish(call, STATUS_NOERROR);
    j2534::trace::sessionEnds();
    return status;
}

PTEXPORT long PTAPI PassThruConnect(unsigned long DeviceID, unsigned long ProtocolID, unsigned long Flags,
    unsigned long BaudRate, unsigned long* pChannelID)
{
    std::string call = "PassThruConnect(DeviceID=" + std::to_string(DeviceID) + ", ProtocolID=" + hex(ProtocolID)
        + ", Flags=" + hex(Flags) + ", BaudRate=" + std::to_string(BaudRate) + ", pChannelID=" + ptr(pChannelID) + ")";
    if (!pChannelID)
        return finish(call, ERR_NULL_PARAMETER, "pChannelID is NULL");
    const auto device = findDevice(DeviceID);
    if (!device)
        return finish(call, ERR_INVALID_DEVICE_ID, noDevice(DeviceID));
    if (!isCan(ProtocolID) && !isIso(ProtocolID)) {
        if (knownUnsupported(ProtocolID))
            return finish(call, ERR_NOT_SUPPORTED,
                "protocol " + hex(ProtocolID) + " is not supported: this adapter carries CAN and ISO15765 only");
        return finish(call, ERR_INVALID_PROTOCOL_ID, hex(ProtocolID) + " is no protocol");
    }
    if (Flags & ~static_cast<unsigned long>(CAN_29BIT_ID | CAN_ID_BOTH))
        return finish(call, ERR_INVALID_FLAGS,
            "Flags " + hex(Flags) + ": only CAN_29BIT_ID and CAN_ID_BOTH apply to CAN and ISO15765");
    if (BaudRate > 0xFFFFFFFFul)
        return finish(call, ERR_INVALID_BAUDRATE, "BaudRate " + std::to_string(BaudRate) + " is out of range");
    const passthru::ConnectRequest req{static_cast<std::uint32_t>(ProtocolID), static_cast<std::uint32_t>(Flags),
        static_cast<std::uint32_t>(BaudRate)};
    const Outcome o = device->request(
        passthru::Type::Connect, [&](std::uint32_t tag) { return passthru::encodeConnect(tag, req); }, replyWait());
    if (!o.ok())
        return finish(call, o);
    auto channel = std::make_shared<Channel>();
    channel->adapterId = o.reply.value;
    channel->protocolId = static_cast<std::uint32_t>(ProtocolID);
    channel->flags = static_cast<std::uint32_t>(Flags);
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (!r.devices.count(DeviceID))
            return finish(call, ERR_INVALID_DEVICE_ID, "the device was closed during the call");
        channel->id = r.nextChannel++;
        r.channels[channel->id] = {device, channel};
    }
    device->addChannel(channel);
    *pChannelID = channel->id;
    return finish(call + " ChannelID=" + std::to_string(channel->id), STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruDisconnect(unsigned long ChannelID)
{
    const std::string call = "PassThruDisconnect(ChannelID=" + std::to_string(ChannelID) + ")";
    OpenChannel oc;
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.channels.find(ChannelID);
        if (it == r.channels.end())
            return finish(call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
        oc = it->second;
        r.channels.erase(it);
    }
    const passthru::ChannelRequest req{oc.channel->adapterId};
    const Outcome o = oc.device->request(
        passthru::Type::Disconnect, [&](std::uint32_t tag) { return passthru::encodeDisconnect(tag, req); },
        replyWait());
    oc.device->removeChannel(oc.channel);
    return finish(call, o);
}

PTEXPORT long PTAPI PassThruReadMsgs(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pNumMsgs, unsigned long Timeout)
{
    std::string call;
    OpenChannel oc;
    if (const long refused = messagesCall("PassThruReadMsgs", ChannelID, pMsg, pNumMsgs, Timeout, &call, &oc))
        return refused;
    const unsigned long wanted = *pNumMsgs;
    if (wanted == 0)
        return finish(call, STATUS_NOERROR);
    Device::Taken taken = oc.device->take(*oc.channel, wanted, Timeout);
    for (std::size_t i = 0; i < taken.messages.size(); ++i)
        fromWire(taken.messages[i], &pMsg[i]);
    *pNumMsgs = static_cast<unsigned long>(taken.messages.size());
    call += " read " + std::to_string(*pNumMsgs);
    if (j2534::trace::active())
        for (std::size_t i = 0; i < taken.messages.size(); ++i)
            j2534::trace::line("  RX " + describe(pMsg[i]));
    return finish(call, taken.status, taken.text);
}

PTEXPORT long PTAPI PassThruWriteMsgs(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pNumMsgs, unsigned long Timeout)
{
    std::string call;
    OpenChannel oc;
    if (const long refused = messagesCall("PassThruWriteMsgs", ChannelID, pMsg, pNumMsgs, Timeout, &call, &oc))
        return refused;
    const unsigned long count = *pNumMsgs;
    if (j2534::trace::active())
        for (unsigned long i = 0; i < count && i < 4096; ++i)
            j2534::trace::line("  TX " + describe(pMsg[i]));
    for (unsigned long i = 0; i < count; ++i) {
        std::string why;
        const long s = checkTx(*oc.channel, pMsg[i], false, &why);
        if (s != STATUS_NOERROR) {
            *pNumMsgs = 0;
            return finish(call, s, "message " + std::to_string(i) + ": " + why);
        }
    }
    if (Timeout > 0xFFFFFFFFul - 1000)
        Timeout = 0xFFFFFFFFul - 1000;
    // Frames of at most 64 messages and 16384 bytes; the time-out covers the whole call.
    const auto start = std::chrono::steady_clock::now();
    unsigned long sent = 0;
    while (sent < count) {
        passthru::WriteRequest req;
        req.channel = oc.channel->adapterId;
        std::size_t bytes = passthru::kHeaderSize + 10;
        while (sent + req.messages.size() < count && req.messages.size() < passthru::kMaxMessagesPerFrame) {
            passthru::Message m = toWire(pMsg[sent + req.messages.size()]);
            if (bytes + passthru::messageWireSize(m) > 4 + passthru::kMaxLength)
                break;
            bytes += passthru::messageWireSize(m);
            req.messages.push_back(std::move(m));
        }
        const auto spent = static_cast<unsigned long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        req.timeoutMs = Timeout == 0 ? 0 : static_cast<std::uint32_t>(Timeout > spent ? Timeout - spent : 1);
        const Outcome o = oc.device->request(
            passthru::Type::Write, [&](std::uint32_t tag) { return passthru::encodeWrite(tag, req); },
            static_cast<int>(std::min<unsigned long>(req.timeoutMs, 0x7FFF0000ul)) + replyWait());
        if (!o.ok()) {
            if (o.status == ERR_TIMEOUT)
                sent += std::min<unsigned long>(o.reply.value, static_cast<unsigned long>(req.messages.size()));
            *pNumMsgs = sent;
            return finish(call + " sent " + std::to_string(sent), o);
        }
        sent += static_cast<unsigned long>(req.messages.size());
    }
    *pNumMsgs = sent;
    return finish(call, STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruStartPeriodicMsg(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pMsgID, unsigned long TimeInterval)
{
    std::string call = "PassThruStartPeriodicMsg(ChannelID=" + std::to_string(ChannelID) + ", pMsg=" + ptr(pMsg)
        + ", pMsgID=" + ptr(pMsgID) + ", TimeInterval=" + std::to_string(TimeInterval) + ")";
    if (!pMsg || !pMsgID)
        return finish(call, ERR_NULL_PARAMETER, pMsg ? "pMsgID is NULL" : "pMsg is NULL");
    if (j2534::trace::active())
        j2534::trace::line("  TX " + describe(*pMsg));
    OpenChannel oc;
    if (!findChannel(ChannelID, &oc))
        return finish(call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
    if (TimeInterval < passthru::kMinPeriodMs || TimeInterval > passthru::kMaxPeriodMs)
        return finish(call, ERR_INVALID_TIME_INTERVAL,
            "TimeInterval " + std::to_string(TimeInterval) + " ms is outside 5 to 65535 ms");
    std::string why;
    const long s = checkTx(*oc.channel, *pMsg, true, &why);
    if (s != STATUS_NOERROR)
        return finish(call, s, why);
    const passthru::StartPeriodicRequest req{
        oc.channel->adapterId, static_cast<std::uint32_t>(TimeInterval), toWire(*pMsg)};
    const Outcome o = oc.device->request(
        passthru::Type::StartPeriodic, [&](std::uint32_t tag) { return passthru::encodeStartPeriodic(tag, req); },
        replyWait());
    if (!o.ok())
        return finish(call, o);
    *pMsgID = o.reply.value;
    return finish(call + " MsgID=" + std::to_string(o.reply.value), STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruStopPeriodicMsg(unsigned long ChannelID, unsigned long MsgID)
{
    return stopById("PassThruStopPeriodicMsg", ChannelID, "MsgID", MsgID, passthru::Type::StopPeriodic,
        ERR_INVALID_MSG_ID, "periodic message");
}

PTEXPORT long PTAPI PassThruStartMsgFilter(unsigned long ChannelID, unsigned long FilterType, PASSTHRU_MSG* pMaskMsg,
    PASSTHRU_MSG* pPatternMsg, PASSTHRU_MSG* pFlowControlMsg, unsigned long* pFilterID)
{
    std::string call = "PassThruStartMsgFilter(ChannelID=" + std::to_string(ChannelID) + ", FilterType="
        + std::to_string(FilterType) + ", pMaskMsg=" + ptr(pMaskMsg) + ", pPatternMsg=" + ptr(pPatternMsg)
        + ", pFlowControlMsg=" + ptr(pFlowControlMsg) + ", pFilterID=" + ptr(pFilterID) + ")";
    if (!pMaskMsg || !pPatternMsg || !pFilterID)
        return finish(call, ERR_NULL_PARAMETER,
            !pMaskMsg          ? "pMaskMsg is NULL"
                : !pPatternMsg ? "pPatternMsg is NULL"
                               : "pFilterID is NULL");
    if (FilterType == FLOW_CONTROL_FILTER && !pFlowControlMsg)
        return finish(call, ERR_NULL_PARAMETER, "pFlowControlMsg is NULL for a FLOW_CONTROL_FILTER");
    if (j2534::trace::active()) {
        j2534::trace::line("  mask " + describe(*pMaskMsg));
        j2534::trace::line("  pattern " + describe(*pPatternMsg));
        if (FilterType == FLOW_CONTROL_FILTER)
            j2534::trace::line("  flow control " + describe(*pFlowControlMsg));
    }
    OpenChannel oc;
    if (!findChannel(ChannelID, &oc))
        return finish(call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
    const Channel& ch = *oc.channel;
    if (FilterType != PASS_FILTER && FilterType != BLOCK_FILTER && FilterType != FLOW_CONTROL_FILTER)
        return finish(call, ERR_FAILED, "FilterType " + std::to_string(FilterType) + " is no filter type");
    if (FilterType == FLOW_CONTROL_FILTER && !isIso(ch.protocolId))
        return finish(call, ERR_INVALID_MSG, "flow-control filters are for ISO15765 channels only");
    const bool fc = FilterType == FLOW_CONTROL_FILTER;
    for (const PASSTHRU_MSG* m : {pMaskMsg, pPatternMsg, fc ? pFlowControlMsg : nullptr}) {
        if (!m)
            continue;
        if (m->ProtocolID != ch.protocolId)
            return finish(call, ERR_MSG_PROTOCOL_ID,
                "filter message ProtocolID " + hex(m->ProtocolID) + " on a channel of protocol " + hex(ch.protocolId));
        const std::size_t header = isIso(ch.protocolId) && (m->TxFlags & ISO15765_ADDR_TYPE) ? 5 : 4;
        const std::size_t max = isFd(ch.protocolId) ? 68 : 12;
        if (fc ? m->DataSize != header : (m->DataSize < 1 || m->DataSize > max))
            return finish(call, ERR_INVALID_MSG,
                "filter message DataSize " + std::to_string(m->DataSize)
                    + (fc ? " (a flow-control filter's messages are the " + std::to_string(header) + "-byte identifier)"
                          : " (1 to " + std::to_string(max) + ")"));
    }
    if (pMaskMsg->DataSize != pPatternMsg->DataSize)
        return finish(call, ERR_INVALID_MSG, "mask and pattern differ in DataSize");
    passthru::StartFilterRequest req{
        ch.adapterId, static_cast<std::uint32_t>(FilterType), toWire(*pMaskMsg), toWire(*pPatternMsg), std::nullopt};
    if (fc)
        req.flowControl = toWire(*pFlowControlMsg);
    const Outcome o = oc.device->request(
        passthru::Type::StartFilter, [&](std::uint32_t tag) { return passthru::encodeStartFilter(tag, req); },
        replyWait());
    if (!o.ok())
        return finish(call, o);
    *pFilterID = o.reply.value;
    return finish(call + " FilterID=" + std::to_string(o.reply.value), STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruStopMsgFilter(unsigned long ChannelID, unsigned long FilterID)
{
    return stopById("PassThruStopMsgFilter", ChannelID, "FilterID", FilterID, passthru::Type::StopFilter,
        ERR_INVALID_FILTER_ID, "filter");
}

PTEXPORT long PTAPI PassThruSetProgrammingVoltage(
    unsigned long DeviceID, unsigned long PinNumber, unsigned long Voltage)
{
    const std::string call = "PassThruSetProgrammingVoltage(DeviceID=" + std::to_string(DeviceID)
        + ", PinNumber=" + std::to_string(PinNumber) + ", Voltage=" + hex(Voltage) + ")";
    if (!findDevice(DeviceID))
        return finish(call, ERR_INVALID_DEVICE_ID, noDevice(DeviceID));
    return finish(call, ERR_NOT_SUPPORTED, "this adapter has no programming voltage output");
}

PTEXPORT long PTAPI PassThruReadVersion(
    unsigned long DeviceID, char* pFirmwareVersion, char* pDllVersion, char* pApiVersion)
{
    const std::string call = "PassThruReadVersion(DeviceID=" + std::to_string(DeviceID) + ", pFirmwareVersion="
        + ptr(pFirmwareVersion) + ", pDllVersion=" + ptr(pDllVersion) + ", pApiVersion=" + ptr(pApiVersion) + ")";
    if (!pFirmwareVersion || !pDllVersion || !pApiVersion)
        return finish(call, ERR_NULL_PARAMETER,
            !pFirmwareVersion  ? "pFirmwareVersion is NULL"
                : !pDllVersion ? "pDllVersion is NULL"
                               : "pApiVersion is NULL");
    const auto device = findDevice(DeviceID);
    if (!device)
        return finish(call, ERR_INVALID_DEVICE_ID, noDevice(DeviceID));
    const Outcome o = device->request(
        passthru::Type::Version, [](std::uint32_t tag) { return passthru::encodeVersion(tag); }, replyWait());
    if (!o.ok())
        return finish(call, o);
    copyText(pFirmwareVersion, o.reply.firmwareVersion);
    copyText(pDllVersion, BW_J2534_VERSION);
    copyText(pApiVersion, "04.04");
    return finish(
        call + " firmware \"" + o.reply.firmwareVersion + "\" library " BW_J2534_VERSION " API 04.04", STATUS_NOERROR);
}

PTEXPORT long PTAPI PassThruGetLastError(char* pErrorDescription)
{
    if (!pErrorDescription)
        return finish("PassThruGetLastError(pErrorDescription=NULL)", ERR_NULL_PARAMETER, "pErrorDescription is NULL");
    copyText(pErrorDescription, t_lastError);
    return STATUS_NOERROR;
}

PTEXPORT long PTAPI PassThruIoctl(unsigned long ChannelID, unsigned long IoctlID, void* pInput, void* pOutput)
{
    const std::string call = "PassThruIoctl(ChannelID=" + std::to_string(ChannelID) + ", IoctlID=" + hex(IoctlID)
        + ", pInput=" + ptr(pInput) + ", pOutput=" + ptr(pOutput) + ")";
    switch (IoctlID) {
    case READ_VBATT: {
        // ChannelID is the DeviceID here, as the standard has it.
        if (!pOutput)
            return finish(call, ERR_NULL_PARAMETER, "pOutput is NULL: READ_VBATT writes an unsigned long");
        const auto device = findDevice(ChannelID);
        if (!device)
            return finish(call, ERR_INVALID_DEVICE_ID, noDevice(ChannelID));
        const passthru::IoctlRequest req{0, READ_VBATT, {}};
        const Outcome o = device->request(
            passthru::Type::Ioctl, [&](std::uint32_t tag) { return passthru::encodeIoctl(tag, req); }, replyWait());
        if (!o.ok())
            return finish(call, o);
        if (o.reply.pairs.size() != 1)
            return finish(call, ERR_FAILED, "the adapter's READ_VBATT answer holds no voltage");
        *static_cast<unsigned long*>(pOutput) = o.reply.pairs[0].value;
        return finish(call + " " + std::to_string(o.reply.pairs[0].value) + " mV", STATUS_NOERROR);
    }
    case READ_PROG_VOLTAGE:
        return finish(call, ERR_NOT_SUPPORTED, "this adapter has no programming voltage output");
    case FIVE_BAUD_INIT:
    case FAST_INIT:
        return finish(call, ERR_NOT_SUPPORTED, "K-line initialisation is not supported: this adapter has no K-line");
    case CLEAR_FUNCT_MSG_LOOKUP_TABLE:
    case ADD_TO_FUNCT_MSG_LOOKUP_TABLE:
    case DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE:
        return finish(call, ERR_NOT_SUPPORTED, "functional message tables belong to J1850, which is not supported");
    case GET_CONFIG:
    case SET_CONFIG:
    case CLEAR_TX_BUFFER:
    case CLEAR_RX_BUFFER:
    case CLEAR_PERIODIC_MSGS:
    case CLEAR_MSG_FILTERS:
        break;
    default:
        return finish(call, ERR_INVALID_IOCTL_ID, "IoctlID " + hex(IoctlID) + " is no ioctl");
    }
    OpenChannel oc;
    if (!findChannel(ChannelID, &oc))
        return finish(call, ERR_INVALID_CHANNEL_ID, noChannel(ChannelID));
    if (IoctlID == GET_CONFIG || IoctlID == SET_CONFIG)
        return ioctlPairs(call, oc, IoctlID, static_cast<SCONFIG_LIST*>(pInput), IoctlID == GET_CONFIG);
    const passthru::IoctlRequest req{oc.channel->adapterId, static_cast<std::uint32_t>(IoctlID), {}};
    std::function<void()> onReply;
    if (IoctlID == CLEAR_RX_BUFFER) {
        // Emptied on the receive thread as the reply arrives: what the adapter
        // sent before it cleared goes too, what it receives afterwards stays.
        Channel* ch = oc.channel.get();
        onReply = [ch] {
            ch->queue.clear();
            ch->queuedBytes = 0;
            ch->lostHere = 0;
            ch->lostAdapter = 0;
        };
    }
    return finish(call,
        oc.device->request(
            passthru::Type::Ioctl, [&](std::uint32_t tag) { return passthru::encodeIoctl(tag, req); }, replyWait(),
            onReply));
}

} // extern "C"
