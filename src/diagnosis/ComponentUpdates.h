// Keeping the diagnosis component current from the file server, through the
// account library's download call (HttpsServer::DownloadFile, one download at
// a time, its status polled). Every wait is bounded and ends early when the
// caller's `sleep` reports a stop, so the workers that run these never hold up
// the window's closing for longer than one transfer's read time-out.
#pragma once

#include "diagnosis/ComponentFolder.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace diagnosis {

// Waits for the given time; false when the caller is stopping (WorkerGroup::sleepFor).
using Sleep = std::function<bool(std::chrono::milliseconds)>;

struct UpdatePolicy {
    // The version file: polled every second, at most ten times.
    std::chrono::milliseconds versionPoll{1000};
    int versionPolls = 10;
    // A library: its status polled this often, for at most this long.
    std::chrono::milliseconds libraryPoll{200};
    std::chrono::milliseconds libraryWait{std::chrono::minutes(5)};
};

class ComponentUpdates {
public:
    // `fileServerBase` ends with "/"; the file-server paths are appended to it.
    ComponentUpdates(ComponentFolder folder, QString fileServerBase, UpdatePolicy policy = {});

    // The newest "StdDispQt" and "StdComm" into their "_Down" files, one after
    // the other, each awaited. A download that fails leaves no "_Down" file of
    // its own (the old libraries stay). The failed names, empty when both came.
    QStringList downloadReplacements(const Sleep& sleep) const;

    enum class Check { Recorded, NoAnswer, Unusable, WriteFailed, Stopped };
    // The version check of a file-server folder: its "Version.ini" into
    // "Tmp.ini" (status polled at most versionPolls times), read, deleted, and
    // the version recorded under the folder's name in "VehNewestVersion.ini".
    // The version is the file's entry named after the folder, else "Version".
    Check checkFolderVersion(const QString& folder, const Sleep& sleep, QString* version = nullptr) const;

    // The make upgrade's download: "Diag" of the make into a file beside the
    // shared libraries; only a complete, loadable file replaces the make
    // folder's contents (everything in it removed first), so a failed
    // download loses nothing. On success the make's installed version becomes
    // `version` when one is given.
    bool upgradeMake(const QString& make, const QString& version, const Sleep& sleep, QString* why = nullptr) const;

    // Whether the make is offered an upgrade: its library exists and the
    // newest version seen is greater than the installed one.
    struct Offer {
        bool offered = false;
        QString newest;
        QString installed;
    };
    Offer upgradeOffer(const QString& make) const;

    const ComponentFolder& folder() const { return m_folder; }

private:
    enum class Wait { Done, Failed, TimedOut, Stopped };
    QString url(const QString& path) const { return m_base + path; }

    ComponentFolder m_folder;
    QString m_base;
    UpdatePolicy m_policy;
};

} // namespace diagnosis
