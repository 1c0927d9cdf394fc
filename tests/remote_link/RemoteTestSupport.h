// Processes and raw clients for the remote-session tests: the relay with the
// test CA's certificate, a session end in its own process (remote_link_peer),
// and a bare TLS client that speaks frames to the relay.
#pragma once

#include "remote/Channel.h"
#include "remote/Frame.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

class RelayProcess {
public:
    ~RelayProcess() { stop(); }
    // Starts remote-relay on 127.0.0.1 and an ephemeral port; false with errorText().
    // descriptorLimit > 0 starts it with that RLIMIT_NOFILE (soft and hard).
    bool start(
        const QString& cert, const QString& key, const QStringList& extra = QStringList(), int descriptorLimit = 0);
    void stop();
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }
    QString errorText() const { return m_error; }
    // Everything the relay logged so far.
    QByteArray log();

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
    QByteArray m_log;
};

class PeerProcess {
public:
    ~PeerProcess() { stop(); }
    // remote_link_peer with `args`, under `shmPrefix` and the extra variables.
    bool start(
        const QStringList& args, const QByteArray& shmPrefix, const QProcessEnvironment& extra = QProcessEnvironment());
    // Waits until a line containing `text` arrived (the lines so far count).
    bool waitFor(const QString& text, int timeoutMs);
    QString lastLine() const { return m_lines.isEmpty() ? QString() : m_lines.last(); }
    QString lines() const { return m_lines.join(QLatin1Char('\n')); }
    // Ends it cleanly (closes its input) or as a crash would.
    void stop();
    void kill();
    qint64 pid() const { return m_process.processId(); }

private:
    void readLines();
    QProcess m_process;
    QStringList m_lines;
};

// A TLS client of the relay that checks its certificate as the libraries do.
class RawRelayClient {
public:
    bool connect(quint16 port, std::string* error = nullptr);
    bool send(const std::string& bytes);
    // The next frame within timeoutMs; false when none came or the link closed.
    bool next(remote::Frame& frame, int timeoutMs = 3000);
    // Whether the relay closed the link within timeoutMs (frames before are skipped).
    bool closedWithin(int timeoutMs);
    // The answer status of the next acknowledgement, or -100 when none came.
    int ackStatus(int timeoutMs = 3000);

private:
    std::unique_ptr<remote::Channel> m_channel;
    remote::FrameReader m_reader;
};
