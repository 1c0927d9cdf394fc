// The program's one top-level window: a frameless, fixed-size frame with the
// navigation bar, the page stack, the tray icon, the toast and busy overlays.
// It attaches the subsystems (each one Subsystem), runs their status passes
// and repaints, routes page requests made by worker threads, and forwards the
// slots of the pages to the subsystems that own their state.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"
#include "maintenance/UpgradeReport.h"

#include <atomic>
#include <memory>
#include <vector>

class QButtonGroup;
class QPushButton;
class QTimer;
class QTranslator;
class Loading;
class TMessageBox;
class SysTrayIconWidget;
class StatusThread;
class DeviceController;
class FirmwareController;
class RouterController;
class DriversController;
class RemoteController;
class SettingsController;
class UpdateController;
class AccountController;
class HttpsServer;
class MT7628Config;
class QListWidgetItem;
class LazyPages;

namespace Ui {
class KestrixClass;
}

class Kestrix : public QWidget, private SubsystemHost {
    Q_OBJECT

public:
    // Indexes of the page stack; 21 and 22 are appended by the constructor.
    enum Page {
        PageDevice = 0,
        PageRemote = 1,
        PageKestrix = 2,
        PageFirmwareUpdate = 3,
        PageMoreVci = 4,
        PageRouterConnect = 5,
        PageServiceVendor = 6,
        PageRemoteInfo = 7,
        PageUserLogin = 8,
        PageDetectionUpdate = 9,
        PageUserLoginPhone = 17,
        PageDiag = 19,
        PageP2PConn = 20,
        PageSettings = 21,
        PageDrivers = 22,
    };

    Kestrix(QPoint& startPos, unsigned char* showRequest, QWidget* parent = nullptr);
    ~Kestrix() override;

    bool isInitialised() const { return initialised; }

    // The page the status thread asks the GUI thread to show (worker threads set it).
    void setPageRequest(int index) { pageRequest.store(index); }
    int currentPageRequest() const { return pageRequest.load(); }
    // Lets another thread trigger a status pass at once.
    void wakeStatusThread();
    // Builds a page that is built on first show now (tests, routing).
    void ensurePageBuilt(int index) { ensurePage(index); }

