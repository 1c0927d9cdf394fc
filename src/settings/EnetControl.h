// The ENET emulation calls of the settings page, off the GUI thread. Reading
// and switching the option talk to the adapter and can take seconds when it
// does not answer, so each call runs on the control's worker group while the
// page keeps its switch disabled; a call that has not answered within the
// bound is given up (the switch comes back, a late answer is ignored).
// Requests made while a call runs wait for it; only the newest one is kept.
#pragma once

#include "kit/WorkerGroup.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>

class MT7628Config;

class EnetControl : public QObject {
    Q_OBJECT
public:
    using Getter = std::function<bool(const std::string& ip)>;
    using Setter = std::function<bool(const std::string& ip, bool on)>;

    // The default bound: above the library's own connect and reply time-outs.
    static constexpr int kDefaultBoundMs = 6000;

    // Calls through the shared MT7628Config (which must outlive the control).
    explicit EnetControl(MT7628Config& config, QObject* parent = nullptr);
    EnetControl(Getter getter, Setter setter, QObject* parent = nullptr);
    ~EnetControl() override;

    void setBoundMs(int ms) { m_boundMs = ms; }
    int boundMs() const { return m_boundMs; }
    bool busy() const { return m_busy; }

    // Asks the adapter at `ip` for its ENET state (stateRead when it answers).
    void read(const QString& ip);
    // Switches it (writeFinished when it answers).
    void write(const QString& ip, bool on);
    // Forgets a waiting request and ignores the answer of the running call.
    void cancel();
    // Joins the workers (the window's end); nothing is reported afterwards.
    void stop();

signals:
    void busyChanged(bool busy);
    void stateRead(bool on);
    void writeFinished(bool ok);
    // The running call did not answer within the bound.
    void gaveUp();
    // A worker's answer, delivered queued to finish() on the control's thread.
    void answered(int generation, bool isWrite, bool result);

private:
    struct Request {
        bool valid = false;
        bool isWrite = false;
        QString ip;
        bool on = false;
    };
    void startNext();
    void run(const Request& request);
    void finish(int generation, bool isWrite, bool result);
    void onTimeout();
    void setBusy(bool busy);

    Getter m_get;
    Setter m_set;
    int m_boundMs = kDefaultBoundMs;
    bool m_busy = false;
    int m_generation = 0;
    Request m_running;
    Request m_waiting;
    QTimer m_watchdog;
    WorkerGroup m_workers; // last: joined first when the control goes
};
