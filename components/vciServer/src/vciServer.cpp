#include "vciServer.h"

#include <driverpkg/Manifest.h>
#include <platform/OsConventions.h>
#include <platform/Process.h>

#include <chrono>
#include <thread>

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
    platform::makeExecutable(program); // unpackers do not all keep the archive's permission bits
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
