// A driver package's own libraries on Windows: VciSwitch.dll refuses while
// the make's software is missing, then switches the emulated adapter (found
// through the Win32 service's status mapping) to the make's mode and back;
// vciServer.dll starts the make's server program and stops it.
#include "Win32Checks.h"

#include "MT7628Config.h"
#include "blocks/StatusBlock.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

void copyInto(const std::string& folder, const std::string& from, const std::string& to)
{
    fs::copy_file(w32::binDir() + from, folder + "/" + to, fs::copy_options::overwrite_existing);
}

// The selected adapter's address as the status mapping shows it.
std::string publishedAddress()
{
    platform::SharedMemory block;
    if (!block.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    const std::string copy(blocks::blockText(block.data(), block.size()));
    return std::string(blocks::StatusText(copy).value(blocks::StatusKey::vciIP));
}

long runTool(const std::vector<std::string>& args)
{
    w32::Child tool(w32::binDir() + "oem-software.exe", args);
    return tool.exitCode(20000);
}

TEST_CASE(driver_libraries_switch_the_adapter_and_run_the_server)
{
    const std::string ip = w32::adapterIp(2);
    w32::required("BRINDLEWICK_MT7628_PORT");
    th::TempDir dir;
    const std::string package = dir.file("BMW");
    fs::create_directories(package);
    copyInto(package, "VciSwitch.dll", "VciSwitch.dll");
    copyInto(package, "vciServer.dll", "vciServer.dll");
    copyInto(package, "oem-diag-server.exe", "BMW_DiagSer.exe");
    std::ofstream(package + "/manifest.json")
        << R"({"make":"BMW","package":"BMW","version":"V1.0.0","product":"Kestrix_BMW","server":"BMW_DiagSer.exe"})";

    w32::Child service(w32::binDir() + "BrindlewickService.exe",
        {"--probe", ip, "--lock", dir.file("service.lock"), "--interval-ms", "200"});
    CHECK(service.started());
    CHECK(th::waitFor([&] { return publishedAddress() == ip; }));

    platform::Library modeLib;
    CHECK(modeLib.load(package + "/VciSwitch.dll"));
    auto setMode = modeLib.resolveFunction<bool (*)()>("SetModeHalvern");
    auto setOriginal = modeLib.resolveFunction<bool (*)()>("SetModeOriginal");
    auto lastMessage = modeLib.resolveFunction<const char* (*)()>("LastMessage");
    CHECK(setMode && setOriginal && lastMessage);

    MT7628Config adapter;
    runTool({"remove", "BMW"});
    CHECK(!setMode());
    CHECK(std::string(lastMessage()).find("not installed") != std::string::npos);
    CHECK(adapter.GetMode(ip) != "BMW");

    CHECK_EQ(runTool({"install", "BMW"}), 0L);
    CHECK(setMode());
    CHECK_EQ(adapter.GetMode(ip), std::string("BMW"));
    CHECK(setOriginal());
    CHECK(adapter.GetMode(ip) != "BMW");
    runTool({"remove", "BMW"});
    modeLib.unload();

    platform::Library serverLib;
    CHECK(serverLib.load(package + "/vciServer.dll"));
    auto start = serverLib.resolveFunction<void (*)()>("start");
    auto stop = serverLib.resolveFunction<void (*)()>("Stop");
    CHECK(start && stop);
    start();
    CHECK(th::waitFor([] { return platform::isProcessRunning("BMW_DiagSer.exe"); }));
    stop();
    CHECK(!platform::isProcessRunning("BMW_DiagSer.exe"));
}

} // namespace

int main()
{
    return th::runAll();
}
