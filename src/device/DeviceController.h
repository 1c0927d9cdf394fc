// Owns the manager's side of the device link for the main window: the status
// loop logic, the command block client, the start-up hint loop with its two
// timers, the device page, the device list page and the device operations.
//
// How the main window uses it:
//   1. Construct it after setupUi, on the GUI thread:
//        DeviceController(ui->page_Device, ui->page_More_VCI, mt7628Config, this)
//      The two pages are placed inside the hosts (a layout is added to a host
//      that has none). `cfg` must outlive every device operation: operations
//      run on detached threads, so keep it for the life of the process.
//   2. Connect SignalsTMsg(QString, int) to the toast slot (SlotsTMsg), and
//      SignalSetDisableRemoteStatus(bool) to SetDisableRemoteStatus. Both are
//      emitted from worker threads; use automatic (queued) connections.
//      Connect moreDevicesRequested() to showing page_More_VCI (and, like
//      InitMoreVci, call requestDeviceList()), routerSetupRequested() to the
//      router page. SignalsVciAdd, timerControl, the hint timers, the device
//      buttons and the list's refresh control (Label_RefreshLanVCIList, left
//      press) are wired internally. Remote diagnosis posts its mode with
//      commandBlock().postMode(CommandBlock::RemoteMode / LocalMode).
//   3. In each pass of the status thread:
//        bool changed = pageChanged || showPending;
//        if (controller->runStatusCycle(changed)) emit SignalsUpdateThread();
//      and in SlotsUpdateThread call repaint(currentIndex == 0).
//   4. After construction, call startHintLoop() and
//        startStatusWatch([this] { statusThread.wake(); });
//      The watch looks at the status block ten times a second and wakes the
//      status thread when its text changed, so a change reaches the page in a
//      fraction of the one-second pass. At start-up also run
//      runLinkHousekeeping(LinkEnvironment::system()) (LinkDrivers.h), which
//      posts the start-up mode byte; its steps are also callable one by one
//      (ensureServiceRunning early in the constructor, the rest at its end).
//   5. The internet label stays with the window's frame; the page does not show it.
//   6. In the destructor: call stop() first (it joins the status watch and
//      makes sure the detached hint thread is done with this object), then
//      stop and join the status thread, then delete the controller.
#pragma once

#include "device/CommandBlock.h"
#include "device/DeviceStatusLoop.h"
#include "device/HintLoop.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class DevicePage;
class MoreVciPage;
class MT7628Config;
class QListWidgetItem;
class QTimer;
class QWidget;

class DeviceController : public QObject {
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

    DeviceController(QWidget* devicePageHost, QWidget* moreVciHost, MT7628Config& cfg, QObject* parent = nullptr);
    ~DeviceController() override;

    DevicePage* devicePage() const { return m_page; }
    MoreVciPage* moreVciPage() const { return m_more; }
    const CommandBlock& commandBlock() const { return m_block; }

    // Status thread: one pass of the loop; true when the page must be repainted.
    bool runStatusCycle(bool changed);
    DeviceStatusSnapshot snapshot() const { return m_loop.snapshot(); }

    void startHintLoop();
    // Calls wakeStatusThread (from a thread of its own) whenever the status
    // block's text differs from its last look; one look every periodMs.
    void startStatusWatch(std::function<void()> wakeStatusThread, int periodMs = 100);
    // Stops the hint thread, the status watch and the reports of running
    // operations. Idempotent.
    void stop();

    const std::vector<VciStatusRecord>& deviceList() const { return m_devices; }
    QString selectedSerial() const { return m_selectedSerial; }
    QString adapterMacText() const;
    QTimer* powerDialogTimer() const { return m_powerDialogTimer; }
    QTimer* hintWindowTimer() const { return m_hintWindowTimer; }

    // Seams, to be set before the loops run.
    void setAdapterOps(AdapterOps ops);
    void setAdapterProbe(AdapterProbe probe);
    void setCommandBlockName(const std::string& name);
    void setHintIniPath(const QString& path);

public slots:
    // SlotsUpdateThread's share: repaint the pages from the latest pass.
    void repaint(bool homePageShown = true);

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
    void moreDevicesRequested();
    void routerSetupRequested();

private slots:
    void applyTimerControl(QTimer* timer, const QString& status);
    void onPowerDialogTimeout();
    void onHintWindowTimeout();
    void onVoltageTextChanged();

private:
    enum class Operation { Reboot, Buzz, Release };
    struct Relay;

    void startOperation(Operation op);
    void operationFinished(Operation op, bool ok);
    void setHintTimer(HintTimer which, bool on);
    bool hintTimerActive(HintTimer which) const;
    bool probeAdapter(std::string& mac);

    MT7628Config& m_cfg;
    DevicePage* m_page = nullptr;
    MoreVciPage* m_more = nullptr;
    CommandBlock m_block;
    DeviceStatusLoop m_loop;
    std::unique_ptr<HintLoop> m_hint;
    AdapterOps m_ops;
    AdapterProbe m_probe;
    std::shared_ptr<Relay> m_relay;

    std::thread m_watch;
    std::mutex m_watchMutex;
    std::condition_variable m_watchCv;
    bool m_watchStop = false;

    QTimer* m_powerDialogTimer = nullptr;
    QTimer* m_hintWindowTimer = nullptr;
    std::atomic<bool> m_powerDialogActive{false};
    std::atomic<bool> m_hintWindowActive{false};

    std::vector<VciStatusRecord> m_devices;
    QString m_selectedSerial;
    int m_lastClickedRow = -1;
    mutable std::mutex m_macMutex;
    std::string m_mac;
};
