#include "kit/LogCleanup.h"

#include "kit/KitLog.h"
#include "kit/TraceFolders.h"

#include <platform/FileTimes.h>
#include <platform/LogFile.h>
#include <platform/OsConventions.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <system_error>
#include <thread>

namespace {

// Last-access time of the entry itself (a link is not followed); -1 when unknown.
std::time_t lastAccessTime(const QFileInfo& info)
{
    const std::int64_t seconds = platform::lastAccessTime(QFile::encodeName(info.absoluteFilePath()).toStdString());
    return seconds < 0 ? static_cast<std::time_t>(-1) : static_cast<std::time_t>(seconds);
}

} // namespace

QStringList LogCleanup::defaultFolders()
{
    return startupCleanupFolders();
}

LogCleanup::LogCleanup(QStringList folders, std::function<std::time_t()> now)
    : m_folders(std::move(folders))
    , m_now(std::move(now))
{
}

long LogCleanup::ageHours(std::time_t lastAccess, std::time_t now)
{
    std::tm date{};
    if (!platform::toLocalTime(lastAccess, date))
        return 0;
    date.tm_hour = 0;
    date.tm_min = 0;
    date.tm_sec = 0;
    date.tm_isdst = -1; // let mktime decide for that date
    const std::time_t midnight = std::mktime(&date);
    if (midnight == static_cast<std::time_t>(-1))
        return 0;
    return static_cast<long>(std::difftime(now, midnight) / 3600.0);
}

LogCleanup::Result LogCleanup::run() const
{
    Result result;
    const std::time_t now = m_now();
    for (const QString& folder : m_folders) {
        const QFileInfo info(folder);
        if (!info.exists() || !info.isDir() || info.isSymLink())
            continue;
        walk(info.absoluteFilePath(), now, result);
    }
    qCInfo(lcKit) << "trace clean-up:" << result.filesDeleted << "files deleted," << result.filesKept << "kept,"
                  << result.foldersRemoved << "folders removed," << result.failures << "failures";
    return result;
}

void LogCleanup::walk(const QString& folder, std::time_t now, Result& result) const
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString path = entry.absoluteFilePath();
        // Links are treated as files: the walk never leaves the trace folder.
        if (entry.isDir() && !entry.isSymLink()) {
            walk(path, now, result);
            // Succeeds only when the sub-folder became empty.
            if (QDir().rmdir(path))
                ++result.foldersRemoved;
            continue;
        }
        const std::time_t accessed = lastAccessTime(entry);
        if (accessed == static_cast<std::time_t>(-1) || ageHours(accessed, now) < kMaxAgeHours) {
            ++result.filesKept;
            continue;
        }
        if (QFile::remove(path)) {
            ++result.filesDeleted;
        } else {
            ++result.failures;
            qCWarning(lcKit) << "cannot delete" << path;
        }
    }
}

void LogCleanup::startDetached()
{
    try {
        std::thread([] {
            platform::setThreadName("log-cleanup");
            LogCleanup().run();
        }).detach();
    } catch (const std::system_error& error) {
        qCWarning(lcKit) << "clean-up thread not started:" << error.what();
    }
}
