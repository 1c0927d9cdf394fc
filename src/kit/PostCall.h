// Runs a function later on the thread of a context object, from any thread.
//
// Qt hands a queued call to the receiving thread under its own locks, which
// a thread checker cannot see when Qt itself is not instrumented; the call's
// state then looks unsynchronised. postCall builds and queues the call under
// a mutex the receiving side also takes before it reads that state, so the
// hand-over is visible to the checker as well as correct.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <mutex>
#include <utility>

namespace appkit {

std::mutex& postCallMutex();

// Queues `fn` to `context`'s thread; Qt drops it if `context` is deleted first.
template <typename F>
void postCall(QObject* context, F fn)
{
    std::lock_guard<std::mutex> lock(postCallMutex());
    QMetaObject::invokeMethod(
        context,
        [fn = std::move(fn)]() mutable {
            {
                std::lock_guard<std::mutex> seen(postCallMutex());
            }
            fn();
        },
        Qt::QueuedConnection);
}

} // namespace appkit
