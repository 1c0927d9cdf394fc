#include "platform/StopRequests.h"

#include <windows.h>

namespace platform {
namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};

BOOL WINAPI onConsoleEvent(DWORD)
{
    if (std::atomic<bool>* flag = g_flag.load())
        flag->store(true);
    return TRUE; // the main loop sees the flag within its poll interval and stops cleanly
}

} // namespace

void catchStopRequests(std::atomic<bool>& flag)
{
    g_flag = &flag;
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void startThreadsWithoutSignals(const std::function<void()>& startThreads)
{
    startThreads();
}

} // namespace platform
