#include "BenchPackages.h"

#include "support/AdapterProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstring>
#include <random>

bool runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    return p.waitForFinished(600000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool makeDriverPackages(const QString& dir, int megabytes)
{
    const QString built = QFileInfo(testBinary("cloud-emulator")).dir().filePath(QStringLiteral("../packages"));
    QDir().mkpath(dir);
    for (const QString& name : QDir(built).entryList(QDir::Files))
        QFile::copy(built + "/" + name, dir + "/" + name);
    const QString zip = QDir(built).entryList({QStringLiteral("J2534_0500_*.zip")}).value(0);
    const QString pkg = dir + QStringLiteral("/big");
    if (zip.isEmpty() || !runTool(QStringLiteral("7za"), {"x", "-y", "-bso0", "-o" + pkg, built + "/" + zip}))
        return false;
    QFile blob(pkg + QStringLiteral("/data.bin"));
    if (!blob.open(QIODevice::WriteOnly))
        return false;
    std::mt19937_64 random(7);
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < megabytes; ++i) {
        for (int j = 0; j < chunk.size(); j += 8) {
            const quint64 v = random();
            std::memcpy(chunk.data() + j, &v, 8);
        }
        if (blob.write(chunk) != chunk.size())
            return false;
    }
    blob.close();
    QFile::remove(dir + "/" + zip);
    return runTool(QStringLiteral("7za"), {"a", "-tzip", "-mx=1", "-bso0", dir + "/" + zip, pkg + "/*"});
}
