#include "maintenance/RouterController.h"

#include "kit/PlacePage.h"

#include "maintenance/RouterItem.h"
#include "maintenance/RouterPage.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <system_error>

RouterController::RouterController(MT7628Config& config, QObject* parent)
    : QObject(parent)
    , m_module(std::make_unique<Mt7628RouterModule>(config))
{
    init([](VciStatusRecord& r) { return recentVciStatus(r); });
}

RouterController::RouterController(
    std::unique_ptr<RouterModule> module, std::function<bool(VciStatusRecord&)> readStatus, QObject* parent)
    : QObject(parent)
    , m_module(std::move(module))
{
    init(std::move(readStatus));
}

RouterController::~RouterController()
{
    stop();
}

void RouterController::init(std::function<bool(VciStatusRecord&)> readStatus)
{
    m_readStatus = std::move(readStatus);
    RouterSetup::Hooks hooks;
    hooks.readStatus = m_readStatus;
    hooks.sleep = [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); };
    // Worker threads reach the GUI thread only through these queued signals.
    hooks.sendCommand = [this](int cmd, int item) { emit signalSendRouteCmd(cmd, item, QString(), QString()); };
    hooks.updateDeviceInfo = [this] { emit SignalsUpdateDeviceInfo(); };
    hooks.tip = [this](const QString& text, int ms) { emit SignalsTMsg(text, ms); };
    m_setup = std::make_unique<RouterSetup>(*m_module, std::move(hooks));
}

void RouterController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(kRouterPageIndex, [this](QWidget* pageHost) { createPage(pageHost); });
    connect(this, &RouterController::signalSendRouteCmd, this, &RouterController::on_SendRouteCmd);
    connect(this, &RouterController::SignalsUpdateDeviceInfo, this, &RouterController::SlotsUpdateDeviceInfo);
    connect(this, &RouterController::SignalsTMsg, host.frame(),
        [&host](const QString& text, int ms) { host.toast(text, ms); });

    // The list is only seen on the router page: the timer runs while it is shown.
    m_listTimer = new QTimer(this);
    m_listTimer->setInterval(100);
    connect(m_listTimer, &QTimer::timeout, this, &RouterController::on_CreateWidgetItem_Time);

    // The adapter's Wi-Fi settings, once a second while the page is shown; the
    // worker sleeps without waking while it is not.
    m_workers.start("wifi-info", [this] {
        while (m_workers.waitUntil([this] { return m_pageShown.load(); })) {
            if (!m_workers.sleepFor(std::chrono::seconds(1)))
                return;
            if (m_pageShown.load())
                m_setup->pollWifiInfo();
        }
    });
}

void RouterController::createPage(QWidget* host)
{
    if (m_page)
        return;
    m_page = placePage<RouterPage>(host);
    connect(m_page, &RouterPage::rowCreated, this, &RouterController::connectRow);
    m_page->refreshButton()->installEventFilter(this);
    connect(m_page->modifyButton(), &QPushButton::clicked, this, &RouterController::Btn_Modify_Router_clicked);
    connect(m_page->resetButton(), &QPushButton::clicked, this, &RouterController::Btn_Route_Restor_clicked);
    connect(m_page->saveButton(), &QPushButton::clicked, this, &RouterController::Btn_Save_Router_clicked);
    connect(m_page->backButton(), &QPushButton::clicked, this, [this] {
        setPageShown(false);
        if (m_host)
            m_host->showPage(Pages::Device);
    });
    SlotsUpdateDeviceInfo();
}

void RouterController::connectRow(RouterItem* item)
{
    connect(item, &RouterItem::signalSendRouteCmd, this, &RouterController::signalSendRouteCmd);
    connect(item, &RouterItem::signalSendRouteTip, this, &RouterController::RouteResultTip);
}

RouterPage* RouterController::page()
{
    if (!m_page && m_host)
        m_host->ensurePage(kRouterPageIndex);
    return m_page;
}

void RouterController::repaint(int currentPage)
{
    setPageShown(currentPage == kRouterPageIndex);
}

void RouterController::setPageShown(bool shown)
{
    m_pageShown = shown;
    m_workers.wake();
    if (!m_listTimer || shown == m_listTimer->isActive())
        return;
    if (shown) {
        m_listTimer->start();
        on_CreateWidgetItem_Time(); // what changed while it was hidden, at once
    } else {
        m_listTimer->stop();
    }
}

void RouterController::stop()
{
    if (m_listTimer)
        m_listTimer->stop();
    m_workers.stopAndJoin();
}

