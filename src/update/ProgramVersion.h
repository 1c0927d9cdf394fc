// The running program's version. Defined in its own object file so that a
// second executable can link the same libraries with another version (the
// release build's "next" variant, see docs/self-update.md).
#pragma once

namespace update {

const char* programVersion();

} // namespace update
