#include "settings/EnetControl.h"

#include "settings/SettingsLog.h"

#include "MT7628Config.h"

#include <system_error>

EnetControl::EnetControl(MT7628Config& config, QObject* parent)
    : EnetControl([&config](const std::string& ip) { return config.GetENET(ip.c_str()); },
        [&config](const std::string& ip, bool on) { return config.SetENET(ip.c_str(), on); }, parent)
{
}

EnetControl::EnetControl(Getter getter, Setter setter, QObject* parent)
    : QObject(parent)
    , m_get(std::move(getter))
    , m_set(std::move(setter))
{
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &EnetControl::onTimeout);
    // A signal rather than a posted functor: its arguments are copied by Qt,
    // so the hand-over between the threads is Qt's own.
    connect(this, &EnetControl::answered, this, &EnetControl::finish, Qt::QueuedConnection);
}

EnetControl::~EnetControl()
{
    stop();
}

void EnetControl::stop()
{
    m_watchdog.stop();
    ++m_generation;
    m_waiting = Request();
    m_workers.stopAndJoin();
}

void EnetControl::read(const QString& ip)
{
    m_waiting = Request{true, false, ip, false};
    startNext();
}

void EnetControl::write(const QString& ip, bool on)
{
    m_waiting = Request{true, true, ip, on};
    startNext();
}

void EnetControl::cancel()
{
    m_waiting = Request();
    if (!m_busy)
        return;
    ++m_generation;
    m_watchdog.stop();
    setBusy(false);
}

void EnetControl::startNext()
{
    if (m_busy || !m_waiting.valid || m_workers.stopping())
        return;
    const Request request = m_waiting;
    m_waiting = Request();
    run(request);
}

void EnetControl::run(const Request& request)
{
    m_running = request;
    const int generation = ++m_generation;
    setBusy(true);
    m_watchdog.start(m_boundMs);

    const std::string ip = request.ip.toStdString();
    const Getter get = m_get;
    const Setter set = m_set;
    const bool isWrite = request.isWrite;
    const bool on = request.on;
    try {
        m_workers.start("enet", [this, get, set, ip, isWrite, on, generation] {
            const bool result = isWrite ? (set && set(ip, on)) : (get && get(ip));
            // The group joins this thread before the control is destroyed, so
            // the control still exists while the answer is sent.
            emit answered(generation, isWrite, result);
        });
    } catch (const std::system_error& e) {
        qCWarning(lcSettings) << "cannot start the ENET call:" << e.what();
        m_watchdog.stop();
        setBusy(false);
    }
}

void EnetControl::finish(int generation, bool isWrite, bool result)
{
    if (generation != m_generation)
        return; // given up or cancelled: the answer came too late
    m_watchdog.stop();
    setBusy(false);
    if (isWrite) {
        if (!result)
            qCInfo(lcSettings) << "the adapter did not switch ENET emulation";
        emit writeFinished(result);
    } else {
        emit stateRead(result);
    }
    startNext();
}

void EnetControl::onTimeout()
{
    if (!m_busy)
        return;
    ++m_generation;
    qCWarning(lcSettings) << "the adapter did not answer the ENET" << (m_running.isWrite ? "switch" : "read")
                          << "within" << m_boundMs << "ms at" << m_running.ip;
    setBusy(false);
    emit gaveUp();
    startNext();
}

void EnetControl::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    emit busyChanged(busy);
}
