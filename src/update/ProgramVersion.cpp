#include "update/ProgramVersion.h"

#include "BuildConfig.h"

namespace update {

const char* programVersion()
{
    return BuildConfig::kApplicationVersion;
}

} // namespace update
