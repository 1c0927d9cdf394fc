// The self-update subsystem of the main window: the version check on a
// worker (2 s after start and after every language change), the "New" mark
// (bus code 6 and lbl_upgradeTip), page 9 with its update button, the update
// dialog, and at start the upgrader's confirmation or the undoing of an
// interrupted update.
#pragma once

#include "kit/Subsystem.h"
#include "kit/WorkerGroup.h"
#include "update/AppVersion.h"

#include <QObject>

class Drive;
class GUI_Upgrade;
class QLabel;
class QPushButton;
class QTimer;
class UpdatePage;

class UpdateController : public QObject, public Subsystem {
    Q_OBJECT
public:
    static constexpr int kCheckDelayMs = 2000;

    UpdateController();
    ~UpdateController() override;

    void attach(SubsystemHost& host) override;
    void stop() override;

    Drive* drive() const { return m_drive; }
    // The update page, built on first show or when asked for here.
    UpdatePage* page() const;
    QPushButton* updateButton() const;
    GUI_Upgrade* upgradeDialog() const { return m_upgrade; }
    // The result of the last finished check.
    AppVersionInfo lastInfo() const { return m_info; }
    bool newerKnown() const { return m_newer; }

public slots:
    // Bus code 4: check now and show the update page.
    void checkAndShow();
    // Starts a check on the worker now.
    void startCheck();
    void ClickButton_Software_Update();

signals:
    // Server version came back: Description(true), then Style(program not
    // older). None came back: Style(true), then Description(false).
    void SignalUpdateStyle(bool isUpdate);
    void SignalUpdateDescription(bool isUpdate);
    // A check finished (GUI thread).
    void checkFinished(AppVersionInfo info);
    // The upgrader took over; the program is about to quit.
    void handedOver();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyCheck(const AppVersionInfo& info);
    void createPage(QWidget* pageHost);

    SubsystemHost* m_host = nullptr;
    Drive* m_drive = nullptr;
    UpdatePage* m_page = nullptr;
    GUI_Upgrade* m_upgrade = nullptr; // a child of the window
    QLabel* m_tip = nullptr;
    QTimer* m_delay = nullptr;
    AppVersionInfo m_info;
    bool m_checked = false; // a check finished
    bool m_newer = false;
    bool m_upgrading = false; // between the button press and the end of the dialog
    WorkerGroup m_workers;
};
