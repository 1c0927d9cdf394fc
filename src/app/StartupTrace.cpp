#include "app/StartupTrace.h"

#include <chrono>
#include <ctime>
#include <mutex>

Q_LOGGING_CATEGORY(lcStartup, "brindlewick.shell.startup", QtInfoMsg)

namespace {

using Clock = std::chrono::steady_clock;

struct Trace {
    std::mutex mutex;
    bool begun = false;
    Clock::time_point zero;
    Clock::time_point previous;
};

Trace& trace()
{
    static Trace t;
    return t;
}

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

namespace StartupTrace {

void begin()
{
    Trace& t = trace();
    const Clock::time_point now = Clock::now();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.begun = true;
        t.zero = now;
        t.previous = now;
    }
    if (lcStartup().isDebugEnabled())
        qCDebug(lcStartup, "main entered after %.1f ms of CPU time", 1000.0 * double(std::clock()) / CLOCKS_PER_SEC);
}

void mark(const char* step, const char* detail)
{
    if (!lcStartup().isDebugEnabled())
        return;
    Trace& t = trace();
    const Clock::time_point now = Clock::now();
    double total = 0;
    double delta = 0;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        if (!t.begun) {
            t.begun = true;
            t.zero = now;
            t.previous = now;
        }
        total = msBetween(t.zero, now);
        delta = msBetween(t.previous, now);
        t.previous = now;
    }
    qCDebug(lcStartup, "%7.1f ms (+%6.1f) %s%s%s", total, delta, step, detail ? " " : "", detail ? detail : "");
}

} // namespace StartupTrace
