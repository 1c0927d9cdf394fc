// One end of a remote session in its own process, for the tests: loads the
// session library from the build's bin folder and reports its state on
// standard output (one line per change) until standard input closes or the
// process is killed.
//   remote_link_peer client ADDRESS PORT SERIAL CODE KEY   (ClientRemote: relay or P2P)
//   remote_link_peer server RELAY SERIAL CODE              (ServerRemote: B-end)
#include "platform/Library.h"
#include "remote/RemoteApi.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool stdinClosed(int waitMs)
{
    pollfd p{};
    p.fd = 0;
    p.events = POLLIN;
    if (::poll(&p, 1, waitMs) <= 0)
        return false;
    char c;
    return ::read(0, &c, 1) <= 0;
}

void report(std::string& last, const std::string& line)
{
    if (line == last)
        return;
    last = line;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    const std::string dir = BW_PEER_BIN_DIR;
    platform::Library lib;
    std::string last;
    if (mode == "client" && argc == 7) {
        if (!lib.load(dir + "/ClientRemote.so"))
            return 3;
        auto connect = lib.resolveFunction<decltype(&ClientRemote_Connect)>("ClientRemote_Connect");
        auto status = lib.resolveFunction<decltype(&ClientRemote_Status)>("ClientRemote_Status");
        auto state = lib.resolveFunction<decltype(&ClientRemote_State)>("ClientRemote_State");
        auto destroy = lib.resolveFunction<decltype(&ClientRemote_Destroy)>("ClientRemote_Destroy");
        void* h = connect(argv[2], static_cast<uint16_t>(std::atoi(argv[3])), argv[4], "", std::atoi(argv[5]), argv[6]);
        if (!h) {
            std::printf("refused arguments\n");
            return 4;
        }
        while (!stdinClosed(50)) {
            char peer[BW_REMOTE_PEER_TEXT_SIZE];
            const int s = state(h, peer);
            report(last, "status " + std::to_string(status(h)) + " state " + std::to_string(s) + " " + peer);
        }
        destroy(h);
        return 0;
    }
    if (mode == "server" && argc == 5) {
        if (!lib.load(dir + "/ServerRemote.so"))
            return 3;
        auto connect = lib.resolveFunction<decltype(&ServerRemote_Connect)>("ServerRemote_Connect");
        auto status = lib.resolveFunction<decltype(&ServerRemote_Status)>("ServerRemote_Status");
        auto destroy = lib.resolveFunction<decltype(&ServerRemote_Destroy)>("ServerRemote_Destroy");
        void* h = connect(argv[2], argv[3], "--", std::atoi(argv[4]));
        if (!h) {
            std::printf("refused arguments\n");
            return 4;
        }
        while (!stdinClosed(50))
            report(last, "status " + std::to_string(status(h)));
        destroy(h);
        return 0;
    }
    return 2;
}
