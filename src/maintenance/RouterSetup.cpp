#include "maintenance/RouterSetup.h"

#include "maintenance/MaintenanceLog.h"

#include <algorithm>
#include <cstring>

const char* const RouterSetup::kPasswordPattern = "^[A-Za-z0-9`~!@#$%^&*()_\\-+=<>,./]+$";

namespace {

constexpr int kToastMs = 1200;
constexpr std::chrono::milliseconds kAdapterPoll{500};

// A record field as text: up to its first NUL, never past its end.
template <std::size_t N>
std::string field(const char (&text)[N])
{
    return std::string(text, strnlen(text, N));
}

// Owns the busy flag for one command.
struct BusyScope {
    explicit BusyScope(std::atomic<bool>& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~BusyScope() { m_flag = false; }
    std::atomic<bool>& m_flag;
};

} // namespace

RouterSetup::RouterSetup(RouterModule& module, Hooks hooks)
    : m_module(module)
    , m_hooks(std::move(hooks))
{
}

std::string RouterSetup::adapterIp(bool quiet)
{
    VciStatusRecord record{};
    clearRecord(record);
    m_hooks.readStatus(record);
    const std::string ip = field(record.vciIP);
    if (field(record.SN).empty() || ip.empty()) {
        if (!quiet)
            m_hooks.tip(tr("No adapter is connected."), kToastMs);
        return std::string();
    }
    return ip;
}

std::string RouterSetup::answeringAdapterIp()
{
    const std::string ip = adapterIp();
    if (ip.empty())
        return ip;
    // One short question first: a module that does not answer costs one
    // time-out and a clear message instead of one time-out per call.
    if (!m_module.answers(ip)) {
        m_hooks.tip(tr("The adapter does not answer."), kToastMs);
        return std::string();
    }
    return ip;
}

void RouterSetup::setList(std::vector<std::string> names)
{
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_list = std::move(names);
    }
    ++m_generation;
}

void RouterSetup::scan()
{
    std::lock_guard<std::mutex> command(m_routerMutex);
    BusyScope busy(m_busy);
    m_hooks.sendCommand(route_cmd::kClearMarks, 0);
    if (!m_hooks.sleep(kSettle))
        return;
    setList({});
    const std::string ip = answeringAdapterIp();
    if (ip.empty())
        return;

    const apclient_info info = m_module.get_ap_info(ip);
    const bool joined = m_module.get_client_status(ip);
    const std::string joinedName = joined ? field(info.ssid) : std::string();
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_joined = joinedName;
    }
    if (!m_hooks.sleep(kSettle))
        return;

    std::vector<std::string> names;
    for (const survey_table& ap : m_module.get_ap_list(ip))
        names.push_back(field(ap.ssid));
    // The joined access point is listed first.
    if (!joinedName.empty()) {
        const auto at = std::find(names.begin(), names.end(), joinedName);
        if (at != names.end())
            std::iter_swap(names.begin(), at);
    }
    qCInfo(lcMaintenance, "router scan at %s: %zu access point(s), joined to \"%s\"", ip.c_str(), names.size(),
        joinedName.c_str());
    setList(std::move(names));
}

bool RouterSetup::join(int item, const std::string& name, const std::string& password, bool rowChosen)
{
    m_hooks.tip(tr("Executing, please wait..."), kJoinTipMs);
    std::lock_guard<std::mutex> command(m_routerMutex);
    BusyScope busy(m_busy);
    if (name.empty() || password.empty())
        return false;

    if (rowChosen) {
        // The adapter may be away for a moment (its link restarting): wait for it, bounded.
        auto waited = std::chrono::milliseconds(0);
        while (adapterIp(true).empty() && waited < kAdapterWait) {
            if (!m_hooks.sleep(kAdapterPoll))
                return false;
            waited += kAdapterPoll;
        }
        if (!m_hooks.sleep(kSettle))
            return false;
    }
    const std::string ip = answeringAdapterIp();
    if (ip.empty())
        return false;

    m_module.get_ap_list(ip);
    m_module.connect_to_ap(ip, name, password); // whether it took is read back below
    const bool joined = m_module.get_client_status(ip);
    const apclient_info info = m_module.get_ap_info(ip);
    const bool ok = joined && field(info.ssid) == name;
    qCInfo(lcMaintenance, "router join of \"%s\" at %s: %s", name.c_str(), ip.c_str(), ok ? "joined" : "failed");
    if (!ok) {
        m_hooks.tip(tr("Could not join %1. Check the password.").arg(QString::fromStdString(name)), kToastMs * 3);
        m_hooks.sendCommand(route_cmd::kScan, 0);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_joined = name;
    }
    m_module.KillExe(ip);
    m_hooks.tip(tr("Joined %1").arg(QString::fromStdString(name)), kToastMs * 2);
    m_hooks.sendCommand(route_cmd::kJoined, item);
    return true;
}

