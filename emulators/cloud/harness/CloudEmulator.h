// Runs one cloud emulator process on ephemeral loopback ports and steers it
// through its control API. Blocking calls; for tests and benchmarks.
#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

class CloudEmulator {
public:
    CloudEmulator() = default;
    ~CloudEmulator();
    CloudEmulator(const CloudEmulator&) = delete;
    CloudEmulator& operator=(const CloudEmulator&) = delete;

    // Starts the emulator; with a certificate and key it also serves HTTPS.
    bool start(const QString& certFile = QString(), const QString& keyFile = QString(),
        const QStringList& extraArgs = QStringList());
    void stop();
    QString lastError() const { return m_error; }

    quint16 httpPort() const { return m_httpPort; }
    quint16 httpsPort() const { return m_httpsPort; }
    // "http://127.0.0.1:<port>/", "http://localhost:<port>/", "https://localhost:<port>/".
    QString httpBase() const;
    QString httpHostBase() const;
    QString httpsBase() const;

    // Adds a fault (see the emulator's control API); true when accepted.
    bool control(const QJsonObject& fault);
    bool reset();
    // A POST of `body` to one of the control routes, e.g. "firmware"; true when accepted.
    bool controlAt(const QString& route, const QJsonObject& body);
    // The JSON object a GET of `path` (with its query) answers; empty on failure.
    QJsonObject getJson(const QString& path);
    // How many requests reached `path` since the last reset; -1 on failure.
    int requestCount(const QString& path);

private:
    QByteArray call(const QByteArray& method, const QString& path, const QByteArray& body, int* status);

    QProcess m_process;
    quint16 m_httpPort = 0;
    quint16 m_httpsPort = 0;
    QString m_error;
};
