// The three Win32 upgraders write their image into the emulated adapter, and
// say so in their exit code; an adapter that is not there gives its own code.
#include "Win32Checks.h"

#include "MT7628Config.h"
#include "firmware/FirmwareImage.h"
#include "platform/Process.h"

#include <fstream>

namespace {

std::string writeImage(const th::TempDir& dir, const std::string& marker, const std::string& version)
{
    std::vector<unsigned char> payload(300000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<unsigned char>(i * 7 + 3);
    const std::vector<unsigned char> image = firmware::buildImage(marker, version, payload);
    const std::string path = dir.file(marker + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return path;
}

int runUpgrader(const std::string& name, const std::vector<std::string>& args)
{
    int code = -1;
    const auto status = platform::runAndWait(w32::binDir() + name + ".exe", args, std::string(), 60000, &code);
    return status == platform::RunStatus::Exited ? code : -100 - static_cast<int>(status);
}

TEST_CASE(each_upgrader_writes_its_image)
{
    const std::string ip = w32::adapterIp(2);
    w32::required("BRINDLEWICK_MT7628_PORT");
    th::TempDir dir;
    MT7628Config adapter;
    struct Case {
        const char* program;
        const char* marker;
        const char* version;
        std::string vci_status::*field;
        const char* reported;
    };
    const Case cases[] = {
        {"7628_upgrade", "HALVERN_SYS", "V3.0.1", &vci_status::softVer, "V3.0.1"},
        {"app_upgrade", "HALVERN_APP", "V3.0.2", &vci_status::dllVersion, "V3.0.2"},
        {"can_upgrade", "kestrix_E508", "V3.0.3", &vci_status::firmwareVersion, "MT7628 V3.0.3"},
    };
    for (const Case& c : cases) {
        vci_status before;
        CHECK(th::waitFor([&] { return adapter.GetVciStatus(ip, before); }, 15000)); // back from the last restart
        CHECK_EQ(runUpgrader(c.program, {writeImage(dir, c.marker, c.version), ip}), 0);
        vci_status after;
        CHECK(th::waitFor([&] { return adapter.GetVciStatus(ip, after) && after.*c.field == c.reported; }, 15000));
    }
}

TEST_CASE(upgraders_report_what_went_wrong)
{
    th::TempDir dir;
    const std::string image = writeImage(dir, "HALVERN_SYS", "V3.1.0");
    CHECK_EQ(runUpgrader("7628_upgrade", {image, w32::adapterIp(9)}), 3); // nobody at that address
    CHECK_EQ(runUpgrader("7628_upgrade", {dir.file("missing.bin"), w32::adapterIp(2)}), 2);
    CHECK_EQ(runUpgrader("app_upgrade", {image}), 1);
}

} // namespace

int main()
{
    return th::runAll();
}
