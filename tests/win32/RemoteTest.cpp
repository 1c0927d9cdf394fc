// The remote-session libraries on Windows against the Linux relay over TLS
// (OpenSSL built for Windows, the relay's certificate checked against the
// run's test CA): the C-end registers the adapter the Win32 service
// publishes, the B-end's lookup finds it at the relay the cloud emulator
// names, an unknown serial is not online, and a destroyed registration ends;
// the virtual adapter tool adds and removes the B-end's adapter.
#include "Win32Checks.h"

#include "blocks/StatusBlock.h"
#include "platform/Library.h"
#include "platform/NetAdapters.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteApi.h"

#include <cstring>

namespace {

std::string published(blocks::StatusKey key)
{
    platform::SharedMemory block;
    if (!block.open(blocks::kStatusBlockName, blocks::kStatusBlockSize))
        return {};
    const std::string copy(blocks::blockText(block.data(), block.size()));
    return std::string(blocks::StatusText(copy).value(key));
}

TEST_CASE(registration_and_lookup_through_the_relay)
{
    const std::string ip = w32::adapterIp(1);
    w32::required("BRINDLEWICK_MT7628_PORT");
    const int relayPort = std::atoi(w32::required("BRINDLEWICK_RELAY_PORT").c_str());
    w32::required("BRINDLEWICK_CA_FILE");
    th::TempDir dir;
    w32::Child service(w32::binDir() + "BrindlewickService.exe",
        {"--probe", ip, "--lock", dir.file("service.lock"), "--interval-ms", "200"});
    CHECK(service.started());
    CHECK(th::waitFor([&] { return published(blocks::StatusKey::vciIP) == ip; }));
    const std::string serial = published(blocks::StatusKey::SN);
    const std::string key = published(blocks::StatusKey::key);
    CHECK(!serial.empty());

    platform::Library client;
    CHECK(client.load(w32::binDir() + "ClientRemote.dll"));
    auto relayAddress = client.resolveFunction<int (*)(char*)>("ClientRemote_RelayAddress");
    auto connect = client.resolveFunction<void* (*)(const char*, uint16_t, const char*, const char*, int, const char*)>(
        "ClientRemote_Connect");
    auto status = client.resolveFunction<int (*)(void*)>("ClientRemote_Status");
    auto destroy = client.resolveFunction<void (*)(void*)>("ClientRemote_Destroy");
    CHECK(relayAddress && connect && status && destroy);

    char relay[BW_REMOTE_ADDRESS_SIZE] = {};
    CHECK_EQ(relayAddress(relay), 0);
    CHECK_EQ(std::string(relay), std::string("127.0.0.1"));
    void* registration = connect(relay, static_cast<uint16_t>(relayPort), serial.c_str(), "", 314159, key.c_str());
    CHECK(registration != nullptr);
    CHECK(th::waitFor([&] { return status(registration) == BW_CLIENT_CONNECTED; }, 15000));

    platform::Library server;
    CHECK(server.load(w32::binDir() + "ServerRemote.dll"));
    auto lookup = server.resolveFunction<int (*)(const char*, const char*, char*)>("ServerRemote_Lookup");
    CHECK(lookup != nullptr);
    char found[BW_REMOTE_ADDRESS_SIZE] = {};
    CHECK_EQ(lookup(serial.c_str(), "314159", found), 0);
    CHECK_EQ(std::string(found), std::string("127.0.0.1"));
    std::memset(found, 'x', sizeof found);
    CHECK_EQ(lookup("M5EA0009XJ7B9999", "314159", found), 0);
    CHECK_EQ(std::string(found), std::string()); // not registered: not online

    destroy(registration);
    CHECK(th::waitFor(
        [&] {
            char again[BW_REMOTE_ADDRESS_SIZE] = {};
            return lookup(serial.c_str(), "314159", again) == 0 && again[0] == '\0';
        },
        10000));
}

bool virtualAdapterListed()
{
    for (const platform::NetAdapter& a : platform::listAdapters())
        if (a.description == "Brindlewick remoteDiag" && a.ipv4.rfind("127.0.101.", 0) == 0)
            return true;
    return false;
}

// The B-end's user-space virtual adapter: "-e" makes it appear in the
// adapter list with a loopback address, "-d" takes it away.
TEST_CASE(virtual_adapter_tool)
{
    const std::string tool = w32::binDir() + "VirtualNetLoopback.exe";
    {
        w32::Child disable(tool, {"-d"});
        disable.exitCode(10000);
    }
    CHECK(!virtualAdapterListed());
    w32::Child enable(tool, {"-e"});
    CHECK_EQ(enable.exitCode(10000), 0L);
    CHECK(virtualAdapterListed());
    w32::Child disable(tool, {"-d"});
    CHECK_EQ(disable.exitCode(10000), 0L);
    CHECK(!virtualAdapterListed());
}

} // namespace

int main()
{
    return th::runAll();
}
