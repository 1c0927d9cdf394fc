// The pieces of the data root and the instance lock that both systems share.
#include "platform/DataRoot.h"

#include "Detail.h"

#include <cstdlib>
#include <mutex>

namespace platform {
namespace {
std::mutex g_mutex;
std::string g_rootOverride;
} // namespace

void setDataRoot(const std::string& dir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_rootOverride = dir;
}

namespace detail {

std::string dataRootOverride()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_rootOverride;
}

std::string instanceLockSuffix()
{
    std::string prefix;
    if (const char* p = std::getenv("BRINDLEWICK_SHM_PREFIX")) {
        for (const char* c = p; *c; ++c)
            prefix += (*c == '/' || *c == '\\' || *c == ':' ? '_' : *c);
    }
    return prefix + ".lock";
}

} // namespace detail
} // namespace platform
