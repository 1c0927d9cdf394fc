// VciSwitch: switches the connected adapter between its own mode and the mode
// of the make whose driver package holds this library (the package's
// manifest.json names the make). The functions take no arguments: the library
// finds its package by its own location and the adapter through the status
// block the background service publishes. A call blocks for at most one
// MT7628Config exchange (connect 1.5 s + reply 3 s; SetModeOriginal two when
// the first fails): call them off the GUI thread.
#pragma once

#if defined(_WIN32)
#if defined(VCISWITCH_BUILD)
#define VCISWITCH_API __declspec(dllexport)
#else
#define VCISWITCH_API __declspec(dllimport)
#endif
#else
#define VCISWITCH_API __attribute__((visibility("default")))
#endif

extern "C" {

// Into the make's mode. false (and nothing changed) when the package's
// manifest is missing or wrong, when the make has probes for its own
// diagnostic software and none succeeds, when no adapter is connected, or
// when the adapter does not answer or refuses.
VCISWITCH_API bool SetModeHalvern();

// Back to the adapter's own mode. true also when no adapter is connected or
// it does not answer (a driver must stay removable without its adapter);
// false only when the adapter answers and refuses.
VCISWITCH_API bool SetModeOriginal();

// Why the last call on this thread returned false, in English for the log;
// "" after a success. Valid until the next call or the library's unloading.
VCISWITCH_API const char* LastMessage();
}
