// BrindlewickService: owns the link to the adapters. Runs in the foreground;
// SIGTERM, SIGINT or SIGHUP (on Windows Ctrl+C, Ctrl+Break, closing the
// console, log-off or shut-down) end it cleanly (status cleared, blocks removed).
// Started by Windows' Service Control Manager (the "BrindlewickService"
// service the manager creates) it runs as that service and stops on its stop
// request. It logs to BrindlewickService.log in the user's log folder.
#include "InstanceLock.h"
#include "Service.h"
#include "ServiceConfig.h"

#include "platform/LogFile.h"
#include "platform/Process.h"
#include "platform/StopRequests.h"
#include "platform/SystemService.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> g_stop{false};

void logLine(const char* level, const std::string& text)
{
    platform::processLog("BrindlewickService")
        .write(platform::logTimestamp() + ' ' + level + " service [" + platform::threadName() + "]: " + text);
}

// Failures go to the log and always to stderr, where whoever started the
// service sees them.
void logFailure(const std::string& text)
{
    logLine("critical", text);
    if (!platform::processLog("BrindlewickService").echo())
        std::fprintf(stderr, "BrindlewickService: %s\n", text.c_str());
}
} // namespace

int main(int argc, char** argv)
{
    platform::setThreadName("main");
    std::vector<std::string> args(argv + 1, argv + argc);
    bwservice::ParsedConfig config;
    std::string error;
    if (!bwservice::parseServiceArgs(args, config, &error)) {
        logFailure(error);
        std::fputs(bwservice::usageText(), stderr);
        return 2;
    }
    if (config.help) {
        std::fputs(bwservice::usageText(), stdout);
        return 0;
    }

    // As a Windows service the same body runs on the dispatcher's thread.
    const auto run = [&config]() -> int {
        platform::setThreadName("main");
        std::string failure;
        bwservice::InstanceLock lock;
        switch (lock.acquire(config.lockPath, &failure)) {
        case bwservice::InstanceLock::Result::Acquired:
            break;
        case bwservice::InstanceLock::Result::HeldByAnother:
            logFailure(failure);
            return 3;
        case bwservice::InstanceLock::Result::Unavailable:
            logFailure(failure + " (is the runtime folder there and writable? set XDG_RUNTIME_DIR or --lock)");
            return 4;
        }
        logLine("info", "starting, process " + std::to_string(platform::currentProcessId()));

        bwservice::Service service(config.options);
        if (!service.open(&failure)) {
            logFailure("cannot create the shared blocks: " + failure);
            return 1;
        }
        const int code = service.run(g_stop);
        service.shutdown();
        logLine("info", "ended with exit code " + std::to_string(code));
        return code;
    };
    int code = 0;
    if (platform::runAsSystemService("BrindlewickService", g_stop, run, code))
        return code;
    platform::catchStopRequests(g_stop);
    return run();
}