void RouterSetup::reset()
{
    std::lock_guard<std::mutex> command(m_routerMutex);
    BusyScope busy(m_busy);
    const std::string ip = answeringAdapterIp();
    if (ip.empty())
        return;
    if (!m_module.Config_reset(ip)) {
        m_hooks.tip(tr("The adapter refused the reset."), kToastMs * 2);
        return;
    }
    {
        // The module is back to its own Wi-Fi and has left the router.
        std::lock_guard<std::mutex> lock(m_dataMutex);
        m_wifiInfo.clear();
        m_joined.clear();
    }
    readWifiInfoLocked(ip, true);
    m_hooks.sendCommand(route_cmd::kResetDone, 0);
}

void RouterSetup::save(const std::string& name, const std::string& password)
{
    std::lock_guard<std::mutex> command(m_routerMutex);
    BusyScope busy(m_busy);
    const std::string ip = answeringAdapterIp();
    if (ip.empty())
        return;
    if (!m_module.Set_Wifi_Info(ip, name, password)) {
        m_hooks.tip(tr("The adapter refused the new Wi-Fi settings."), kToastMs * 2);
        return;
    }
    readWifiInfoLocked(ip, true);
    m_hooks.sendCommand(route_cmd::kSaved, 0);
}

void RouterSetup::readWifiInfo()
{
    std::lock_guard<std::mutex> command(m_routerMutex);
    const std::string ip = adapterIp(true);
    if (!ip.empty())
        readWifiInfoLocked(ip, true);
}

void RouterSetup::pollWifiInfo()
{
    std::unique_lock<std::mutex> command(m_routerMutex, std::try_to_lock);
    if (!command.owns_lock())
        return;
    const std::string ip = adapterIp(true);
    if (!ip.empty())
        readWifiInfoLocked(ip, false);
}

bool RouterSetup::readWifiInfoLocked(const std::string& ip, bool announceAlways)
{
    const std::string text = m_module.Get_Wifi_Info(ip);
    bool changed = false;
    {
        std::lock_guard<std::mutex> lock(m_dataMutex);
        if (!text.empty() && text != m_wifiInfo) {
            m_wifiInfo = text;
            changed = true;
        }
    }
    if (changed || announceAlways)
        m_hooks.updateDeviceInfo();
    return changed;
}

RouterSetup::SaveCheck RouterSetup::checkSave(const QString& name, const QString& password)
{
    if (name.isEmpty() || password.isEmpty())
        return SaveCheck::Empty;
    if (password.size() < 8)
        return SaveCheck::TooShort;
    return SaveCheck::Ok;
}

QString RouterSetup::saveCheckText(SaveCheck check)
{
    switch (check) {
    case SaveCheck::Empty:
        return tr("The name or password is empty");
    case SaveCheck::TooShort:
        return tr("The password contains less than 8 characters");
    case SaveCheck::Ok:
        break;
    }
    return QString();
}

bool RouterSetup::splitWifiInfo(const std::string& text, QString& name, QString& password)
{
    const std::size_t at = text.find(MT7628Config::kWifiInfoSeparator);
    name = QString::fromStdString(text.substr(0, at));
    password = at == std::string::npos ? QString() : QString::fromStdString(text.substr(at + 1));
    return !name.isEmpty();
}

std::vector<std::string> RouterSetup::accessPoints() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_list;
}

std::string RouterSetup::joinedName() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_joined;
}

std::string RouterSetup::wifiInfo() const
{
    std::lock_guard<std::mutex> lock(m_dataMutex);
    return m_wifiInfo;
}
