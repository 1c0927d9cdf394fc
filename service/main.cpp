// BrindlewickService: owns the link to the adapters. Runs in the foreground;
// SIGTERM, SIGINT or SIGHUP end it cleanly (status cleared, blocks removed).
#include "InstanceLock.h"
#include "Service.h"
#include "ServiceConfig.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {
std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    bwservice::ParsedConfig config;
    std::string error;
    if (!bwservice::parseServiceArgs(args, config, &error)) {
        std::fprintf(stderr, "BrindlewickService: %s\n%s", error.c_str(), bwservice::usageText());
        return 2;
    }
    if (config.help) {
        std::fputs(bwservice::usageText(), stdout);
        return 0;
    }

    bwservice::InstanceLock lock;
    if (!lock.acquire(config.lockPath, &error)) {
        std::fprintf(stderr, "BrindlewickService: %s\n", error.c_str());
        return 3;
    }

    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    bwservice::Service service(config.options);
    if (!service.open(&error)) {
        std::fprintf(stderr, "BrindlewickService: cannot create the shared blocks: %s\n", error.c_str());
        return 1;
    }
    const int code = service.run(g_stop);
    service.shutdown();
    return code;
}
