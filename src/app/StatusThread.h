// The main window's status thread: runs one pass, then waits on a condition
// variable for at most one second or until woken; ends when asked to quit and
// is joined by its owner.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class StatusThread {
public:
    explicit StatusThread(std::function<void()> pass, std::chrono::milliseconds period = std::chrono::seconds(1));
    ~StatusThread();
    StatusThread(const StatusThread&) = delete;
    StatusThread& operator=(const StatusThread&) = delete;

    // Throws std::system_error when the thread cannot be created.
    void start();
    // Runs the next pass now instead of at the end of the current wait.
    void wake();
    // Sets quit, wakes the thread and joins it. Safe to call twice.
    void stop();
    bool running() const { return m_thread.joinable(); }
    // Passes run so far (for tests and benchmarks).
    unsigned long passes() const { return m_passes.load(); }

private:
    void run();

    std::function<void()> m_pass;
    std::chrono::milliseconds m_period;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::atomic<bool> m_quit{false};
    bool m_wake = false; // guarded by m_mutex
    std::atomic<unsigned long> m_passes{0};
};
