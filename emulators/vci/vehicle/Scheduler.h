// The emulator's vehicle clock and event loop: one thread runs every bus,
// ECU and pass-thru channel of the emulator, in order of simulated time
// (microseconds). Work from other threads (the network side, the control
// port) enters through post(). Nothing runs while nothing is due: the thread
// sleeps until the next event or the next post.
#pragma once

#include <cstdint>
#include <functional>

namespace vehicle {

using Micros = std::int64_t; // µs since the scheduler was made

class Scheduler {
public:
    using TimerId = std::uint64_t;

    Scheduler();
    ~Scheduler(); // stops and joins the thread
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void start(); // starts the thread
    void stop();  // ends the thread; pending events are dropped

    // Scheduler thread only (or before start()):
    Micros now() const; // the simulated time of the event being run (the clock outside one)
    TimerId at(Micros when, std::function<void()> fn);
    TimerId after(Micros delay, std::function<void()> fn);
    void cancel(TimerId id); // unknown or fired ids are ignored

    // Any thread: runs fn on the scheduler thread as soon as possible.
    void post(std::function<void()> fn);
    // Any thread: runs fn on the scheduler thread and waits for it (not from
    // the scheduler thread itself).
    void call(const std::function<void()>& fn);

    // The wall clock in the scheduler's units.
    Micros clock() const;

private:
    struct Impl;
    Impl* m_impl;
};

} // namespace vehicle
