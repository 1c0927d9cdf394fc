// vciServer: starts and stops the make's diagnostic server program that the
// driver package holding this library names in its manifest.json ("server").
// Packages of makes without a server carry it too; its calls then do nothing.
#pragma once

#if defined(_WIN32)
#if defined(VCISERVER_BUILD)
#define VCISERVER_API __declspec(dllexport)
#else
#define VCISERVER_API __declspec(dllimport)
#endif
#else
#define VCISERVER_API __attribute__((visibility("default")))
#endif

extern "C" {

// Starts the server from the package's folder (working folder the package's,
// arguments "--make" and the make) unless a process of its name runs
// already. Returns at once; a missing manifest or program starts nothing.
VCISERVER_API void start();

// Asks every process of the server's name to end and waits until none is
// left, at most 3 seconds (a server that will not stop is left running).
VCISERVER_API void Stop();
}
