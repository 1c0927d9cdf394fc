// Waiting on a simulation scheduler's thread from a test: `done` is asked on
// that thread (where the simulated state lives) until it says so, within a
// bounded number of real-time rounds.
#pragma once

#include <QTest>

#include <functional>

template <typename Scheduler>
bool waitOnScheduler(Scheduler& s, const std::function<bool()>& done, int timeoutMs = 10000)
{
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        bool ok = false;
        s.call([&] { ok = done(); });
        if (ok)
            return true;
        QTest::qWait(10);
    }
    return false;
}
