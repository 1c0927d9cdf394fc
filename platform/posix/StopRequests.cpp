#include "platform/StopRequests.h"

#include <csignal>
#include <pthread.h>

namespace platform {
namespace {

std::atomic<std::atomic<bool>*> g_flag{nullptr};

void onStopSignal(int)
{
    if (std::atomic<bool>* flag = g_flag.load())
        flag->store(true);
}

} // namespace

void catchStopRequests(std::atomic<bool>& flag)
{
    g_flag = &flag;
    struct sigaction sa { };
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void startThreadsWithoutSignals(const std::function<void()>& startThreads)
{
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    startThreads();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

} // namespace platform
