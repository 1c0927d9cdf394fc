#include "settings/SupportBundle.h"

#include "settings/SecretScrubber.h"
#include "settings/SettingsLog.h"

#include "device/LinkDrivers.h"
#include "device/VciStatusRecord.h"
#include "kit/AppConstants.h"
#include "kit/SafeUnpacker.h"

#include "platform/LogFile.h"
#include "platform/NetAdapters.h"
#include "platform/OsVersion.h"
#include "platform/Process.h"
#include "platform/UsbDevices.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <vector>

namespace {

// A log file is rotated before 1 MiB; anything far larger is not ours.
constexpr qint64 kMaxLogBytes = 8 * 1024 * 1024;

// The USB devices as the platform's sysfs tree shows them (POSIX), plus the
// adapter's own USB id as the platform's probe answers it (every system).
QStringList systemUsbDevices()
{
    QStringList lines;
    const QString adapterPresent = isUsbDevicePresent(QStringLiteral("A5A5"), QStringLiteral("2560"))
        ? QStringLiteral("present")
        : QStringLiteral("absent");
    lines << QStringLiteral("adapter USB device A5A5:2560: ") + adapterPresent;
    const auto text = [](const std::string& s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); };
    for (const platform::UsbDeviceDetails& d : platform::usbDeviceDetails())
        lines << QStringLiteral("%1 %2:%3 %4 %5")
                     .arg(text(d.name), text(d.vendorId), text(d.productId), text(d.manufacturer), text(d.product))
                     .trimmed();
    return lines;
}

QStringList systemNetworkAdapters()
{
    QStringList lines;
    for (const platform::NetAdapter& a : platform::listAdapters()) {
        lines << QStringLiteral("%1 | %2 | %3 | %4")
                     .arg(QString::fromStdString(a.name), QString::fromStdString(a.description),
                         QString::fromStdString(a.mac), QString::fromStdString(a.ipv4));
    }
    std::string mac;
    lines << QStringLiteral("USB-to-Ethernet adapter with a link-local address: ")
            + (adapterPresent(&mac) ? QStringLiteral("yes") : QStringLiteral("no"));
    return lines;
}

QString systemOs()
{
    const platform::OsVersion v = platform::osVersion();
    return QStringLiteral("%1 (%2 %3, %4; version %5.%6%7)")
        .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
            QSysInfo::currentCpuArchitecture())
        .arg(v.major)
        .arg(v.minor)
        .arg(v.isWindows ? QStringLiteral(", Windows") : QString());
}

QByteArray systemStatusBlock()
{
    std::vector<unsigned char> buffer(kVciStatusBlockSize, 0);
    if (!copyVciStatusBlock(buffer.data()))
        return QByteArray();
    const char* text = reinterpret_cast<const char*>(buffer.data());
    return QByteArray(text, int(qstrnlen(text, uint(buffer.size()))));
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return file.write(bytes) == bytes.size() && file.commit();
}

SupportBundle::Result failed(const QString& message)
{
    SupportBundle::Result result;
    result.message = message;
    qCWarning(lcSettings) << "support file:" << message;
    return result;
}

QString tr(const char* text)
{
    return QCoreApplication::translate("SupportBundle", text);
}

} // namespace

SupportSources SupportSources::system()
{
    SupportSources s;
    s.logDirectory = QString::fromStdString(platform::logDir());
    s.statusBlock = systemStatusBlock;
    s.programVersion = QString::fromLatin1(AppConstants::kApplicationVersion);
    s.operatingSystem = systemOs;
    s.usbDevices = systemUsbDevices;
    s.networkAdapters = systemNetworkAdapters;
    s.archiveTool = SafeUnpacker::defaultToolPath();
    return s;
}

SupportBundle::SupportBundle(SupportSources sources)
    : m_sources(std::move(sources))
{
}

