#include "Scheduler.h"

#include <chrono>
#include <condition_variable>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace vehicle {

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

struct Scheduler::Impl {
    // Events keyed by (simulated time, id): ids grow, so events due at the
    // same time run in the order they were made.
    using Key = std::pair<Micros, TimerId>;

    Clock::time_point origin = Clock::now();
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::map<Key, std::function<void()>> events;
    std::unordered_map<TimerId, Micros> due; // id -> time, for cancel()
    TimerId nextId = 1;
    bool running = false;
    bool stopping = false;
    bool stopped = false; // after stop(): posts are dropped
    std::thread thread;

    // Scheduler thread only: the event being run and its time.
    bool inEvent = false;
    Micros current = 0;

    Micros clock() const
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin).count();
    }

    TimerId add(Micros when, std::function<void()> fn)
    {
        const TimerId id = nextId++;
        events.emplace(Key{when, id}, std::move(fn));
        due.emplace(id, when);
        return id;
    }

    void run();
};

namespace {
// Which scheduler's loop runs on this thread, so now() can tell an event's
// own time from the wall clock without touching shared state.
thread_local const void* tlsRunning = nullptr;
} // namespace

void Scheduler::Impl::run()
{
    tlsRunning = this;
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (events.empty()) {
            wake.wait(lock);
            continue;
        }
        auto first = events.begin();
        const Micros when = first->first.first;
        if (when > clock()) {
            // Sleep until the event is due or something new arrives.
            wake.wait_until(lock, origin + std::chrono::microseconds(when));
            continue;
        }
        std::function<void()> fn = std::move(first->second);
        due.erase(first->first.second);
        events.erase(first);
        // An event never runs before an earlier one, so the simulated time
        // only moves forward even for posts stamped on another thread.
        if (when > current)
            current = when;
        inEvent = true;
        lock.unlock();
        fn();
        fn = nullptr; // captured state dies outside the lock as well
        lock.lock();
        inEvent = false;
    }
    tlsRunning = nullptr;
}

Scheduler::Scheduler()
    : m_impl(new Impl)
{
}

Scheduler::~Scheduler()
{
    stop();
    delete m_impl;
}

void Scheduler::start()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->running)
        return;
    m_impl->running = true;
    m_impl->stopping = false;
    m_impl->stopped = false;
    m_impl->thread = std::thread([this] { m_impl->run(); });
}

void Scheduler::stop()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (!m_impl->running)
            return;
        m_impl->stopping = true;
        m_impl->running = false;
        m_impl->stopped = true;
        thread = std::move(m_impl->thread);
    }
    m_impl->wake.notify_all();
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id())
        thread.join();
    else if (thread.joinable())
        thread.detach();
    std::map<Impl::Key, std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        dropped.swap(m_impl->events);
        m_impl->due.clear();
    }
}

Micros Scheduler::now() const
{
    if (tlsRunning == m_impl && m_impl->inEvent)
        return m_impl->current;
    return m_impl->clock();
}

Scheduler::TimerId Scheduler::at(Micros when, std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    const bool earliest = m_impl->events.empty() || when < m_impl->events.begin()->first.first;
    const TimerId id = m_impl->add(when, std::move(fn));
    if (earliest)
        m_impl->wake.notify_all();
    return id;
}

Scheduler::TimerId Scheduler::after(Micros delay, std::function<void()> fn)
{
    return at(now() + (delay > 0 ? delay : 0), std::move(fn));
}

void Scheduler::cancel(TimerId id)
{
    std::function<void()> dropped;
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    auto it = m_impl->due.find(id);
    if (it == m_impl->due.end())
        return;
    auto ev = m_impl->events.find(Impl::Key{it->second, id});
    if (ev != m_impl->events.end()) {
        dropped = std::move(ev->second);
        m_impl->events.erase(ev);
    }
    m_impl->due.erase(it);
}

void Scheduler::post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        if (m_impl->stopped)
            return;
        // Stamped with the wall clock: it runs after every event due by now.
        m_impl->add(m_impl->clock(), std::move(fn));
    }
    m_impl->wake.notify_all();
}

void Scheduler::call(const std::function<void()>& fn)
{
    if (tlsRunning == m_impl) {
        fn();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    {
        std::unique_lock<std::mutex> lock(m_impl->mutex);
        if (!m_impl->running) {
            // No thread to run it (not started, or stopped): the caller is
            // the only one touching the vehicle now.
            lock.unlock();
            fn();
            return;
        }
        m_impl->add(m_impl->clock(), [&fn, done] {
            fn();
            done->set_value();
        });
    }
    m_impl->wake.notify_all();
    // If the scheduler stops first the event is dropped and the promise
    // broken: get() throws and the call returns without having run.
    try {
        finished.get();
    } catch (const std::future_error&) {
    }
}

Micros Scheduler::clock() const
{
    return m_impl->clock();
}

} // namespace vehicle
