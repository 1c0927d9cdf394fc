#include "MT7628Config.h"

#include "Mt7628Protocol.h"
#include "Transport.h"

#include <algorithm>
#include <cstring>

namespace {

int clampMs(int ms)
{
    return std::clamp(ms, 1, 10000);
}

Json::Value request(const char* op)
{
    Json::Value r(Json::objectValue);
    r["op"] = op;
    return r;
}

std::string text(const char* s)
{
    return s ? std::string(s) : std::string();
}

} // namespace

MT7628Config::MT7628Config()
    : m_connectTimeoutMs(1500)
    , m_replyTimeoutMs(3000)
    , m_port(0)
    , m_uploadIdleMs(10000)
    , m_writeWaitMs(120000)
{
}

MT7628Config::~MT7628Config() = default;

void MT7628Config::setTimeouts(int connectMs, int replyMs)
{
    m_connectTimeoutMs = clampMs(connectMs);
    m_replyTimeoutMs = clampMs(replyMs);
}

void MT7628Config::setUploadTimeouts(int idleMs, int writeWaitMs)
{
    m_uploadIdleMs = std::clamp(idleMs, 100, 60000);
    m_writeWaitMs = std::clamp(writeWaitMs, 100, 600000);
}

void MT7628Config::setPort(int port)
{
    m_port = (port > 0 && port < 65536) ? port : 0;
}

int MT7628Config::port() const
{
    return m_port > 0 ? m_port : mt7628::defaultPort();
}

// One exchange; true only for a well-formed reply whose "ok" is true.
static bool exchange(const MT7628Config& self, int connectMs, int replyMs, const std::string& ip,
    const Json::Value& req, Json::Value& reply)
{
    mt7628::CallOptions options;
    options.port = self.port();
    options.connectTimeoutMs = connectMs;
    options.replyTimeoutMs = replyMs;
    if (!mt7628::call(ip, req, reply, options))
        return false;
    return mt7628::replyOk(reply);
}

#define EXCHANGE(ip, req, reply) exchange(*this, m_connectTimeoutMs, m_replyTimeoutMs, (ip), (req), (reply))

bool MT7628Config::RebootVci(const char* ip)
{
    Json::Value reply;
    return EXCHANGE(text(ip), request(mt7628::op::kReboot), reply);
}

bool MT7628Config::RequestBuzz(const char* ip)
{
    Json::Value reply;
    return EXCHANGE(text(ip), request(mt7628::op::kBuzz), reply);
}

bool MT7628Config::Contact_occupancy(const char* ip)
{
    Json::Value reply;
    return EXCHANGE(text(ip), request(mt7628::op::kRelease), reply);
}

bool MT7628Config::GetRemoteKey(const char* serial, std::string ip, std::string& key)
{
    Json::Value req = request(mt7628::op::kGetRemoteKey);
    req["serial"] = text(serial);
    Json::Value reply;
    std::string value;
    if (!EXCHANGE(ip, req, reply) || !mt7628::getString(reply, "key", value))
        return false;
    key = value;
    return true;
}

bool MT7628Config::SetRemoteKey(const char* serial, std::string ip, std::string key)
{
    Json::Value req = request(mt7628::op::kSetRemoteKey);
    req["serial"] = text(serial);
    req["key"] = key;
    Json::Value reply;
    return EXCHANGE(ip, req, reply);
}

bool MT7628Config::GetENET(const char* ip)
{
    Json::Value reply;
    bool on = false;
    return EXCHANGE(text(ip), request(mt7628::op::kGetEnet), reply) && mt7628::getBool(reply, "on", on) && on;
}

bool MT7628Config::SetENET(const char* ip, bool on)
{
    Json::Value req = request(mt7628::op::kSetEnet);
    req["on"] = on;
    Json::Value reply;
    return EXCHANGE(text(ip), req, reply);
}

std::vector<survey_table> MT7628Config::get_ap_list(const std::string& ip)
{
    std::vector<survey_table> list;
    Json::Value reply;
    if (!EXCHANGE(ip, request(mt7628::op::kApList), reply))
        return list;
    const Json::Value& aps = reply["aps"];
    if (!aps.isArray())
        return list;
    for (const Json::Value& ap : aps) {
        std::string ssid;
        if (!mt7628::getString(ap, "ssid", ssid))
            continue; // an entry without a name is of no use to anyone
        survey_table entry;
        std::memset(&entry, 0, sizeof entry);
        mt7628::copyField(entry.ssid, sizeof entry.ssid, ssid);
        mt7628::copyMember(ap, "bssid", entry.bssid);
        mt7628::copyMember(ap, "security", entry.security);
        mt7628::copyMember(ap, "mode", entry.wireless_mode);
        std::int32_t n = 0;
        if (mt7628::getInt(ap, "channel", n))
            entry.channel = static_cast<std::int16_t>(std::clamp(n, 0, 255));
        if (mt7628::getInt(ap, "signal", n))
            entry.signal = static_cast<std::int16_t>(std::clamp(n, 0, 100));
        if (mt7628::getInt(ap, "rssi", n))
            entry.rssi = static_cast<std::int16_t>(std::clamp(n, -150, 0));
        list.push_back(entry);
    }
    return list;
}

