#include "EmulatedAdapter.h"

#include "firmware/FirmwareImage.h"

#include <cstdio>

namespace vciemu {

namespace {

std::string numbered(const char* format, int a, int b)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, format, a, b);
    return buf;
}

} // namespace

EmulatedAdapter::EmulatedAdapter(AdapterState state)
    : m_state(std::move(state))
{
    if (m_state.wifiName.empty())
        resetWifi();
}

std::string EmulatedAdapter::defaultSerial(int index)
{
    const int n = index % 10000;
    switch (index % 4) {
    case 3: // an "M5EC" unit without the family code in its serial
        return numbered("M5EC7%03dQA2%05d", n % 1000, n);
    case 0: // another make's adapter
        return numbered("BWV%05dGEN%05d", n, n);
    default: // key programmer: "M5E" + 5 + "XJ7" + 5
        return numbered("M5EA%04dXJ7B%04d", n, n);
    }
}

std::string EmulatedAdapter::defaultConnType(int index)
{
    static const char* kinds[] = {"USB", "RJ45", "WIFI", "ROUTE"};
    return kinds[(index - 1) % 4];
}

std::vector<AccessPoint> EmulatedAdapter::defaultAccessPoints()
{
    return {
        {"Workshop-5G", "a4:2b:b0:11:22:01", "WPA2PSK/AES", "11a/n/ac", "garage2024", 36, 82, -48},
        {"HOME-8F21", "c8:3a:35:8f:21:02", "WPA2PSK/AES", "11b/g/n", "h0me8f21pass", 6, 64, -61},
        {"Brindlewick-Guest", "00:1d:7e:33:44:03", "NONE", "11b/g/n", "", 11, 40, -74},
    };
}

void EmulatedAdapter::resetWifi()
{
    const std::string& sn = m_state.serial;
    m_state.wifiName = "Kestrix_" + (sn.size() >= 4 ? sn.substr(sn.size() - 4) : sn);
    m_state.wifiPassword = "12345678";
    m_state.joined = false;
    m_state.joinedSsid.clear();
    m_state.clientIp.clear();
}

Json::Value EmulatedAdapter::status() const
{
    Json::Value r = mt7628::okReply();
    r["serial"] = m_state.serial;
    r["softVer"] = m_state.softVer;
    r["firmwareVersion"] = m_state.bootloader ? m_state.bootFirmwareVersion : m_state.firmwareVersion;
    r["dllVersion"] = m_state.dllVersion;
    r["portNumber"] = m_state.portNumber;
    r["key"] = m_state.key;
    r["ip"] = m_state.ip;
    r["connType"] = m_state.connType;
    r["status"] = m_state.bootloader ? 0u : m_state.status;
    r["vbatt"] = m_state.vbatt;
    r["bootloader"] = m_state.bootloader;
    r["mode"] = m_state.mode;
    return r;
}

Json::Value EmulatedAdapter::connect(const Json::Value& request)
{
    std::string ssid;
    std::string password;
    if (!mt7628::getString(request, "ssid", ssid) || ssid.empty())
        return mt7628::errorReply("missing ssid");
    if (!mt7628::getString(request, "password", password))
        return mt7628::errorReply("missing password");
    for (const AccessPoint& ap : m_state.accessPoints) {
        if (ap.ssid != ssid)
            continue;
        // The join is sent either way; whether it took is read back with
        // client_status / ap_info, as on the real module.
        const bool accepted = ap.security == "NONE" || ap.password == password;
        m_state.joined = accepted;
        m_state.joinedSsid = accepted ? ssid : std::string();
        m_state.clientIp = accepted ? "192.168.1." + std::to_string(100 + m_state.index % 100) : std::string();
        Json::Value r = mt7628::okReply();
        r["message"] = "OK";
        return r;
    }
    return mt7628::errorReply("no such access point");
}

