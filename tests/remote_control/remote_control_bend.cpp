// The B-end of a device-control session in its own process, for the tests
// that kill it: loads RemotePro from the build's bin folder, connects to the
// C-end adapter, opens both buses at 500 kbit/s, starts the bridge, prints
// "bridging" and keeps the session until killed or its input closes.
//   remote_control_bend RELAY SERIAL CODE
#include <platform/Library.h>
#include <remote/RemoteProApi.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    platform::Library lib;
    if (!lib.load(std::string(BW_TEST_BIN_DIR) + "/RemotePro.so"))
        return 3;
    auto create = lib.resolveFunction<BwCreateRemoteProFn>("CreateRemotePro");
    BwRemotePro* pro = create ? create() : nullptr;
    if (!pro)
        return 4;
    const int rc = pro->ops->connect(pro, argv[1], argv[2], "--", std::atoi(argv[3]));
    std::printf("connect %d\n", rc);
    std::fflush(stdout);
    if (rc != BW_PRO_CONNECTED)
        return 5;
    const std::uint32_t buses[2][2] = {{6, 14}, {3, 11}};
    for (const auto& pins : buses) {
        std::uint32_t id = 0;
        if (pro->ops->openCanChannel(pro, BW_PRO_PROTOCOL_CAN, pins, 2, 500000, 0, &id) != 0)
            return 6;
    }
    pro->ops->start(pro, 1);
    std::printf("bridging\n");
    std::fflush(stdout);
    pollfd p{};
    p.fd = 0;
    p.events = POLLIN;
    char c;
    while (::poll(&p, 1, -1) > 0 && ::read(0, &c, 1) > 0) { }
    pro->ops->disconnect(pro);
    return 0;
}
