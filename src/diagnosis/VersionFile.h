// The diagnosis component's version files ("VehVersion.ini",
// "VehNewestVersion.ini", a downloaded "Version.ini"): text, one entry per
// line as name "=" value. Reading never fails hard: odd lines are skipped and
// counted, a file above the size cap is not read at all, and the caller gets
// what was usable. Versions are dotted numbers ("1.0.3", "V2.1").
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace diagnosis {

// A version file is a few lines; anything larger is not one.
inline constexpr qint64 kMaxVersionFileBytes = 64 * 1024;
// Longest name or value kept; longer lines are skipped as odd.
inline constexpr int kMaxVersionFieldChars = 128;

struct VersionFile {
    enum class Status { Ok, Missing, TooLarge, Unreadable };
    Status status = Status::Missing;
    QList<QPair<QString, QString>> entries; // in file order, names unique (the last line of a name wins)
    int oddLines = 0;                       // lines skipped: no "=", a name that is none, too long

    // The entry's value, empty when there is none.
    QString value(const QString& name) const;
};

// Parses the text of a version file: an optional UTF-8 byte-order mark, LF or
// CR LF line ends, blank lines and lines starting with ";" or "#" ignored,
// spaces around name and value removed. Names are ASCII letters, digits, "_",
// "-" and "." (library and folder names); values are printable ASCII.
VersionFile parseVersionText(const QByteArray& text);

// Reads a file from disk with the size cap.
VersionFile readVersionFile(const QString& path);

// Sets `name` to `value` in the file (the entry replaced in place, or added at
// the end), keeping every other usable entry; written to a temporary file and
// renamed, so a reader sees the old or the new file, never half of one.
bool writeVersionEntry(const QString& path, const QString& name, const QString& value, QString* why = nullptr);

// "1.0.3" or "V1.0.3": one to six dot-separated numbers of at most nine digits.
std::optional<QList<int>> parseVersion(const QString& text);

// True only when both versions are valid and `newest` is greater than
// `installed` (missing parts count as 0, so "1.2" equals "1.2.0").
bool isNewerVersion(const QString& newest, const QString& installed);

} // namespace diagnosis