Json::Value EmulatedAdapter::handle(const Json::Value& request, bool& rebootRequested)
{
    rebootRequested = false;
    ++m_state.requestCount;
    std::string op;
    if (!mt7628::getString(request, "op", op))
        return mt7628::errorReply("missing op");

    if (op == mt7628::op::kStatus)
        return status();
    if (op == mt7628::op::kReboot) {
        ++m_state.rebootCount;
        rebootRequested = true;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kBuzz) {
        ++m_state.buzzCount;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kRelease) {
        ++m_state.releaseCount;
        if (m_state.status == 2)
            m_state.status = 1;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kGetRemoteKey || op == mt7628::op::kSetRemoteKey) {
        std::string serial;
        if (!mt7628::getString(request, "serial", serial))
            return mt7628::errorReply("missing serial");
        if (serial != m_state.serial)
            return mt7628::errorReply("serial mismatch");
        if (op == mt7628::op::kGetRemoteKey) {
            Json::Value r = mt7628::okReply();
            r["key"] = m_state.remoteSupported ? m_state.remoteKey : std::string("NotSupported");
            return r;
        }
        std::string key;
        if (!mt7628::getString(request, "key", key))
            return mt7628::errorReply("missing key");
        if (!m_state.remoteSupported)
            return mt7628::errorReply("remote diagnosis not supported");
        if (key.size() > 15)
            return mt7628::errorReply("key too long");
        m_state.remoteKey = key;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kGetEnet) {
        Json::Value r = mt7628::okReply();
        r["on"] = m_state.enet;
        return r;
    }
    if (op == mt7628::op::kSetEnet) {
        bool on = false;
        if (!mt7628::getBool(request, "on", on))
            return mt7628::errorReply("missing on");
        m_state.enet = on;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kApList) {
        Json::Value r = mt7628::okReply();
        Json::Value aps(Json::arrayValue);
        for (const AccessPoint& ap : m_state.accessPoints) {
            Json::Value a(Json::objectValue);
            a["ssid"] = ap.ssid;
            a["bssid"] = ap.bssid;
            a["security"] = ap.security;
            a["mode"] = ap.mode;
            a["channel"] = ap.channel;
            a["signal"] = ap.signal;
            a["rssi"] = ap.rssi;
            aps.append(a);
        }
        r["aps"] = aps;
        return r;
    }
    if (op == mt7628::op::kApInfo) {
        Json::Value r = mt7628::okReply();
        r["joined"] = m_state.joined;
        if (m_state.joined) {
            r["ssid"] = m_state.joinedSsid;
            r["ip"] = m_state.clientIp;
            for (const AccessPoint& ap : m_state.accessPoints) {
                if (ap.ssid == m_state.joinedSsid) {
                    r["bssid"] = ap.bssid;
                    r["security"] = ap.security;
                    r["channel"] = ap.channel;
                    r["signal"] = ap.signal;
                }
            }
        }
        return r;
    }
    if (op == mt7628::op::kClientStatus) {
        Json::Value r = mt7628::okReply();
        r["joined"] = m_state.joined;
        return r;
    }
    if (op == mt7628::op::kConnectAp)
        return connect(request);
    if (op == mt7628::op::kKillExe) {
        ++m_state.killExeCount;
        Json::Value r = mt7628::okReply();
        r["message"] = "OK";
        return r;
    }
    if (op == mt7628::op::kConfigReset) {
        resetWifi();
        return mt7628::okReply();
    }
    if (op == mt7628::op::kSetWifi) {
        std::string name;
        std::string password;
        if (!mt7628::getString(request, "name", name) || !mt7628::getString(request, "password", password))
            return mt7628::errorReply("missing name or password");
        if (name.empty() || name.size() > 32)
            return mt7628::errorReply("name must have 1 to 32 bytes");
        if (password.size() < 8 || password.size() > 63)
            return mt7628::errorReply("password must have 8 to 63 bytes");
        m_state.wifiName = name;
        m_state.wifiPassword = password;
        return mt7628::okReply();
    }
    if (op == mt7628::op::kGetWifi) {
        Json::Value r = mt7628::okReply();
        r["name"] = m_state.wifiName;
        r["password"] = m_state.wifiPassword;
        return r;
    }
    if (op == mt7628::op::kGetMode) {
        Json::Value r = mt7628::okReply();
        r["mode"] = m_state.mode;
        return r;
    }
    if (op == mt7628::op::kSetMode) {
        std::string mode;
        if (!mt7628::getString(request, "mode", mode))
            return mt7628::errorReply("missing mode");
        if (!mt7628::isModeName(mode))
            return mt7628::errorReply("unknown mode");
        if (m_state.bootloader)
            return mt7628::errorReply("no mode change in the boot loader");
        ++m_state.modeCount;
        m_state.mode = mode;
        return mt7628::okReply();
    }
    return mt7628::errorReply("unknown operation");
}

