#include "update/ReleaseInstaller.h"

#include "update/AppVersion.h"
#include "update/ProgramVersion.h"
#include "update/UpdateLog.h"

#include "kit/SafeUnpacker.h"

#include <platform/OsConventions.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

ReleaseInstaller::ReleaseInstaller(const QByteArray& publicKey)
    : m_publicKey(publicKey)
    , m_runningVersion(QString::fromLatin1(update::programVersion()))
{
}

QString ReleaseInstaller::downloadFolder()
{
    return QDir::tempPath() + QStringLiteral("/BrindlewickAppDownLoad/AppZip");
}

QString ReleaseInstaller::archivePath()
{
    return downloadFolder() + QStringLiteral("/BrindlewickInstall.zip");
}

QString ReleaseInstaller::unpackFolder(const QString& archive)
{
    return QFileInfo(archive).absolutePath() + QStringLiteral("/BrindlewickSerial");
}

QString ReleaseInstaller::upgraderName()
{
    return QStringLiteral("Upgrade2") + QLatin1String(platform::programSuffix());
}

QString ReleaseInstaller::programName()
{
    return QStringLiteral("Brindlewick") + QLatin1String(platform::programSuffix());
}

void ReleaseInstaller::cleanUp(const QString& archive, const QString& folder)
{
    if (!folder.isEmpty())
        SafeUnpacker::removeTree(folder);
    if (!archive.isEmpty())
        QFile::remove(archive);
}

QString ReleaseInstaller::unpack(const QString& archive, const QString& folder, update::Manifest* manifest) const
{
    SafeUnpacker unpacker;
    SafeUnpacker::Limits limits = unpacker.limits();
    limits.maxTotalSize = m_maxUnpacked;
    limits.maxEntries = update::kMaxManifestEntries + 2;
    unpacker.setLimits(limits);
    update::Manifest checked;
    const QByteArray key = m_publicKey;
    const QString running = m_runningVersion;
    const SafeUnpacker::Result result
        = unpacker.unpack(archive, folder, [&checked, key, running](const QString& fresh) {
              const QString refusal = update::ReleaseCheck::verifyFolder(fresh, key, &checked);
              if (!refusal.isEmpty() || running.isEmpty())
                  return refusal;
              // A genuine but older release would take the program back to a
              // version with the faults a later one fixed.
              if (!update::serverIsNewer(running, checked.version)) {
                  qCWarning(lcUpdate).noquote()
                      << "release" << checked.version << "is not newer than the running" << running;
                  return tr("The release %1 is not newer than the installed version %2.").arg(checked.version, running);
              }
              return QString();
          });
    if (!result.ok()) {
        qCWarning(lcUpdate) << "release archive refused:" << result.detail;
        cleanUp(archive, folder);
        return result.message.isEmpty() ? tr("Extract zip file failed") : result.message;
    }
    qCInfo(lcUpdate) << "release" << checked.version << "unpacked and verified," << checked.entries.size() << "files";
    if (manifest)
        *manifest = checked;
    return QString();
}

QString ReleaseInstaller::copyUpgrader(const QString& folder, const QString& appDir) const
{
    const QString source = folder + QLatin1Char('/') + upgraderName();
    const QString target = appDir + QLatin1Char('/') + upgraderName();
    QFile::remove(target);
    if (!QFile::copy(source, target)) {
        qCWarning(lcUpdate) << "cannot copy the upgrader to" << target;
        return tr("Copy upgrade file failed");
    }
    QFile::setPermissions(target,
        QFile::permissions(target) | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther
            | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return QString();
}

QString ReleaseInstaller::runUpgrader(const QString& folder, const QString& appDir, qint64 waitPid, int timeoutMs) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BRINDLEWICK_UPGRADE_WAIT_PID"),
        QString::number(waitPid > 0 ? waitPid : QCoreApplication::applicationPid()));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProgram(appDir + QLatin1Char('/') + upgraderName());
    process.setArguments({QDir::toNativeSeparators(folder)});
    process.setWorkingDirectory(appDir);
    process.start();
    if (!process.waitForStarted(10000)) {
        qCWarning(lcUpdate) << "upgrader did not start:" << process.errorString();
        return tr("Start upgrade process failed");
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        qCWarning(lcUpdate) << "upgrader did not finish within" << timeoutMs << "ms";
        return tr("Start upgrade process failed");
    }
    const QString words = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qCWarning(lcUpdate).noquote() << "upgrader ended with" << process.exitCode() << words;
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == kNotWritableExit)
            return tr("The program folder %1 cannot be written. Run the update as a user who may change it.")
                .arg(QDir::toNativeSeparators(appDir));
        return tr("Start upgrade process failed");
    }
    return QString();
}

bool ReleaseInstaller::confirmStart(const QString& version)
{
    const QString marker = qEnvironmentVariable("BRINDLEWICK_UPDATE_CONFIRM");
    if (marker.isEmpty())
        return false;
    QSaveFile file(marker);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(version.toUtf8() + '\n' + QByteArray::number(QCoreApplication::applicationPid()) + '\n');
    const bool written = file.commit();
    qCInfo(lcUpdate) << "confirmed the start of version" << version << (written ? "" : "(marker not written)");
    // Programs this one starts (a restart) are no confirmation.
    qunsetenv("BRINDLEWICK_UPDATE_CONFIRM");
    return written;
}

bool ReleaseInstaller::recoverInterrupted(const QString& appDir)
{
    if (!QFileInfo::exists(appDir + QStringLiteral("/.bw-upgrade/journal")))
        return false;
    const QString upgrader = appDir + QLatin1Char('/') + upgraderName();
    if (!QFileInfo(upgrader).isExecutable())
        return false;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(upgrader, {QStringLiteral("--recover"), QDir::toNativeSeparators(appDir)});
    if (!process.waitForStarted(10000) || !process.waitForFinished(kRecoverTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        qCWarning(lcUpdate) << "the interrupted update could not be rolled back";
        return false;
    }
    const bool restored = process.exitStatus() == QProcess::NormalExit && process.exitCode() == kRestoredExit;
    if (restored)
        qCWarning(lcUpdate) << "an interrupted update was rolled back; the old files are in place again";
    return restored;
}
