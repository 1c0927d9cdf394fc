// The settings page (page 21 of the window): a list of rows in two sections,
// the account entry and the settings proper (system log, automatic start-up,
// update check, language, ENET emulation), and a row that saves a support
// file. Rows either act when clicked (through the AppShared bus, or the
// controller for the support file) or carry a control whose change takes
// effect at once. refresh() reads the machine's real state into the controls
// each time the page is opened; a switch it moves runs its handler again,
// so every handler is safe to repeat.
#pragma once

#include "device/DeviceInfo.h"
#include "settings/SettingsRules.h"
#include "settings/SystemLogFolders.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class EnetControl;
class MT7628Config;
class Switch;

class SettingsView : public QWidget {
    Q_OBJECT
public:
    // Row numbers of the list.
    enum Row {
        RowAccountSection = 0,
        RowAccount = 1,
        RowSettingsSection = 2,
        RowSystemLog = 3,
        RowAutoStart = 4,
        RowCheckUpdate = 5,
        RowLanguage = 6,
        RowEnet = 7,
        RowSupportFile = 8,
        RowCount = 9,
    };

    explicit SettingsView(QWidget* parent = nullptr);
    ~SettingsView() override;

    // The shared adapter library (the window's); used for the ENET calls
    // when no EnetControl was handed in.
    MT7628Config* mt7628Config = nullptr;

    // Re-reads the machine into the controls.
    void refresh();

    // What the page reads and changes (tests give private places and fakes).
    void setProbes(SettingsProbes probes) { m_probes = std::move(probes); }
    void setLogFolders(SystemLogFolders folders) { m_folders = std::move(folders); }
    void setAutostartAction(std::function<bool(bool on)> apply) { m_applyAutostart = std::move(apply); }
    // Ends the event loop for the restart (default QCoreApplication::exit).
    void setExitAction(std::function<void(int code)> exit) { m_exit = std::move(exit); }
    // The ENET calls; the view does not own the control.
    void setEnetControl(EnetControl* control);

    // Bus code 1: the adapter read (no serial: no adapter).
    void onDeviceInfo(const DeviceInfo& info);
    // Bus code 5: the signed-in user's name, empty after signing out.
    void setUserName(const QString& name);
    // Bus code 6: whether a newer program version exists.
    void setNewVersion(bool available);
    // The support file row while it is being written (percent -1: idle).
    void setSupportProgress(int percent, const QString& step);

    int initialLanguageIndex = -1; // fixed at the first refresh

    QListWidget* list() const { return m_list; }
    Switch* systemLogSwitch() const { return m_logSwitch; }
    Switch* autostartSwitch() const { return m_autostartSwitch; }
    Switch* enetSwitch() const { return m_enetSwitch; }
    QComboBox* languageCombo() const { return m_language; }
    QLabel* updateTag() const { return m_tag; }
    QWidget* rowWidget(int row) const;

signals:
    // Row 8 was clicked.
    void supportFileRequested();

protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildRows();
    void retranslate();
    void updateRowHeights();
    QWidget* makeItemRow(
        const QString& icon, QWidget* rightEnd, bool hover, bool separator, QLabel** title, QLabel** subtitle);
    QLabel* makeSectionRow();
    void addRow(QWidget* widget, bool clickable);
    void onRowClicked(QListWidgetItem* item);
    void onSystemLogChanged(bool on);
    void onAutostartChanged(bool on);
    void onEnetChanged(bool on);
    void onLanguageChanged(int index);
    void applyUserName();
    EnetControl* enet();
    // Moves a switch to `state` as a click would (stateChanged) when it differs.
    static void moveSwitch(Switch* control, bool state);

    // In the Part's order: the list, the account row, the three switches,
    // the combo box, the update tag.
    QListWidget* m_list = nullptr;
    QWidget* m_accountRow = nullptr;
    Switch* m_autostartSwitch = nullptr;
    Switch* m_logSwitch = nullptr;
    Switch* m_enetSwitch = nullptr;
    QComboBox* m_language = nullptr;
    QWidget* m_tagWidget = nullptr;
    QLabel* m_tag = nullptr;

    QLabel* m_pageTitle = nullptr;
    QLabel* m_accountSection = nullptr;
    QLabel* m_settingsSection = nullptr;
    QLabel* m_titles[RowCount] = {};
    QLabel* m_subtitles[RowCount] = {};
    QString m_userName;
    int m_supportPercent = -1;
    QString m_supportStep;
    DeviceInfo m_device;

    SettingsProbes m_probes;
    SystemLogFolders m_folders;
    std::function<bool(bool)> m_applyAutostart;
    std::function<void(int)> m_exit;
    EnetControl* m_enet = nullptr;
    EnetControl* m_ownEnet = nullptr;
};
