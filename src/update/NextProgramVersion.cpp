// The version of the release build's newer variant (BW_NEXT_VERSION, set by
// cmake/ReleaseArchive.cmake). Linked into that executable only, it takes the
// place of ProgramVersion.cpp from the bw_update library.
#include "update/ProgramVersion.h"

namespace update {

const char* programVersion()
{
    return BW_NEXT_VERSION;
}

} // namespace update
