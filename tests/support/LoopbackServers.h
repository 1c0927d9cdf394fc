// Servers on loopback for the HTTP clients' tests, apart from the cloud
// emulator (emulators/cloud/harness).
#pragma once

#include <QProcess>
#include <QString>

// A loopback port nobody listens on (it was free a moment ago).
quint16 closedLoopbackPort();

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
