// Test VehDiag folders made of copies of the recording test double.
#pragma once

#include "diagnosis/ComponentFolder.h"

#include <platform/Library.h>

#include <QDir>
#include <QFile>
#include <QString>

namespace diagtest {

inline bool copyInto(const QString& from, const QString& to)
{
    QDir().mkpath(QFileInfo(to).absolutePath());
    QFile::remove(to);
    return QFile::copy(from, to);
}

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A complete component in `root`: the four shared libraries, make "Bmw" and
// its installed version.
inline bool makeComponent(const QString& root, const QString& installedBmw = QStringLiteral("1.0.0"))
{
    const diagnosis::ComponentFolder folder(root);
    const QString full = QStringLiteral(BW_DIAG_DOUBLE);
    for (const char* base :
        {diagnosis::kIHttp, diagnosis::kPubFunctional, diagnosis::kStdComm, diagnosis::kStdDispQt}) {
        if (!copyInto(full, folder.library(base)))
            return false;
    }
    return copyInto(full, folder.makeLibrary(QStringLiteral("Bmw")))
        && writeBytes(folder.installedVersions(), "Bmw=" + installedBmw.toUtf8() + "\r\nMARROWET_DISPQT=1.0.0\r\n");
}

// What the copy of the double at `path` recorded (loading it again shares
// the handle the loader holds).
inline QString recordedCalls(const QString& path)
{
    platform::Library library;
    if (!library.load(QFileInfo(path).absoluteFilePath().toStdString()))
        return QStringLiteral("<not loaded>");
    using Calls = const char* (*)();
    auto calls = library.resolveFunction<Calls>("DoubleCalls");
    return calls ? QString::fromUtf8(calls()) : QStringLiteral("<no record>");
}

} // namespace diagtest
