#include "device/HintLoop.h"

#include "device/DeviceLog.h"

#include "kit/WorkerGroup.h"

#include <QSettings>

#include <chrono>

struct HintLoop::State {
    Hooks hooks;
    QString iniPath;

    std::mutex mutex;
    std::condition_variable cv;
    bool stopRequested = false;
    bool woken = false;

    // Per adapter presence; reset when the adapter is unplugged.
    bool armed = false;
    bool poweredSeen = false;
    bool shortTimerStarted = false;
    bool powerTimerStarted = false;
    bool recognised = false;
    std::string mac;

    Next step();
    QString readSerial(const std::string& section) const;
    void writeSerial(const std::string& section, const QString& serial) const;
};

QString HintLoop::State::readSerial(const std::string& section) const
{
    if (section.empty())
        return QString();
    QSettings ini(iniPath, QSettings::IniFormat);
    return ini.value(QString::fromStdString(section) + QStringLiteral("/SN")).toString();
}

void HintLoop::State::writeSerial(const std::string& section, const QString& serial) const
{
    if (section.empty())
        return;
    QSettings ini(iniPath, QSettings::IniFormat);
    ini.setValue(QString::fromStdString(section) + QStringLiteral("/SN"), serial);
    ini.sync();
    if (ini.status() != QSettings::NoError)
        qCInfo(lcDevice) << "cannot write" << iniPath; // not worth bothering the user
}

HintLoop::Next HintLoop::State::step()
{
    if (stopRequested)
        return Next::End;

    std::string macText;
    const bool present = hooks.adapterPresent && hooks.adapterPresent(macText);
    if (!macText.empty())
        mac = macText;

    if (present && readSerial(mac).isEmpty()) {
        const QString serial = hooks.currentSerial ? hooks.currentSerial() : QString();
        if (!serial.isEmpty()) {
            writeSerial(mac, serial);
            recognised = true;
        }
        return Next::Sleep2000;
    }

    if (armed && !present) {
        armed = false;
        poweredSeen = false;
        shortTimerStarted = false;
        powerTimerStarted = false;
        recognised = false;
        hooks.setTimer(HintTimer::HintWindow, false);
        if (hooks.timerActive(HintTimer::PowerDialog))
            hooks.setTimer(HintTimer::PowerDialog, false);
        return Next::Sleep500;
    }

    if (recognised)
        armed = true;
    if (!poweredSeen && present && !recognised) {
        armed = true;
        if (hooks.voltageText() != QLatin1String("0V")) {
            poweredSeen = true;
            if (hooks.timerActive(HintTimer::PowerDialog))
                hooks.setTimer(HintTimer::PowerDialog, false);
            hooks.setTimer(HintTimer::HintWindow, false);
        } else {
            const QString remembered = hooks.rememberedSerial();
            if (remembered.contains(QLatin1String("M5EC"))) {
                hooks.showInitHint();
            } else if (remembered.contains(QLatin1String("M5HC"))) {
                if (!powerTimerStarted) {
                    powerTimerStarted = true;
                    if (!hooks.timerActive(HintTimer::PowerDialog))
                        hooks.setTimer(HintTimer::PowerDialog, true);
                }
                if (!shortTimerStarted) {
                    shortTimerStarted = true;
                    hooks.setTimer(HintTimer::HintWindow, true);
                }
                if (hooks.timerActive(HintTimer::HintWindow))
                    hooks.showInitHint();
            }
            return Next::Sleep50;
        }
    }
    return Next::WaitForWake;
}

HintLoop::HintLoop(Hooks hooks, QString iniPath)
    : m_state(std::make_shared<State>())
{
    m_state->hooks = std::move(hooks);
    m_state->iniPath = std::move(iniPath);
    if (!m_state->hooks.setTimer)
        m_state->hooks.setTimer = [](HintTimer, bool) {};
    if (!m_state->hooks.timerActive)
        m_state->hooks.timerActive = [](HintTimer) { return false; };
    if (!m_state->hooks.voltageText)
        m_state->hooks.voltageText = [] { return QStringLiteral("0V"); };
    if (!m_state->hooks.rememberedSerial)
        m_state->hooks.rememberedSerial = [] { return QString(); };
    if (!m_state->hooks.showInitHint)
        m_state->hooks.showInitHint = [] {};
}

HintLoop::~HintLoop()
{
    stop();
}

void HintLoop::start(WorkerGroup& workers)
{
    if (m_started)
        return;
    m_started = true;
    std::shared_ptr<State> state = m_state;
    workers.start(
        "hint-loop", [state] { run(state); }, [this] { stop(); });
}

void HintLoop::run(std::shared_ptr<State> state)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        const auto stopped = [&state] { return state->stopRequested; };
        switch (state->step()) {
        case Next::End:
            return;
        case Next::Sleep2000:
            state->cv.wait_for(lock, std::chrono::milliseconds(2000), stopped);
            break;
        case Next::Sleep500:
            state->cv.wait_for(lock, std::chrono::milliseconds(500), stopped);
            break;
        case Next::Sleep50:
            state->cv.wait_for(lock, std::chrono::milliseconds(50), stopped);
            break;
        case Next::WaitForWake:
            state->cv.wait(lock, [&state] { return state->stopRequested || state->woken; });
            state->woken = false;
            break;
        }
    }
}

void HintLoop::stop()
{
    {
        // Taking the mutex waits for a step in progress; afterwards the thread
        // only sees the flag and ends without calling a hook.
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopRequested = true;
    }
    m_state->cv.notify_all();
}

void HintLoop::setIniPath(const QString& path)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->iniPath = path;
}

void HintLoop::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->woken = true;
    }
    m_state->cv.notify_all();
}

HintLoop::Next HintLoop::step()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->step();
}

bool HintLoop::armed() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->armed;
}

bool HintLoop::poweredSeen() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->poweredSeen;
}

QString HintLoop::macText() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return QString::fromStdString(m_state->mac);
}
