#include "device/DeviceController.h"

#include "kit/Instance.h"

#include "device/DeviceLog.h"
#include "device/DevicePage.h"
#include "device/LinkDrivers.h"
#include "device/MoreVciPage.h"
#include "device/VCIItem.h"
#include "device/VciStatusRecord.h"

#include "kit/MessageYesNo.h"
#include "kit/PlacePage.h"
#include "kit/PostCall.h"

#include <MT7628Config.h>
#include <blocks/StatusBlock.h>
#include <platform/NamedEvent.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <array>
#include <cstring>
#include <mutex>

DeviceController::DeviceController(MT7628Config& cfg, QObject* parent)
    : QObject(parent)
    , m_cfg(cfg)
    , m_loop(DeviceStatusLoop::Hooks{{},
          [this] {
              std::string mac;
              return probeAdapter(mac);
          },
          [this] { m_block.clearSelectedSerial(); },
          [this] {
              if (m_hint)
                  m_hint->wake();
          },
          [this](bool noDevice) { emit SignalSetDisableRemoteStatus(noDevice); }, {}})
{
    m_ops.reboot = [this](const std::string& ip) { return m_cfg.RebootVci(ip.c_str()); };
    m_ops.buzz = [this](const std::string& ip) { return m_cfg.RequestBuzz(ip.c_str()); };
    m_ops.release = [this](const std::string& ip) { return m_cfg.Contact_occupancy(ip.c_str()); };

    m_powerDialogTimer = new QTimer(this);
    m_powerDialogTimer->setInterval(70000);
    m_hintWindowTimer = new QTimer(this);
    m_hintWindowTimer->setInterval(60000);
    connect(m_powerDialogTimer, &QTimer::timeout, this, &DeviceController::onPowerDialogTimeout);
    connect(m_hintWindowTimer, &QTimer::timeout, this, &DeviceController::onHintWindowTimeout);
    connect(this, &DeviceController::timerControl, this, &DeviceController::applyTimerControl);

    HintLoop::Hooks hooks;
    hooks.adapterPresent = [this](std::string& mac) { return probeAdapter(mac); };
    hooks.currentSerial = [this] { return QString::fromUtf8(m_loop.snapshot().record.SN); };
    hooks.rememberedSerial = [this] { return m_loop.snapshot().lastSerial; };
    hooks.voltageText = [this] { return m_loop.voltageText(); };
    hooks.showInitHint = [this] {
        emit SignalsTMsg(
            tr("System initializing. If device not recognized,\n        connect to 12V power and retry."), 1100);
    };
    hooks.setTimer = [this](HintTimer which, bool on) { setHintTimer(which, on); };
    hooks.timerActive = [this](HintTimer which) { return hintTimerActive(which); };
    m_hint = std::make_unique<HintLoop>(std::move(hooks), instance::programFile(QStringLiteral("VCIINFO.ini")));
    connect(this, &DeviceController::SignalsVciAdd, this, &DeviceController::SlotsVciAdd);
}

DeviceController::~DeviceController()
{
    stop();
}

void DeviceController::attach(SubsystemHost& host)
{
    m_host = &host;
    m_page = placePage<DevicePage>(host.pageHost(kDevicePageIndex));
    connect(m_page->rebootButton(), &QPushButton::clicked, this, &DeviceController::ClickButton_vciReboot);
    connect(m_page->buzzButton(), &QPushButton::clicked, this, &DeviceController::ClickButton_requestBuzz);
    connect(m_page->releaseButton(), &QPushButton::clicked, this, &DeviceController::Release_VCI_occupation);
    connect(m_page->routerButton(), &QPushButton::clicked, this, &DeviceController::routerSetupRequested);
    connect(m_page->moreDevicesButton(), &QPushButton::clicked, this, &DeviceController::InitMoreVci);
    connect(m_page->firmwareButton(), &QPushButton::clicked, this, &DeviceController::firmwareUpdateRequested);
    connect(m_page, &DevicePage::showMessage, this, &DeviceController::SignalsTMsg);
    connect(m_page, &DevicePage::voltageTextChanged, this, &DeviceController::onVoltageTextChanged);
    host.buildOnFirstShow(kMoreVciPageIndex, [this](QWidget* pageHost) { createMoreVciPage(pageHost); });

    // Reports come from worker threads; the frame delivers them on the GUI thread.
    connect(this, &DeviceController::SignalsTMsg, host.frame(),
        [&host](const QString& text, int ms) { host.toast(text, ms); });

    m_hint->start(m_workers);
    startStatusWatch();
}

