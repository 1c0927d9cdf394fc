// The Win32 BrindlewickService against the adapter emulator on loopback: it
// publishes the adapter in the status file mapping, answers the device-list
// mailbox, repairs a spoiled block, refuses a second instance and comes back
// after being killed; started by the Service Control Manager it runs as a
// service and stops on its request. The reader side is built on the shared
// block contract.
#include "Win32Checks.h"

#include "MT7628Config.h"
#include "blocks/CommandBlockLayout.h"
#include "blocks/StatusBlock.h"
#include "platform/NamedEvent.h"
#include "platform/SharedMemory.h"

#include <algorithm>
#include <cstring>

namespace {

std::string publishedSerial(platform::SharedMemory& block)
{
    if (!block.isOpen() && !block.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    const std::string copy(blocks::blockText(block.data(), block.size()));
    return std::string(blocks::StatusText(copy).value(blocks::StatusKey::SN));
}

std::vector<std::string> requestDeviceList()
{
    platform::SharedMemory command;
    platform::NamedEvent wake;
    if (!command.open(blocks::kCommandBlockName, blocks::kCommandBlockSize)
        || !wake.open(blocks::requestEventName(blocks::kCommandBlockName)))
        return {};
    blocks::storeRequest(command.data(), blocks::RequestList);
    wake.signal();
    if (!th::waitFor([&] { return blocks::loadRequest(command.data()) == blocks::ReplyReady; }, 3000))
        return {};
    return blocks::readDeviceList(command.data(), command.size());
}

TEST_CASE(service_publishes_answers_repairs_and_restarts)
{
    const std::string ip = w32::adapterIp(1);
    w32::required("BRINDLEWICK_MT7628_PORT");
    MT7628Config adapter;
    vci_status status;
    CHECK(adapter.GetVciStatus(ip, status));
    const std::string serial = status.serial;
    CHECK(!serial.empty());

    th::TempDir dir;
    const std::string program = w32::binDir() + "BrindlewickService.exe";
    const std::vector<std::string> args{"--probe", ip, "--lock", dir.file("service.lock"), "--interval-ms", "200"};
    {
        w32::Child service(program, args);
        CHECK(service.started());
        platform::SharedMemory block;
        CHECK(th::waitFor([&] { return publishedSerial(block) == serial; }));

        const std::vector<std::string> list = requestDeviceList();
        CHECK(std::find(list.begin(), list.end(), serial) != list.end());

        w32::Child second(program, args);
        CHECK_EQ(second.exitCode(10000), 3L); // another instance holds the lock

        // Another process spoils the block: the service writes its text again.
        const char garbage[] = "SN=FAKE\r\n\xff\xfe not a status text";
        std::memcpy(block.data(), garbage, sizeof garbage);
        CHECK(th::waitFor([&] { return publishedSerial(block) == serial; }));
        CHECK_EQ(service.exitCode(0), -1L); // still running
        service.kill();
    }
    // Killed without cleaning up: a new instance gets the lock and publishes again.
    w32::Child again(program, args);
    platform::SharedMemory block;
    CHECK(th::waitFor([&] { return publishedSerial(block) == serial; }));
    CHECK_EQ(again.exitCode(0), -1L);
}

// Started by the Service Control Manager (as the manager's script does with
// sc.exe) it must report running, or the manager ends it after its start
// time-out; a stop request ends it cleanly. The service's environment is the
// system's, so the module port goes on its command line.
TEST_CASE(service_runs_under_the_service_control_manager)
{
    const std::string ip = w32::adapterIp(1);
    const std::string port = w32::required("BRINDLEWICK_MT7628_PORT");
    MT7628Config adapter;
    vci_status status;
    CHECK(adapter.GetVciStatus(ip, status));
    const std::string serial = status.serial;

    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    CHECK(manager != nullptr);
    th::TempDir dir;
    const std::string name = "BrindlewickServiceCheck" + th::uniqueSuffix();
    const std::string command = "\"" + w32::binDir() + "BrindlewickService.exe\" --probe " + ip + " --port " + port
        + " --lock \"" + dir.file("service.lock") + "\" --interval-ms 200";
    SC_HANDLE service
        = ::CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
            SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    CHECK(service != nullptr);
    SERVICE_STATUS state{};
    const auto stateIs
        = [&](DWORD wanted) { return ::QueryServiceStatus(service, &state) && state.dwCurrentState == wanted; };
    CHECK(::StartServiceA(service, 0, nullptr));
    CHECK(th::waitFor([&] { return stateIs(SERVICE_RUNNING); }));
    CHECK((state.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0);
    platform::SharedMemory block;
    CHECK(th::waitFor([&] { return publishedSerial(block) == serial; }));

    CHECK(::ControlService(service, SERVICE_CONTROL_STOP, &state));
    CHECK(th::waitFor([&] { return stateIs(SERVICE_STOPPED); }));
    CHECK_EQ(state.dwWin32ExitCode, static_cast<DWORD>(NO_ERROR));
    CHECK(publishedSerial(block).empty()); // the status was cleared on the way out
    ::DeleteService(service);
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
}

} // namespace

int main()
{
    return th::runAll();
}
