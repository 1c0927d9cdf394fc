// The steps between a downloaded release archive and the upgrader, and the
// two things the program does at start for the upgrader: confirm that a new
// version came up, or undo an update that was interrupted. Blocking; the
// archive steps run on a worker thread.
#pragma once

#include "update/ReleaseManifest.h"

#include <QCoreApplication>
#include <QString>

class ReleaseInstaller {
    Q_DECLARE_TR_FUNCTIONS(ReleaseInstaller)
public:
    // Upgrade2's waits: its stage step; Upgrade2 --recover.
    static constexpr int kUpgraderTimeoutMs = 120 * 1000;
    static constexpr int kRecoverTimeoutMs = 60 * 1000;
    // Upgrade2's exit code for a program folder it may not write.
    static constexpr int kNotWritableExit = 3;
    static constexpr int kRestoredExit = 10;
    static constexpr qint64 kMaxUnpackedSize = qint64(1) << 30;

    // The system temporary folder + "/BrindlewickAppDownLoad/AppZip", the
    // archive in it and the unpack folder beside the archive.
    static QString downloadFolder();
    static QString archivePath();
    static QString unpackFolder(const QString& archive);
    // "Upgrade2.exe" on Windows, "Upgrade2" elsewhere.
    static QString upgraderName();
    static QString programName();

    // The key archives are checked against (the build's unless set).
    explicit ReleaseInstaller(const QByteArray& publicKey = update::ReleaseCheck::buildPublicKey());
    // Another bound on the unpacked size (tests).
    void setMaxUnpackedSize(qint64 bytes) { m_maxUnpacked = bytes; }
    // The version a release must be newer than: the running program's unless
    // set. Empty takes any signed version, for unpacking into a folder that is
    // not the running program's (setting up an installation).
    void setRunningVersion(const QString& version) { m_runningVersion = version; }

    // Unpacks the archive into a fresh `folder` with the safe unpacker and
    // checks the signed manifest and every file before the folder is put in
    // place. A release whose version is not above the running version is
    // refused like a damaged one. Empty text on success; otherwise the user's
    // message, and the folder and the archive are gone.
    QString unpack(const QString& archive, const QString& folder, update::Manifest* manifest = nullptr) const;
    // Copies the release's upgrader over the program folder's.
    QString copyUpgrader(const QString& folder, const QString& appDir) const;
    // Runs the program folder's upgrader on the unpacked release and waits
    // for it; it waits in turn for the process `waitPid` (this one when 0) to
    // end before it swaps files.
    QString runUpgrader(
        const QString& folder, const QString& appDir, qint64 waitPid = 0, int timeoutMs = kUpgraderTimeoutMs) const;
    static void cleanUp(const QString& archive, const QString& folder);

    // When Upgrade2 started this program to confirm an update
    // (BRINDLEWICK_UPDATE_CONFIRM names the marker file), writes the version
    // and the process id into the marker. True when it did.
    static bool confirmStart(const QString& version);
    // When the program folder holds the journal of an update that did not
    // finish, runs "Upgrade2 --recover"; true when it put old files back (the
    // program should then restart from them).
    static bool recoverInterrupted(const QString& appDir);

private:
    QByteArray m_publicKey;
    QString m_runningVersion;
    qint64 m_maxUnpacked = kMaxUnpackedSize;
};
