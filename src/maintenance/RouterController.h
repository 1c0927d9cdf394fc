// The router subsystem: the router page (page 5, built on first show), the
// numbered router commands and their worker threads, the 100 ms timer that
// puts new scan results into rows, and the once-a-second read of the
// adapter's Wi-Fi settings while the page is shown. Commands that talk to the
// adapter run on the controller's worker group (none outlives the window) and
// come back to the GUI thread through queued signals.
#pragma once

#include "maintenance/RouterSetup.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class MT7628Config;
class QTimer;
class RouterItem;
class RouterPage;

class RouterController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kRouterPageIndex = Pages::RouterConnect;

    // `config` must outlive the controller.
    explicit RouterController(MT7628Config& config, QObject* parent = nullptr);
    // A controller with its module and status record given (tests).
    RouterController(std::unique_ptr<RouterModule> module, std::function<bool(VciStatusRecord&)> readStatus,
        QObject* parent = nullptr);
    ~RouterController() override;

    void attach(SubsystemHost& host) override;
    void repaint(int currentPage) override;
    void stop() override;

    RouterPage* page();
    RouterSetup& setup() { return *m_setup; }

public slots:
    // Opens the router page, reads the adapter's Wi-Fi settings and scans.
    void RountInit();
    void on_SendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2);
    void on_CreateWidgetItem_Time();
    void SlotsUpdateDeviceInfo();
    void Btn_Modify_Router_clicked();
    void Btn_Route_Restor_clicked();
    void Btn_Save_Router_clicked();
    void RouteResultTip(QString Text, int Timer);
    // The refresh button: scans when the adapter is linked by USB or cable.
    void requestScan();

signals:
    void signalSendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2);
    void SignalsUpdateDeviceInfo();
    void SignalsTMsg(QString text, int ms);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void init(std::function<bool(VciStatusRecord&)> readStatus);
    void createPage(QWidget* host);
    void connectRow(RouterItem* item);
    // The list timer and the Wi-Fi worker run only while the page is shown.
    void setPageShown(bool shown);
    void runCommand(const char* name, std::function<void()> job);

    std::unique_ptr<RouterModule> m_module;
    std::function<bool(VciStatusRecord&)> m_readStatus;
    std::unique_ptr<RouterSetup> m_setup;
    SubsystemHost* m_host = nullptr;
    RouterPage* m_page = nullptr;
    QTimer* m_listTimer = nullptr;
    unsigned m_shownGeneration = 0;
    int m_chosenRow = -1;
    std::atomic<bool> m_pageShown{false};

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
