// Where a J2534 04.04 application finds the Brindlewick pass-thru library:
// the registration the "J2534_0404" driver writes (Windows: the
// PassThruSupport.04.04 registry key; elsewhere: a JSON file in the XDG
// configuration folders, docs/j2534.md), else the library in a fallback folder.
// Qt-free, shared by every program and component that loads the library.
#pragma once

#include <string>

namespace j2534 {

struct LocatedLibrary {
    std::string path;
    std::string how; // where the path came from, for messages and logs
    bool registered = false;
};

// The registered library, else the one named BrindlewickJ2534.dll/.so in
// `fallbackFolder` (empty: no fallback, path stays empty).
LocatedLibrary locateLibrary(const std::string& fallbackFolder);

// The FunctionLibrary member of a registration file's JSON object; empty when
// the text holds none or is malformed.
std::string functionLibraryFrom(const std::string& json);

} // namespace j2534
