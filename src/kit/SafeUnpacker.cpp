#include "kit/SafeUnpacker.h"

#include "kit/FileNameRule.h"
#include "kit/KitLog.h"

#include <platform/OsConventions.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

namespace {

const Qt::CaseSensitivity kPathCase = platform::pathsCaseSensitive() ? Qt::CaseSensitive : Qt::CaseInsensitive;

QString pathKey(const QString& path)
{
    return kPathCase == Qt::CaseInsensitive ? path.toLower() : path;
}

// A name fit for a message: control and invisible characters (a bidi
// override would turn the message around) shown as '?', cut at 200.
QString printable(const QString& text)
{
    QString shown;
    int i = 0;
    while (i < text.size() && shown.size() < 200) {
        const int width
            = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        const QString one = text.mid(i, width);
        shown += filename::firstNonPlain(one) < 0 ? one : QStringLiteral("?");
        i += width;
    }
    return i < text.size() ? shown + QStringLiteral("...") : shown;
}

// What the "Attributes" text of a listing says about the kind of entry:
// Windows letters ("D", "A", "L" reparse point, "d" device, "8" volume),
// optionally a hex word, then a Unix mode ("drwxr-xr-x", "lrwxrwxrwx").
enum class Kind { File, Folder, Link, Special };

bool isModeText(const QString& token)
{
    if (token.size() != 10)
        return false;
    for (int i = 1; i < 10; ++i)
        if (!QStringLiteral("rwxsStT-").contains(token.at(i)))
            return false;
    return true;
}

Kind kindFromAttributes(const QString& attributes, bool folderFlag)
{
    Kind kind = folderFlag ? Kind::Folder : Kind::File;
    const QStringList tokens = attributes.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int i = 0; i < tokens.size(); ++i) {
        const QString& token = tokens[i];
        if (isModeText(token)) {
            switch (token.at(0).toLatin1()) {
            case '-':
            case '0': // no type bits: a plain file
                break;
            case 'd':
                kind = Kind::Folder;
                break;
            case 'l':
                return Kind::Link;
            default:
                return Kind::Special;
            }
        } else if (i == 0) {
            bool letters = true;
            for (QChar c : token)
                letters = letters && QStringLiteral("RHS8DAdNTsLCOIEV").contains(c);
            if (!letters)
                continue;
            if (token.contains(QLatin1Char('L')))
                return Kind::Link;
            if (token.contains(QLatin1Char('d')) || token.contains(QLatin1Char('8')))
                return Kind::Special;
            if (token.contains(QLatin1Char('D')))
                kind = Kind::Folder;
        }
    }
    return kind;
}

// The fields of one entry of the listing, each at most once.
struct Record {
    QHash<QString, QString> fields;
    bool duplicate = false;
};

} // namespace

