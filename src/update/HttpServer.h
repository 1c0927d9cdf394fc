// Blocking download of the release archive: the caller's thread runs a local
// event loop until the answer is complete, so the GUI keeps repainting under
// the modal progress dialog. The body streams to the file as it arrives
// (never held in memory); redirects are followed by hand and never from https
// to http; certificates are checked, with BRINDLEWICK_CA_FILE's extra CAs.
// A transfer that stalls (no byte for stallMs) fails even without a time
// limit, so a negative `timeoutms` never means an endless wait.
#pragma once

#include <QObject>
#include <QString>

class HttpServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 30000;
    static constexpr int kStallMs = 60000;
    static constexpr qint64 kMaxArchiveSize = qint64(512) << 20;

    explicit HttpServer(QObject* parent = nullptr);

    // Bounds other than the defaults (tests).
    void setStallMs(int ms) { m_stallMs = ms; }
    void setMaxSize(qint64 bytes) { m_maxSize = bytes; }
    // The last result text (also emitted with result()).
    QString lastResult() const { return m_lastResult; }

public slots:
    bool downloadFileFromServer(QString urlstr, QString path, int timeoutms);
    bool downloadFileFromServer(QString urlstr, QString path);

signals:
    void started();
    void finished(bool ok);
    void downloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void result(QString text);

private:
    bool finish(bool ok, const QString& text);

    int m_stallMs = kStallMs;
    qint64 m_maxSize = kMaxArchiveSize;
    QString m_lastResult;
};
