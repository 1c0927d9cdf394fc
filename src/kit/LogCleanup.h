// One pass of the start-up clean-up of the drivers' trace folders: files at
// least 96 hours old are deleted, emptied sub-folders are removed. The age of
// a file runs from local midnight of its last-access date to now, in whole
// hours, so everything touched four calendar days ago or earlier goes.
#pragma once

#include <QStringList>

#include <ctime>
#include <functional>

class LogCleanup {
public:
    struct Result {
        int filesDeleted = 0;
        int filesKept = 0;
        int foldersRemoved = 0;
        int failures = 0; // files or folders that could not be removed
    };

    static constexpr long kMaxAgeHours = 96;

    // The trace folders cleaned at start-up, on this machine, in order.
    static QStringList defaultFolders();

    explicit LogCleanup(
        QStringList folders = defaultFolders(), std::function<std::time_t()> now = [] { return std::time(nullptr); });

    // Walks every folder once. A missing folder is skipped; the folders
    // themselves are kept.
    Result run() const;

    // Whole hours from local midnight of lastAccess's date to now.
    static long ageHours(std::time_t lastAccess, std::time_t now);

    // Runs one pass with the default folders on a detached thread.
    static void startDetached();

private:
    void walk(const QString& folder, std::time_t now, Result& result) const;

    QStringList m_folders;
    std::function<std::time_t()> m_now;
};
