// Runs the application version check for the main window and keeps the last
// answer. latestAppVersion() blocks for at most the HTTP client's deadline;
// call it from a worker. The other signals belong to the product's surface
// and are not emitted by this program.
#pragma once

#include "update/AppVersion.h"

#include <QWidget>

#include <mutex>

struct BarProcess {
    int value = 0;
    int maximum = 0;
};
Q_DECLARE_METATYPE(BarProcess)

class Drive : public QWidget {
    Q_OBJECT
public:
    explicit Drive(QWidget* parent = nullptr);

    // Another server base than the global one (tests).
    void setServerBase(const QString& base);
    // Runs GetAuthApp and returns a copy of its result (empty when none).
    AppVersionInfo latestAppVersion();
    // The result of the last check, without asking again.
    AppVersionInfo lastAppVersion() const;

signals:
    void sizeChange(int value);
    void ProgressChanges(BarProcess barProcess);
    void TipMessageSignal(QString Text, int Timer);
    void TipMessageSignal(QString Text);
    void Replace_device();
    void UnloadLocal_device(QString strSwCode);
    void enableAppUpgrade(bool enable);

private:
    mutable std::mutex m_mutex;
    QString m_base;
    AppVersionInfo m_last;
};
