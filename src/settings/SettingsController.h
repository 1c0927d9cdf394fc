// The settings subsystem: the settings page (page 21, built the first time it
// is shown), what the AppShared bus tells it (adapter, user name, newer
// version: kept until the page exists), the ENET calls on their own worker,
// the back buttons of other pages that lead to it, and the support file,
// written on the controller's worker group while the page shows progress.
#pragma once

#include "settings/SupportBundle.h"

#include "device/DeviceInfo.h"
#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>

class EnetControl;
class MT7628Config;
class QWidget;
class SettingsView;

class SettingsController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kSettingsPageIndex = Pages::Settings;

    explicit SettingsController(MT7628Config& config, QObject* parent = nullptr);
    ~SettingsController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    // The page, built now if it was not yet.
    SettingsView* page();
    EnetControl* enetControl() const { return m_enet; }

    // The settings navigation: the page re-reads the machine and is shown.
    void showSettings();
    // The buttons under `root` that return to the settings page
    // (Btn_Return_2, _8, _9, _11, _12) are connected to showSettings; a
    // button already connected is left alone, so this may run whenever pages
    // were built.
    void adoptBackButtons(QWidget* root);
    static QStringList backButtonNames();

    // Where the support file goes (default: a save dialog; empty: cancelled).
    void setTargetChooser(std::function<QString()> chooser) { m_chooseTarget = std::move(chooser); }
    void setSupportSources(SupportSources sources) { m_sources = std::move(sources); }
    bool supportFileRunning() const { return m_supportRunning; }

public slots:
    void saveSupportFile();

signals:
    // The support file was written (ok) or not, with the words shown to the user.
    void supportFileFinished(bool ok, const QString& message);

private:
    // From the worker, delivered on the GUI thread.
    Q_SIGNAL void supportProgress(int percent, const QString& step);
    Q_SIGNAL void supportDone(bool ok, const QString& message);

    void createPage(QWidget* host);
    void onSupportDone(bool ok, const QString& message);
    QString chooseTarget();

    SubsystemHost* m_host = nullptr;
    SettingsView* m_page = nullptr;
    MT7628Config& m_config;
    EnetControl* m_enet = nullptr;
    DeviceInfo m_device;
    bool m_deviceKnown = false;
    QString m_userName;
    bool m_newVersion = false;
    std::function<QString()> m_chooseTarget;
    SupportSources m_sources;
    bool m_supportRunning = false;
    std::atomic<bool> m_cancelSupport{false};

    // Last: stopped first, while everything its workers use still exists.
    WorkerGroup m_workers;
};
