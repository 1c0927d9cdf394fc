#include "app/SubsystemWiring.h"

#include "app/StartupTrace.h"

#include "account/AccountController.h"
#include "ads/AdsController.h"
#include "device/AppShared.h"
#include "device/DeviceController.h"
#include "device/LinkDrivers.h"
#include "diagnosis/DiagnosisController.h"
#include "drivers/DriversController.h"
#include "kit/GlobalServerUrl.h"
#include "maintenance/FirmwareController.h"
#include "maintenance/RouterController.h"
#include "remote/RemoteController.h"
#include "settings/SettingsController.h"
#include "update/UpdateController.h"

#include "HttpsServer.h"
#include "MT7628Config.h"

#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

SubsystemSet::SubsystemSet() = default;
SubsystemSet::~SubsystemSet() = default;

namespace {

constexpr int kDriveTipDelayMs = 2000;

// What the per-subsystem functions share.
struct Wiring {
    SubsystemHost& host;
    SubsystemSet& set;

    template <typename T>
    T* add(std::unique_ptr<T> subsystem)
    {
        T* added = subsystem.get();
        set.list.push_back(std::move(subsystem));
        return added;
    }
    QPushButton* button(const char* name) const { return host.frame()->findChild<QPushButton*>(QLatin1String(name)); }
    QStackedWidget* stack() const { return host.frame()->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack")); }
};

DeviceController* wireDevice(Wiring& w)
{
    // The background service owns the adapter link; start it when it is not
    // running. Development runs and tests that bring their own service, or
    // none, set BRINDLEWICK_NO_SERVICE_START.
    const LinkEnvironment link = LinkEnvironment::system();
    if (qEnvironmentVariableIsEmpty("BRINDLEWICK_NO_SERVICE_START"))
        ensureServiceRunning(link);
    w.set.whenWindowReady.push_back([link] { runLinkHousekeeping(link); });

    auto* device = w.add(std::make_unique<DeviceController>(*w.set.config));
    device->setInternetProbe([] { return HttpsServer::InternetOk(); });
    QObject::connect(
        w.button("Btn_Device"), &QPushButton::clicked, device, [&host = w.host] { host.showPage(Pages::Device); });
    return device;
}

FirmwareController* wireFirmware(Wiring& w, DeviceController& device)
{
    auto* firmware = w.add(std::make_unique<FirmwareController>(*w.set.server));
    QObject::connect(&device, &DeviceController::firmwareUpdateRequested, firmware, &FirmwareController::Firmware_Init);
    return firmware;
}

void wireRouter(Wiring& w, DeviceController& device)
{
    auto* router = w.add(std::make_unique<RouterController>(*w.set.config));
    QObject::connect(&device, &DeviceController::routerSetupRequested, router, &RouterController::RountInit);
}

DriversController* wireDrivers(Wiring& w, FirmwareController& firmware)
{
    auto* drivers = w.add(std::make_unique<DriversController>());
    // The drivers page's buttons are off while the firmware update runs.
    QObject::connect(
        &firmware, &FirmwareController::sig_enableOrDisableDrivers, drivers, &DriversController::setOperationsEnabled);
    QObject::connect(w.button("Btn_Drivers"), &QPushButton::clicked, drivers, [&host = w.host] {
        host.showPage(Pages::Drivers);
        emit AppShared::instance()->signal(DriversPageShown, QString()); // the page reloads
    });
    // Once, when the window has settled: a make's own software without its driver.
    w.set.whenWindowReady.push_back(
        [drivers] { QTimer::singleShot(kDriveTipDelayMs, drivers, &DriversController::Sign_DriveInstallTip); });
    return drivers;
}

void wireDiagnosis(Wiring& w, DriversController& drivers)
{
    auto* diagnosis = w.add(std::make_unique<DiagnosisController>());
    // The J2534 driver before the diagnosis pages; the drivers page asks and opens itself.
    diagnosis->setGate([&drivers] { return drivers.checkPassThruDriver(); });
    diagnosis->setInternetProbe([] { return HttpsServer::InternetOk(); });
    // The way in: the diagnosis button in the navigation bar, above the settings button.
    QPushButton* entry = w.button("Btn_Kestrix");
    QPushButton* settings = w.button("Btn_Setting");
    if (entry && settings) {
        entry->setGeometry(settings->geometry());
        settings->setGeometry(settings->x(), settings->y() + settings->height(), settings->width(), settings->height());
        if (auto* tip = w.host.frame()->findChild<QLabel*>(QStringLiteral("lbl_upgradeTip")))
            tip->move(tip->x(), tip->y() + settings->height());
        entry->show();
        QObject::connect(entry, &QPushButton::clicked, diagnosis, &DiagnosisController::startDiagnosis);
    }
}

void wireSettings(Wiring& w)
{
    auto* settings = w.add(std::make_unique<SettingsController>(*w.set.config));
    // The settings page re-reads the machine each time it is opened.
    QObject::connect(w.button("Btn_Setting"), &QPushButton::clicked, settings, &SettingsController::showSettings);
    // The back links of other pages that lead to the settings page, also on
    // pages built after start-up.
    QWidget* frame = w.host.frame();
    w.set.whenWindowReady.push_back([settings, frame] { settings->adoptBackButtons(frame); });
    QObject::connect(
        w.stack(), &QStackedWidget::currentChanged, settings, [settings, frame] { settings->adoptBackButtons(frame); });
}

void wireRemote(Wiring& w, DeviceController& device)
{
    auto* remote
        = w.add(std::make_unique<RemoteController>(RemoteController::systemEnvironment(device, *w.set.config)));
    QObject::connect(
        &device, &DeviceController::SignalSetDisableRemoteStatus, remote, &RemoteController::SetDisableRemoteStatus);
    // The busy overlay while a relay attempt or a P2P connect runs.
    QObject::connect(
        remote, &RemoteController::attemptRunning, remote, [&host = w.host](bool running) { host.setBusy(running); });
    // The session page while a session runs, else the remote page or the P2P
    // page, whichever the user left last.
    QObject::connect(w.button("Btn_Remote"), &QPushButton::clicked, remote,
        [remote, &host = w.host] { host.showPage(remote->navigationPage()); });
}

void wireAds(Wiring& w)
{
    // The carousel goes under the device page, which the device subsystem places first.
    w.add(std::make_unique<AdsController>());
}

void wireAccount(Wiring& w)
{
    w.add(std::make_unique<AccountController>(httpsAccountService(*w.set.server)));
}

void wireUpdate(Wiring& w)
{
    w.add(std::make_unique<UpdateController>());
}

} // namespace

std::unique_ptr<SubsystemSet> wireSubsystems(SubsystemHost& host)
{
    auto set = std::make_unique<SubsystemSet>();
    set->config = std::make_unique<MT7628Config>();
    set->server = std::make_unique<HttpsServer>();
    setGlobalServerUrl(QString::fromStdString(set->server->GetGloableUrl()));
    StartupTrace::mark("wiring: adapter and account clients");

    // Bus code 9: a toast from code that has no host at hand.
    QObject::connect(
        AppShared::instance(), &AppShared::signal, host.frame(), [&host](SharedSignal code, const QVariant& value) {
            if (code == ShowToast)
                host.toast(value.toString(), 2000);
        });

    Wiring w{host, *set};
    DeviceController* device = wireDevice(w);
    StartupTrace::mark("wiring: device");
    FirmwareController* firmware = wireFirmware(w, *device);
    wireRouter(w, *device);
    DriversController* drivers = wireDrivers(w, *firmware);
    wireDiagnosis(w, *drivers);
    wireSettings(w);
    StartupTrace::mark("wiring: maintenance, drivers, diagnosis, settings");
    wireRemote(w, *device);
    StartupTrace::mark("wiring: remote");
    wireAds(w);
    wireAccount(w);
    wireUpdate(w);
    StartupTrace::mark("wiring: controllers made");

    for (const std::unique_ptr<Subsystem>& subsystem : set->list) {
        subsystem->attach(host);
        if (lcStartup().isDebugEnabled()) {
            const auto* object = dynamic_cast<const QObject*>(subsystem.get());
            StartupTrace::mark("wiring: attached", object ? object->metaObject()->className() : "a subsystem");
        }
    }
    return set;
}
