#include "drivers/DriversController.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriverItem.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverView.h"
#include "drivers/DriversLog.h"
#include "kit/HttpUtils.h"

#include "device/AppShared.h"
#include "kit/AlertDialog.h"
#include "kit/GlobalServerUrl.h"
#include "kit/MessageYesNo.h"
#include "kit/PlacePage.h"

#include "BuildConfig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>

namespace {

// The adapter model that carries no vehicle drivers.
const char* const kModelWithoutDrivers = "M5BMW";

} // namespace

DriversController::DriversController(QObject* parent)
    : QObject(parent)
    , m_http(new HttpUtils(this))
{
    m_serial = [] { return AppShared::instance()->currentSerial(); };
    m_model = [] { return AppShared::instance()->deviceProfile().modelCode; };
    m_map = DriverRegistry::load();
}

DriversController::~DriversController()
{
    stop();
}

void DriversController::setAdapterProbe(std::function<QString()> serial, std::function<QString()> model)
{
    m_serial = std::move(serial);
    m_model = model ? std::move(model) : [] { return QString(); };
}

void DriversController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(kDriversPageIndex, [this](QWidget* pageHost) { createPage(pageHost); });
    connect(this, &DriversController::workerDone, this, &DriversController::onWorkerDone, Qt::QueuedConnection);
    connect(this, &DriversController::Sign_DriveInstallTip, this, &DriversController::Slot_DriveOfTip);
    // Code 3: the drivers page was shown; it reloads. Code 1: another adapter
    // (or none) is connected; a page already built follows it.
    connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant&) {
        if (code == DriversPageShown)
            loadDeviceDrivers();
        else if (code == SerialChanged && m_page && m_serial() != m_listedSerial)
            loadDeviceDrivers();
    });
}

void DriversController::stop()
{
    m_workers.stopAndJoin();
}

void DriversController::createPage(QWidget* host)
{
    if (m_page)
        return;
    m_page = placePage<DriverView>(host);
    m_page->setOperationsEnabled(m_operationsEnabled);
    connect(m_page, &DriverView::installRequested, this, &DriversController::downloadDriver);
    connect(m_page, &DriverView::uninstallRequested, this, &DriversController::uninstallDriver);
    connect(m_page, &DriverView::enableRequested, this, &DriversController::enableDriver);
    connect(m_page, &DriverView::localInstallRequested, this, &DriversController::installLocalDriver);
    connect(m_page, &DriverView::retryRequested, this, &DriversController::loadDeviceDrivers);
}

DriverView* DriversController::page()
{
    if (!m_page && m_host)
        m_host->ensurePage(kDriversPageIndex);
    return m_page;
}

QString DriversController::apiBase() const
{
    if (!m_apiBase.isEmpty())
        return m_apiBase;
    const QString reported = globalServerUrl();
    if (reported.startsWith(QLatin1String("http://")) || reported.startsWith(QLatin1String("https://")))
        return reported.endsWith(QLatin1Char('/')) ? reported : reported + QLatin1Char('/');
    return QString::fromUtf8(BuildConfig::kMainApiBase);
}

void DriversController::loadDeviceDrivers()
{
    DriverView* view = page();
    const int generation = ++m_generation;
    m_listedSerial = m_serial();
    m_map = DriverRegistry::load();
    if (m_model() == QLatin1String(kModelWithoutDrivers)) {
        if (view)
            view->showEmpty();
        emit listShown(false);
        return;
    }
    if (m_listedSerial.isEmpty()) {
        showLocal(tr("Connect the adapter to see the drivers the server offers."));
        emit AppShared::instance()->signal(DriversLocalOnly, QString());
        return;
    }
    m_http->get(
        drivers::catalogueRequest(apiBase()),
        [this, generation](const QJsonValue& answer) { onCatalogue(generation, answer); },
        [this, generation](int code, const QString& message) {
            if (generation != m_generation)
                return;
            qCWarning(lcDrivers).noquote() << "driver catalogue failed:" << code << message;
            showLocal(message);
        });
}

