// Requests from outside to end a background program cleanly: SIGTERM, SIGINT
// and SIGHUP on POSIX; Ctrl+C, Ctrl+Break, closing the console, log-off and
// shut-down on Windows.
#pragma once

#include <atomic>
#include <functional>

namespace platform {

// Every stop request sets `flag` (which must live as long as the process);
// the program sees it in its main loop. POSIX also ignores SIGPIPE, so a
// peer that goes away shows as a failed write instead of ending the program.
void catchStopRequests(std::atomic<bool>& flag);

// Runs `startThreads` with every signal blocked on the calling thread, so
// the threads it starts take none and a stop request reaches the main thread
// (cutting its wait short). Windows delivers console events on a thread of
// its own: there this just runs `startThreads`.
void startThreadsWithoutSignals(const std::function<void()>& startThreads);

} // namespace platform
