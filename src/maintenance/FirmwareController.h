// The firmware update subsystem: the firmware page (page 3, built on first
// show), the version query and the update-all worker, run on the
// controller's worker group so none outlives the window. Reports from the
// worker reach the page through SignalsUpgradeInfo, delivered on the GUI thread.
#pragma once

#include "maintenance/FirmwareUpdate.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>

#include <atomic>
#include <memory>

class FirmwarePage;
class HttpsServer;

class FirmwareController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kFirmwarePageIndex = Pages::FirmwareUpdate;

    // `server` must outlive the controller.
    explicit FirmwareController(HttpsServer& server, QObject* parent = nullptr);
    // A controller with its outside world given (tests).
    FirmwareController(FirmwareUpdate::Hooks hooks, QObject* parent = nullptr);
    ~FirmwareController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    FirmwarePage* page();
    bool running() const { return m_running.load(); }
    // Where the images are downloaded and the upgraders are found.
    void setFolders(const QString& tempDir, const QString& programDir);

public slots:
    // Opens the firmware page and asks the server for the latest versions.
    void Firmware_Init();
    // Starts the update of every image not yet done.
    void ClickButton_upAll();
    void SlotsUpgradeInfo(SignalsUpgradeInfo_struct info);

signals:
    void SignalsUpgradeInfo(SignalsUpgradeInfo_struct info);
    void sig_enableOrDisableDrivers(bool enable);
    void SignalsTMsg(QString text, int ms);
    void versionsQueried();

private:
    void completeHooks();
    void createPage(QWidget* host);
    void onVersionsQueried();

    HttpsServer* m_server = nullptr;
    FirmwareUpdate::Hooks m_hooks;
    std::unique_ptr<FirmwareUpdate> m_update;
    QString m_tempDir;
    QString m_programDir;
    SubsystemHost* m_host = nullptr;
    FirmwarePage* m_page = nullptr;
    std::atomic<bool> m_running{false};
    std::string m_vciIP;
    std::string m_serial;

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
