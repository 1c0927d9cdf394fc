// The program's one top-level window: a frameless, fixed-size frame with the
// navigation bar, the page stack, the tray icon, the toast and busy overlays.
// It routes page requests made by worker threads and forwards the slots of the
// pages to the subsystem objects that own their state.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>

class QButtonGroup;
class QPushButton;
class QTimer;
class QTranslator;
class Loading;
class TMessageBox;
class SysTrayIconWidget;
class StatusThread;
class DeviceController;
class HttpsServer;
class MT7628Config;
class QListWidgetItem;

namespace Ui {
class KestrixClass;
}

struct SignalsUpgradeInfo_struct {
    int kind = 0;
    int progress = 0;
    QString text;
};
Q_DECLARE_METATYPE(SignalsUpgradeInfo_struct)

class Kestrix : public QWidget {
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
        PageDiag = 19,
        PageP2PConn = 20,
        PageSettings = 21,
        PageDrivers = 22,
    };

    Kestrix(QPoint& initialPos, unsigned char* showFlag, QWidget* parent = nullptr);
    ~Kestrix() override;

    bool isInitialised() const { return initialised; }

    // The page the status thread asks the GUI thread to show (worker threads set it).
    void setPageRequest(int index) { pageRequest.store(index); }
    int currentPageRequest() const { return pageRequest.load(); }
    // Lets another thread trigger a status pass at once.
    void wakeStatusThread();

    SysTrayIconWidget* trayWidget() const { return trayIcon; }
    Loading* loadingOverlay() const { return loading; }
    DeviceController* deviceController() const { return device.get(); }
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
    void ClickButton_vciReboot();
    void ClickButton_requestBuzz();
    void Release_VCI_occupation();
    void SlotsVciAdd();
    void SlotsClickItem();
    void Lan_Disconn(int itemNum);
    void InitMoreVci();
    void Slot_SelectStatus(QListWidgetItem* item);
    void ClickButton_SwitchEnglish();
    void ClickButton_SwitchSpanish();
    void ClickButton_Min();
    void ClickButton_Close();
    void SlotsUpdateThread();
    void SlotsTMsg(QString text, int ms);
    void SlotsTMsg(QString text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void buildNavigation();
    void makeSelfConnections();
    void applyLanguage(const QString& language);
    void refreshInternetLabel(bool online);
    void showPage(int index);
    void showFromTray();
    void startStatusThread();
    void statusPass();
    void startLogCleanup();
    void createDeviceLink();
    void onSharedSignal(int code, const QVariant& data);

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
    std::unique_ptr<MT7628Config> mt7628Config; // outlives the device operations' threads
    std::unique_ptr<HttpsServer> httpsServer;
    std::unique_ptr<DeviceController> device;
    std::unique_ptr<StatusThread> statusThread;
};
