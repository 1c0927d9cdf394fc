// Processes: the running-process list, the program's own path and raw command
// line, detached starts and termination.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
    long pid = 0;
    std::string name; // executable file name without directory ("BrindlewickService")
};

std::vector<ProcessEntry> listProcesses();
bool isProcessRunning(const std::string& executableName);
// Terminates every process with this executable name; returns how many were signalled.
int terminateProcesses(const std::string& executableName);

// Full path of the running executable (GetModuleFileName, /proc/self/exe).
std::string modulePath();
// The whole command line as the OS reports it, program path included (8-bit).
std::string rawCommandLine();

// Starts a program detached, with an argument list (never through a shell).
// Returns the new process id, or 0 on failure.
long startDetached(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDirectory = std::string());

} // namespace platform
