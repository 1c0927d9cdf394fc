// One emulated adapter on the network: a TCP listener on its own loopback
// address that answers the MT7628 protocol, the plug / silent / reboot
// behaviour around it, and the one firmware upload it takes at a time.
#pragma once

#include "EmulatedAdapter.h"
#include "Mt7628Protocol.h"
#include "PassThruEndpoint.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

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

    AdapterEndpoint(AdapterState state, quint16 port, int rebootMs, int uploadIdleMs, QObject* parent = nullptr);

    // Gives the adapter its pass-thru port and vehicle; it listens there
    // whenever it listens on the protocol port and is not in the boot loader.
    void enablePassThru(std::shared_ptr<VehicleSlot> vehicle, quint16 port);
    PassThruEndpoint* passThru() const { return m_passThru; }
    std::shared_ptr<VehicleSlot> vehicle() const { return m_vehicle; }
    // The boot loader runs no pass-thru: entering it ends the session.
    void setBootloader(bool on);

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
    // An upload is being received or written.
    bool uploading() const { return m_upload != nullptr; }

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

    // The image on its way in: the staging area fills from the client's
    // connection, then the image is checked and written.
    struct Upload {
        QPointer<QTcpSocket> socket;
        mt7628::ImageKind kind = mt7628::ImageKind::System;
        std::vector<unsigned char> image; // sized to the announced length
        std::uint32_t received = 0;
        std::uint32_t acknowledged = 0;
    };
    void startUpload(QTcpSocket* socket, mt7628::ImageKind kind, std::uint32_t length);
    // Takes image bytes (the rest of the request buffer first, then the socket).
    void receiveUpload(const std::string& buffered = std::string());
    void acknowledge();
    // Answers the upload's client with its last line and ends the session.
    void endUpload(const Json::Value& reply);
    void finishWrite();

    EmulatedAdapter m_adapter;
    QHostAddress m_address;
    quint16 m_port;
    int m_rebootMs;
    bool m_plugged = false;
    bool m_silent = false;
    QTcpServer* m_server = nullptr;
    QHash<QTcpSocket*, mt7628::FrameReader> m_readers;
    QTimer m_rebootTimer;
    std::unique_ptr<Upload> m_upload;
    QTimer m_uploadIdle; // a client that stops sending mid-image loses its session
    QTimer m_flash;      // the write of a checked image
    QString m_lastError;
    PassThruEndpoint* m_passThru = nullptr;
    std::shared_ptr<VehicleSlot> m_vehicle;
};

} // namespace vciemu