void DeviceController::createMoreVciPage(QWidget* host)
{
    if (m_more)
        return;
    m_more = placePage<MoreVciPage>(host);
    connect(m_more->list(), &QListWidget::itemClicked, this, &DeviceController::Slot_SelectStatus);
    // Enter on the current row chooses it as a click does (keyboard users).
    connect(m_more->list(), &QListWidget::itemActivated, this, &DeviceController::Slot_SelectStatus);
    connect(m_more->selectButton(), &QPushButton::clicked, this, &DeviceController::SlotsClickItem);
    connect(m_more, &MoreVciPage::refreshRequested, this, &DeviceController::requestDeviceList);
    connect(m_more, &MoreVciPage::backRequested, this, [this] {
        if (m_host)
            m_host->showPage(kDevicePageIndex);
    });
}

MoreVciPage* DeviceController::moreVciPage()
{
    if (!m_more && m_host)
        m_host->ensurePage(kMoreVciPageIndex);
    return m_more;
}

void DeviceController::stop()
{
    m_workers.stopAndJoin();
}

void DeviceController::startStatusWatch()
{
    // A change in the status block wakes the status thread at once instead of
    // at the end of its one-second wait. The service signals the status event
    // after every change of the text, so the watch sleeps until then; it looks
    // again without a signal only every few seconds, to take up the event of a
    // restarted service (the pass sees that service's text within a second
    // regardless).
    // The first look happens here, so any change after attach() counts. A
    // look parses only a changed text, and the pass it wakes shares that
    // reading instead of parsing the text again.
    struct Watch {
        std::mutex mutex; // opening the event against the stop's signal
        platform::NamedEvent event;
    };
    auto watch = std::make_shared<Watch>();
    const std::uint64_t first = watchStatusBlock();
    m_workers.start(
        "status-watch",
        [this, watch, first] {
            std::uint64_t seen = first;
            for (;;) {
                bool open = false;
                {
                    std::lock_guard<std::mutex> lock(watch->mutex);
                    if (m_workers.stopping())
                        return;
                    if (!watch->event.isOpen() || !watch->event.stillNamed())
                        watch->event.open(blocks::statusEventName(kVciStatusBlockName));
                    open = watch->event.isOpen();
                }
                if (open)
                    watch->event.wait(std::chrono::milliseconds(kStatusWatchFallbackMs));
                else if (!m_workers.sleepFor(std::chrono::milliseconds(kStatusWatchRetryMs)))
                    return;
                if (m_workers.stopping())
                    return;
                const std::uint64_t now = watchStatusBlock();
                if (now != seen) {
                    seen = now;
                    if (m_host)
                        m_host->wakeStatusPass();
                }
            }
        },
        [watch] {
            // The group is stopping: end the event wait (the worker opens the
            // event only after it looked at the stop flag under this lock).
            std::lock_guard<std::mutex> lock(watch->mutex);
            if (watch->event.isOpen())
                watch->event.signal();
        });
}

void DeviceController::setAdapterOps(AdapterOps ops)
{
    m_ops = std::move(ops);
}

void DeviceController::setAdapterProbe(AdapterProbe probe)
{
    m_probe = std::move(probe);
}

void DeviceController::setCommandBlockName(const std::string& name)
{
    m_block = CommandBlock(name);
}

void DeviceController::setHintIniPath(const QString& path)
{
    m_hint->setIniPath(path);
}

bool DeviceController::probeAdapter(std::string& mac)
{
    const bool present = m_probe ? m_probe(mac) : adapterPresent(&mac);
    if (!mac.empty()) {
        std::lock_guard<std::mutex> lock(m_macMutex);
        m_mac = mac;
    }
    return present;
}

QString DeviceController::adapterMacText() const
{
    std::lock_guard<std::mutex> lock(m_macMutex);
    return QString::fromStdString(m_mac);
}

void DeviceController::repaint(int currentPage)
{
    if (m_page)
        m_page->refresh(m_loop.snapshot(), currentPage == kDevicePageIndex);
}

// Hint timers ------------------------------------------------------------------

void DeviceController::setHintTimer(HintTimer which, bool on)
{
    QTimer* timer = which == HintTimer::PowerDialog ? m_powerDialogTimer : m_hintWindowTimer;
    // The flag follows the request at once so that the hint loop's next step sees it.
    (which == HintTimer::PowerDialog ? m_powerDialogActive : m_hintWindowActive) = on;
    emit timerControl(timer, on ? QStringLiteral("ON") : QStringLiteral("OFF"));
}

bool DeviceController::hintTimerActive(HintTimer which) const
{
    return which == HintTimer::PowerDialog ? m_powerDialogActive.load() : m_hintWindowActive.load();
}

void DeviceController::applyTimerControl(QTimer* timer, const QString& status)
{
    const bool on = status.contains(QLatin1Char('N'));
    if (on)
        timer->start();
    else
        timer->stop();
    if (timer == m_powerDialogTimer)
        m_powerDialogActive = on;
    else if (timer == m_hintWindowTimer)
        m_hintWindowActive = on;
}

