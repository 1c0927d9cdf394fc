// Unpacks a zip or 7z archive that came from outside (a driver package, an
// update) without letting it write anywhere but the one target folder.
//
// The archive is listed with 7-Zip first and refused when any entry has an
// absolute path, a ".." part, a drive or stream colon, control characters or
// a name Windows reserves, is a link, device or other special file, is
// encrypted, or when the declared sizes or the number of entries pass the
// limits; a listing with errors or warnings (damaged, trailing data) is
// refused too. The entries are then unpacked into a fresh folder beside the
// target, every unpacked path is checked again (a plain file or folder, no
// link, inside the fresh folder, listed, of the listed size), and only then
// the fresh folder replaces the target by rename. Whatever fails, nothing
// half-unpacked is left and the target is as it was.
//
// 7-Zip runs with an argument list, never through a shell, with its input
// closed and every wait bounded. Blocking: call it from a worker thread.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <functional>

class SafeUnpacker {
    Q_DECLARE_TR_FUNCTIONS(SafeUnpacker)
public:
    enum class Failure {
        None,
        ToolMissing,    // 7-Zip not found or would not start
        Damaged,        // not a zip or 7z archive, damaged, or 7-Zip failed while unpacking
        Encrypted,      // a password protects the entries or the list
        UnsafeName,     // absolute, "..", colon, control character, reserved name
        Link,           // symbolic or hard link, reparse point
        SpecialFile,    // device, pipe, socket, volume label
        TooLarge,       // declared sizes above Limits::maxTotalSize
        TooManyEntries, // above Limits::maxEntries (or an endless listing)
        TimedOut,
        Cancelled,
        CannotWrite, // the fresh folder or the move into place failed
        Mismatch,    // what was unpacked is not what was listed
        Rejected,    // the caller's check of the unpacked folder said no
    };

    struct Limits {
        qint64 maxTotalSize = qint64(2) << 30; // sum of the declared sizes
        int maxEntries = 20000;
        int listTimeoutMs = 60 * 1000;
        int unpackTimeoutMs = 10 * 60 * 1000;
    };

    struct Entry {
        QString path; // relative, '/' between parts
        qint64 size = 0;
        bool folder = false;
    };

    struct Result {
        Failure failure = Failure::None;
        QString message;        // translated text for the user; empty on success
        QString detail;         // the entry or 7-Zip's words, for the log
        QVector<Entry> entries; // the archive's list (also on most failures)
        bool ok() const { return failure == Failure::None; }
    };

    // `toolPath` empty: defaultToolPath().
    explicit SafeUnpacker(const QString& toolPath = QString());

    // Windows: "7za.exe", else "7z.exe", next to the program. Elsewhere: "7za"
    // or "7z" from PATH. Empty when none is found.
    static QString defaultToolPath();
    QString toolPath() const { return m_tool; }

    void setLimits(const Limits& limits) { m_limits = limits; }
    const Limits& limits() const { return m_limits; }
    // Asked while 7-Zip runs; true stops it (Failure::Cancelled).
    void setCancelCheck(std::function<bool()> cancelled) { m_cancelled = std::move(cancelled); }

    // Lists and checks the archive without unpacking anything.
    Result inspect(const QString& archive) const;
    // Given the fresh folder before it is moved into place: an empty text
    // accepts it, any other text refuses it with that message.
    using FolderCheck = std::function<QString(const QString& folder)>;

    // Inspects, unpacks and puts the result at `target` (a folder, replaced
    // as a whole when it exists; its parent is created when missing).
    Result unpack(const QString& archive, const QString& target, const FolderCheck& check = {}) const;

    // Removes a folder tree without following any link inside it (a link is
    // removed itself; so is `path` when it is a link). Read-only entries are
    // made writable first. False when something could not be removed.
    static bool removeTree(const QString& path, QString* failedEntry = nullptr);

    // Checks 7-Zip's technical listing ("l -slt"): the header's type and
    // errors, then every entry. Public for the fuzz target.
    static Result checkListing(const QByteArray& listing, const Limits& limits);
    // The name rule alone: a relative path that is safe on every system.
    static bool safeEntryName(const QString& path);

private:
    struct ToolRun;
    ToolRun runTool(const QStringList& arguments, int timeoutMs, qint64 maxOutput) const;
    Result verifyUnpacked(const QString& folder, const Result& listed) const;
    static Result failure(Failure kind, const QString& detail = QString(), qint64 number = 0);

    QString m_tool;
    Limits m_limits;
    std::function<bool()> m_cancelled;
};
