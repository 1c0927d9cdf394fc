#include "device/DeviceStatusLoop.h"

#include <cstring>

DeviceStatusLoop::DeviceStatusLoop()
    : DeviceStatusLoop(Hooks{})
{
}

DeviceStatusLoop::DeviceStatusLoop(Hooks hooks)
    : m_hooks(std::move(hooks))
    , m_voltageText(QStringLiteral("0V"))
    , m_voltageColor(QLatin1String(kRed))
{
    if (!m_hooks.read)
        m_hooks.read = [](VciStatusRecord& r) { return readVciStatus(r); };
    clearRecord(m_current);
    clearRecord(m_previous);
}

QString DeviceStatusLoop::voltageTextFor(std::uint32_t mv)
{
    if (mv == 0)
        return QStringLiteral("0V");
    return QString::asprintf("%u.%02uV", mv / 1000, (mv % 1000) / 10);
}

QString DeviceStatusLoop::voltageColorFor(std::uint32_t mv)
{
    return QLatin1String(mv == 0 || mv / 1000 < 11 ? kRed : kGreen);
}

bool DeviceStatusLoop::runCycle(bool changed)
{
    // The read happens outside the lock: the GUI thread never waits on it.
    VciStatusRecord fresh;
    m_hooks.read(fresh);

    const bool routeLink = fresh.connType == CONN_ROUTE;
    if (routeLink && m_hooks.adapterPresent && m_hooks.adapterPresent() && m_hooks.clearSelectedSerial)
        m_hooks.clearSelectedSerial();

    bool noDevice = false;
    bool wakeHint = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_previous = m_current;
        m_current = fresh;

        if (m_current.vbatt != m_previous.vbatt || std::strcmp(m_current.SN, m_previous.SN) != 0) {
            changed = true;
            m_voltageText = voltageTextFor(m_current.vbatt);
            m_voltageColor = voltageColorFor(m_current.vbatt);
        }
        // Anything else the page shows (state, versions, connection kind).
        if (!sameRecord(m_current, m_previous))
            changed = true;

        if (m_current.SN[0] == '\0') {
            if (!m_deviceAbsent)
                m_deviceAbsent = true;
            wakeHint = true;
            m_voltageText = QStringLiteral("0V");
            m_voltageColor = QLatin1String(kRed);
            noDevice = true;
        } else {
            if (m_deviceAbsent) {
                // Back from absent: one repaint for this pass.
                m_deviceAbsent = false;
                changed = true;
            }
            m_lastSerial = QString::fromUtf8(m_current.SN);
        }
    }
    if (wakeHint && m_hooks.wakeHintLoop)
        m_hooks.wakeHintLoop();
    if (m_hooks.setDisableRemoteStatus)
        m_hooks.setDisableRemoteStatus(noDevice);
    // Asked outside the lock: the probe may take a moment.
    const bool online = m_hooks.internetOk && m_hooks.internetOk();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_internetOk = online;
    }
    return changed;
}

DeviceStatusSnapshot DeviceStatusLoop::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceStatusSnapshot s;
    s.record = m_current;
    s.voltageText = m_voltageText;
    s.voltageColor = m_voltageColor;
    s.deviceAbsent = m_deviceAbsent;
    s.lastSerial = m_lastSerial;
    s.internetOk = m_internetOk;
    return s;
}

QString DeviceStatusLoop::voltageText() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_voltageText;
}

bool DeviceStatusLoop::internetOk() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_internetOk;
}
