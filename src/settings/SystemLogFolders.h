// The System Log switch's effect on the machine: the four trace folders of
// the pass-thru drivers and the diagnosis components, and a desktop folder
// "BrindlewickLogs" with one link to each. Both directions are safe to
// repeat, since the settings page applies the state it reads every time it
// opens. Removal never follows a link: a link inside a trace folder (or a
// trace folder that is itself a link) goes away as a link, and whatever it
// points at stays untouched.
#pragma once

#include <QString>
#include <QStringList>

class SystemLogFolders {
public:
    // The real places: trace folders through the data root, the desktop
    // shortcut folder under the desktop location.
    SystemLogFolders();
    // Other places (tests): local trace folder paths, in order, and the
    // desktop shortcut folder.
    SystemLogFolders(QStringList traceFolderPaths, QString shortcutFolder);

    // Creates every trace folder with its parents and a link to each in the
    // shortcut folder ("<last path element>.lnk"). A link that already points
    // at its folder is kept; a link or file of that name pointing elsewhere
    // is replaced. Returns false when something could not be made (logged).
    bool enable();
    // Removes the shortcut folder and every trace folder with their
    // contents; goes on past entries it cannot remove (each logged). Returns
    // false when something is left.
    bool disable();

    const QStringList& traceFolderPaths() const { return m_folders; }
    const QString& shortcutFolder() const { return m_shortcutFolder; }
    // "passThru4log.lnk" for ".../passThru4log".
    static QString linkNameFor(const QString& folderPath);

private:
    static bool removeQuietly(const QString& path);

    QStringList m_folders;
    QString m_shortcutFolder;
};
