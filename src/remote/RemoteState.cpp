#include "remote/RemoteState.h"

namespace remote {

RemoteSnapshot RemoteState::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    RemoteSnapshot s;
    s.hasRemoteSession = m_remoteSession != nullptr;
    s.hasActiveSession = m_activeSession != nullptr;
    s.hasRegistration = m_relayRegistration != nullptr;
    s.hasListener = m_p2pListener != nullptr;
    s.hasClient = m_p2pClient != nullptr;
    s.remoteCode = m_remoteCode;
    s.persistentCode = m_persistentCode;
    s.remoteDisabled = m_remoteDisabled;
    s.remoteActive = m_remoteActive;
    s.deviceControlRole = m_deviceControlRole;
    s.codeRefreshed = m_codeRefreshed;
    s.relayAddress = m_relayAddress;
    s.doipMode = m_doipMode;
    s.doipPending = m_doipPending;
    s.codeArea = m_codeArea;
    s.figures = m_figures;
    s.controlledBy = m_controlledBy;
    s.controlDrops = m_controlDrops;
    return s;
}

RemoteState::Handle RemoteState::keepRegistrationUnlessDisabled(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_remoteDisabled)
        return h;
    m_relayRegistration.swap(h);
    return h;
}

bool RemoteState::takeActiveSession(const Handle& h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!h || m_activeSession != h)
        return false;
    m_activeSession.reset();
    return true;
}

RemoteState::Handle RemoteState::setRemoteDisabled(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_remoteDisabled = on;
    Handle gone;
    if (on)
        gone.swap(m_relayRegistration);
    return gone;
}

void RemoteState::setPendingDoIpMode(int mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_doipMode = mode;
    m_doipPending = true;
}

bool RemoteState::takePendingDoIpMode(int& mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_doipPending)
        return false;
    m_doipPending = false;
    mode = m_doipMode;
    return true;
}

void RemoteState::startSession(const QDateTime& now, const QString& location, const QString& partnerSerial)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_figures = SessionFigures();
    m_figures.start = now;
    m_figures.location = location;
    m_figures.partnerSerial = partnerSerial;
}

void RemoteState::updateFigures(const SessionReading& reading, bool keepPeerText)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_figures.delayB = reading.delayB;
    m_figures.delayC = reading.delayC;
    m_figures.bytesB = reading.bytesB;
    m_figures.bytesC = reading.bytesC;
    if (keepPeerText)
        m_figures.peerText = QString::fromStdString(reading.peerText);
}

void RemoteState::forgetDelays()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_figures.delayB = -1;
    m_figures.delayC = -1;
}

} // namespace remote
