// Points everything the shell keeps on the machine (settings, data folders,
// registry, shared-memory names) at a private temporary folder, so that tests
// neither read nor change the developer's own state and can run in parallel.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

class TestEnvironment {
public:
    TestEnvironment()
    {
        const QString root = m_dir.path();
        for (const char* sub : {"config", "data", "registry", "tmp"})
            QDir(root).mkpath(QLatin1String(sub));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
        qputenv("BRINDLEWICK_DATA_ROOT", QFile::encodeName(root + "/data"));
        qputenv("BRINDLEWICK_REGISTRY_ROOT", QFile::encodeName(root + "/registry"));
        qputenv(
            "BRINDLEWICK_SHM_PREFIX", QByteArray("bwtest") + QByteArray::number(QCoreApplication::applicationPid()));
        qputenv("TMPDIR", QFile::encodeName(root + "/tmp"));
        qputenv("BRINDLEWICK_NO_SERVICE_START", "1");
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
