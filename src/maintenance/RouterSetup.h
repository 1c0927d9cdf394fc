// Joining the adapter's MT7628 module to a Wi-Fi router and setting its own
// Wi-Fi, without widgets: the numbered router commands that talk to the
// adapter (scan, join, reset, save, read settings) and the state the router
// page shows (access points seen, the joined one, the adapter's Wi-Fi text).
//
// Each command runs on a worker thread and holds the one router mutex for its
// whole run, so two commands never overlap. Every call into the module is
// bounded by MT7628Config's own time-outs, and the only wait of its own (a
// join waiting for the adapter to come back) is bounded too. The adapter,
// the status record, the clock and the way back to the GUI come in through
// RouterModule and Hooks, so tests drive commands without widgets.
#pragma once

#include "device/VciStatusRecord.h"

#include <MT7628Config.h>

#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The MT7628Config calls the router page makes, first argument the vciIP.
class RouterModule {
public:
    virtual ~RouterModule() = default;
    virtual std::vector<survey_table> get_ap_list(const std::string& ip) = 0;
    virtual apclient_info get_ap_info(const std::string& ip) = 0;
    virtual bool get_client_status(const std::string& ip) = 0;
    virtual std::string connect_to_ap(const std::string& ip, const std::string& name, const std::string& password) = 0;
    virtual std::string KillExe(const std::string& ip) = 0;
    virtual bool Config_reset(const std::string& ip) = 0;
    virtual bool Set_Wifi_Info(const std::string& ip, const std::string& name, const std::string& password) = 0;
    virtual std::string Get_Wifi_Info(const std::string& ip) = 0;
    // Whether the module answers at all (asked before a command's first call).
    virtual bool answers(const std::string& ip) = 0;
};

// The module reached through the window's MT7628Config.
class Mt7628RouterModule : public RouterModule {
public:
    explicit Mt7628RouterModule(MT7628Config& config)
        : m_config(config)
    {
    }
    std::vector<survey_table> get_ap_list(const std::string& ip) override { return m_config.get_ap_list(ip); }
    apclient_info get_ap_info(const std::string& ip) override { return m_config.get_ap_info(ip); }
    bool get_client_status(const std::string& ip) override { return m_config.get_client_status(ip); }
    std::string connect_to_ap(const std::string& ip, const std::string& name, const std::string& password) override
    {
        return m_config.connect_to_ap(ip, name, password);
    }
    std::string KillExe(const std::string& ip) override { return m_config.KillExe(ip); }
    bool Config_reset(const std::string& ip) override { return m_config.Config_reset(ip); }
    bool Set_Wifi_Info(const std::string& ip, const std::string& name, const std::string& password) override
    {
        return m_config.Set_Wifi_Info(ip, name, password);
    }
    std::string Get_Wifi_Info(const std::string& ip) override { return m_config.Get_Wifi_Info(ip); }
    bool answers(const std::string& ip) override
    {
        vci_status status;
        return m_config.GetVciStatus(ip, status);
    }

private:
    MT7628Config& m_config;
};

namespace route_cmd {
// Commands that talk to the adapter (worker thread).
constexpr int kScan = 0;
constexpr int kJoin = 1;
constexpr int kReset = 2;
constexpr int kSave = 4;
constexpr int kReadWifi = 5;
// Commands that only change the page (GUI thread).
constexpr int kClearMarks = 25;
constexpr int kRowChosen = 32;
constexpr int kJoined = 33;
constexpr int kSaved = 34;
constexpr int kResetDone = 35;
} // namespace route_cmd

class RouterSetup {
    Q_DECLARE_TR_FUNCTIONS(RouterSetup)
public:
    // The longest a join waits for an adapter that is away (e.g. restarting).
    static constexpr std::chrono::milliseconds kAdapterWait{60000};
    static constexpr std::chrono::milliseconds kSettle{300};
    static constexpr int kJoinTipMs = 22000;
    // Characters a router password may hold (the join dialog's validator).
    static const char* const kPasswordPattern;

    struct Hooks {
        std::function<bool(VciStatusRecord& out)> readStatus;
        // Waits; false when the command is being stopped.
        std::function<bool(std::chrono::milliseconds)> sleep;
        // A follow-up router command (25 before a scan, 33 after a join, 0 after a failed one, ...).
        std::function<void(int cmd, int item)> sendCommand;
        // The adapter's Wi-Fi settings text was read (SignalsUpdateDeviceInfo).
        std::function<void()> updateDeviceInfo;
        // A toast.
        std::function<void(const QString& text, int ms)> tip;
    };

    RouterSetup(RouterModule& module, Hooks hooks);

    // The adapter commands; worker threads, each under the router mutex.
    void scan();
    // Joins access point `name` (row `item`); `rowChosen`: a row was chosen on
    // the page, so an adapter that is away is waited for. True when joined.
    bool join(int item, const std::string& name, const std::string& password, bool rowChosen);
    void reset();
    void save(const std::string& name, const std::string& password);
    void readWifiInfo();
    // The once-a-second read: skipped while a command runs or without an
    // adapter; announces the text only when it changed.
    void pollWifiInfo();

    enum class SaveCheck { Ok, Empty, TooShort };
    // The page's check of the adapter's own Wi-Fi name and password.
    static SaveCheck checkSave(const QString& name, const QString& password);
    static QString saveCheckText(SaveCheck check);
    // "name" separator "password" as the module gives it; false when there is no name.
    static bool splitWifiInfo(const std::string& text, QString& name, QString& password);

    // What the page shows (any thread).
    bool busy() const { return m_busy.load(); }
    std::vector<std::string> accessPoints() const;
    unsigned listGeneration() const { return m_generation.load(); }
    std::string joinedName() const;
    std::string wifiInfo() const;

private:
    // The vciIP of an adapter that is there, "" (and a toast) when none is.
    std::string adapterIp(bool quiet = false);
    // The same, and "" (and a toast) when its module does not answer.
    std::string answeringAdapterIp();
    void setList(std::vector<std::string> names);
    bool readWifiInfoLocked(const std::string& ip, bool announceAlways);

    RouterModule& m_module;
    Hooks m_hooks;
    std::mutex m_routerMutex; // held by a command for its whole run
    mutable std::mutex m_dataMutex;
    std::vector<std::string> m_list;
    std::string m_joined;
    std::string m_wifiInfo;
    std::atomic<unsigned> m_generation{0};
    std::atomic<bool> m_busy{false};
};