bool RouterController::eventFilter(QObject* watched, QEvent* event)
{
    if (m_page && watched == m_page->refreshButton() && event->type() == QEvent::MouseButtonPress
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        requestScan();
    return QObject::eventFilter(watched, event);
}

void RouterController::RountInit()
{
    if (!m_host)
        return;
    m_host->showPage(kRouterPageIndex);
    page();
    setPageShown(true);
    emit signalSendRouteCmd(route_cmd::kReadWifi, 0, QString(), QString());
    requestScan();
}

void RouterController::requestScan()
{
    if (m_setup->busy())
        return;
    VciStatusRecord record{};
    clearRecord(record);
    m_readStatus(record);
    if (record.SN[0] == '\0') {
        RouteResultTip(RouterSetup::tr("No adapter is connected."), 1200);
        return;
    }
    // Scanning takes the module's radio off the link it serves: only over a cable.
    if (record.connType != CONN_USB && record.connType != CONN_RJ45) {
        RouteResultTip(tr("Connect the adapter by USB or cable to scan."), 2000);
        return;
    }
    emit signalSendRouteCmd(route_cmd::kScan, 0, QString(), QString());
}

void RouterController::runCommand(const char* name, std::function<void()> job)
{
    try {
        m_workers.start(name, std::move(job));
    } catch (const std::system_error&) {
        RouteResultTip(RouterSetup::tr("Execution failed"), 1200);
    }
}

void RouterController::on_SendRouteCmd(int cmd, int itemindex, QString Str1, QString Str2)
{
    switch (cmd) {
    case route_cmd::kScan:
        runCommand("router-scan", [this] { m_setup->scan(); });
        return;
    case route_cmd::kJoin: {
        const bool rowChosen = m_chosenRow >= 0;
        runCommand("router-join", [this, itemindex, rowChosen, name = Str1.toStdString(), pw = Str2.toStdString()] {
            m_setup->join(itemindex, name, pw, rowChosen);
        });
        return;
    }
    case route_cmd::kReset:
        runCommand("router-reset", [this] { m_setup->reset(); });
        return;
    case route_cmd::kSave:
        runCommand(
            "router-save", [this, name = Str1.toStdString(), pw = Str2.toStdString()] { m_setup->save(name, pw); });
        return;
    case route_cmd::kReadWifi:
        runCommand("router-wifi", [this] { m_setup->readWifiInfo(); });
        return;
    default:
        break;
    }
    if (!m_page)
        return;
    switch (cmd) {
    case route_cmd::kClearMarks:
        m_page->clearMarks();
        break;
    case route_cmd::kRowChosen:
        if (m_chosenRow >= 0 && m_chosenRow != itemindex && m_chosenRow < m_page->rowCount())
            m_page->row(m_chosenRow)->setJoined(false);
        m_chosenRow = itemindex;
        break;
    case route_cmd::kJoined:
    case route_cmd::kSaved:
    case route_cmd::kResetDone:
        m_page->markJoined(m_setup->joinedName());
        m_page->showCurrentRouter(m_setup->joinedName());
        break;
    default:
        break; // any other number is not a router command
    }
}

void RouterController::on_CreateWidgetItem_Time()
{
    const unsigned generation = m_setup->listGeneration();
    if (!m_page)
        return;
    m_page->setScanning(m_setup->busy());
    if (generation == m_shownGeneration)
        return;
    m_shownGeneration = generation;
    m_chosenRow = -1;
    const std::string joined = m_setup->joinedName();
    m_page->showAccessPoints(m_setup->accessPoints(), joined);
    m_page->showCurrentRouter(joined);
}

void RouterController::SlotsUpdateDeviceInfo()
{
    if (!m_page)
        return;
    QString name;
    QString password;
    RouterSetup::splitWifiInfo(m_setup->wifiInfo(), name, password);
    m_page->showWifiSettings(name, password);
}

void RouterController::Btn_Modify_Router_clicked()
{
    const bool editing = m_page->modifyButton()->isChecked();
    m_page->setEditing(editing);
    if (!editing)
        SlotsUpdateDeviceInfo(); // leaving without saving shows the adapter's settings again
}

void RouterController::Btn_Save_Router_clicked()
{
    RouteResultTip(RouterSetup::tr("Executing, please wait..."), 6000);
    const QString name = m_page->nameField()->text();
    const QString password = m_page->passwordField()->text();
    const RouterSetup::SaveCheck check = RouterSetup::checkSave(name, password);
    if (check != RouterSetup::SaveCheck::Ok) {
        RouteResultTip(RouterSetup::saveCheckText(check), 1200);
        return;
    }
    m_page->setEditing(false);
    emit signalSendRouteCmd(route_cmd::kSave, 0, name, password);
}

void RouterController::Btn_Route_Restor_clicked()
{
    RouteResultTip(tr("Resetting, please wait..."), 6000);
    m_page->setEditing(false); // also releases the modify button and masks the password
    m_page->nameField()->clear();
    m_page->passwordField()->clear();
    emit signalSendRouteCmd(route_cmd::kReset, 0, QString(), QString());
    emit signalSendRouteCmd(route_cmd::kResetDone, 0, QString(), QString());
}

void RouterController::RouteResultTip(QString Text, int Timer)
{
    if (m_host)
        m_host->toast(Text, Timer);
}
