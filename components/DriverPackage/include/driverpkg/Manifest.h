// A vehicle driver package (docs/drivers.md, "Driver packages") carries a
// manifest, "manifest.json": one JSON object naming the make whose mode the
// package switches the adapter to, the package, its version and the make's
// server program (when the make has one). The package's libraries read it
// from the folder they were loaded from.
#pragma once

#include <string>

namespace driverpkg {

inline constexpr const char* kManifestFile = "manifest.json";

struct Manifest {
    std::string make;    // a make name of the adapter's modes ("BMW", "J2534", ...)
    std::string package; // the package name ("J2534_0404", "BMW", ...)
    std::string version; // "V2.0.4"
    std::string product; // the server's product code ("Kestrix_BMW"); may be empty
    std::string server;  // the server program's process name ("BMW_DiagSer.exe"); empty when none
};

// Parses a manifest: one strict JSON object of at most 64 KiB whose members
// make, package and version are texts (make one of the adapter's make modes,
// package letters, digits and "_", version 1..32 printable ASCII characters)
// and whose optional product and server are texts too (server a bare file
// name of letters, digits, "_", "-" and ".", not starting with "."). Other
// members are ignored. false with a reason on anything else.
bool parseManifest(const std::string& text, Manifest& out, std::string* error = nullptr);

// Reads folder/manifest.json; false with a reason when it is missing,
// larger than 64 KiB or wrong.
bool readManifest(const std::string& folder, Manifest& out, std::string* error = nullptr);

// The folder of the loaded shared library (or program) that holds `address`;
// "" when the system cannot tell.
std::string moduleFolder(const void* address);

// The server program's file in the package: the process name itself on
// Windows, without a trailing ".exe" elsewhere.
std::string serverFile(const std::string& server);

} // namespace driverpkg
