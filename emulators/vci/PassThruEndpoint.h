// One adapter's pass-thru port (docs/passthru-protocol.md): a TCP listener on
// the adapter's address whose first client to OPEN holds the adapter's one
// pass-thru session. Frames are decoded here and the requests run by a
// PassThruSession on the vehicle scheduler; its replies and events come back
// through the session's outbox. While a session is held the adapter's status
// state reads 2, and 1 again in the event-loop turn its connection ends.
#pragma once

#include "EmulatedAdapter.h"
#include "VehicleSlot.h"

#include <passthru/PassThruWire.h>

#include <json/value.h>

#include <QHostAddress>
#include <QObject>

#include <map>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace vciemu {

class PassThruOutbox;
class PassThruSession;

class PassThruEndpoint : public QObject {
    Q_OBJECT
public:
    // Replies and events waiting for a client that does not read stop at
    // about this much (then its requests stay unread and TCP holds it back),
    // as do more than kMaxInFlight requests not yet answered.
    static constexpr qint64 kMaxPendingReplyBytes = 256 * 1024;
    static constexpr int kMaxInFlight = 64;
    static constexpr int kMaxConnections = 8;
    // A connection that has not sent OPEN by then is closed, so idle
    // connections cannot keep the holder out.
    static constexpr int kOpenWaitMs = 3000;

    PassThruEndpoint(EmulatedAdapter& adapter, std::shared_ptr<VehicleSlot> vehicle, const QHostAddress& address,
        quint16 port, QObject* parent = nullptr);
    ~PassThruEndpoint() override;

    // Listening on the pass-thru port; stop() also ends the session.
    bool start();
    void stop();
    bool listening() const;
    QString lastError() const { return m_lastError; }

    bool sessionOpen() const { return m_holder != nullptr; }
    // Closes the holder's connection (its session ends), e.g. when the
    // adapter's occupation is released; `why` goes to the emulator's log.
    void endSession(const QString& why);
    // "address:port" of the session's holder, empty when none.
    QString holderAddress() const;
    // {"port","listening","open","client","clientName","channels":[...]} (asks the scheduler).
    Json::Value dump() const;

private:
    struct SessionHost;
    struct Connection {
        QTcpSocket* socket = nullptr;
        passthru::FrameReader reader;
        bool opened = false; // holds the session
        int inFlight = 0;    // requests posted and not yet answered
    };

    void onNewConnection();
    void serve(QTcpSocket* socket);
    void drain();
    // Answers a request with an error directly (no session involved).
    void refuse(Connection& c, std::uint32_t tag, passthru::Type type, std::uint32_t status, const std::string& text);
    // Closes a connection at once; the holder's session ends with it.
    void endConnection(QTcpSocket* socket);
    void dropSession();
    void openSession(Connection& c);

    EmulatedAdapter& m_adapter;
    std::shared_ptr<VehicleSlot> m_vehicle;
    QHostAddress m_address;
    quint16 m_port;
    QTcpServer* m_server = nullptr;
    std::map<QTcpSocket*, Connection> m_connections;
    QTcpSocket* m_holder = nullptr;
    std::string m_clientName;
    std::shared_ptr<SessionHost> m_host;
    QString m_lastError;
};

} // namespace vciemu
