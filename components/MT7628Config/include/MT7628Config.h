// MT7628Config: operations on the adapter's MT7628 network module, addressed by
// the adapter's IPv4 address as text. Every call opens one TCP connection to
// the module (port 7628, or $BRINDLEWICK_MT7628_PORT), sends one request line
// and waits for one reply line (an upload keeps it for the whole image); the
// wire format is in docs/mt7628-protocol.md.
//
// Calls block the calling thread, but never for long: an address that does not
// accept the connection fails within the connect time-out, a module that does
// not answer fails within the reply time-out. A failed call answers false, an
// empty string, an empty list or a zeroed record. The class holds no connection
// between calls, so one instance may be used from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(MT7628CONFIG_BUILD)
#define MT7628CONFIG_API __declspec(dllexport)
#else
#define MT7628CONFIG_API __declspec(dllimport)
#endif
#else
#define MT7628CONFIG_API __attribute__((visibility("default")))
#endif

// One access point seen by the module's Wi-Fi scan. Fixed size (110 bytes);
// every text is NUL-terminated and cut to fit.
struct survey_table {
    char ssid[33];          // access point name
    char bssid[18];         // "aa:bb:cc:dd:ee:ff"
    char security[32];      // e.g. "WPA2PSK/AES", "NONE"
    char wireless_mode[17]; // e.g. "11b/g/n"
    std::int16_t channel;   // 1..14 (2.4 GHz), 36.. (5 GHz)
    std::int16_t signal;    // signal quality, 0..100 %
    std::int16_t rssi;      // dBm, negative
    char reserved[4];
};
static_assert(sizeof(survey_table) == 110, "survey_table is a fixed 110-byte record");

// The access point the module is joined to (all zero when it is not joined).
struct apclient_info {
    char ssid[33]; // access point name
    char bssid[18];
    char security[32];
    char ip[16]; // the address the router gave the module, dotted text
    std::int32_t channel;
    std::int32_t signal; // 0..100 %
};

// What the module reports about itself; used by the background service to
// find adapters and publish their status.
struct vci_status {
    std::string serial;          // 16 characters
    std::string softVer;         // adapter software version text
    std::string firmwareVersion; // MT7628 firmware text, e.g. "MT7628 V2.0.1"; contains "boot" in the boot loader
    std::string dllVersion;
    std::string portNumber; // model/port code, e.g. "M5WC"
    std::string key;
    std::string ip;           // the module's own address (the vciIP)
    std::string connType;     // "USB", "RJ45", "WIFI" or "ROUTE"
    std::uint32_t status = 0; // 0 recovery, 1 idle, 2 occupied
    std::uint32_t vbatt = 0;  // supply voltage, millivolts
    bool bootloader = false;
};

class MT7628CONFIG_API MT7628Config {
public:
    // The protocol's default TCP port on the module.
    static constexpr int kDefaultPort = 7628;
    // Separator between the name and the password in Get_Wifi_Info's text.
    static constexpr char kWifiInfoSeparator = '\t';

    MT7628Config();
    ~MT7628Config();

    // true: the module accepted the reboot (it stops answering for a few seconds).
    bool RebootVci(const char* ip);
    // true: the buzzer sounded.
    bool RequestBuzz(const char* ip);
    // true: the adapter's "occupied" state was released.
    bool Contact_occupancy(const char* ip);

    // key receives the stored remote key ("" when none is set, "NotSupported"
    // for models without remote diagnosis); it is left unchanged on failure.
    bool GetRemoteKey(const char* serial, std::string ip, std::string& key);
    bool SetRemoteKey(const char* serial, std::string ip, std::string key);

    // The ENET emulation option (false also when the module cannot be reached).
    bool GetENET(const char* ip);
    bool SetENET(const char* ip, bool on);

    // Wi-Fi client side: scan, joined access point, join.
    std::vector<survey_table> get_ap_list(const std::string& ip);
    apclient_info get_ap_info(const std::string& ip);
    bool get_client_status(const std::string& ip);
    // Sends the join; answers the module's reply text ("OK" when it was sent,
    // an error text otherwise, "" when the module did not answer).
    std::string connect_to_ap(const std::string& ip, const std::string& name, const std::string& password);
    // Ends the module's Wi-Fi set-up helper after a join; answers its reply text.
    std::string KillExe(const std::string& ip);

    // The module's own Wi-Fi (access point) settings.
    bool Config_reset(const std::string& ip);
    bool Set_Wifi_Info(const std::string& ip, const std::string& name, const std::string& password);
    // "name" kWifiInfoSeparator "password"; "" on failure.
    std::string Get_Wifi_Info(const std::string& ip);

    // The module's identity and state; false when it does not answer.
    bool GetVciStatus(const std::string& ip, vci_status& out);

    // The adapter's mode: "original" (its own), or the name of the make whose
    // diagnostic software it serves ("BMW", "J2534", ...; the names are in
    // docs/mt7628-protocol.md). SetMode: true when the module switched (or was
    // in that mode already); false for a name it does not know, in the boot
    // loader, or without an answer. GetMode: "" when it does not answer.
    bool SetMode(const std::string& ip, const std::string& mode);
    std::string GetMode(const std::string& ip);

    // Firmware upload: one of the adapter's three images goes to the module on
    // one connection, which checks it and writes it (docs/mt7628-protocol.md,
    // "Upload"). After a system or application image the adapter restarts.
    enum class Image { System, Application, Can };
    enum class UploadResult {
        Written,     // the module checked the image and wrote it
        BadAddress,  // ip is not an IPv4 address
        BadImage,    // nothing to send (empty, or beyond the protocol's 32-bit length)
        Unreachable, // no connection, or no answer to the upload request
        Refused,     // the module said no (busy, wrong image, write failed: see message)
        TimedOut,    // the module stopped taking bytes, or did not confirm the write in time
        Lost,        // the connection closed, or the module's answers made no sense
    };
    struct UploadOutcome {
        UploadResult result = UploadResult::Lost;
        std::string message; // why it failed (the module's own reason when it refused)
        std::string version; // Written: the version the module now runs
    };
    // Called with the bytes the module has acknowledged and the total.
    using UploadProgress = std::function<void(std::uint64_t acknowledged, std::uint64_t total)>;

    // Sends the bytes as they are: checking them is the module's job (and the
    // caller's, before). Blocks for at most connect + reply time-out to start,
    // then while the module keeps taking bytes (each idle time-out at most)
    // up to 10 s + 1 s per 256 KiB in all, then the write wait.
    UploadOutcome UploadImage(const std::string& ip, Image image, const unsigned char* data, std::size_t size,
        const UploadProgress& progress = {});

    // Time-outs in milliseconds (defaults 1500 connect, 3000 reply; values
    // are clamped to 1..10000). The port 0 means the default / environment port.
    void setTimeouts(int connectMs, int replyMs);
    // Upload time-outs in milliseconds: the longest the module may take no
    // bytes and acknowledge none (default 10000, clamped to 100..60000), and
    // the wait for its result after the last byte (default 120000, clamped
    // to 100..600000).
    void setUploadTimeouts(int idleMs, int writeWaitMs);
    void setPort(int port);
    int port() const;

private:
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    int m_port;
    int m_uploadIdleMs;
    int m_writeWaitMs;
};
