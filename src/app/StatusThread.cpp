#include "app/StatusThread.h"

#include <platform/LogFile.h>

StatusThread::StatusThread(std::function<void()> pass, std::chrono::milliseconds period)
    : m_pass(std::move(pass))
    , m_period(period)
{
}

StatusThread::~StatusThread()
{
    stop();
}

void StatusThread::start()
{
    m_quit = false;
    m_thread = std::thread([this] {
        platform::setThreadName("status"); // shown in log lines
        run();
    });
}

void StatusThread::wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_wake = true;
    }
    m_cv.notify_all();
}

void StatusThread::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_wake = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void StatusThread::run()
{
    while (!m_quit.load()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_wake = false;
        }
        if (m_pass)
            m_pass();
        ++m_passes;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, m_period, [this] { return m_wake || m_quit.load(); });
    }
}
