// Servers on loopback for the HTTP clients' tests, apart from the cloud
// emulator (emulators/cloud/harness).
#pragma once

#include <QProcess>
#include <QString>

#include <vector>

// A loopback port nobody listens on (it was free a moment ago).
quint16 closedLoopbackPort();

// Whether this process may open an ICMP socket (datagram or raw), which the
// echo needs; containers often allow neither.
bool icmpSocketsPermitted();

// Python's http.server serving one folder, the way a plain web server answers
// (no JSON errors, no Content-Disposition).
class PythonHttpServer {
public:
    ~PythonHttpServer();

    // Serves `folder` and waits until it listens; false (and errorText()) otherwise.
    bool start(const QString& folder);
    // "http://127.0.0.1:<port>/"
    QString base() const { return m_base; }
    QString errorText() const { return m_error; }

private:
    QProcess m_process;
    QString m_base;
    QString m_error;
};

// The faults of HostileHttpServer (emulators/cloud/harness) that both HTTP
// clients' suites run, and what each must end in.
enum class HostileFault { CutShort, Deadline, TooLarge, RedirectLoop };
struct HostileCase {
    const char* name;
    const char* path; // below the server's base
    HostileFault fault;
};
const std::vector<HostileCase>& hostileCases();
// The trickle server sends one byte this often; the clients get this deadline
// (the whole body would take about ten times as long).
constexpr int kHostileTrickleMs = 200;
constexpr int kHostileDeadlineMs = 1500;
