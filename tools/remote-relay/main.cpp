// remote-relay: pairs B-ends with registered C-ends and forwards their
// session streams. TLS server; see docs/remote-protocol.md.
#include "Relay.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
std::atomic<bool> g_stop{false};

void onSignal(int)
{
    g_stop = true;
}

const char* kUsage = "usage: remote-relay --cert FILE --key FILE [--port N] [--bind ADDR]\n"
                     "                    [--max-wrong-serial N] [--max-wrong-address N] [--lockout-s N]\n"
                     "                    [--max-lookups-address N] [--idle-timeout-ms N] [--hello-timeout-ms N]\n"
                     "                    [--session-silence-ms N] [--max-links-per-address N]\n"
                     "  --port      TLS port (default 11923; 0 picks a free one)\n"
                     "  --bind      IPv4 address to listen on (default 0.0.0.0)\n"
                     "  wrong codes: N within 10 minutes lock a serial (default 5) or a source\n"
                     "  address (default 10) for --lockout-s seconds (default 600); so do N lookups\n"
                     "  from one address (default 100)\n"
                     "  a link silent for --idle-timeout-ms (default 30000), or in a session for\n"
                     "  --session-silence-ms (default 3000), is dropped\n";

bool number(const char* text, long min, long max, long& out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < min || v > max)
        return false;
    out = v;
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    relay::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "remote-relay: %s needs a value\n%s", arg.c_str(), kUsage);
            return 2;
        }
        const char* value = argv[++i];
        long n = 0;
        if (arg == "--cert") {
            options.certFile = value;
        } else if (arg == "--key") {
            options.keyFile = value;
        } else if (arg == "--bind") {
            options.bind = value;
        } else if (arg == "--port" && number(value, 0, 65535, n)) {
            options.port = static_cast<std::uint16_t>(n);
        } else if (arg == "--max-wrong-serial" && number(value, 1, 1000, n)) {
            options.maxWrongPerSerial = static_cast<int>(n);
        } else if (arg == "--max-wrong-address" && number(value, 1, 10000, n)) {
            options.maxWrongPerAddress = static_cast<int>(n);
        } else if (arg == "--lockout-s" && number(value, 1, 86400, n)) {
            options.lockoutSeconds = static_cast<int>(n);
        } else if (arg == "--max-lookups-address" && number(value, 1, 100000, n)) {
            options.maxLookupsPerAddress = static_cast<int>(n);
        } else if (arg == "--session-silence-ms" && number(value, 1000, 600000, n)) {
            options.sessionSilenceMs = static_cast<int>(n);
        } else if (arg == "--idle-timeout-ms" && number(value, 1000, 3600000, n)) {
            options.idleTimeoutMs = static_cast<int>(n);
        } else if (arg == "--hello-timeout-ms" && number(value, 500, 600000, n)) {
            options.helloTimeoutMs = static_cast<int>(n);
        } else if (arg == "--max-links-per-address" && number(value, 1, 100000, n)) {
            options.maxPerAddress = static_cast<std::size_t>(n);
        } else {
            std::fprintf(stderr, "remote-relay: bad option %s %s\n%s", arg.c_str(), value, kUsage);
            return 2;
        }
    }
    if (options.certFile.empty() || options.keyFile.empty()) {
        std::fprintf(stderr, "remote-relay: --cert and --key are required\n%s", kUsage);
        return 2;
    }
#ifndef _WIN32
    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
#else
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#endif
    relay::Relay relay(options);
    std::string error;
    if (!relay.open(&error)) {
        std::fprintf(stderr, "remote-relay: %s\n", error.c_str());
        return 1;
    }
    std::printf("remote-relay: listening on %s:%u\n", options.bind.c_str(), static_cast<unsigned>(relay.port()));
    std::fflush(stdout);
    relay.run(g_stop);
    return 0;
}
