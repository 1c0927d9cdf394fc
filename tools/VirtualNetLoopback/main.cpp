// VirtualNetLoopback: makes ("-e") or removes ("-d") this instance's
// user-space "Brindlewick remoteDiag" adapter, a loopback IPv4 address that
// the remote session libraries serve and the service probes in remote mode.
// No administration rights needed: the adapter is a per-user record that
// platform::listAdapters() shows after the real interfaces.
#include "remote/VirtualAdapter.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2 || (std::strcmp(argv[1], "-e") != 0 && std::strcmp(argv[1], "-d") != 0)) {
        std::fputs("usage: VirtualNetLoopback -e | -d\n"
                   "  -e  enable this instance's \"Brindlewick remoteDiag\" adapter and print its address\n"
                   "  -d  disable it\n",
            stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "-d") == 0) {
        remote::disableVirtualAdapter();
        return 0; // already gone counts as done
    }
    std::string error;
    const std::string address = remote::enableVirtualAdapter(&error);
    if (address.empty()) {
        std::fprintf(stderr, "VirtualNetLoopback: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s %s\n", remote::kVirtualAdapterDescription, address.c_str());
    return 0;
}
