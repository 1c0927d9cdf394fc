// CHvHttp's URL splitting (docs/http-clients.md): "scheme://host[:port]/path",
// true for "https://", port 443 for it and 80 otherwise unless the URL names
// one, "/" when there is no path, a ":" after the first "/" is no port, a port
// that is not a number
// throws std::invalid_argument and one above 65535 std::out_of_range. A
// successful split puts the URL back together. (Either exception counts as
// refusing the URL: SendHttpOrHttpsRequest turns both into the same error.)
#include "FuzzSupport.h"

#include <http/CHvHttp.h>

#include <stdexcept>

namespace {

bool allDigits(const std::string& s)
{
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string url(reinterpret_cast<const char*>(data), size);

    // The documented split, done independently.
    const std::size_t marker = url.find("://");
    std::string authority;
    std::string expectedPath = "/";
    std::string portText;
    bool hasPort = false;
    if (marker != std::string::npos) {
        const std::string rest = url.substr(marker + 3);
        const std::size_t slash = rest.find('/');
        authority = rest.substr(0, slash);
        if (slash != std::string::npos)
            expectedPath = rest.substr(slash);
        const std::size_t colon = authority.find(':');
        if (colon != std::string::npos) {
            hasPort = true;
            portText = authority.substr(colon + 1);
            authority.resize(colon);
        }
    }
    const bool refused = hasPort && (!allDigits(portText) || portText.size() > 5 || std::stoul(portText) > 65535);

    std::string host;
    std::string path;
    unsigned short port = 0;
    bool split = true;
    bool https = false;
    try {
        https = CHvHttp::HvParseURLWeb(url, host, path, port);
    } catch (const std::logic_error&) { // std::invalid_argument or std::out_of_range
        split = false;
    }
    BW_FUZZ_CHECK(split == !refused);
    if (!split)
        return 0;

    BW_FUZZ_CHECK(https == (url.compare(0, 8, "https://") == 0));
    BW_FUZZ_CHECK(host == authority);
    BW_FUZZ_CHECK(path == expectedPath);
    BW_FUZZ_CHECK(port == (hasPort ? std::stoul(portText) : https ? 443ul : 80ul));
    if (marker == std::string::npos)
        return 0;
    // The parts put back together give the URL (the "/" given to a URL
    // without a path aside).
    const std::string joined = url.substr(0, marker + 3) + host + (hasPort ? ":" + portText : std::string())
        + (url.find('/', marker + 3) == std::string::npos ? std::string() : path);
    BW_FUZZ_CHECK(joined == url);
    return 0;
}
