// The adapter list compared every two seconds on a thread of its own.
#include "platform/LinkWatch.h"

#include "platform/NetAdapters.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

namespace {
bool sameAdapters(const std::vector<NetAdapter>& a, const std::vector<NetAdapter>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].ipv4 != b[i].ipv4 || a[i].mac != b[i].mac)
            return false;
    return true;
}
} // namespace

struct LinkWatch::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool stopping = false;
    std::thread thread;
};

LinkWatch::LinkWatch(std::function<void()> changed)
    : m_changed(std::move(changed))
{
}

LinkWatch::~LinkWatch()
{
    stop();
}

bool LinkWatch::running() const
{
    return m_state != nullptr;
}

bool LinkWatch::start()
{
    if (m_state)
        return true;
    m_state = std::make_unique<State>();
    State* state = m_state.get();
    std::function<void()> changed = m_changed;
    state->thread = std::thread([state, changed] {
        std::vector<NetAdapter> last = listAdapters();
        std::unique_lock<std::mutex> lock(state->mutex);
        while (!state->cv.wait_for(lock, std::chrono::seconds(2), [state] { return state->stopping; })) {
            lock.unlock();
            std::vector<NetAdapter> now = listAdapters();
            if (!sameAdapters(now, last)) {
                last = std::move(now);
                if (changed)
                    changed();
            }
            lock.lock();
        }
    });
    return true;
}

void LinkWatch::stop()
{
    if (!m_state)
        return;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->stopping = true;
    }
    m_state->cv.notify_all();
    if (m_state->thread.joinable())
        m_state->thread.join();
    m_state.reset();
}

} // namespace platform
