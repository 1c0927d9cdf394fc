// The firmware update's outside world on the account service: the version
// query, the download and the file digest, through HttpsServer.
#pragma once

#include "maintenance/FirmwareUpdate.h"

class HttpsServer;

// Hooks that call `server`, which must outlive them; the rest stay empty.
FirmwareUpdate::Hooks firmwareServerHooks(HttpsServer& server);

// SHA-256 of a file as lower-case hex; empty when it cannot be read.
std::string fileSha256(const std::string& path);