void DriversController::onCatalogue(int generation, const QJsonValue& answer)
{
    if (generation != m_generation)
        return; // a newer load is on its way
    const drivers::CatalogueAnswer parsed = drivers::parseCatalogue(answer);
    if (!parsed.ok) {
        showLocal(parsed.error);
        return;
    }
    if (parsed.skipped > 0)
        qCWarning(lcDrivers) << "driver catalogue:" << parsed.skipped << "records skipped";
    drivers::mergeCatalogue(m_map, parsed.records);
    m_fromServer = true;
    if (m_page) {
        m_page->showDrivers(m_map);
        for (const QString& key : m_pending)
            m_page->showWorking(key);
    }
    emit listShown(true);
}

void DriversController::showLocal(const QString& text)
{
    m_fromServer = false;
    m_map = DriverRegistry::load();
    QList<VehicleDriver> installed;
    for (const VehicleDriver& driver : qAsConst(m_map))
        if (driver.installed())
            installed << driver;
    if (m_page) {
        m_page->showLocalData(installed, text);
        for (const QString& key : m_pending)
            m_page->showWorking(key);
    }
    emit listShown(false);
}

void DriversController::downloadDriver(const QString& key)
{
    if (!m_map.contains(key) || m_pending.contains(key) || !m_operationsEnabled)
        return;
    const VehicleDriver driver = m_map.value(key);
    const QUrl url(driver.downloadUrl());
    if (!url.isValid() || url.isEmpty())
        return;
    const QString folder = DriverFiles::dataDirectory();
    if (!QDir().mkpath(folder)) {
        toast(tr("SaveDataToFileError"));
        return;
    }
    m_pending.insert(key);
    if (m_page)
        m_page->showProgress(key, 0, driver.serverSize());
    // Streamed to disk as it arrives: packages may be large.
    const QString file = folder + QStringLiteral("/.download-") + key + QStringLiteral(".zip");
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    m_http->downloadToFile(
        url, file,
        [this, key, clock](const QString& saved, const QString&, const QString& digest) {
            qCInfo(lcDrivers).noquote() << key << "downloaded in" << clock->elapsed() << "ms";
            if (m_page)
                m_page->showWorking(key);
            m_pending.remove(key); // runOperation counts it again
            runOperation(key, [saved, digest](DriverOperations& ops, VehicleDriver& d) {
                return ops.installDownloaded(saved, d, digest);
            });
        },
        [this, key](int code, const QString& message) {
            qCWarning(lcDrivers).noquote() << key << "download failed:" << code << message;
            m_pending.remove(key);
            if (m_page)
                m_page->hideProgress(key);
            toast(tr("DownloadFailed"));
        },
        [this, key](qint64 received, qint64 total) {
            if (m_page)
                m_page->showProgress(key, received, total);
        });
}

void DriversController::installLocalDriver()
{
    if (!m_operationsEnabled)
        return;
    const QString archive = m_chooseArchive ? m_chooseArchive()
                                            : QFileDialog::getOpenFileName(m_host ? m_host->frame() : nullptr,
                                                tr("SelectDriverZipFile"), QString(), QStringLiteral("*.zip;;*.*"));
    if (archive.isEmpty())
        return;
    const QString key = drivers::driverForArchive(QFileInfo(archive).fileName());
    if (key.isEmpty() || !m_map.contains(key)) {
        toast(tr("UnsupportedFile"));
        return;
    }
    if (m_pending.contains(key))
        return;
    if (m_page)
        m_page->showWorking(key);
    runOperation(key, [archive](DriverOperations& ops, VehicleDriver& d) { return ops.installLocal(archive, d); });
}

void DriversController::uninstallDriver(const QString& key)
{
    if (!m_map.contains(key) || m_pending.contains(key) || !m_operationsEnabled)
        return;
    // The English text is the source, so that it reads right and carries its
    // %1 without a catalogue too; the key tells the translation apart.
    const QString name = m_map.value(key).info.englishName;
    if (!confirm(tr("Confirm to uninstall %1 driver?", "ConfirmToUninstallDriver").arg(name)))
        return;
    if (m_page)
        m_page->showWorking(key);
    runOperation(key, [](DriverOperations& ops, VehicleDriver& d) { return ops.uninstall(d); });
}

