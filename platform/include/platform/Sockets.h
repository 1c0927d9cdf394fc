// The socket layer's start-up, shared by every library that opens sockets.
#pragma once

namespace platform {

// Starts the socket layer once for the process and leaves it running
// (Winsock 2.2 on Windows; POSIX sockets need nothing). True when sockets
// can be used. Thread-safe; the first call does the work.
bool startSockets();

} // namespace platform
