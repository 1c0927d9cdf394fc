// "Save support file": one zip archive that lets a developer see what
// happened on a technician's machine. It holds the manager's and the
// service's log files, the current status block text, the program version,
// the operating system, the platform's view of USB devices and network
// adapters, every text passed through SecretScrubber first (serials kept;
// passwords, tokens, codes and keys removed). The files are put together in
// a fresh temporary folder and zipped by 7-Zip with an argument list, within
// a bounded time, into "<target>.part", which is renamed to the target only
// when the archive is complete.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

struct SupportSources {
    QString logDirectory;                    // where Brindlewick*.log files are
    std::function<QByteArray()> statusBlock; // the status block's text
    QString programVersion;
    std::function<QString()> operatingSystem;
    std::function<QStringList()> usbDevices;      // one line per device
    std::function<QStringList()> networkAdapters; // one line per adapter
    QString archiveTool;                          // 7za; empty: not found
    int archiveTimeoutMs = 120000;

    // The real machine: the log folder, the status block, the platform's
    // OS, USB and adapter views, 7-Zip as the unpacker finds it.
    static SupportSources system();
};

class SupportBundle {
public:
    struct Result {
        bool ok = false;
        QString message;     // why it failed, in words for the user
        QStringList entries; // names inside the archive
    };
    // Percent done (0..100) and what is being done.
    using Progress = std::function<void(int percent, const QString& step)>;

    explicit SupportBundle(SupportSources sources);

    // Collects, scrubs and zips into `target` (any thread). `cancel`, when
    // given and set, ends the work before the next step.
    Result write(const QString& target, const Progress& progress = {}, const std::atomic<bool>* cancel = nullptr) const;

    // The text file of the machine's facts (version, OS, USB devices,
    // network adapters), scrubbed.
    QByteArray systemReport() const;
    // Log files of the manager and the service in the log folder, oldest
    // rotation first.
    QStringList logFiles() const;

    // "Brindlewick-support-20240501-123456.zip"
    static QString suggestedFileName();

private:
    SupportSources m_sources;
};