    SysTrayIconWidget* trayWidget() const { return trayIcon; }
    Loading* loadingOverlay() const { return loading; }
    DeviceController* deviceController() const { return device; }
    FirmwareController* firmwareController() const { return firmware; }
    RouterController* routerController() const { return router; }
    DriversController* driversController() const { return driverSubsystem; }
    RemoteController* remoteController() const { return remoteSubsystem; }
    SettingsController* settingsController() const { return settingsSubsystem; }
    UpdateController* updateController() const { return updateSubsystem; }
    AccountController* accountController() const { return accountSubsystem; }
    TMessageBox* toast() const { return messageBox; }

signals:
    void Sign_DriveInstallTip();
    void Sign_ConDeviceTip();
    void Sign_QTimerONOFF(QTimer* TimerName, QString Status);
    void Sign_hideToShow();
    void Sign_EstabConn(QString strSN);
    void sig_enableOrDisableDrivers(bool enable);
    void SignalsVciAdd();
    void SignalsUpgradeInfo(SignalsUpgradeInfo_struct info);
    void Btn_StatusChange();
    void SignalsUpdateThread();
    void SignalsTMsg(QString text, int iTime);
    void SignalsTMsg(QString text);
    void SignalsDisableBtn(QPushButton* pBtn);
    void SignalImmobileInterface(bool isClick);
    void SignalSetDisableRemoteStatus(bool bStatus);
    void SignalsCheckAppVersion();
    void SignalsUpdateAD();
    void SignalUpdateStyle(bool isUpdate);
    void SignalUpdateDescription(bool isUpdate);
    void SignalP2pConnRes();
    void SendMainDialog(std::string Username, std::string Token);
    void VxLoginSuccess();
    void signalSendRouteCmd(int cmd, int arg, QString first, QString second);
    void signalSendRouteCmd(int cmd, int arg, QString first);
    void signalSendRouteCmd(int cmd, int arg);
    void signalSendRouteCmd(int cmd);
    void SignalsUpdateDeviceInfo();

public slots:
    void Slot_QTimerCtl(QTimer* timer, QString status);
    void Slot_DriveOfTip();
    void ClickButton_vciReboot();
    void ClickButton_requestBuzz();
    void Release_VCI_occupation();
    void SlotsVciAdd();
    void SlotsClickItem();
    void Lan_Disconn(int itemNum);
    void InitMoreVci();
    void Firmware_Init();
    void ClickButton_upAll();
    void SlotsUpgradeInfo(SignalsUpgradeInfo_struct info);
    void Slot_SelectStatus(QListWidgetItem* item);
    void ClickButton_SwitchEnglish();
    void ClickButton_SwitchSpanish();
    void ClickButton_Min();
    void ClickButton_Close();
    void SlotsUpdateThread();
    void SlotsTMsg(QString text, int ms);
    void SlotsTMsg(QString text);
    void RountInit();
    void SlotsUpdateDeviceInfo();
    void Btn_Modify_Router_clicked();
    void Btn_Route_Restor_clicked();
    void Btn_Save_Router_clicked();
    void on_CreateWidgetItem_Time();
    void on_SendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2);
    void RouteResultTip(QString Text, int Timer);
    void SlotsDiagTimeout();
    void ClickButton_Software_Update();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    // SubsystemHost
    QWidget* frame() override { return this; }
    QWidget* pageHost(int index) override;
    void buildOnFirstShow(int index, std::function<void(QWidget* host)> build) override;
    void ensurePage(int index) override;
    void showPage(int index) override;
    void toast(const QString& text, int ms) override { SlotsTMsg(text, ms); }
    void wakeStatusPass() override { wakeStatusThread(); }

    void buildFrame();
    void buildNavigation();
    void describeFrameControls();
    void placeSettingsBackButtons();
    void makeSelfConnections();
    void attachSubsystems();
    void applyLanguage(const QString& language);
    void refreshInternetLabel(bool online);
    void showFromTray();
    void startStatusThread();
    void statusPass();
    void onSharedSignal(int code, const QVariant& value);

    std::unique_ptr<Ui::KestrixClass> ui;
    QPoint& initialPos;
    unsigned char* showFlag;
    bool initialised = false;
    bool dragging = false;
    QPoint dragOffset;
    std::atomic<int> pageRequest{0};
    bool noInternet = false;

    // Written on the GUI thread when the stack changes; read by the status thread.
    std::atomic<int> visiblePage{0};
    int lastSeenPage = 0;

    QTranslator* translator = nullptr;
    SysTrayIconWidget* trayIcon = nullptr;
    Loading* loading = nullptr;
    TMessageBox* messageBox = nullptr;
    QButtonGroup* navigationGroup = nullptr;
    LazyPages* lazyPages = nullptr;
    std::unique_ptr<MT7628Config> mt7628Config; // outlives the subsystems that use it
    std::unique_ptr<HttpsServer> httpsServer;
    // In attach order; stopped in reverse order before they are destroyed.
    std::vector<std::unique_ptr<Subsystem>> subsystems;
    DeviceController* device = nullptr; // one of the subsystems
    FirmwareController* firmware = nullptr;
    RouterController* router = nullptr;
    DriversController* driverSubsystem = nullptr;
    RemoteController* remoteSubsystem = nullptr;
    SettingsController* settingsSubsystem = nullptr;
    UpdateController* updateSubsystem = nullptr;
    AccountController* accountSubsystem = nullptr;
    // The pass-thru driver check before diagnosis: 1 until it has asked once, then 2.
    int passThruCheck = 1;
    std::unique_ptr<StatusThread> statusThread;
    WorkerGroup workers; // the window's own workers (log clean-up)
};
