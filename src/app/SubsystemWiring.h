// The one place that knows the window's subsystems: for each, a function that
// makes its controller and connects it to the frame's services and to the
// other controllers it talks to. The window only hands itself over and keeps
// the result; a new subsystem is one more function here and one more row in
// the page table, and the window's files do not change.
#pragma once

#include "kit/Subsystem.h"

#include <functional>
#include <memory>
#include <vector>

class HttpsServer;
class MT7628Config;

struct SubsystemSet {
    SubsystemSet();
    ~SubsystemSet();

    // Shared by several subsystems; declared first, so they outlive them.
    std::unique_ptr<MT7628Config> config;
    std::unique_ptr<HttpsServer> server;
    // In attach order; the window stops them in reverse order before they go.
    std::vector<std::unique_ptr<Subsystem>> list;
    // Steps that wait until the window is up and shown (status thread
    // running); the window runs them at the first turn of its event loop.
    std::vector<std::function<void()>> whenWindowReady;
};

// Makes, connects and attaches every subsystem (GUI thread, once).
std::unique_ptr<SubsystemSet> wireSubsystems(SubsystemHost& host);
