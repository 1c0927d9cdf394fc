#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

QByteArray useUniqueShmPrefix(const char* tag)
{
    const QByteArray prefix
        = QByteArray("bwtest_") + tag + '_' + QByteArray::number(QCoreApplication::applicationPid()) + '_';
    qputenv("BRINDLEWICK_SHM_PREFIX", prefix);
    return prefix;
}

TestEnvironment::TestEnvironment()
{
    const QString root = m_dir.path();
    for (const char* sub : {"config", "data", "registry", "tmp"})
        QDir(root).mkpath(QLatin1String(sub));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    qputenv("BRINDLEWICK_DATA_ROOT", QFile::encodeName(root + "/data"));
    qputenv("BRINDLEWICK_REGISTRY_ROOT", QFile::encodeName(root + "/registry"));
    qputenv("TMPDIR", QFile::encodeName(root + "/tmp"));
    qputenv("BRINDLEWICK_NO_SERVICE_START", "1");
    useUniqueShmPrefix("env");
}
