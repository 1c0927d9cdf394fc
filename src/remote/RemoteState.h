// What the remote-diagnosis threads share (the GUI thread, the refresh and
// registration workers, a connection attempt): the session objects, the
// local device's code, the relay address, the flags and the session figures.
// Every access takes the one lock; readers get copies.
#pragma once

#include "remote/RemoteLibrary.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace remote {

// The remote page's code-area state.
enum class CodeArea { NoDevice = 0, DevicePresent = 1, CodeShown = 2, SessionRunning = 4 };

struct SessionFigures {
    QDateTime start;          // when the session started (invalid before)
    std::int32_t delayB = -1; // ms, -1 unknown
    std::int32_t delayC = -1;
    std::uint64_t bytesB = 0;
    std::uint64_t bytesC = 0;
    QString peerText;
    QString location;      // "Guangzhou" for a relay session (translated by the page)
    QString partnerSerial; // the serial a relay session was opened with
};

// A copy of everything, for the pages and for decisions.
struct RemoteSnapshot {
    bool hasRemoteSession = false;
    bool hasActiveSession = false;
    bool hasRegistration = false;
    bool hasListener = false;
    bool hasClient = false;
    std::int32_t remoteCode = 0; // 0 none yet, -1 not supported
    QString persistentCode;
    bool remoteDisabled = false;
    bool remoteActive = false;
    bool deviceControlRole = false;
    bool codeRefreshed = false;
    std::string relayAddress;
    int doipMode = 0;
    bool doipPending = false;
    CodeArea codeArea = CodeArea::NoDevice;
    SessionFigures figures;
    // C-end: the B-end adapter whose device-control session drives this
    // adapter's buses ("--" when unknown), empty when none runs.
    QString controlledBy;
    QString controlDrops;
};

class RemoteState {
public:
    using Handle = std::shared_ptr<RemoteHandle>;

    RemoteSnapshot snapshot() const;

    // Session objects. The setters return the object they replace, so the
    // caller destroys it outside the lock (a library call may take a while).
    Handle remoteSession() const { return read(m_remoteSession); }
    Handle setRemoteSession(Handle h) { return exchange(m_remoteSession, std::move(h)); }
    Handle activeSession() const { return read(m_activeSession); }
    Handle setActiveSession(Handle h) { return exchange(m_activeSession, std::move(h)); }
    // Clears the active session only while it is still `h`; true when it did.
    bool takeActiveSession(const Handle& h);
    Handle relayRegistration() const { return read(m_relayRegistration); }
    Handle setRelayRegistration(Handle h) { return exchange(m_relayRegistration, std::move(h)); }
    // Keeps `h` as the registration unless remote assistance was switched off
    // meanwhile; returns what the caller must destroy (the replaced object,
    // or `h` itself when it was not kept).
    Handle keepRegistrationUnlessDisabled(Handle h);
    Handle p2pListener() const { return read(m_p2pListener); }
    Handle setP2pListener(Handle h) { return exchange(m_p2pListener, std::move(h)); }
    Handle p2pClient() const { return read(m_p2pClient); }
    Handle setP2pClient(Handle h) { return exchange(m_p2pClient, std::move(h)); }

    std::int32_t remoteCode() const { return read(m_remoteCode); }
    void setRemoteCode(std::int32_t code) { write(m_remoteCode, code); }
    QString persistentCode() const { return read(m_persistentCode); }
    void setPersistentCode(const QString& code) { write(m_persistentCode, code); }
    bool remoteDisabled() const { return read(m_remoteDisabled); }
    // Switching off also takes the registration out (returned, for the caller
    // to destroy), so the adapter stops being reachable at once.
    Handle setRemoteDisabled(bool on);
    bool remoteActive() const { return read(m_remoteActive); }
    void setRemoteActive(bool on) { write(m_remoteActive, on); }
    bool deviceControlRole() const { return read(m_deviceControlRole); }
    void setDeviceControlRole(bool on) { write(m_deviceControlRole, on); }
    bool codeRefreshed() const { return read(m_codeRefreshed); }
    void setCodeRefreshed(bool on) { write(m_codeRefreshed, on); }
    std::string relayAddress() const { return read(m_relayAddress); }
    void setRelayAddress(const std::string& address) { write(m_relayAddress, address); }

    // The DoIP mode chosen on the P2P page, handed to the listener once.
    void setPendingDoIpMode(int mode);
    // Takes the pending mode (true once after setPendingDoIpMode).
    bool takePendingDoIpMode(int& mode);

    QString controlledBy() const { return read(m_controlledBy); }
    void setControlledBy(const QString& by) { write(m_controlledBy, by); }
    // Frames dropped in that session, "HERE/THERE"; empty while none.
    QString controlDrops() const { return read(m_controlDrops); }
    void setControlDrops(const QString& drops) { write(m_controlDrops, drops); }

    CodeArea codeArea() const { return read(m_codeArea); }
    void setCodeArea(CodeArea area) { write(m_codeArea, area); }

    // Session figures.
    void startSession(const QDateTime& now, const QString& location, const QString& partnerSerial);
    void updateFigures(const SessionReading& reading, bool keepPeerText);
    void forgetDelays();
    SessionFigures figures() const { return read(m_figures); }

private:
    // One field under the lock: its value, a new value, or a new handle with the old one given back.
    template <typename T>
    T read(const T& field) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return field;
    }
    template <typename T>
    void write(T& field, const T& value)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        field = value;
    }
    Handle exchange(Handle& slot, Handle h)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        slot.swap(h);
        return h;
    }

    mutable std::mutex m_mutex;
    Handle m_remoteSession;
    Handle m_activeSession;
    Handle m_relayRegistration;
    Handle m_p2pListener;
    Handle m_p2pClient;
    std::int32_t m_remoteCode = 0;
    QString m_persistentCode;
    bool m_remoteDisabled = false;
    bool m_remoteActive = false;
    bool m_deviceControlRole = false;
    bool m_codeRefreshed = false;
    std::string m_relayAddress;
    int m_doipMode = 0;
    bool m_doipPending = false;
    CodeArea m_codeArea = CodeArea::NoDevice;
    SessionFigures m_figures;
    QString m_controlledBy;
    QString m_controlDrops;
};

} // namespace remote