std::string& EmulatedAdapter::versionOf(mt7628::ImageKind kind)
{
    switch (kind) {
    case mt7628::ImageKind::System:
        return m_state.softVer;
    case mt7628::ImageKind::Application:
        return m_state.dllVersion;
    case mt7628::ImageKind::Can:
        break;
    }
    return m_state.firmwareVersion;
}

std::string EmulatedAdapter::typeNameOf(mt7628::ImageKind kind) const
{
    // A key programmer's serial: "M5E", 5 characters, "XJ7", 5 characters.
    const std::string& sn = m_state.serial;
    const bool keyProgrammer = sn.size() == 16 && sn.compare(0, 3, "M5E") == 0 && sn.compare(8, 3, "XJ7") == 0;
    const std::string shown = m_state.bootloader ? m_state.bootFirmwareVersion : m_state.firmwareVersion;
    const firmware::TypeNames names = firmware::firmwareTypeNames(shown, m_state.portNumber, keyProgrammer);
    return names.of(static_cast<firmware::Image>(static_cast<int>(kind)));
}

Json::Value EmulatedAdapter::beginUpload(
    const Json::Value& request, bool busy, mt7628::ImageKind& kind, std::uint32_t& length)
{
    ++m_state.requestCount;
    std::string why;
    if (!mt7628::parseUploadBegin(request, kind, length, &why))
        return mt7628::errorReply(why);
    if (busy)
        return mt7628::errorReply("busy: another upload is in progress");
    if (typeNameOf(kind).empty())
        return mt7628::errorReply(std::string("this adapter takes no ") + mt7628::imageKindName(kind) + " image");
    if (length > kMaxImageBytes)
        return mt7628::errorReply("image too large: at most " + std::to_string(kMaxImageBytes) + " bytes");
    ++m_state.uploadCount;
    Json::Value r = mt7628::okReply();
    r["window"] = kUploadWindow;
    return r;
}

Json::Value EmulatedAdapter::checkUpload(mt7628::ImageKind kind, const std::vector<unsigned char>& image) const
{
    const firmware::Check check = firmware::checkImage(image.data(), image.size(), typeNameOf(kind));
    if (check != firmware::Check::Ok)
        return mt7628::errorReply(firmware::checkText(check));
    return mt7628::okReply();
}

Json::Value EmulatedAdapter::writeImage(mt7628::ImageKind kind, const std::vector<unsigned char>& image, bool& reboot)
{
    reboot = false;
    const std::optional<firmware::Header> header = firmware::readHeader(image.data(), image.size());
    if (m_state.failNextWrite || !header) {
        m_state.failNextWrite = false;
        return mt7628::errorReply("write failed");
    }
    ++m_state.writeCount;
    // Keep the field's own prefix ("MT7628 " in "MT7628 V2.0.1"); the image brings the version.
    std::string& field = versionOf(kind);
    const std::size_t v = field.rfind('V');
    const bool hasV = header->version.find_first_of("Vv") != std::string::npos;
    field = (v == std::string::npos ? std::string() : field.substr(0, v)) + (hasV ? "" : "V") + header->version;
    if (kind == mt7628::ImageKind::System)
        m_state.bootloader = false;
    reboot = kind != mt7628::ImageKind::Can;
    return mt7628::uploadWrittenReply(field);
}

Json::Value EmulatedAdapter::dump() const
{
    Json::Value d = status();
    d.removeMember("ok");
    d["index"] = m_state.index;
    d["stateCode"] = m_state.status;
    d["enet"] = m_state.enet;
    d["remoteKey"] = m_state.remoteKey;
    d["remoteSupported"] = m_state.remoteSupported;
    d["wifiName"] = m_state.wifiName;
    d["wifiPassword"] = m_state.wifiPassword;
    d["joined"] = m_state.joined;
    d["joinedSsid"] = m_state.joinedSsid;
    Json::Value aps(Json::arrayValue);
    for (const AccessPoint& ap : m_state.accessPoints)
        aps.append(ap.ssid);
    d["accessPoints"] = aps;
    d["buzzCount"] = m_state.buzzCount;
    d["rebootCount"] = m_state.rebootCount;
    d["releaseCount"] = m_state.releaseCount;
    d["killExeCount"] = m_state.killExeCount;
    d["requestCount"] = m_state.requestCount;
    d["uploadCount"] = m_state.uploadCount;
    d["writeCount"] = m_state.writeCount;
    d["modeCount"] = m_state.modeCount;
    d["flashMs"] = m_state.flashMs;
    d["failNextWrite"] = m_state.failNextWrite;
    return d;
}

} // namespace vciemu
