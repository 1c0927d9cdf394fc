// The set of emulated adapters and the control commands that drive them.
#pragma once

#include "AdapterEndpoint.h"
#include "VehicleSlot.h"

#include "vehicle/Scheduler.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace vciemu {

struct EmulatorOptions {
    int adapters = 1;
    QString baseAddress = QStringLiteral("127.0.100.1");
    quint16 port = 7628;                  // protocol port of every adapter
    QString plug = QStringLiteral("all"); // "all", "none" or a list "1,3,5-7"
    int rebootMs = 4000;
    int flashMs = 2000;          // how long writing an image takes (per adapter: "flashms")
    int uploadIdleMs = 10000;    // an upload with no bytes for this long is dropped
    quint16 passthruPort = 7630; // pass-thru port of every adapter
    QString vehicle;             // vehicle file or name for every adapter; empty: the default vehicle
};

class Emulator : public QObject {
    Q_OBJECT
public:
    explicit Emulator(QObject* parent = nullptr);
    ~Emulator() override;

    // Creates the adapters and plugs the chosen ones; false with a message on
    // bad options.
    bool start(const EmulatorOptions& options, QString* error);

    // Runs one control command line and answers one line of text: "OK ...",
    // "ERR ..." or, for dump, one JSON object.
    QString execute(const QString& line);
    // The same for any line, answering through `done` on the main thread: at once for most commands, after the ECU's
    // answer or the time-out for "vehicle N tester PINS ask ...". `done` is not called when `context` is gone by then.
    void execute(const QString& line, QObject* context, std::function<void(const QString&)> done);

    int count() const { return static_cast<int>(m_endpoints.size()); }
    // The pass-thru port every adapter listens on (the one picked for option 0).
    quint16 passthruPort() const { return m_passthruPort; }
    AdapterEndpoint* endpoint(int index) const; // 1-based, nullptr when out of range

    // Parses "all", "none", "2", "1,3,5-7" against count adapters.
    static bool parseSelection(const QString& text, int count, std::vector<int>* out);
    // The address of adapter `index` (1-based) counting up from base.
    static QString addressFor(const QString& base, int index);

signals:
    void quitRequested();

private:
    QString vehicleCommand(const QStringList& words, int arg);
    Json::Value vehicleDump(AdapterEndpoint* e);

    // The one vehicle clock of the emulator; every adapter's vehicle and
    // pass-thru session runs on it.
    std::unique_ptr<vehicle::Scheduler> m_scheduler;
    quint16 m_passthruPort = 0;
    std::vector<std::unique_ptr<AdapterEndpoint>> m_endpoints;
};

} // namespace vciemu
