#include "kit/WorkerGroup.h"

#include <platform/LogFile.h>

WorkerGroup::~WorkerGroup()
{
    stopAndJoin();
}

void WorkerGroup::start(std::string name, std::function<void()> job, std::function<void()> interrupt)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stopping)
        return;
    reapFinished();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([job = std::move(job), done, threadName = name] {
        platform::setThreadName(threadName); // shown in log lines
        job();
        done->store(true);
    });
    m_workers.push_back(Worker{std::move(name), std::move(thread), std::move(interrupt), std::move(done)});
}

void WorkerGroup::reapFinished()
{
    for (auto it = m_workers.begin(); it != m_workers.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = m_workers.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkerGroup::stopAndJoin()
{
    std::list<Worker> workers;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        workers.swap(m_workers);
    }
    m_cv.notify_all();
    for (Worker& w : workers) {
        if (w.interrupt)
            w.interrupt();
    }
    for (Worker& w : workers) {
        if (w.thread.joinable())
            w.thread.join();
    }
}

bool WorkerGroup::sleepFor(std::chrono::milliseconds duration)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_cv.wait_for(lock, duration, [this] { return m_stopping.load(); });
}

bool WorkerGroup::waitUntil(const std::function<bool()>& ready)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this, &ready] { return m_stopping.load() || ready(); });
    return !m_stopping.load();
}

void WorkerGroup::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
    }
    m_cv.notify_all();
}

std::size_t WorkerGroup::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_workers.size();
}
