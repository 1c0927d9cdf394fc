// Runs the background workers of one owner (the main window, a subsystem):
// each worker gets the group's stop flag, waits through the group so that a
// stop ends its wait at once, and is joined when the group stops. Nothing a
// group started outlives its owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class WorkerGroup {
public:
    WorkerGroup() = default;
    ~WorkerGroup();
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    // Starts `job` on a thread of its own; `interrupt`, when given, is called
    // once when the group stops, to end a wait the job does on its own.
    // Workers that have finished are joined here, so a group that starts one
    // thread per operation does not collect them. Throws std::system_error
    // when no thread can be created; does nothing once the group stopped.
    void start(std::string name, std::function<void()> job, std::function<void()> interrupt = {});

    // Sets the stop flag, interrupts every wait and joins every worker.
    // Idempotent; the group starts nothing afterwards.
    void stopAndJoin();

    bool stopping() const { return m_stopping.load(); }
    // Waits for `duration` or until the group stops; false when it stopped.
    bool sleepFor(std::chrono::milliseconds duration);
    // Waits, without waking up on its own, until `ready` returns true or the
    // group stops; false when it stopped. `ready` is checked under the group's
    // lock at the start and after every wake(), so whoever makes it true must
    // call wake() afterwards.
    bool waitUntil(const std::function<bool()>& ready);
    // Makes the workers in waitUntil() look at their condition again.
    void wake();

    // Workers started and not yet joined (tests).
    std::size_t size() const;

private:
    struct Worker {
        std::string name;
        std::thread thread;
        std::function<void()> interrupt;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reapFinished();

    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::list<Worker> m_workers;
    std::atomic<bool> m_stopping{false};
};
