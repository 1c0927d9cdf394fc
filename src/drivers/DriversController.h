// The vehicle-drivers subsystem: the drivers page (page 22, built on first
// show), the catalogue request and the downloads (asynchronous, on the GUI
// thread through HttpUtils), and the blocking operations (digest check,
// unpacking, the package's libraries talking to the adapter, waiting for a
// make's server to end) on the controller's worker group, one at a time, so
// the GUI thread never waits and nothing outlives the window. Results come
// back through queued signals; the registry is read again afterwards.
#pragma once

#include "drivers/DriverCatalogue.h"
#include "drivers/DriverOperations.h"

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <memory>
#include <mutex>

class DriverView;
class HttpUtils;

class DriversController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kDriversPageIndex = Pages::Drivers;

    explicit DriversController(QObject* parent = nullptr);
    ~DriversController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    DriverView* page();
    const DriverMap& drivers() const { return m_map; }
    // Operations started and not yet reported back (downloads included).
    int pendingOperations() const { return m_pending.size(); }

    // The main API server's base ("http://host:port/"); default: the one the
    // account library reports, else the build's.
    void setApiBase(const QString& base) { m_apiBase = base; }
    // The connected adapter's serial and model (default: the shared
    // application state); tests give their own.
    void setAdapterProbe(std::function<QString()> serial, std::function<QString()> model = {});
    // The local archive the technician picks (default: a file dialog).
    void setArchiveChooser(std::function<QString()> chooser) { m_chooseArchive = std::move(chooser); }
    void setUnpacker(const SafeUnpacker& unpacker) { m_unpacker = unpacker; }

public slots:
    // Reads the registry, asks the server for the newest versions and shows them.
    void loadDeviceDrivers();
    // Download and install (or update) one driver.
    void downloadDriver(const QString& key);
    void installLocalDriver();
    void uninstallDriver(const QString& key);
    void enableDriver(const QString& key, bool enable);
    // Off while the adapter's firmware is being updated.
    void setOperationsEnabled(bool enabled);
    // A make's own software installed without its driver: asks and opens the page.
    void Slot_DriveOfTip();
    // The pass-thru driver before diagnosis: true when it is installed; else
    // asks whether to open the drivers page and returns false.
    bool checkPassThruDriver();

signals:
    // The list was rebuilt (from the server's answer or the registry alone).
    void listShown(bool fromServer);
    // An operation ended and its rows show the registry again.
    void operationFinished(const QString& key, bool ok, const QString& message);
    // Once, when the window has settled: the tip about a make's software without its driver.
    void Sign_DriveInstallTip();

private:
    // From a worker, delivered on the GUI thread.
    Q_SIGNAL void workerDone(const QString& key, bool ok, const QString& message);

    void createPage(QWidget* host);
    void onCatalogue(int generation, const QJsonValue& answer);
    void showLocal(const QString& text);
    void onWorkerDone(const QString& key, bool ok, const QString& message);
    void runOperation(
        const QString& key, std::function<DriverOperations::Outcome(DriverOperations&, VehicleDriver&)> job);
    void toast(const QString& text);
    bool confirm(const QString& text);
    QString apiBase() const;

    SubsystemHost* m_host = nullptr;
    DriverView* m_page = nullptr;
    HttpUtils* m_http = nullptr;
    DriverMap m_map;
    QSet<QString> m_pending;
    QString m_apiBase;
    std::function<QString()> m_serial;
    QString m_listedSerial; // the adapter the list was last built for (empty: none)
    std::function<QString()> m_model;
    std::function<QString()> m_chooseArchive;
    SafeUnpacker m_unpacker;
    int m_generation = 0;
    bool m_operationsEnabled = true;
    bool m_fromServer = false;
    std::mutex m_operationMutex; // one blocking operation at a time

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
