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
    return s;
}

RemoteState::Handle RemoteState::remoteSession() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remoteSession;
}

RemoteState::Handle RemoteState::setRemoteSession(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_remoteSession.swap(h);
    return h;
}

RemoteState::Handle RemoteState::activeSession() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_activeSession;
}

RemoteState::Handle RemoteState::setActiveSession(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_activeSession.swap(h);
    return h;
}

RemoteState::Handle RemoteState::relayRegistration() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_relayRegistration;
}

RemoteState::Handle RemoteState::setRelayRegistration(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_relayRegistration.swap(h);
    return h;
}

RemoteState::Handle RemoteState::keepRegistrationUnlessDisabled(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_remoteDisabled)
        return h;
    m_relayRegistration.swap(h);
    return h;
}

RemoteState::Handle RemoteState::p2pListener() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_p2pListener;
}

RemoteState::Handle RemoteState::setP2pListener(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_p2pListener.swap(h);
    return h;
}

RemoteState::Handle RemoteState::p2pClient() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_p2pClient;
}

RemoteState::Handle RemoteState::setP2pClient(Handle h)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_p2pClient.swap(h);
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

std::int32_t RemoteState::remoteCode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remoteCode;
}

void RemoteState::setRemoteCode(std::int32_t code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_remoteCode = code;
}

QString RemoteState::persistentCode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_persistentCode;
}

void RemoteState::setPersistentCode(const QString& code)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_persistentCode = code;
}

bool RemoteState::remoteDisabled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remoteDisabled;
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

bool RemoteState::remoteActive() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_remoteActive;
}

void RemoteState::setRemoteActive(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_remoteActive = on;
}

bool RemoteState::deviceControlRole() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_deviceControlRole;
}

void RemoteState::setDeviceControlRole(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_deviceControlRole = on;
}

bool RemoteState::codeRefreshed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_codeRefreshed;
}

void RemoteState::setCodeRefreshed(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_codeRefreshed = on;
}

std::string RemoteState::relayAddress() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_relayAddress;
}

void RemoteState::setRelayAddress(const std::string& address)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_relayAddress = address;
}

CodeArea RemoteState::codeArea() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_codeArea;
}

void RemoteState::setCodeArea(CodeArea area)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_codeArea = area;
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

SessionFigures RemoteState::figures() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_figures;
}

} // namespace remote