struct SafeUnpacker::ToolRun {
    bool started = false;
    bool timedOut = false;
    bool cancelled = false;
    bool tooMuchOutput = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

SafeUnpacker::SafeUnpacker(const QString& toolPath)
    : m_tool(toolPath.isEmpty() ? defaultToolPath() : toolPath)
{
}

QString SafeUnpacker::defaultToolPath()
{
    const QString suffix = QString::fromLatin1(platform::programSuffix());
    for (const QString& name : {QStringLiteral("7za"), QStringLiteral("7z")}) {
        if (!platform::toolsBesideProgram()) {
            const QString tool = QStandardPaths::findExecutable(name);
            if (!tool.isEmpty())
                return tool;
            continue;
        }
        const QString path = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name + suffix;
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

SafeUnpacker::Result SafeUnpacker::failure(Failure kind, const QString& detail, qint64 number)
{
    Result r;
    r.failure = kind;
    r.detail = detail;
    const QString name = printable(detail);
    switch (kind) {
    case Failure::None:
        break;
    case Failure::ToolMissing:
        r.message = tr("The unpacking tool (7-Zip) was not found.");
        break;
    case Failure::Damaged:
        r.message = tr("The file is not a zip or 7z archive, or it is damaged.");
        break;
    case Failure::Encrypted:
        r.message = tr("The archive is protected by a password.");
        break;
    case Failure::UnsafeName:
        r.message = tr("The archive holds an unsafe file name: %1").arg(name);
        break;
    case Failure::Link:
        r.message = tr("The archive holds a link: %1").arg(name);
        break;
    case Failure::SpecialFile:
        r.message = tr("The archive holds a device or other special file: %1").arg(name);
        break;
    case Failure::TooLarge:
        r.message = tr("The archive would unpack to more than %1.").arg(QLocale().formattedDataSize(number));
        break;
    case Failure::TooManyEntries:
        r.message = tr("The archive holds more than %1 files.").arg(number);
        break;
    case Failure::TimedOut:
        r.message = tr("Unpacking took too long and was stopped.");
        break;
    case Failure::Cancelled:
        r.message = tr("Unpacking was cancelled.");
        break;
    case Failure::CannotWrite:
        r.message = tr("Could not write the folder %1.").arg(name);
        break;
    case Failure::Mismatch:
        r.message = tr("The unpacked files do not match the archive's list: %1").arg(name);
        break;
    case Failure::Rejected:
        r.message = detail;
        break;
    }
    return r;
}

bool SafeUnpacker::safeEntryName(const QString& path)
{
    if (path.isEmpty() || path.size() > 1024)
        return false;
    // Controls, bidi overrides and other invisible characters: the same
    // rule as a downloaded file's name.
    if (filename::firstNonPlain(path) >= 0 || path.contains(QLatin1Char(':')))
        return false; // ':' is a drive or an NTFS stream
    if (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\')))
        return false;
    bool named = false;
    for (const QString& part : path.split(QRegularExpression(QStringLiteral("[/\\\\]")))) {
        if (part.isEmpty() || part == QLatin1String("."))
            continue;
        // ".." climbs out; Windows drops trailing dots and blanks, so "a." and
        // "a" would be one file there.
        if (part == QLatin1String("..") || part.endsWith(QLatin1Char('.')) || part.endsWith(QLatin1Char(' '))
            || filename::reservedOnWindows(part))
            return false;
        named = true;
    }
    return named;
}

SafeUnpacker::Result SafeUnpacker::checkListing(const QByteArray& listing, const Limits& limits)
{
    const QList<QByteArray> lines = listing.split('\n');
    int i = 0;
    // Archive header: from "--" to "----------".
    while (i < lines.size() && lines[i].trimmed() != "--")
        ++i;
    if (i >= lines.size())
        return failure(Failure::Damaged, QStringLiteral("no archive header in the listing"));
    QString type;
    for (++i; i < lines.size() && lines[i].trimmed() != "----------"; ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.startsWith("Type = "))
            type = QString::fromUtf8(line.mid(7));
        else if (line == "ERRORS:" || line == "WARNINGS:" || line.startsWith("Open WARNING")
            || line.startsWith("Open ERROR"))
            return failure(Failure::Damaged, QString::fromUtf8(i + 1 < lines.size() ? lines[i + 1].trimmed() : line));
    }
    if (type != QLatin1String("zip") && type != QLatin1String("7z"))
        return failure(Failure::Damaged, QStringLiteral("archive type \"%1\"").arg(printable(type)));
    if (i >= lines.size())
        return failure(Failure::Damaged, QStringLiteral("no entry list"));

    // Entries: "Key = value" lines, one blank line after each entry.
    QVector<Record> records;
    Record current;
    bool inRecord = false;
    for (++i; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            if (inRecord)
                records.append(current);
            current = Record();
            inRecord = false;
            if (records.size() > limits.maxEntries)
                return failure(Failure::TooManyEntries, QString(), limits.maxEntries);
            continue;
        }
        const int eq = line.indexOf(" =");
        if (eq <= 0) {
            // Summary lines after the list ("Warnings: 1", "Errors: 1") mean trouble.
            if (line.startsWith("Warnings:") || line.startsWith("Errors:") || line.startsWith("ERROR"))
                return failure(Failure::Damaged, QString::fromUtf8(line));
            if (inRecord)
                return failure(Failure::Damaged, QStringLiteral("unreadable listing line"));
            continue;
        }
        const QString key = QString::fromUtf8(line.left(eq));
        QString value = QString::fromUtf8(line.mid(eq + 2));
        if (value.startsWith(QLatin1Char(' ')))
            value.remove(0, 1);
        if (current.fields.contains(key))
            current.duplicate = true;
        current.fields.insert(key, value);
        inRecord = true;
    }
    if (inRecord)
        records.append(current);
    if (records.size() > limits.maxEntries)
        return failure(Failure::TooManyEntries, QString(), limits.maxEntries);

    Result result;
    QSet<QString> seen;
    qint64 total = 0;
    for (const Record& record : records) {
        const QString path = record.fields.value(QStringLiteral("Path"));
        // A name that broke the line structure leaves a record without its fields.
        if (record.duplicate || !record.fields.contains(QStringLiteral("Path"))
            || !record.fields.contains(QStringLiteral("Size")) || !record.fields.contains(QStringLiteral("Attributes")))
            return failure(Failure::Damaged, path.isEmpty() ? QStringLiteral("incomplete entry") : path);
        if (!safeEntryName(path))
            return failure(Failure::UnsafeName, path);
        if (record.fields.value(QStringLiteral("Encrypted")) == QLatin1String("+"))
            return failure(Failure::Encrypted, path);
        for (const char* linkField : {"Symbolic Link", "Hard Link", "Link"})
            if (!record.fields.value(QLatin1String(linkField)).isEmpty())
                return failure(Failure::Link, path);
        const Kind kind = kindFromAttributes(record.fields.value(QStringLiteral("Attributes")),
            record.fields.value(QStringLiteral("Folder")) == QLatin1String("+"));
        if (kind == Kind::Link)
            return failure(Failure::Link, path);
        if (kind == Kind::Special)
            return failure(Failure::SpecialFile, path);
        Entry entry;
        entry.path = QDir::cleanPath(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/')));
        if (entry.path.startsWith(QLatin1String("./")))
            entry.path.remove(0, 2);
        entry.folder = kind == Kind::Folder;
        const QString size = record.fields.value(QStringLiteral("Size"));
        bool numeric = !size.isEmpty() && size.size() <= 18;
        for (QChar c : size)
            numeric = numeric && c.isDigit() && c.unicode() < 0x80;
        if (numeric)
            entry.size = size.toLongLong();
        else if (!entry.folder || !size.isEmpty())
            return failure(Failure::Damaged, path);
        total += entry.size;
        if (entry.size > limits.maxTotalSize || total > limits.maxTotalSize)
            return failure(Failure::TooLarge, path, limits.maxTotalSize);
        // The same name twice: the second would silently replace the first.
        if (seen.contains(pathKey(entry.path)))
            return failure(Failure::UnsafeName, path);
        seen.insert(pathKey(entry.path));
        result.entries.append(entry);
    }
    return result;
}

SafeUnpacker::ToolRun SafeUnpacker::runTool(const QStringList& arguments, int timeoutMs, qint64 maxOutput) const
{
    ToolRun run;
    if (m_tool.isEmpty())
        return run;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& variable : platform::utf8ProgramEnvironment()) // names on disk and in the list as UTF-8
        env.insert(QString::fromStdString(variable.first), QString::fromStdString(variable.second));
    process.setProcessEnvironment(env);
    process.setProgram(m_tool);
    process.setArguments(arguments);
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted(10000)) {
        process.kill();
        process.waitForFinished(2000);
        return run;
    }
    run.started = true;
    process.closeWriteChannel(); // a password prompt meets the end of input
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning) {
        process.waitForFinished(50);
        run.out += process.readAllStandardOutput();
        run.err += process.readAllStandardError();
        if (run.err.size() > (1 << 20))
            run.err.truncate(1 << 20);
        if (process.state() == QProcess::NotRunning)
            break;
        run.cancelled = m_cancelled && m_cancelled();
        run.timedOut = clock.elapsed() > timeoutMs;
        run.tooMuchOutput = run.out.size() > maxOutput;
        if (run.cancelled || run.timedOut || run.tooMuchOutput) {
            process.kill();
            process.waitForFinished(5000);
            return run;
        }
    }
    run.out += process.readAllStandardOutput();
    run.err += process.readAllStandardError();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

SafeUnpacker::Result SafeUnpacker::inspect(const QString& archive) const
{
    if (m_tool.isEmpty())
        return failure(Failure::ToolMissing);
    if (!QFileInfo(archive).isFile())
        return failure(Failure::Damaged, archive);
    // A dummy password: an archive whose list is encrypted fails instead of prompting.
    const QStringList args = {QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-sccUTF-8"),
        QStringLiteral("-bd"), QStringLiteral("-p-"), QStringLiteral("--"), QDir::toNativeSeparators(archive)};
    // Roughly 500 bytes of listing per entry.
    const ToolRun run = runTool(args, m_limits.listTimeoutMs, qint64(m_limits.maxEntries + 16) * 2048);
    if (!run.started)
        return failure(Failure::ToolMissing, m_tool);
    if (run.cancelled)
        return failure(Failure::Cancelled);
    if (run.timedOut)
        return failure(Failure::TimedOut);
    if (run.tooMuchOutput)
        return failure(Failure::TooManyEntries, QString(), m_limits.maxEntries);
    if (run.err.contains("Wrong password") || run.err.contains("encrypted"))
        return failure(Failure::Encrypted, QString::fromUtf8(run.err.trimmed()));
    Result result = checkListing(run.out, m_limits);
    if (result.ok() && run.exitCode != 0)
        return failure(Failure::Damaged, QString::fromUtf8(run.err.trimmed().left(400)));
    return result;
}

SafeUnpacker::Result SafeUnpacker::verifyUnpacked(const QString& folder, const Result& listed) const
{
    const QString root = QFileInfo(folder).canonicalFilePath();
    if (root.isEmpty())
        return failure(Failure::CannotWrite, folder);
    QHash<QString, const Entry*> files;
    QSet<QString> folders;
    for (const Entry& e : listed.entries) {
        if (e.folder)
            folders.insert(pathKey(e.path));
        else
            files.insert(pathKey(e.path), &e);
        for (QString parent = e.path.section(QLatin1Char('/'), 0, -2); !parent.isEmpty();
             parent = parent.section(QLatin1Char('/'), 0, -2))
            folders.insert(pathKey(parent));
    }
    int filesFound = 0;
    QDirIterator it(
        folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = QDir(folder).relativeFilePath(info.filePath());
        if (info.isSymLink() || info.isJunction())
            return failure(Failure::Link, relative);
        if (!info.isDir() && !info.isFile())
            return failure(Failure::SpecialFile, relative);
        const QString canonical = info.canonicalFilePath();
        if (canonical.isEmpty() || !canonical.startsWith(root + QLatin1Char('/'), kPathCase))
            return failure(Failure::Mismatch, relative);
        if (info.isDir()) {
            if (!folders.contains(pathKey(relative)))
                return failure(Failure::Mismatch, relative);
            QFile::setPermissions(
                info.filePath(), info.permissions() | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            continue;
        }
        const Entry* entry = files.value(pathKey(relative));
        if (!entry || info.size() != entry->size)
            return failure(Failure::Mismatch, relative);
        ++filesFound;
        // Only the plain permission bits stay (no set-user-id and the like).
        QFile::setPermissions(info.filePath(), info.permissions() | QFile::ReadOwner | QFile::WriteOwner);
    }
    if (filesFound != files.size())
        return failure(Failure::Mismatch, QStringLiteral("%1 listed files missing").arg(files.size() - filesFound));
    return listed;
}

SafeUnpacker::Result SafeUnpacker::unpack(const QString& archive, const QString& target, const FolderCheck& check) const
{
    Result listed = inspect(archive);
    if (!listed.ok())
        return listed;
    const QFileInfo targetInfo(target);
    const QString parent = targetInfo.absolutePath();
    const QString name = targetInfo.fileName();
    if (name.isEmpty() || name == QLatin1String("..") || !QDir().mkpath(parent))
        return failure(Failure::CannotWrite, target);
    const QString unique = QString::number(QRandomGenerator::global()->generate64(), 36);
    const QString fresh = parent + QStringLiteral("/.") + name + QStringLiteral(".unpack-") + unique;
    if (!QDir().mkdir(fresh))
        return failure(Failure::CannotWrite, fresh);

    const QStringList args = {QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-sccUTF-8"),
        QStringLiteral("-bd"), QStringLiteral("-p-"), QStringLiteral("-o") + QDir::toNativeSeparators(fresh),
        QStringLiteral("--"), QDir::toNativeSeparators(archive)};
    const ToolRun run = runTool(args, m_limits.unpackTimeoutMs, qint64(64) << 20);
    Result result;
    if (!run.started)
        result = failure(Failure::ToolMissing, m_tool);
    else if (run.cancelled)
        result = failure(Failure::Cancelled);
    else if (run.timedOut)
        result = failure(Failure::TimedOut);
    else if (run.exitCode != 0)
        result = failure(Failure::Damaged, QString::fromUtf8(run.err.trimmed().left(400)));
    else
        result = verifyUnpacked(fresh, listed);
    if (result.ok() && check) {
        const QString refusal = check(fresh);
        if (!refusal.isEmpty()) {
            result = failure(Failure::Rejected, refusal);
            result.message = refusal;
        }
    }
    if (!result.ok()) {
        removeTree(fresh);
        result.entries = listed.entries;
        return result;
    }

    // Into place: the old folder is moved aside, the fresh one renamed, and
    // the old one put back should that fail.
    const QString old = parent + QStringLiteral("/.") + name + QStringLiteral(".old-") + unique;
    const bool hadTarget = targetInfo.exists() || targetInfo.isSymLink();
    if (hadTarget && !QDir().rename(target, old)) {
        removeTree(fresh);
        return failure(Failure::CannotWrite, target);
    }
    if (!QDir().rename(fresh, target)) {
        if (hadTarget)
            QDir().rename(old, target);
        removeTree(fresh);
        return failure(Failure::CannotWrite, target);
    }
    QString stuck;
    if (hadTarget && !removeTree(old, &stuck))
        qCWarning(lcKit) << "could not remove the replaced folder" << old << "at" << stuck;
    return result;
}

bool SafeUnpacker::removeTree(const QString& path, QString* failedEntry)
{
    auto fail = [&](const QString& entry) {
        if (failedEntry)
            *failedEntry = entry;
        return false;
    };
    const QFileInfo top(path);
    if (top.isSymLink() || top.isJunction()) {
        // The link itself: a directory link on Windows goes with rmdir.
        if (QFile::remove(path) || QDir().rmdir(path))
            return true;
        return fail(path);
    }
    if (!top.exists())
        return true;
    if (!top.isDir()) {
        QFile::setPermissions(path, top.permissions() | QFile::WriteOwner);
        return QFile::remove(path) || fail(path);
    }
    // The folder must be writable (and searchable) to empty it.
    QFile::setPermissions(path, top.permissions() | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    bool ok = true;
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        QString failed;
        if (!removeTree(it.filePath(), &failed)) {
            ok = false;
            if (failedEntry && failedEntry->isEmpty())
                *failedEntry = failed;
        }
    }
    if (!ok)
        return false;
    return QDir().rmdir(path) || fail(path);
}
