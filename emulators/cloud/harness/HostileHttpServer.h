// A loopback HTTP server that misbehaves on purpose, one way per path, for
// the HTTP clients' fault tests and memory benchmarks:
//   /close     headers announcing 100000 bytes, then the connection closes
//   /trickle   the head, then a JSON body (or setTrickleBody's) one byte at a
//              time, trickleIntervalMs apart
//   /endless   a chunked body that never ends
//   /loop      302 to itself, for ever
//   /redirect  302 to redirectTarget()
//   any other  200 {"ok":true}
// Each request's head is recorded, so a test can see which headers reached
// which path. Every connection has its own thread; all end with the server.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class HostileHttpServer {
public:
    HostileHttpServer() = default;
    ~HostileHttpServer();
    HostileHttpServer(const HostileHttpServer&) = delete;
    HostileHttpServer& operator=(const HostileHttpServer&) = delete;

    // Listens on 127.0.0.1 on a free port; false when that fails.
    bool start();
    quint16 port() const { return m_port; }
    // "http://<host>:<port>/"; "localhost" names the same server as another host.
    QString base(const QString& host = QStringLiteral("127.0.0.1")) const;

    void setRedirectTarget(const QString& url);
    void setTrickleIntervalMs(int ms) { m_trickleMs = ms; }
    // What /trickle sends instead of its JSON body; empty: the JSON body.
    void setTrickleBody(const std::string& body);
    // Request heads (request line and headers, names in lower case) that reached `path`.
    QStringList requestHeads(const QString& path) const;

private:
    void acceptLoop();
    void serve(int fd);
    // Waits `ms` unless the server stops first; false when it stops.
    bool pause(int ms);

    int m_listener = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_trickleMs{2000};
    std::thread m_acceptor;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_workers;
    std::vector<int> m_connections;
    std::string m_redirectTarget;
    std::string m_trickleBody;
    std::vector<std::pair<std::string, std::string>> m_heads; // path, head
};
