// Options of the service from its command line, its configuration file and
// the environment (in that order of precedence).
#pragma once

#include "Service.h"

#include <string>
#include <vector>

namespace bwservice {

struct ParsedConfig {
    ServiceOptions options;
    std::string lockPath;
    bool help = false;
};

// args excludes the program name. false with a message on any bad option,
// value or configuration line.
bool parseServiceArgs(const std::vector<std::string>& args, ParsedConfig& out, std::string* error);

// Reads "name = value" lines ('#' comments): probe, port, interval_ms,
// connect_timeout_ms, reply_timeout_ms.
bool readConfigFile(const std::string& path, ParsedConfig& out, std::string* error);

const char* usageText();

} // namespace bwservice
