// The trace folders of the pass-thru drivers and the diagnosis components, and
// the desktop folder that holds a shortcut to each of them. The drivers write
// into a folder when it exists; the program only creates, links, empties and
// deletes them.
#pragma once

#include <QList>
#include <QString>

struct TraceFolder {
    QString windowsPath;   // "C:/ProgramData/passThru4log"
    bool createdBySwitch;  // created when the System Log switch is turned on
    bool countedWhenOn;    // its existence makes the page show logging as on
    bool cleanedAtStartup; // emptied of old files by the start-up clean-up

    // Where the folder lives on this machine (through the data root).
    QString localPath() const;
    // Last path element ("passThru4log").
    QString name() const;
    // Name of its desktop shortcut ("passThru4log.lnk").
    QString shortcutName() const;
};

// The four folders in their fixed order.
const QList<TraceFolder>& traceFolders();
// Local paths of the folders with cleanedAtStartup set, in order.
QStringList startupCleanupFolders();

// "BrindlewickLogs"
QString desktopShortcutFolderName();
// The user's desktop folder + "/BrindlewickLogs".
QString desktopShortcutFolder();
