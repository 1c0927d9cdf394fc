#include "vciServer.h"

#include <driverpkg/Manifest.h>
#include <platform/Process.h>

#include <chrono>
#include <thread>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace {

std::string packageFolder()
{
    return driverpkg::moduleFolder(reinterpret_cast<const void*>(&packageFolder));
}

bool readServer(const std::string& folder, driverpkg::Manifest& manifest)
{
    return !folder.empty() && driverpkg::readManifest(folder, manifest) && !manifest.server.empty();
}

} // namespace

extern "C" {

void start()
{
    const std::string folder = packageFolder();
    driverpkg::Manifest manifest;
    if (!readServer(folder, manifest) || platform::isProcessRunning(manifest.server))
        return;
    const std::string program = folder + "/" + driverpkg::serverFile(manifest.server);
#if !defined(_WIN32)
    // Unpackers do not all keep the archive's permission bits.
    struct stat st { };
    if (::stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
        ::chmod(program.c_str(), st.st_mode | S_IXUSR);
#endif
    platform::startDetached(program, {"--make", manifest.make}, folder);
}

void Stop()
{
    driverpkg::Manifest manifest;
    if (!readServer(packageFolder(), manifest) || platform::terminateProcesses(manifest.server) == 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (platform::isProcessRunning(manifest.server) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}
}
