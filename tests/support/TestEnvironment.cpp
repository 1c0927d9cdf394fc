#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <string>

#include <cstdio>
#include <cstdlib>

#if !defined(_WIN32)
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// What a test process leaves behind is removed when it ends, also when a
// case failed half-way: the blocks and events it left in /dev/shm (their
// names carry its pid), the services started under its block prefix (a
// manager under test starts them detached, so nothing else ends them) and
// their lock files.
struct ShmSweep {
    // Runs among the static destructors, after Qt's own: plain POSIX calls only.
    ~ShmSweep()
    {
#if !defined(_WIN32)
        const std::string mark = '_' + std::to_string(::getpid()) + '_';
        const auto ours = [&mark](const std::string& name, std::size_t from) {
            const std::size_t at = name.find("bwtest_", from);
            return at != std::string::npos && name.find(mark, at) != std::string::npos;
        };
        killServices(ours);
        if (DIR* dir = ::opendir("/dev/shm")) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.rfind("bwtest_", 0) == 0 && ours(name, 0))
                    ::unlink(("/dev/shm/" + name).c_str());
            }
            ::closedir(dir);
        }
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string lockDir = runtime && *runtime ? runtime : "/tmp";
        if (DIR* dir = ::opendir(lockDir.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name.rfind("BrindlewickService-", 0) == 0 && ours(name, 0))
                    ::unlink((lockDir + '/' + name).c_str());
            }
            ::closedir(dir);
        }
#endif
    }

#if !defined(_WIN32)
    // Every BrindlewickService of this user whose block prefix is this process's.
    template <typename Ours>
    static void killServices(const Ours& ours)
    {
        DIR* proc = ::opendir("/proc");
        if (!proc)
            return;
        while (const dirent* entry = ::readdir(proc)) {
            char* end = nullptr;
            const long pid = std::strtol(entry->d_name, &end, 10);
            if (pid <= 1 || *end != '\0' || pid == ::getpid())
                continue;
            const std::string base = std::string("/proc/") + entry->d_name;
            char exe[4096];
            const ssize_t n = ::readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
            if (n <= 0)
                continue;
            std::string program(exe, static_cast<std::size_t>(n));
            const std::size_t slash = program.rfind('/');
            program = program.substr(slash == std::string::npos ? 0 : slash + 1);
            if (program.rfind("BrindlewickService", 0) != 0)
                continue;
            std::FILE* file = std::fopen((base + "/environ").c_str(), "rb");
            if (!file)
                continue;
            std::string environment;
            char chunk[4096];
            std::size_t got = 0;
            while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && environment.size() < (1u << 20))
                environment.append(chunk, got);
            std::fclose(file);
            const std::string key = std::string("BRINDLEWICK_SHM_PREFIX=");
            for (std::size_t at = 0; at < environment.size();) {
                const std::size_t stop = environment.find('\0', at);
                const std::string var
                    = environment.substr(at, stop == std::string::npos ? std::string::npos : stop - at);
                if (var.rfind(key, 0) == 0 && ours(var, key.size()))
                    ::kill(static_cast<pid_t>(pid), SIGKILL);
                if (stop == std::string::npos)
                    break;
                at = stop + 1;
            }
        }
        ::closedir(proc);
    }
#endif
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

namespace {
QString startTempPath()
{
    static const QString path = QDir::tempPath();
    return path;
}
} // namespace

TestEnvironment::TestEnvironment()
    : m_dir(startTempPath() + QStringLiteral("/bwtest-env-XXXXXX"))
{
    const QString root = m_dir.path();
    for (const char* sub : {"config", "data", "registry", "tmp"})
        QDir(root).mkpath(QLatin1String(sub));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    // QSettings takes the user folder from XDG_CONFIG_HOME once per process;
    // without this every later environment's settings would land in the
    // first one's folder, after it was removed.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, root + QStringLiteral("/config"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, root + QStringLiteral("/config"));
    qputenv("BRINDLEWICK_DATA_ROOT", QFile::encodeName(root + "/data"));
    qputenv("BRINDLEWICK_REGISTRY_ROOT", QFile::encodeName(root + "/registry"));
    qputenv("TMPDIR", QFile::encodeName(root + "/tmp"));
    qputenv("BRINDLEWICK_NO_SERVICE_START", "1");
    useUniqueShmPrefix("env");
}

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !QFile::copy(file, target))
            return false;
    }
    return true;
}
