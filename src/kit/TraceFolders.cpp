#include "kit/TraceFolders.h"

#include <QStandardPaths>
#include <QStringList>

#include "platform/DataRoot.h"

QString TraceFolder::localPath() const
{
    QString native = windowsPath;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return QString::fromStdString(platform::mapDataPath(native.toStdString()));
}

QString TraceFolder::name() const
{
    return windowsPath.section(QLatin1Char('/'), -1);
}

QString TraceFolder::shortcutName() const
{
    return name() + QStringLiteral(".lnk");
}

const QList<TraceFolder>& traceFolders()
{
    static const QList<TraceFolder> folders{
        {QStringLiteral("C:/ProgramData/passThru4log"), true, true, true},
        {QStringLiteral("C:/ProgramData/passThru5log"), true, true, true},
        {QStringLiteral("C:/ProgramData/PDULogger"), true, true, true},
        {QStringLiteral("C:/ProgramData/RemoteDiag"), true, false, false},
    };
    return folders;
}

QStringList startupCleanupFolders()
{
    QStringList paths;
    for (const TraceFolder& folder : traceFolders()) {
        if (folder.cleanedAtStartup)
            paths << folder.localPath();
    }
    return paths;
}

QString desktopShortcutFolderName()
{
    return QStringLiteral("BrindlewickLogs");
}

QString desktopShortcutFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) + QLatin1Char('/')
        + desktopShortcutFolderName();
}
