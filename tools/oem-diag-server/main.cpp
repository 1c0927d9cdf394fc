// Stand-in for a make's diagnostic server (BENZ's "CaesarTCP_kestrix.exe",
// BMW's "BMW_DiagSer.exe"): a process of that name that runs until it is told
// to stop, so the driver's vciServer library and the manager's uninstall step
// have a real process to start, find and end. It serves nothing.
//   oem-diag-server [--make NAME]
// Ends on SIGTERM, SIGINT or SIGHUP with exit code 0; on Windows it is ended
// as the make's server is, by TerminateProcess.
#include <cstdio>
#include <cstring>
#if defined(_WIN32)
#include <windows.h>
#else
#include <csignal>
#include <initializer_list>
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
    const char* make = "?";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--make") == 0 && i + 1 < argc) {
            make = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--make NAME]\n", argv[0]);
            return 2;
        }
    }
#if defined(_WIN32)
    std::printf("%s diagnostic server (stand-in) running, pid %lu\n", make, ::GetCurrentProcessId());
    std::fflush(stdout);
    for (;;)
        ::Sleep(INFINITE);
#else
    sigset_t stop;
    sigemptyset(&stop);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&stop, sig);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    std::printf("%s diagnostic server (stand-in) running, pid %ld\n", make, static_cast<long>(getpid()));
    std::fflush(stdout);
    int sig = 0;
    while (sigwait(&stop, &sig) != 0) { }
    return 0;
#endif
}
