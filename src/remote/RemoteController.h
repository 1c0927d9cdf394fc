// The remote-diagnosis subsystem: the remote page (1), the session page (7)
// and the P2P page (20), built when first shown; the session logic
// (RemoteEngine) with its refresh and registration workers; the relay
// attempts, P2P calls, code changes and records, each on the controller's
// worker group, so the GUI thread never waits for a library, the adapter or
// the network. Workers report through queued signals.
#pragma once

#include "remote/RemoteEngine.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

class DeviceController;
class MT7628Config;
class QLabel;
class P2PPage;
class RemotePage;
class SessionPage;

class RemoteController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kRemotePageIndex = remote::PageRemote;
    static constexpr int kSessionPageIndex = remote::PageSession;
    static constexpr int kP2PPageIndex = remote::PageP2P;

    // Everything outside the subsystem it uses; tests give fakes.
    struct Environment {
        std::unique_ptr<RemoteLibrary> library;
        std::function<remote::DeviceView()> device;
        std::function<void(std::uint8_t mode)> postMode;
        std::function<bool(const remote::DeviceView&, std::string& key)> getRemoteKey;
        std::function<bool(const remote::DeviceView&, const std::string& key)> setRemoteKey;
        std::function<void(bool enable)> adapterTool;
        std::function<bool()> remoteAdapterPresent;
        // Posts one record and waits for its answer (bounded).
        std::function<bool(remote::RecordEvent event, const QString& sn)> postRecord;
        QString codeFilePath;
        // The process's device-control object (created on first need), null
        // when its library cannot be loaded.
        std::function<remote::IRemotePro*()> remotePro;
        remote::Timing timing;
        int refreshPeriodMs = 1000;
        int registrationPeriodMs = 2000;
    };
    // The program's: libraries and the adapter tool from the program's
    // folder, the device subsystem's record and command block, MT7628Config.
    static Environment systemEnvironment(DeviceController& device, MT7628Config& config);

    explicit RemoteController(Environment environment, QObject* parent = nullptr);
    ~RemoteController() override;

    void attach(SubsystemHost& host) override;
    bool statusPass(bool changed) override { return m_dirty.exchange(false) || changed; }
    void repaint(int currentPage) override;
    void stop() override;

    // Where Btn_Remote goes: the session page while a session runs, else the
    // remote page or the P2P page, whichever the user was on last.
    int navigationPage() const;
    bool remoteActive() const { return m_engine->state().remoteActive(); }
    remote::RemoteEngine& engine() { return *m_engine; }

    RemotePage* remotePage();
    SessionPage* sessionPage();
    P2PPage* p2pPage();

public slots:
    void ClickButtonLogin();
    void Solt_Cancel_Connection();
    void Solt_Confirm_connection();
    void Solt_EstabConnRes(QString strSN);
    void ClickButton_exitRemote();
    void Solt_Confirm_RemoteExit();
    void Slot_verification_code();
    void Slot_Password_displayOrhide();
    void ClickButton_CopySn();
    void ClickButton_CopyCode();
    void ClickButton_DisableOrStartRemote();
    void SetDisableRemoteStatus(bool bStatus);
    void SlotsComBoxUpper(const QString& text);
    void openP2PPage();
    void Slots_P2pListen();
    void Slots_P2pClsListen();
    void Slots_P2pRmtConn();
    void Slots_P2pBReset();
    void Slots_BtnRmtLstStyleChanged();
    void Slots_BtnRmtConnStyleChanged();
    void Remote_Init();
    // Re-reads the state into the shown pages (GUI thread).
    void refreshPages();

signals:
    void Sign_EstabConn(QString strSN);
    void SignalsTMsg(QString text, int iTime);
    void SignalP2pConnRes();
    void SignalImmobileInterface(bool isClick);
    void pageRequested(int page);
    void stateChanged();
    void listenEnded();
    void listenFinished(bool listening, int port);
    void codeApplied();
    // A relay attempt or P2P connect runs (the window shows its busy overlay).
    void attemptRunning(bool running);

private:
    void createRemotePage(QWidget* host);
    void createSessionPage(QWidget* host);
    void createP2PPage(QWidget* host);
    void setPageButtonsEnabled(bool on);
    void runJob(const char* name, std::function<void()> job);
    void showToast(const char* text, int ms = 1200);
    void refreshCodeArea();
    void refreshSessionPage();
    void styleRemoteSwitch();
    void setLabel(QLabel* label, const QString& text);

    Environment m_env;
    std::unique_ptr<remote::RemoteEngine> m_engine;
    SubsystemHost* m_host = nullptr;
    RemotePage* m_remote = nullptr;
    SessionPage* m_session = nullptr;
    P2PPage* m_p2p = nullptr;
    std::atomic<int> m_currentPage{0};
    std::atomic<bool> m_dirty{false};
    std::atomic<bool> m_attemptRunning{false};
    bool m_returnToP2P = false;
    bool m_nextPersistent = true; // what the code-mode button selects
    bool m_noDevice = true;

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
