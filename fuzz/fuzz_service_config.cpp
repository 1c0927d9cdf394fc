// The service's configuration (service/ServiceConfig.cpp, ProbeList.cpp): any
// configuration file, any command line, any probe list. Checks
// docs/service.md: a bad line, option or value is refused with a message and
// nothing else; accepted settings are within their ranges; a probe list is
// unique dotted IPv4 addresses, at most 1024 of them, in the order given,
// and reading it back gives the same list.
#include "FuzzSupport.h"

#include <ProbeList.h>
#include <ServiceConfig.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

bool isDottedQuad(const std::string& s)
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    if (std::sscanf(s.c_str(), "%3u.%3u.%3u.%3u%c", &a, &b, &c, &d, &tail) != 4)
        return false;
    char canonical[16];
    std::snprintf(canonical, sizeof canonical, "%u.%u.%u.%u", a, b, c, d);
    return a <= 255 && b <= 255 && c <= 255 && d <= 255 && s == canonical;
}

void checkProbeList(const std::vector<std::string>& list)
{
    BW_FUZZ_CHECK(list.size() <= 1024);
    BW_FUZZ_CHECK(std::set<std::string>(list.begin(), list.end()).size() == list.size());
    for (const std::string& a : list)
        BW_FUZZ_CHECK(isDottedQuad(a));
}

void checkOptions(const bwservice::ParsedConfig& c)
{
    const auto& d = c.options.discovery;
    BW_FUZZ_CHECK(d.port >= 0 && d.port <= 65535); // 0: not set, the library's default
    BW_FUZZ_CHECK(d.intervalMs >= 50 && d.intervalMs <= 5000);
    BW_FUZZ_CHECK(d.connectTimeoutMs >= 1 && d.connectTimeoutMs <= 10000);
    BW_FUZZ_CHECK(d.replyTimeoutMs >= 1 && d.replyTimeoutMs <= 10000);
    BW_FUZZ_CHECK(!c.options.probe.empty());
    checkProbeList(c.options.probe);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ::unsetenv("BRINDLEWICK_PROBE"); // the defaults, not this machine's
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::string list = in.piece();
    const std::string file = in.piece();
    const std::string args = in.rest();

    // A probe list alone.
    std::vector<std::string> probes{"untouched"};
    std::string error;
    if (bwservice::parseProbeList(list, probes, &error)) {
        checkProbeList(probes);
        std::string joined;
        for (const std::string& a : probes)
            joined += (joined.empty() ? "" : ",") + a;
        std::vector<std::string> again;
        BW_FUZZ_CHECK(bwservice::parseProbeList(joined, again, nullptr) && again == probes);
    } else {
        BW_FUZZ_CHECK(probes == std::vector<std::string>{"untouched"} && !error.empty());
    }

    // A configuration file.
    const std::string path = fuzz::scratchFolder() + "/service.conf";
    fuzz::writeFile(path, file);
    bwservice::ParsedConfig config;
    config.options.probe = {"127.0.0.1"};
    error.clear();
    if (bwservice::readConfigFile(path, config, &error))
        checkOptions(config);
    else
        BW_FUZZ_CHECK(error.compare(0, path.size() + 1, path + ":") == 0);

    // A command line (arguments separated by NUL); every --config names the
    // file above, so nothing else is read.
    std::vector<std::string> argv;
    std::size_t start = 0;
    while (start <= args.size() && !args.empty()) {
        const std::size_t nul = std::min(args.find('\0', start), args.size());
        argv.push_back(args.substr(start, nul - start));
        start = nul + 1;
    }
    for (std::size_t i = 0; i + 1 < argv.size(); ++i)
        if (argv[i] == "--config")
            argv[++i] = path;
    bwservice::ParsedConfig parsed;
    error.clear();
    if (bwservice::parseServiceArgs(argv, parsed, &error)) {
        checkOptions(parsed);
        BW_FUZZ_CHECK(!parsed.lockPath.empty());
        // Help is asked for by -h or --help where an option may stand, not
        // by an option's value.
        bool help = false;
        for (std::size_t i = 0; i < argv.size(); ++i) {
            if (argv[i] == "-h" || argv[i] == "--help")
                help = true;
            else
                ++i;
        }
        BW_FUZZ_CHECK(parsed.help == help);
    } else {
        BW_FUZZ_CHECK(!error.empty());
    }
    return 0;
}
