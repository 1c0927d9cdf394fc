#include "kit/DialogSeam.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

struct SeamState {
    QMutex mutex;
    DialogSeam::Answerer answerer;
    QList<DialogSeam::Request> requests;
};

SeamState& state()
{
    static SeamState s;
    return s;
}

} // namespace

void DialogSeam::install(Answerer answerer)
{
    QMutexLocker lock(&state().mutex);
    state().answerer = std::move(answerer);
}

void DialogSeam::answerAlways(int answer)
{
    install([answer](const Request&) { return answer; });
}

void DialogSeam::clear()
{
    QMutexLocker lock(&state().mutex);
    state().answerer = nullptr;
    state().requests.clear();
}

bool DialogSeam::active()
{
    QMutexLocker lock(&state().mutex);
    return static_cast<bool>(state().answerer);
}

QList<DialogSeam::Request> DialogSeam::requests()
{
    QMutexLocker lock(&state().mutex);
    return state().requests;
}

void DialogSeam::clearRequests()
{
    QMutexLocker lock(&state().mutex);
    state().requests.clear();
}

int DialogSeam::answer(const Request& request)
{
    Answerer answerer;
    {
        QMutexLocker lock(&state().mutex);
        state().requests.append(request);
        answerer = state().answerer;
    }
    // Called outside the lock so that an answerer may inspect the seam.
    return answerer ? answerer(request) : 0;
}
