#include "drivers/DriverFiles.h"

#include "drivers/DriverRegistry.h"
#include "kit/AppConstants.h"
#include "kit/SafeUnpacker.h"
#include "platform/DataRoot.h"
#include "platform/OsConventions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <driverpkg/Manifest.h>

namespace {

const Qt::CaseSensitivity kPathCase = platform::pathsCaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive;

bool plainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':'));
}

} // namespace

QString DriverFiles::dataDirectory()
{
    QString dir
        = QDir::fromNativeSeparators(QString::fromStdString(platform::mapDataPath(AppConstants::kDataDirectory)));
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString DriverFiles::installFolder(const DriverInfo& info)
{
    return dataDirectory() + QLatin1Char('/') + info.installKey;
}

DriverFiles::InstallResult DriverFiles::installFromArchive(
    const SafeUnpacker& unpacker, const QString& archive, VehicleDriver& driver)
{
    InstallResult result;
    if (!plainName(driver.info.installKey)) {
        result.message = tr("This driver has no package to install.");
        return result;
    }
    const QString folder = installFolder(driver.info);
    QString version;
    std::string why;
    // Checked on the fresh folder with the rules the package's own libraries
    // apply, so a package they would refuse, or a wrong one, never replaces a
    // good one.
    const auto check = [&](const QString& fresh) -> QString {
        driverpkg::Manifest manifest;
        if (!driverpkg::readManifest(QFile::encodeName(fresh).toStdString(), manifest, &why))
            return tr("The package's manifest cannot be read.");
        const QString package = QString::fromStdString(manifest.package);
        if (package != driver.info.installKey)
            return tr("The archive holds the %1 package, not %2.").arg(package, driver.info.installKey);
        version = QString::fromStdString(manifest.version);
        return QString();
    };
    const SafeUnpacker::Result unpacked = unpacker.unpack(archive, folder, check);
    if (!unpacked.ok()) {
        result.message = unpacked.message;
        result.detail = why.empty() ? unpacked.detail : QString::fromStdString(why);
        return result;
    }
    if (!DriverRegistry::recordInstall(driver, QDir::toNativeSeparators(folder), version)) {
        result.message = tr("The driver could not be recorded in the registry.");
        result.detail = DriverRegistry::packageKey(driver.info.installKey);
        return result;
    }
    result.ok = true;
    return result;
}

DriverFiles::Removal DriverFiles::removeInstallFolder(
    const QString& installPath, const QString& installKey, QString* why)
{
    auto say = [why](Removal removal, const QString& text) {
        if (why)
            *why = text;
        return removal;
    };
    if (!plainName(installKey))
        return say(Removal::Refused, QStringLiteral("not a plain install key: ") + installKey);
    const QString path
        = QDir::fromNativeSeparators(QString::fromStdString(platform::mapDataPath(installPath.toStdString())));
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink()))
        return say(Removal::Missing, QStringLiteral("Folder does not exist: ") + path);
    const QFileInfo expected(dataDirectory() + QLatin1Char('/') + installKey);
    if (info.isSymLink() || info.isJunction() || expected.isSymLink() || expected.isJunction())
        return say(Removal::Refused, QStringLiteral("a link, not followed: ") + path);
    const QString canonical = info.canonicalFilePath();
    const QString root = expected.canonicalFilePath();
    if (canonical.isEmpty() || root.isEmpty()
        || (canonical.compare(root, kPathCase) != 0 && !canonical.startsWith(root + QLatin1Char('/'), kPathCase)))
        return say(Removal::Refused, QStringLiteral("outside the driver folder %1: %2").arg(expected.filePath(), path));
    QString stuck;
    if (!SafeUnpacker::removeTree(path, &stuck))
        return say(Removal::Failed, QStringLiteral("Failed to remove: ") + stuck);
    return say(Removal::Removed, path);
}
