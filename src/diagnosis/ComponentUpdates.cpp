#include "diagnosis/ComponentUpdates.h"

#include "diagnosis/DiagnosisLog.h"
#include "diagnosis/VersionFile.h"

#include "HttpsServer.h"

#include <platform/OsConventions.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

namespace diagnosis {

namespace {

using Ms = std::chrono::milliseconds;

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Polls the download's status `polls` times, `interval` apart.
unsigned awaitStatus(HttpsServer& server, Ms interval, long long polls, const Sleep& sleep, bool& stopped)
{
    stopped = false;
    for (long long i = 0; i < polls; ++i) {
        if (!sleep(interval)) {
            stopped = true;
            return HttpsServer::kDownloadRunning;
        }
        const unsigned status = server.GetDownloadFileStatus();
        if (status != HttpsServer::kDownloadRunning)
            return status;
    }
    return HttpsServer::kDownloadRunning;
}

} // namespace

ComponentUpdates::ComponentUpdates(ComponentFolder folder, QString fileServerBase, UpdatePolicy policy)
    : m_folder(std::move(folder))
    , m_base(std::move(fileServerBase))
    , m_policy(policy)
{
}

QStringList ComponentUpdates::downloadReplacements(const Sleep& sleep) const
{
    QStringList failed;
    const long long polls
        = std::max<long long>(1, m_policy.libraryWait.count() / std::max<long long>(1, m_policy.libraryPoll.count()));
    for (const char* base : {kStdDispQt, kStdComm}) {
        HttpsServer server;
        const QString target = m_folder.replacement(base);
        bool stopped = false;
        unsigned status = HttpsServer::kDownloadFailed;
        if (server.DownloadFile(utf8(url(ComponentFolder::serverLibraryPath(base))), utf8(target)))
            status = awaitStatus(server, m_policy.libraryPoll, polls, sleep, stopped);
        if (status != HttpsServer::kDownloadDone) {
            failed << QLatin1String(base);
            qCInfo(lcDiagnosis).noquote() << "replacement" << base << "not downloaded" << (stopped ? "(stopped)" : "");
        }
        if (stopped)
            break;
    }
    return failed;
}

ComponentUpdates::Check ComponentUpdates::checkFolderVersion(
    const QString& folder, const Sleep& sleep, QString* version) const
{
    const QString tmp = m_folder.downloadedVersion();
    QFile::remove(tmp);
    bool stopped = false;
    unsigned status = HttpsServer::kDownloadFailed;
    {
        HttpsServer server;
        if (server.DownloadFile(utf8(url(ComponentFolder::serverVersionPath(folder))), utf8(tmp)))
            status = awaitStatus(server, m_policy.versionPoll, m_policy.versionPolls, sleep, stopped);
        // Leaving the scope ends a transfer still running; only then is Tmp.ini gone for good.
    }
    if (status != HttpsServer::kDownloadDone) {
        QFile::remove(tmp);
        return stopped ? Check::Stopped : Check::NoAnswer;
    }
    const VersionFile file = readVersionFile(tmp);
    QFile::remove(tmp);
    QString value = file.value(folder);
    if (value.isEmpty())
        value = file.value(QStringLiteral("Version"));
    if (!parseVersion(value)) {
        qCWarning(lcDiagnosis).noquote() << "the file server's version of" << folder << "is unusable";
        return Check::Unusable;
    }
    QString why;
    if (!writeVersionEntry(m_folder.newestVersions(), folder, value, &why)) {
        qCWarning(lcDiagnosis).noquote() << why;
        return Check::WriteFailed;
    }
    if (version)
        *version = value;
    return Check::Recorded;
}

ComponentUpdates::Offer ComponentUpdates::upgradeOffer(const QString& make) const
{
    Offer offer;
    offer.newest = readVersionFile(m_folder.newestVersions()).value(make).remove(QLatin1Char('\n'));
    offer.installed = readVersionFile(m_folder.installedVersions()).value(make).remove(QLatin1Char('\n'));
    offer.offered = QFileInfo::exists(m_folder.makeLibrary(make)) && !offer.newest.isEmpty()
        && !offer.installed.isEmpty() && isNewerVersion(offer.newest, offer.installed);
    return offer;
}

bool ComponentUpdates::upgradeMake(const QString& make, const QString& version, const Sleep& sleep, QString* why) const
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!ComponentFolder::validMakeName(make))
        return fail(QStringLiteral("not a make name"));
    const QString staged = m_folder.dllFolder() + QLatin1Char('/') + make + QStringLiteral("_Diag_Down")
        + QString::fromLatin1(platform::sharedLibrarySuffix());
    QFile::remove(staged);
    bool stopped = false;
    unsigned status = HttpsServer::kDownloadFailed;
    {
        HttpsServer server;
        const long long polls = std::max<long long>(
            1, m_policy.libraryWait.count() / std::max<long long>(1, m_policy.libraryPoll.count()));
        if (server.DownloadFile(utf8(url(ComponentFolder::serverMakeLibraryPath(make))), utf8(staged)))
            status = awaitStatus(server, m_policy.libraryPoll, polls, sleep, stopped);
    }
    if (status != HttpsServer::kDownloadDone) {
        QFile::remove(staged);
        return fail(stopped ? QStringLiteral("stopped") : QStringLiteral("the download did not complete"));
    }
    QString problem;
    if (!looksLoadable(staged, &problem)) {
        QFile::remove(staged);
        return fail(problem);
    }
    // Only now is the make folder emptied (sub-folders recursively, files one by one).
    QDir dir(m_folder.makeFolder(make));
    if (!dir.exists() && !QDir().mkpath(dir.path()))
        return fail(QStringLiteral("cannot create %1").arg(dir.path()));
    const QFileInfoList entries
        = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
    std::error_code ec;
    std::filesystem::rename(
        std::filesystem::u8path(utf8(staged)), std::filesystem::u8path(utf8(m_folder.makeLibrary(make))), ec);
    if (ec) {
        QFile::remove(staged);
        return fail(QStringLiteral("cannot put the library in place: %1").arg(QString::fromStdString(ec.message())));
    }
    if (!version.isEmpty()) {
        QString writeWhy;
        if (!writeVersionEntry(m_folder.installedVersions(), make, version, &writeWhy))
            qCWarning(lcDiagnosis).noquote() << writeWhy;
    }
    return true;
}

} // namespace diagnosis
