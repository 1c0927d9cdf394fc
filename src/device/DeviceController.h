// The device link subsystem on the manager's side: the status loop, the
// command block client, the start-up hint loop with its two timers, the
// device page, the device list page and the adapter operations.
//
// The main window attaches it like every subsystem (see Subsystem.h): the
// device page goes into page 0, the device list into page 4 when that page
// is first shown; toasts go to the host; the hint loop, the status watch and
// every adapter operation run on the controller's worker group, which stop()
// joins. Remote diagnosis posts its mode with
// commandBlock().postMode(CommandBlock::RemoteMode / LocalMode).
#pragma once

#include "device/CommandBlock.h"
#include "device/DeviceStatusLoop.h"
#include "device/HintLoop.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DevicePage;
class MoreVciPage;
class MT7628Config;
class QListWidgetItem;
class QTimer;
class QWidget;

class DeviceController : public QObject, public Subsystem {
    Q_OBJECT
public:
    // The three direct adapter operations; each takes the adapter's address.
    struct AdapterOps {
        std::function<bool(const std::string& ip)> reboot;
        std::function<bool(const std::string& ip)> buzz;
        std::function<bool(const std::string& ip)> release;
    };
    // The USB-to-Ethernet adapter probe (adapterPresent by default).
    using AdapterProbe = std::function<bool(std::string& macText)>;

    // Page indexes of the window's page stack that this subsystem fills.
    static constexpr int kDevicePageIndex = Pages::Device;
    static constexpr int kMoreVciPageIndex = Pages::MoreVci;
    // The status watch sleeps on the service's status event; without a signal
    // it looks again after this long, and retries opening a missing event
    // after the second.
    static constexpr int kStatusWatchFallbackMs = 5000;
    static constexpr int kStatusWatchRetryMs = 2000;

    // `cfg` must outlive the controller.
    explicit DeviceController(MT7628Config& cfg, QObject* parent = nullptr);
    ~DeviceController() override;

    // Subsystem
    void attach(SubsystemHost& host) override;
    bool statusPass(bool changed) override { return m_loop.runCycle(changed); }
    void repaint(int currentPage) override;
    void stop() override;

    DevicePage* devicePage() const { return m_page; }
    // The device list page, built on first use.
    MoreVciPage* moreVciPage();
    const CommandBlock& commandBlock() const { return m_block; }
    DeviceStatusSnapshot snapshot() const { return m_loop.snapshot(); }

    const std::vector<VciStatusRecord>& deviceList() const { return m_devices; }
    QString selectedSerial() const { return m_selectedSerial; }
    QString adapterMacText() const;
    QTimer* powerDialogTimer() const { return m_powerDialogTimer; }
    QTimer* hintWindowTimer() const { return m_hintWindowTimer; }

    // Seams, to be set before the loops run.
    void setAdapterOps(AdapterOps ops);
    void setAdapterProbe(AdapterProbe probe);
    // The account library's internet state, recorded by every status pass.
    void setInternetProbe(std::function<bool()> probe) { m_loop.setInternetProbe(std::move(probe)); }
    void setCommandBlockName(const std::string& name);
    void setHintIniPath(const QString& path);

public slots:
    // Shows the device list page and asks the service for the list.
    void InitMoreVci();
    void ClickButton_vciReboot();
    void ClickButton_requestBuzz();
    void Release_VCI_occupation();

    void requestDeviceList();
    void SlotsVciAdd();
    void Slot_SelectStatus(QListWidgetItem* item);
    void SlotsClickItem();
    void Lan_Disconn(int itemNum);

signals:
    void SignalsTMsg(QString text, int iTime);
    void SignalsVciAdd();
    void SignalSetDisableRemoteStatus(bool bStatus);
    // "ON" starts the timer, anything without a capital N stops it (GUI thread).
    void timerControl(QTimer* timer, QString status);
    void routerSetupRequested();
    void firmwareUpdateRequested();

private slots:
    void applyTimerControl(QTimer* timer, const QString& status);
    void onPowerDialogTimeout();
    void onHintWindowTimeout();
    void onVoltageTextChanged();

private:
    enum class Operation { Reboot, Buzz, Release };

    void createMoreVciPage(QWidget* host);
    void startStatusWatch();
    void startOperation(Operation op);
    void operationFinished(Operation op, bool ok);
    void setHintTimer(HintTimer which, bool on);
    bool hintTimerActive(HintTimer which) const;
    bool probeAdapter(std::string& mac);

    MT7628Config& m_cfg;
    SubsystemHost* m_host = nullptr;
    DevicePage* m_page = nullptr;
    MoreVciPage* m_more = nullptr;
    CommandBlock m_block;
    DeviceStatusLoop m_loop;
    std::unique_ptr<HintLoop> m_hint;
    AdapterOps m_ops;
    AdapterProbe m_probe;

    QTimer* m_powerDialogTimer = nullptr;
    QTimer* m_hintWindowTimer = nullptr;
    std::atomic<bool> m_powerDialogActive{false};
    std::atomic<bool> m_hintWindowActive{false};

    std::vector<VciStatusRecord> m_devices;
    QString m_selectedSerial;
    int m_lastClickedRow = -1;
    mutable std::mutex m_macMutex;
    std::string m_mac;

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
