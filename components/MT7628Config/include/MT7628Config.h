// MT7628Config: operations on the adapter's MT7628 network module, addressed by
// the adapter's IPv4 address as text. Every call opens one TCP connection to
// the module (port 7628, or $BRINDLEWICK_MT7628_PORT), sends one request line
// and waits for one reply line; the wire format is in docs/mt7628-protocol.md.
//
// Calls block the calling thread, but never for long: an address that does not
// accept the connection fails within the connect time-out, a module that does
// not answer fails within the reply time-out. A failed call answers false, an
// empty string, an empty list or a zeroed record. The class holds no connection
// between calls, so one instance may be used from several threads at once.
#pragma once

#include <cstdint>
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

    // Time-outs in milliseconds (defaults 1500 connect, 3000 reply; values
    // are clamped to 1..10000). The port 0 means the default / environment port.
    void setTimeouts(int connectMs, int replyMs);
    void setPort(int port);
    int port() const;

private:
    int m_connectTimeoutMs;
    int m_replyTimeoutMs;
    int m_port;
};