void DriversController::enableDriver(const QString& key, bool enable)
{
    if (!m_map.contains(key) || m_pending.contains(key) || !m_operationsEnabled)
        return;
    const QString name = m_map.value(key).info.englishName;
    if (!enable && !confirm(tr("Confirm to disable %1 driver?", "ConfirmToDisableDriver").arg(name)))
        return;
    if (m_page)
        m_page->showWorking(key);
    runOperation(key, [enable](DriverOperations& ops, VehicleDriver& d) { return ops.setEnabled(d, enable); });
}

void DriversController::runOperation(
    const QString& key, std::function<DriverOperations::Outcome(DriverOperations&, VehicleDriver&)> job)
{
    m_pending.insert(key);
    VehicleDriver driver = m_map.value(key);
    SafeUnpacker unpacker = m_unpacker;
    unpacker.setCancelCheck([this] { return m_workers.stopping(); });
    m_workers.start("driver-" + key.toStdString(), [this, key, driver, unpacker, job]() mutable {
        std::lock_guard<std::mutex> lock(m_operationMutex);
        if (m_workers.stopping())
            return;
        DriverOperations ops(unpacker, [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); });
        const DriverOperations::Outcome outcome = job(ops, driver);
        if (!outcome.detail.isEmpty())
            qCInfo(lcDrivers).noquote() << key << outcome.detail;
        emit workerDone(key, outcome.ok, outcome.message);
    });
}

void DriversController::onWorkerDone(const QString& key, bool ok, const QString& message)
{
    m_pending.remove(key);
    // Every driver of the package may have changed (a shared package's folder).
    const QString installKey = m_map.value(key).info.installKey;
    for (VehicleDriver& driver : m_map) {
        if (driver.info.installKey != installKey)
            continue;
        DriverRegistry::readInstall(driver);
        if (m_page && !m_pending.contains(driver.key))
            m_page->updateDriver(driver);
    }
    if (m_page) {
        m_page->hideProgress(key);
        // A local install may bring in a driver the "Local Driver" list does not show yet.
        if (!m_fromServer && ok && !m_page->item(key))
            showLocal(m_page->sectionText());
    }
    if (!message.isEmpty())
        toast(message);
    emit operationFinished(key, ok, message);
}

void DriversController::setOperationsEnabled(bool enabled)
{
    m_operationsEnabled = enabled;
    if (m_page)
        m_page->setOperationsEnabled(enabled);
}

void DriversController::toast(const QString& text)
{
    emit AppShared::instance()->signal(ShowToast, text);
}

bool DriversController::confirm(const QString& text)
{
    return AlertDialog::ask(m_host ? m_host->frame() : nullptr, tr("Hint"), text, tr("Confirm"),
               AlertDialog::StylePrimary, tr("Cancel"), AlertDialog::StyleSecondary)
        == 1;
}

void DriversController::Slot_DriveOfTip()
{
    const QString make = DriverOperations::makeWithoutDriver();
    if (make.isEmpty())
        return;
    QWidget* frame = m_host ? m_host->frame() : nullptr;
    MessageYesNo box(tr("No driver is detected:%1.Plz download.").arg(make), frame);
    if (frame)
        box.move(frame->pos() + QPoint(250, 165));
    if (box.exec() == QDialog::Accepted && m_host) {
        m_host->showPage(kDriversPageIndex);
        emit AppShared::instance()->signal(DriversPageShown, QString());
    }
}

bool DriversController::checkPassThruDriver()
{
    if (DriverOperations::passThruInstalled())
        return true;
    QWidget* frame = m_host ? m_host->frame() : nullptr;
    MessageYesNo box(tr("No driver is detected:%1.Plz download.").arg(QStringLiteral("J2534")), frame);
    if (frame)
        box.move(frame->pos() + QPoint(250, 165));
    if (box.exec() == QDialog::Accepted && m_host) {
        m_host->showPage(kDriversPageIndex);
        emit AppShared::instance()->signal(DriversPageShown, QString());
    }
    return false;
}