void DeviceController::onPowerDialogTimeout()
{
    m_powerDialogTimer->stop();
    m_powerDialogActive = false;
    MessageYesNo dialog(tr("Connect 12V power supply"), m_page ? m_page->window() : nullptr);
    dialog.exec();
}

void DeviceController::onHintWindowTimeout()
{
    m_hintWindowTimer->stop();
    m_hintWindowActive = false;
}

void DeviceController::onVoltageTextChanged()
{
    if (m_hintWindowTimer->isActive())
        emit timerControl(m_hintWindowTimer, QStringLiteral("OFF"));
}

// Device operations ----------------------------------------------------------

void DeviceController::ClickButton_vciReboot()
{
    startOperation(Operation::Reboot);
}

void DeviceController::ClickButton_requestBuzz()
{
    startOperation(Operation::Buzz);
}

void DeviceController::Release_VCI_occupation()
{
    startOperation(Operation::Release);
}

void DeviceController::startOperation(Operation op)
{
    const std::string ip = m_loop.snapshot().record.vciIP;
    if (ip.empty())
        return;
    std::function<bool(const std::string&)> call = op == Operation::Reboot ? m_ops.reboot
        : op == Operation::Buzz                                            ? m_ops.buzz
                                                                           : m_ops.release;
    if (!call)
        return;
    // The report is queued to this object; Qt drops it if the controller is
    // gone by then, and stop() joins the worker before that can happen.
    m_workers.start("device-operation", [this, call, ip, op] {
        const bool ok = call(ip);
        appkit::postCall(this, [this, op, ok] { operationFinished(op, ok); });
    });
}

void DeviceController::operationFinished(Operation op, bool ok)
{
    if (!ok) {
        emit SignalsTMsg(tr("Execution failed"), 1200);
        return;
    }
    if (op == Operation::Reboot) {
        emit SignalsTMsg(tr("Rebooting,please wait..."), 20000);
        m_page->setPendingMessage(tr("Execute successfully"));
        return;
    }
    emit SignalsTMsg(tr("Execute successfully"), 1200);
}

// Device list ----------------------------------------------------------------

void DeviceController::InitMoreVci()
{
    if (m_host)
        m_host->showPage(kMoreVciPageIndex);
    requestDeviceList();
}

void DeviceController::requestDeviceList()
{
    if (!moreVciPage())
        return;
    m_more->setSelectEnabled(false);
    m_more->refreshControl()->hide();
    m_more->clearRows();
    m_lastClickedRow = -1;
    m_devices = m_block.requestDeviceList();
    m_more->refreshControl()->show();
    if (!m_devices.empty())
        emit SignalsVciAdd();
}

void DeviceController::SlotsVciAdd()
{
    if (!moreVciPage())
        return;
    for (int i = m_more->rowCount(); i < static_cast<int>(m_devices.size()); ++i) {
        const QString serial = QString::fromUtf8(m_devices[static_cast<std::size_t>(i)].SN);
        VCIItem* row = m_more->addRow(serial);
        if (!m_selectedSerial.isEmpty() && m_selectedSerial == serial) {
            m_block.writeSelectedSerial(serial);
            row->setConnected(true);
        } else {
            row->setConnected(false);
        }
        connect(row, &VCIItem::break_connect, this, &DeviceController::Lan_Disconn);
    }
}

void DeviceController::Slot_SelectStatus(QListWidgetItem* item)
{
    if (!item || !m_more)
        return;
    const int index = m_more->list()->row(item);
    VCIItem* clicked = m_more->row(index);
    if (!clicked || clicked->isConnected())
        return;
    m_more->setSelectEnabled(true);
    if (m_lastClickedRow != index) {
        VCIItem* previous = m_more->row(m_lastClickedRow);
        if (previous && !previous->isConnected())
            previous->setConnected(false);
    }
    clicked->setClickedMark();
    m_lastClickedRow = index;
}

void DeviceController::SlotsClickItem()
{
    if (!moreVciPage())
        return;
    const int current = m_more->list()->currentRow();
    VCIItem* chosen = m_more->row(current);
    if (!chosen) {
        emit SignalsTMsg(tr("Please select a valid row"), 1200);
        return;
    }
    if (!m_selectedSerial.isEmpty()) {
        for (int i = 0; i < m_more->rowCount(); ++i) {
            VCIItem* other = m_more->row(i);
            if (i != current && other && other->serial() == m_selectedSerial) {
                m_block.clearSelectedSerial();
                other->setConnected(false);
            }
        }
    }
    m_selectedSerial = chosen->serial();
    m_block.writeSelectedSerial(m_selectedSerial);
    chosen->setConnected(true);
    m_more->setSelectEnabled(false);
}

void DeviceController::Lan_Disconn(int itemNum)
{
    m_block.clearSelectedSerial();
    m_selectedSerial.clear();
    if (!m_more)
        return;
    if (VCIItem* row = m_more->row(itemNum))
        row->setConnected(false);
    m_more->setSelectEnabled(false);
}