QString SupportBundle::suggestedFileName()
{
    return QStringLiteral("Brindlewick-support-%1.zip")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QStringList SupportBundle::logFiles() const
{
    if (m_sources.logDirectory.isEmpty())
        return {};
    QDir dir(m_sources.logDirectory);
    // Brindlewick.log, Brindlewick.1.log ..., BrindlewickService.log ...
    QStringList names = dir.entryList({QStringLiteral("Brindlewick*.log")}, QDir::Files, QDir::Name | QDir::Reversed);
    QStringList paths;
    for (const QString& name : names)
        paths << dir.filePath(name);
    return paths;
}

QByteArray SupportBundle::systemReport() const
{
    QString text;
    text += QStringLiteral("Brindlewick Manager %1\n").arg(m_sources.programVersion);
    text += QStringLiteral("Written: %1\n").arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    text += QStringLiteral("Operating system: %1\n")
                .arg(m_sources.operatingSystem ? m_sources.operatingSystem() : QString());
    text += QStringLiteral("\n[USB devices]\n");
    if (m_sources.usbDevices)
        text += m_sources.usbDevices().join(QLatin1Char('\n')) + QLatin1Char('\n');
    text += QStringLiteral("\n[Network adapters] name | description | MAC | IPv4\n");
    if (m_sources.networkAdapters)
        text += m_sources.networkAdapters().join(QLatin1Char('\n')) + QLatin1Char('\n');
    return SecretScrubber::scrub(text).toUtf8();
}

SupportBundle::Result SupportBundle::write(
    const QString& target, const Progress& progress, const std::atomic<bool>* cancel) const
{
    auto report = [&](int percent, const QString& step) {
        if (progress)
            progress(percent, step);
    };
    auto cancelled = [&] { return cancel && cancel->load(); };

    if (target.isEmpty())
        return failed(tr("No file was chosen."));
    if (m_sources.archiveTool.isEmpty() || !QFileInfo(m_sources.archiveTool).isExecutable())
        return failed(tr("The archive tool 7-Zip (7za) was not found, so no support file can be written."));
    const QFileInfo targetInfo(target);
    if (!targetInfo.absoluteDir().exists())
        return failed(tr("The folder %1 does not exist.").arg(targetInfo.absolutePath()));

    QTemporaryDir staging;
    if (!staging.isValid())
        return failed(tr("No temporary folder could be made for the support file."));
    const QDir folder(staging.path());
    Result result;

    report(5, tr("Collecting the system report"));
    if (!writeFile(folder.filePath(QStringLiteral("system.txt")), systemReport()))
        return failed(tr("The support file could not be put together (no space left?)."));
    result.entries << QStringLiteral("system.txt");

    report(15, tr("Reading the adapter status"));
    const QByteArray status = m_sources.statusBlock ? m_sources.statusBlock() : QByteArray();
    const QByteArray statusText = status.isEmpty() ? QByteArray("(no status block: the service does not publish one)\n")
                                                   : SecretScrubber::scrubUtf8(status);
    if (!writeFile(folder.filePath(QStringLiteral("status-block.txt")), statusText))
        return failed(tr("The support file could not be put together (no space left?)."));
    result.entries << QStringLiteral("status-block.txt");

    const QStringList logs = logFiles();
    QDir().mkpath(folder.filePath(QStringLiteral("logs")));
    for (int i = 0; i < logs.size(); ++i) {
        if (cancelled())
            return failed(tr("Cancelled."));
        report(20 + 50 * i / qMax(1, logs.size()), tr("Adding log files"));
        QFile log(logs.at(i));
        if (!log.open(QIODevice::ReadOnly)) {
            qCInfo(lcSettings) << "support file: cannot read" << logs.at(i);
            continue;
        }
        // The newest part of an oversized file is what matters.
        if (log.size() > kMaxLogBytes)
            log.seek(log.size() - kMaxLogBytes);
        const QString name = QStringLiteral("logs/") + QFileInfo(logs.at(i)).fileName();
        if (!writeFile(folder.filePath(name), SecretScrubber::scrubUtf8(log.readAll())))
            return failed(tr("The support file could not be put together (no space left?)."));
        result.entries << name;
    }
    if (cancelled())
        return failed(tr("Cancelled."));

    report(75, tr("Writing the archive"));
    const QString part = target + QStringLiteral(".part");
    QFile::remove(part);
    int exitCode = -1;
    const std::vector<std::string> args{"a", "-tzip", "-y", "-bd", "-r", "--", QFile::encodeName(part).toStdString(),
        "system.txt", "status-block.txt", "logs"};
    const platform::RunStatus run = platform::runAndWait(QFile::encodeName(m_sources.archiveTool).toStdString(), args,
        QFile::encodeName(staging.path()).toStdString(), m_sources.archiveTimeoutMs, &exitCode);
    if (run != platform::RunStatus::Exited || exitCode != 0) {
        QFile::remove(part);
        if (run == platform::RunStatus::TimedOut)
            return failed(tr("7-Zip did not finish the archive in time."));
        return failed(tr("7-Zip could not write the archive (%1, code %2).")
                          .arg(QString::fromLatin1(platform::runStatusText(run)))
                          .arg(exitCode));
    }

    report(95, tr("Moving the archive into place"));
    if (QFileInfo::exists(target) && !QFile::remove(target)) {
        QFile::remove(part);
        return failed(tr("%1 exists and cannot be replaced.").arg(target));
    }
    if (!QFile::rename(part, target)) {
        QFile::remove(part);
        return failed(tr("The archive could not be saved as %1.").arg(target));
    }
    report(100, tr("Done"));
    result.ok = true;
    qCInfo(lcSettings) << "support file written with" << result.entries.size() << "entries";
    return result;
}
