#include "ServiceConfig.h"

#include "InstanceLock.h"
#include "ProbeList.h"

#include <cstdlib>
#include <fstream>

namespace bwservice {

namespace {

bool toInt(const std::string& text, int min, int max, int& out)
{
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    const int v = std::atoi(text.c_str());
    if (v < min || v > max)
        return false;
    out = v;
    return true;
}

std::string trim(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool setValue(const std::string& name, const std::string& value, ParsedConfig& out, std::string* error)
{
    ServiceOptions& o = out.options;
    auto bad = [&]() {
        *error = "bad value for " + name + ": " + value;
        return false;
    };
    if (name == "probe") {
        std::vector<std::string> list;
        if (!parseProbeList(value, list, error))
            return false;
        if (list.empty())
            return bad();
        o.probe = list;
        return true;
    }
    if (name == "port")
        return toInt(value, 1, 65535, o.discovery.port) || bad();
    if (name == "interval_ms" || name == "interval-ms")
        return toInt(value, 50, 5000, o.discovery.intervalMs) || bad();
    if (name == "connect_timeout_ms" || name == "connect-timeout-ms")
        return toInt(value, 1, 10000, o.discovery.connectTimeoutMs) || bad();
    if (name == "reply_timeout_ms" || name == "reply-timeout-ms")
        return toInt(value, 1, 10000, o.discovery.replyTimeoutMs) || bad();
    if (name == "lock")
        return !(out.lockPath = value).empty() || bad();
    *error = "unknown setting: " + name;
    return false;
}

} // namespace

const char* usageText()
{
    return "usage: BrindlewickService [--probe LIST] [--config FILE] [--port N] [--interval-ms N]\n"
           "                          [--connect-timeout-ms N] [--reply-timeout-ms N] [--lock FILE]\n"
           "LIST: addresses asked for adapters in order, e.g. 169.254.100.1,127.0.100.1-8\n"
           "Environment: BRINDLEWICK_PROBE (LIST), BRINDLEWICK_MT7628_PORT, BRINDLEWICK_SHM_PREFIX\n";
}

bool readConfigFile(const std::string& path, ParsedConfig& out, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.size() > 4096) {
            *error = path + ":" + std::to_string(number) + ": line too long";
            return false;
        }
        line = trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            *error = path + ":" + std::to_string(number) + ": expected name = value";
            return false;
        }
        std::string why;
        if (!setValue(trim(line.substr(0, eq)), trim(line.substr(eq + 1)), out, &why)) {
            *error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

bool parseServiceArgs(const std::vector<std::string>& args, ParsedConfig& out, std::string* error)
{
    std::vector<std::string> defaults;
    parseProbeList(kDefaultProbeList, defaults, nullptr);
    out.options.probe = defaults;
    out.lockPath = InstanceLock::defaultPath();
    if (const char* env = std::getenv("BRINDLEWICK_PROBE")) {
        if (*env && !setValue("probe", env, out, error)) {
            *error = "BRINDLEWICK_PROBE: " + *error;
            return false;
        }
    }
    // The configuration file first, so that explicit options win.
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "--config" && !readConfigFile(args[i + 1], out, error))
            return false;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-h" || a == "--help") {
            out.help = true;
            continue;
        }
        if (a.compare(0, 2, "--") != 0 || i + 1 >= args.size()) {
            *error = "unexpected argument: " + a;
            return false;
        }
        const std::string value = args[++i];
        if (a == "--config")
            continue;
        if (!setValue(a.substr(2), value, out, error))
            return false;
    }
    return true;
}

} // namespace bwservice
