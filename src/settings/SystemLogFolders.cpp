#include "settings/SystemLogFolders.h"

#include "settings/SettingsLog.h"

#include "kit/SafeUnpacker.h"
#include "kit/TraceFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QStringList realTraceFolders()
{
    QStringList paths;
    for (const TraceFolder& folder : traceFolders())
        paths << folder.localPath();
    return paths;
}

} // namespace

SystemLogFolders::SystemLogFolders()
    : SystemLogFolders(realTraceFolders(), desktopShortcutFolder())
{
}

SystemLogFolders::SystemLogFolders(QStringList traceFolderPaths, QString shortcutFolder)
    : m_folders(std::move(traceFolderPaths))
    , m_shortcutFolder(std::move(shortcutFolder))
{
}

QString SystemLogFolders::linkNameFor(const QString& folderPath)
{
    // The last element of the path split at "/", empty parts kept.
    return folderPath.split(QLatin1Char('/')).last() + QStringLiteral(".lnk");
}

bool SystemLogFolders::enable()
{
    bool ok = true;
    for (const QString& folder : m_folders) {
        const QFileInfo existing(folder);
        if (!existing.isDir() && !QDir().mkpath(folder)) {
            qCWarning(lcSettings) << "cannot create the trace folder" << folder;
            ok = false;
            continue;
        }
        if (!QDir().mkpath(m_shortcutFolder)) {
            qCWarning(lcSettings) << "cannot create the shortcut folder" << m_shortcutFolder;
            ok = false;
            continue;
        }
        const QString link = m_shortcutFolder + QLatin1Char('/') + linkNameFor(folder);
        const QFileInfo current(link);
        if (current.isSymLink() && QFileInfo(current.symLinkTarget()) == QFileInfo(folder))
            continue;
        if (current.exists() || current.isSymLink()) {
            // Something else holds the name: a link to another place goes as a
            // link, a stray folder is removed without following links inside.
            SafeUnpacker::removeTree(link);
        }
        if (!QFile::link(QFileInfo(folder).absoluteFilePath(), link)) {
            qCWarning(lcSettings) << "cannot make the desktop link" << link;
            ok = false;
        }
    }
    return ok;
}

bool SystemLogFolders::removeQuietly(const QString& path)
{
    QString failed;
    if (SafeUnpacker::removeTree(path, &failed))
        return true;
    qCDebug(lcSettings) << "could not remove" << failed;
    return false;
}

bool SystemLogFolders::disable()
{
    bool ok = removeQuietly(m_shortcutFolder);
    for (const QString& folder : m_folders)
        ok = removeQuietly(folder) && ok;
    if (!ok)
        qCWarning(lcSettings) << "some log folders could not be removed completely";
    return ok;
}
