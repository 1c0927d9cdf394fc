// The application update dialog: downloads the release archive with a modal
// progress dialog, unpacks and checks it, and hands it to the upgrader. Every
// failure ends in a message and sig_updateFailed(); a successful hand-over
// ends in sig_handedOver(), after which the program must quit so that the
// upgrader can replace its files.
#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>

#include <functional>

class QProgressDialog;
class HttpServer;

class GUI_Upgrade : public QWidget {
    Q_OBJECT
public:
    using Toast = std::function<void(const QString& text, int ms)>;

    explicit GUI_Upgrade(QWidget* parent, Toast toast);
    ~GUI_Upgrade() override;

    // Tests: another program folder (default: the running program's), key
    // and download file.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }
    void setPublicKey(const QByteArray& key) { m_publicKey = key; }
    void setArchivePath(const QString& path) { m_archive = path; }
    QProgressDialog* progressDialog() const { return m_progress; }

public slots:
    void slot_update(QString urlstr);
    void slot_installationNewProgram(QString zipPath);

signals:
    void sig_updateFailed();
    void sig_handedOver();

protected:
    // The progress dialog's keys: while the release downloads or installs,
    // which cannot be stopped, Enter and Escape leave it up; after a failure
    // both close it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setSecondLine(qint64 received, qint64 total);
    void failInstall(const QString& message, int ms, const QString& archive, const QString& folder);
    // Runs `job` on a worker thread while this thread's events keep flowing.
    void runBlocking(const std::function<void()>& job);

    Toast m_toast;
    QProgressDialog* m_progress = nullptr;
    QString m_programFolder;
    QByteArray m_publicKey;
    QString m_archive;
    QString m_firstLine;
    bool m_running = false;
};
