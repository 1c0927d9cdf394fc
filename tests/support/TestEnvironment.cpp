#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <string>

#if !defined(_WIN32)
#include <dirent.h>
#include <unistd.h>
#endif

namespace {

// Removes the blocks and events this test process left in /dev/shm (their
// names carry its pid), so runs do not pile them up.
struct ShmSweep {
    // Runs among the static destructors, after Qt's own: plain POSIX calls only.
    ~ShmSweep()
    {
#if !defined(_WIN32)
        const std::string mark = '_' + std::to_string(::getpid()) + '_';
        if (DIR* dir = ::opendir("/dev/shm")) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.rfind("bwtest_", 0) == 0 && name.find(mark) != std::string::npos)
                    ::unlink(("/dev/shm/" + name).c_str());
            }
            ::closedir(dir);
        }
#endif
    }
};

} // namespace

QByteArray useUniqueShmPrefix(const char* tag)
{
    static ShmSweep sweep;
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
