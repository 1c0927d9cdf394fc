// Processes: the running-process list, the program's own path and raw command
// line, detached starts, runs waited for, and termination.
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

// The calling process's id.
long currentProcessId();

// Full path of the running executable (GetModuleFileName, /proc/self/exe).
std::string modulePath();
// The whole command line as the OS reports it, program path included (8-bit).
std::string rawCommandLine();

// Starts a program detached, with an argument list (never through a shell).
// Returns the new process id, or 0 on failure.
long startDetached(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDirectory = std::string());

enum class RunStatus {
    Exited,        // ended by itself; the exit code is reported
    Crashed,       // ended by a signal (POSIX) or an exception code (Windows)
    TimedOut,      // still running when the time ran out: it was killed
    CouldNotStart, // no such program, not executable, or no such working folder
};

// Runs a program with an argument list (never through a shell) and waits for
// it at most `timeoutMs`. Standard input, output and error are the null
// device. A program that outlives the time is killed together with the
// processes it started (its process group on POSIX, a job object on Windows).
// `exitCode` receives the code for Exited (the signal or exception number for
// Crashed). A program name without a directory is looked up in PATH.
RunStatus runAndWait(const std::string& program, const std::vector<std::string>& args,
    const std::string& workingDirectory, int timeoutMs, int* exitCode = nullptr);
// "exited", "crashed", "timed out", "could not start".
const char* runStatusText(RunStatus status);

} // namespace platform
