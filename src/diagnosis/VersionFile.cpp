#include "diagnosis/VersionFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace diagnosis {

namespace {

bool ignorable(const QByteArray& line)
{
    return line.isEmpty() || line.startsWith(';') || line.startsWith('#');
}

void setEntry(QList<QPair<QString, QString>>& entries, const QString& name, const QString& value)
{
    for (auto& entry : entries) {
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    }
    entries.append({name, value});
}

// Values are versions and the like: printable ASCII only, so no control
// character, byte-order mark or undecodable byte can change on a round trip.
bool validField(const QString& text)
{
    if (text.size() > kMaxVersionFieldChars)
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return false;
    }
    return true;
}

// Names are library and folder names: ASCII letters, digits, "_", "-" and ".".
bool validName(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxVersionFieldChars)
        return false;
    for (const QChar c : name) {
        const ushort u = c.unicode();
        const bool plain = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '_'
            || u == '-' || u == '.';
        if (!plain)
            return false;
    }
    return true;
}

} // namespace

QString VersionFile::value(const QString& name) const
{
    for (const auto& entry : entries) {
        if (entry.first == name)
            return entry.second;
    }
    return QString();
}

VersionFile parseVersionText(const QByteArray& text)
{
    VersionFile file;
    file.status = VersionFile::Status::Ok;
    int start = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const int length = end - start;
        // An over-long line is skipped without copying it.
        if (length > 2 * kMaxVersionFieldChars + 8) {
            ++file.oddLines;
            start = end + 1;
            continue;
        }
        const QByteArray line = text.mid(start, length).trimmed();
        start = end + 1;
        if (ignorable(line))
            continue;
        // Entries are printable ASCII; anything else (NUL, a lone CR, a tab, a
        // byte-order mark or other non-ASCII text) makes the line odd. Checked on
        // the bytes, since decoding would drop a NUL's tail or a mark unseen.
        if (std::any_of(line.cbegin(), line.cend(), [](char c) { return uchar(c) < 0x20 || uchar(c) > 0x7e; })) {
            ++file.oddLines;
            continue;
        }
        const int equals = line.indexOf('=');
        if (equals <= 0) {
            ++file.oddLines;
            continue;
        }
        const QString name = QString::fromUtf8(line.left(equals)).trimmed();
        const QString value = QString::fromUtf8(line.mid(equals + 1)).trimmed();
        if (!validName(name) || !validField(value)) {
            ++file.oddLines;
            continue;
        }
        setEntry(file.entries, name, value);
    }
    return file;
}

VersionFile readVersionFile(const QString& path)
{
    VersionFile file;
    QFile in(path);
    if (!in.exists())
        return file;
    if (QFileInfo(path).size() > kMaxVersionFileBytes) {
        file.status = VersionFile::Status::TooLarge;
        return file;
    }
    if (!in.open(QIODevice::ReadOnly)) {
        file.status = VersionFile::Status::Unreadable;
        return file;
    }
    // The size is checked again on the read, for a file that grows meanwhile.
    const QByteArray text = in.read(kMaxVersionFileBytes + 1);
    if (text.size() > kMaxVersionFileBytes) {
        file.status = VersionFile::Status::TooLarge;
        return file;
    }
    return parseVersionText(text);
}

bool writeVersionEntry(const QString& path, const QString& name, const QString& value, QString* why)
{
    auto fail = [why](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!validName(name) || !validField(value))
        return fail(QStringLiteral("not a version entry: \"%1\"").arg(name.left(kMaxVersionFieldChars)));
    // Whatever was usable in the old file stays; a damaged or oversized one
    // is replaced by its usable part (none for an oversized one).
    VersionFile current = readVersionFile(path);
    setEntry(current.entries, name, value);
    QByteArray text;
    for (const auto& entry : current.entries)
        text += entry.first.toUtf8() + '=' + entry.second.toUtf8() + "\r\n";
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()));
    return true;
}

std::optional<QList<int>> parseVersion(const QString& text)
{
    QString rest = text.trimmed();
    if (rest.startsWith(QLatin1Char('V')) || rest.startsWith(QLatin1Char('v')))
        rest.remove(0, 1);
    const QStringList parts = rest.split(QLatin1Char('.'));
    if (rest.isEmpty() || parts.size() > 6)
        return std::nullopt;
    QList<int> numbers;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 9)
            return std::nullopt;
        for (const QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        numbers.append(part.toInt());
    }
    return numbers;
}

bool isNewerVersion(const QString& newest, const QString& installed)
{
    const auto a = parseVersion(newest);
    const auto b = parseVersion(installed);
    if (!a || !b)
        return false;
    const int count = std::max(a->size(), b->size());
    for (int i = 0; i < count; ++i) {
        const int x = i < a->size() ? a->at(i) : 0;
        const int y = i < b->size() ? b->at(i) : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace diagnosis
