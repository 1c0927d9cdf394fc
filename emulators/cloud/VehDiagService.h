// The diagnosis component's files on the file server, from a built "VehDiag"
// folder (--vehdiag DIR; default: the "VehDiag" folder beside the emulator):
//   GET /files/q3lux/MARROWET_DISPQT/Release/StdDispQt.dll, .../StdComm.dll
//   GET /files/q3lux/<folder>/Version.ini   "Version=<v>" from DLL/VehVersion.ini
//   GET /files/q3lux/<make>/Diag.dll       the make's Diag library
// The URL names keep ".dll"; the files served are this platform's libraries.
// POST /__control/vehdiag publishes a newer version of a folder or serves a
// damaged file in place of a folder's libraries (docs/cloud-emulator.md).
#pragma once

#include "Digest.h"

#include <string>

namespace cloud {

void setVehDiagDirectory(const std::string& folder);
void installVehDiagService(httplib::Server& server);
// Forgets what the control route published (the control reset).
void resetVehDiagService();

} // namespace cloud