apclient_info MT7628Config::get_ap_info(const std::string& ip)
{
    apclient_info info;
    std::memset(&info, 0, sizeof info);
    Json::Value reply;
    bool joined = false;
    if (!EXCHANGE(ip, request(mt7628::op::kApInfo), reply) || !mt7628::getBool(reply, "joined", joined) || !joined)
        return info;
    mt7628::copyMember(reply, "ssid", info.ssid);
    mt7628::copyMember(reply, "bssid", info.bssid);
    mt7628::copyMember(reply, "security", info.security);
    mt7628::copyMember(reply, "ip", info.ip);
    std::int32_t n = 0;
    if (mt7628::getInt(reply, "channel", n))
        info.channel = n;
    if (mt7628::getInt(reply, "signal", n))
        info.signal = std::clamp(n, 0, 100);
    return info;
}

bool MT7628Config::get_client_status(const std::string& ip)
{
    Json::Value reply;
    bool joined = false;
    return EXCHANGE(ip, request(mt7628::op::kClientStatus), reply) && mt7628::getBool(reply, "joined", joined)
        && joined;
}

std::string MT7628Config::connect_to_ap(const std::string& ip, const std::string& name, const std::string& password)
{
    Json::Value req = request(mt7628::op::kConnectAp);
    req["ssid"] = name;
    req["password"] = password;
    Json::Value reply;
    mt7628::CallOptions options;
    options.port = port();
    options.connectTimeoutMs = m_connectTimeoutMs;
    options.replyTimeoutMs = m_replyTimeoutMs;
    bool ok = false;
    // A reply without a boolean "ok" is no answer at all.
    if (!mt7628::call(ip, req, reply, options) || !mt7628::getBool(reply, "ok", ok))
        return {};
    std::string message;
    if (ok)
        return mt7628::getString(reply, "message", message) && !message.empty() ? message : std::string("OK");
    return mt7628::getString(reply, "error", message) && !message.empty() ? message : std::string("failed");
}

std::string MT7628Config::KillExe(const std::string& ip)
{
    Json::Value reply;
    std::string message;
    if (!EXCHANGE(ip, request(mt7628::op::kKillExe), reply))
        return {};
    return mt7628::getString(reply, "message", message) ? message : std::string("OK");
}

bool MT7628Config::Config_reset(const std::string& ip)
{
    Json::Value reply;
    return EXCHANGE(ip, request(mt7628::op::kConfigReset), reply);
}

bool MT7628Config::Set_Wifi_Info(const std::string& ip, const std::string& name, const std::string& password)
{
    Json::Value req = request(mt7628::op::kSetWifi);
    req["name"] = name;
    req["password"] = password;
    Json::Value reply;
    return EXCHANGE(ip, req, reply);
}

std::string MT7628Config::Get_Wifi_Info(const std::string& ip)
{
    Json::Value reply;
    std::string name;
    std::string password;
    if (!EXCHANGE(ip, request(mt7628::op::kGetWifi), reply) || !mt7628::getString(reply, "name", name))
        return {};
    if (name.empty())
        return {};
    mt7628::getString(reply, "password", password);
    return name + kWifiInfoSeparator + password;
}

bool MT7628Config::GetVciStatus(const std::string& ip, vci_status& out)
{
    Json::Value reply;
    if (!EXCHANGE(ip, request(mt7628::op::kStatus), reply))
        return false;
    vci_status s;
    // The serial identifies the adapter: without it the answer is useless.
    if (!mt7628::getString(reply, "serial", s.serial) || s.serial.empty())
        return false;
    mt7628::getString(reply, "softVer", s.softVer);
    mt7628::getString(reply, "firmwareVersion", s.firmwareVersion);
    mt7628::getString(reply, "dllVersion", s.dllVersion);
    mt7628::getString(reply, "portNumber", s.portNumber);
    mt7628::getString(reply, "key", s.key);
    mt7628::getString(reply, "ip", s.ip);
    mt7628::getString(reply, "connType", s.connType);
    mt7628::getUInt(reply, "status", s.status);
    mt7628::getUInt(reply, "vbatt", s.vbatt);
    mt7628::getBool(reply, "bootloader", s.bootloader);
    out = std::move(s);
    return true;
}

bool MT7628Config::SetMode(const std::string& ip, const std::string& mode)
{
    Json::Value req = request(mt7628::op::kSetMode);
    req["mode"] = mode;
    Json::Value reply;
    return EXCHANGE(ip, req, reply);
}

std::string MT7628Config::GetMode(const std::string& ip)
{
    Json::Value reply;
    std::string mode;
    if (!EXCHANGE(ip, request(mt7628::op::kGetMode), reply) || !mt7628::getString(reply, "mode", mode))
        return {};
    return mode;
}
