#include "diagnosis/ComponentFolder.h"

#include <platform/OsConventions.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstring>
#include <filesystem>
#include <system_error>

#if !defined(_WIN32)
#include <elf.h>
#include <link.h>
#endif

namespace diagnosis {

namespace {

QString suffix()
{
    return QString::fromLatin1(platform::sharedLibrarySuffix());
}

// Larger than any library of the component could be.
constexpr qint64 kMaxLibraryBytes = 512LL * 1024 * 1024;

} // namespace

ComponentFolder::ComponentFolder(QString vehDiagFolder)
    : m_root(std::move(vehDiagFolder))
{
    while (m_root.size() > 1 && (m_root.endsWith(QLatin1Char('/')) || m_root.endsWith(QLatin1Char('\\'))))
        m_root.chop(1);
}

ComponentFolder ComponentFolder::besideProgram()
{
    return ComponentFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/VehDiag"));
}

QString ComponentFolder::dllFolder() const
{
    return m_root + QStringLiteral("/DLL");
}

QString ComponentFolder::library(const char* base) const
{
    return dllFolder() + QLatin1Char('/') + QLatin1String(base) + suffix();
}

QString ComponentFolder::replacement(const char* base) const
{
    return dllFolder() + QLatin1Char('/') + QLatin1String(base) + QStringLiteral("_Down") + suffix();
}

QString ComponentFolder::installedVersions() const
{
    return dllFolder() + QStringLiteral("/VehVersion.ini");
}

QString ComponentFolder::newestVersions() const
{
    return dllFolder() + QStringLiteral("/VehNewestVersion.ini");
}

QString ComponentFolder::downloadedVersion() const
{
    return dllFolder() + QStringLiteral("/Tmp.ini");
}

QString ComponentFolder::makeFolder(const QString& make) const
{
    return m_root + QLatin1Char('/') + make;
}

QString ComponentFolder::makeLibrary(const QString& make) const
{
    return makeFolder(make) + QLatin1Char('/') + QLatin1String(kMakeLibrary) + suffix();
}

bool ComponentFolder::validMakeName(const QString& make)
{
    static const QRegularExpression rule(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    return rule.match(make).hasMatch() && make.compare(QStringLiteral("DLL"), Qt::CaseInsensitive) != 0;
}

QStringList ComponentFolder::makes() const
{
    QStringList found;
    const QStringList entries = QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& entry : entries) {
        if (validMakeName(entry))
            found << entry;
    }
    return found;
}

QString ComponentFolder::serverLibraryPath(const char* base)
{
    return QStringLiteral("q3lux/%1/Release/%2.dll").arg(QLatin1String(kDisplayServerFolder), QLatin1String(base));
}

QString ComponentFolder::serverVersionPath(const QString& folder)
{
    return QStringLiteral("q3lux/%1/Version.ini").arg(folder);
}

QString ComponentFolder::serverMakeLibraryPath(const QString& make)
{
    return QStringLiteral("q3lux/%1/Diag.dll").arg(make);
}

bool looksLoadable(const QString& path, QString* why)
{
    auto fail = [why, &path](const QString& text) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), text);
        return false;
    };
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(QStringLiteral("missing"));
    if (info.size() > kMaxLibraryBytes)
        return fail(QStringLiteral("too large for a library"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
#if defined(_WIN32)
    const QByteArray head = file.read(4096);
    if (head.size() < 64 || !head.startsWith("MZ"))
        return fail(QStringLiteral("not a Windows library"));
    const quint32 pe = quint32(quint8(head[60])) | quint32(quint8(head[61])) << 8 | quint32(quint8(head[62])) << 16
        | quint32(quint8(head[63])) << 24;
    if (pe > quint32(head.size() - 4) || head.mid(int(pe), 4) != QByteArray("PE\0\0", 4))
        return fail(QStringLiteral("not a Windows library"));
    return true;
#else
    ElfW(Ehdr) header{};
    if (file.read(reinterpret_cast<char*>(&header), sizeof header) != qint64(sizeof header))
        return fail(QStringLiteral("too short for a library"));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
        return fail(QStringLiteral("not a shared library"));
    if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) || header.e_type != ET_DYN)
        return fail(QStringLiteral("not a shared library of this system"));
#if defined(__x86_64__)
    constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
    constexpr int kMachine = EM_AARCH64;
#elif defined(__i386__)
    constexpr int kMachine = EM_386;
#else
    constexpr int kMachine = -1;
#endif
    if (kMachine >= 0 && header.e_machine != kMachine)
        return fail(QStringLiteral("built for another processor"));
    // The program headers must lie inside the file.
    const qint64 tableEnd = qint64(header.e_phoff) + qint64(header.e_phnum) * qint64(header.e_phentsize);
    if (header.e_phnum == 0 || header.e_phentsize != sizeof(ElfW(Phdr)) || tableEnd > info.size())
        return fail(QStringLiteral("damaged library"));
    return true;
#endif
}

SwapResult swapReplacements(const ComponentFolder& folder, QString* why)
{
    const QString comm = folder.replacement(kStdComm);
    const QString disp = folder.replacement(kStdDispQt);
    const bool haveComm = QFileInfo::exists(comm);
    const bool haveDisp = QFileInfo::exists(disp);
    if (!haveComm && !haveDisp)
        return SwapResult::NothingWaiting;
    if (!haveComm || !haveDisp)
        return SwapResult::OneMissing;
    QString problem;
    bool refused = false;
    for (const QString& file : {comm, disp}) {
        QString fileWhy;
        if (!looksLoadable(file, &fileWhy)) {
            QFile::remove(file);
            problem += (problem.isEmpty() ? QString() : QStringLiteral("; ")) + fileWhy;
            refused = true;
        }
    }
    if (refused) {
        if (why)
            *why = problem;
        return SwapResult::Refused;
    }
    const std::pair<QString, QString> moves[] = {
        {comm, folder.library(kStdComm)},
        {disp, folder.library(kStdDispQt)},
    };
    for (const auto& [from, to] : moves) {
        std::error_code ec;
        std::filesystem::rename(
            std::filesystem::u8path(from.toStdString()), std::filesystem::u8path(to.toStdString()), ec);
        if (ec) {
            if (why)
                *why = QStringLiteral("cannot put %1 in place: %2")
                           .arg(QDir::toNativeSeparators(from), QString::fromStdString(ec.message()));
            return SwapResult::Failed;
        }
    }
    return SwapResult::Swapped;
}

} // namespace diagnosis
