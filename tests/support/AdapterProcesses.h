// The adapter emulator and the background service as child processes of a
// test, on loopback with ports chosen at run time. Both are stopped when
// their object goes away.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

// Full path of a program built into the build's bin folder.
QString testBinary(const char* name);

class EmulatorProcess {
public:
    ~EmulatorProcess() { stop(); }

    // Starts vci-emulator with `args` on ephemeral ports and waits for its
    // "ready" line; false (and errorText()) when it does not come up.
    bool start(const QStringList& args);
    // One control command, one answer line ("OK", "ERR ...", or a dump).
    QString command(const QString& line) const;
    // Adapter n (1-based) of the "dump" command's state; empty when there is none.
    QJsonObject adapterDump(int n) const;
    void stop();

    quint16 port() const { return m_port; }
    quint16 controlPort() const { return m_controlPort; }
    quint16 passthruPort() const { return m_passthruPort; }
    qint64 pid() const { return m_process.processId(); }
    QString errorText() const { return m_error; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    quint16 m_controlPort = 0;
    quint16 m_passthruPort = 0;
    QString m_error;
};

class ServiceProcess {
public:
    ~ServiceProcess() { stop(); }

    // The usual command line: probe `probe`, talk to port `port`, lock file `lockFile`.
    static QStringList arguments(const QString& probe, quint16 port, const QString& lockFile);

    // Starts BrindlewickService; an empty `shmPrefix` keeps this process's prefix.
    bool start(const QStringList& args, const QByteArray& shmPrefix = QByteArray());
    // Ends the service without a chance to clean up, as a crash would.
    void kill();
    // Asks the service to stop and waits for it.
    void stop();

    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};
