// The state of one emulated adapter and the answers of its MT7628 module.
// Plain logic with no sockets, so tests can drive it directly.
#pragma once

#include "Mt7628Protocol.h"

#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vciemu {

struct AccessPoint {
    std::string ssid;
    std::string bssid;
    std::string security; // "NONE" for an open network
    std::string mode;
    std::string password;
    int channel = 1;
    int signal = 50;
    int rssi = -60;
};

struct AdapterState {
    int index = 1;  // 1-based number used by the control commands
    std::string ip; // the loopback address it answers at
    std::string serial;
    std::string softVer = "V1.2.7";
    std::string firmwareVersion = "MT7628 V2.0.1";
    std::string bootFirmwareVersion = "MT7628 boot V1.0.2";
    std::string dllVersion = "V2.3.0";
    std::string portNumber = "M5WC";
    std::string key;
    std::string connType = "USB";
    std::uint32_t status = 1;    // 0 recovery, 1 idle, 2 occupied
    std::uint32_t vbatt = 12340; // millivolts
    // Pass-thru channels faster than this are refused (ERR_INVALID_BAUDRATE).
    std::uint32_t maxCanBitrate = 1000000;
    bool bootloader = false;
    bool enet = false;
    bool remoteSupported = true;
    std::string remoteKey; // empty: none set yet
    std::string wifiName;  // the module's own access point
    std::string wifiPassword;
    std::vector<AccessPoint> accessPoints;
    bool joined = false;
    std::string joinedSsid;
    std::string clientIp;
    int flashMs = 2000;         // how long writing an image takes
    bool failNextWrite = false; // the next write of a good image fails (for tests)
    // "original" or the make whose diagnostic software the adapter serves;
    // kept like a flash setting, so a reboot or unplugging keeps it.
    std::string mode = mt7628::kModeOriginal;
    // Counters for tests.
    int buzzCount = 0;
    int rebootCount = 0;
    int releaseCount = 0;
    int killExeCount = 0;
    int requestCount = 0;
    int uploadCount = 0; // uploads accepted
    int writeCount = 0;  // images written
    int modeCount = 0;   // mode switches accepted
};

class EmulatedAdapter {
public:
    explicit EmulatedAdapter(AdapterState state);

    // Answers one decoded request. rebootRequested is set when the module
    // should vanish after sending the answer.
    Json::Value handle(const Json::Value& request, bool& rebootRequested);

    AdapterState& state() { return m_state; }
    const AdapterState& state() const { return m_state; }

    // The module's staging area for an image: a longer upload is refused.
    static constexpr std::uint32_t kMaxImageBytes = 16 * 1024 * 1024;
    // The module's upload window, and how often it acknowledges.
    static constexpr std::uint32_t kUploadWindow = 1024 * 1024;
    static constexpr std::uint32_t kUploadAckEvery = kUploadWindow / 4;

    // Answers upload_begin: ok with the window, or a refusal (busy, unknown
    // image kind, an image this adapter does not take, bad or too large
    // length). On ok, kind and length say what to receive.
    Json::Value beginUpload(const Json::Value& request, bool busy, mt7628::ImageKind& kind, std::uint32_t& length);
    // The whole check of a received image: a refusal, or ok.
    Json::Value checkUpload(mt7628::ImageKind kind, const std::vector<unsigned char>& image) const;
    // Writes a checked image: the new version in the image's status field
    // (and, for a system image, out of the boot loader); a refusal when the
    // write was set to fail. reboot: the adapter restarts after the answer.
    Json::Value writeImage(mt7628::ImageKind kind, const std::vector<unsigned char>& image, bool& reboot);
    // The status text that holds an image's version.
    std::string& versionOf(mt7628::ImageKind kind);

    // The whole state as JSON (passwords included: this is a test tool).
    Json::Value dump() const;

    // Factory defaults of the module's own Wi-Fi.
    void resetWifi();

    // The serial the emulator gives adapter number `index`.
    static std::string defaultSerial(int index);
    static std::string defaultConnType(int index);
    static std::vector<AccessPoint> defaultAccessPoints();

private:
    Json::Value status() const;
    // The server's type name of this adapter's image of that kind ("" when it takes none).
    std::string typeNameOf(mt7628::ImageKind kind) const;
    Json::Value connect(const Json::Value& request);

    AdapterState m_state;
};

} // namespace vciemu
