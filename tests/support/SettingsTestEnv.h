// A private machine for the settings tests: TestEnvironment's folders plus a
// HOME of its own, so the desktop folder, the autostart entry and the trace
// folders all live below one temporary folder.
#pragma once

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

class SettingsTestEnv : public TestEnvironment {
public:
    SettingsTestEnv()
    {
        QDir(path()).mkpath(QStringLiteral("home/Desktop"));
        qputenv("HOME", QFile::encodeName(path() + QStringLiteral("/home")));
        qputenv("XDG_DESKTOP_DIR", QFile::encodeName(desktop()));
        QStandardPaths::setTestModeEnabled(false);
    }

    // The next environment's temporary folder goes where this one's went.
    ~SettingsTestEnv() { qputenv("TMPDIR", QFile::encodeName(QFileInfo(path()).absolutePath())); }

    QString desktop() const { return path() + QStringLiteral("/home/Desktop"); }
    QString data() const { return path() + QStringLiteral("/data"); }

    // Every path below the private folder with its kind, for before/after comparisons.
    QStringList snapshot() const
    {
        QStringList lines;
        walk(path(), &lines);
        lines.sort();
        return lines;
    }

private:
    static void walk(const QString& dir, QStringList* lines)
    {
        const QFileInfoList entries = QDir(dir).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo& info : entries) {
            if (info.isSymLink()) {
                *lines << QStringLiteral("link %1 -> %2").arg(info.filePath(), info.symLinkTarget());
            } else if (info.isDir()) {
                *lines << QStringLiteral("dir %1").arg(info.filePath());
                walk(info.filePath(), lines);
            } else {
                *lines << QStringLiteral("file %1 %2").arg(info.filePath()).arg(info.size());
            }
        }
    }
};
