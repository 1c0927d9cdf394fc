// One emulated adapter on the network: a TCP listener on its own loopback
// address that answers the MT7628 protocol, and the plug / silent / reboot
// behaviour around it.
#pragma once

#include "EmulatedAdapter.h"
#include "Mt7628Protocol.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

namespace vciemu {

class AdapterEndpoint : public QObject {
    Q_OBJECT
public:
    // A module's buffers are small: replies waiting for a client that does not
    // read them stop at about this much (then its requests stay unread), and
    // at most kMaxClients connections are open at once (a further one is
    // closed at once).
    static constexpr qint64 kMaxPendingReplyBytes = 64 * 1024;
    static constexpr int kMaxClients = 16;

    AdapterEndpoint(AdapterState state, quint16 port, int rebootMs, QObject* parent = nullptr);

    // Plugged: listening (unless rebooting). Unplugged: connections refused.
    bool plug();
    void unplug();
    bool plugged() const { return m_plugged; }
    // Silent: connections are accepted but requests are never answered.
    void setSilent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }
    // Vanishes for the reboot time, then answers again (if still plugged).
    void reboot();
    bool rebooting() const { return m_rebootTimer.isActive(); }
    bool listening() const;

    EmulatedAdapter& adapter() { return m_adapter; }
    const EmulatedAdapter& adapter() const { return m_adapter; }
    QString lastError() const { return m_lastError; }

private:
    void startListening();
    void stopListening();
    void onNewConnection();
    // Answers the complete requests a client has sent, as far as its unread
    // replies allow; runs again when it sends more or reads replies.
    void serve(QTcpSocket* socket);

    EmulatedAdapter m_adapter;
    QHostAddress m_address;
    quint16 m_port;
    int m_rebootMs;
    bool m_plugged = false;
    bool m_silent = false;
    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, mt7628::FrameReader> m_readers;
    QTimer m_rebootTimer;
    QString m_lastError;
};

} // namespace vciemu
