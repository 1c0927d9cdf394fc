// The cross-process wake-up: a signal from another process or from a
// separate open wakes a waiter, a wait without one times out, and a signal
// given before the wait is not lost.
#include "TestHarness.h"

#include "platform/NamedEvent.h"
#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <atomic>

#ifndef _WIN32
#include <csignal>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace platform;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Child mode: open the event and signal it once.
int signalEvent(const std::string& name)
{
    NamedEvent event;
    if (!event.open(name))
        return 2;
    return event.signal() ? 0 : 3;
}

std::string freshName()
{
    return "Global\\bwevent" + th::uniqueSuffix() + "Event";
}

long long msSince(Clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

} // namespace

TEST_CASE(signal_from_another_process_wakes_the_waiter)
{
    const std::string name = freshName();
    NamedEvent event;
    CHECK(event.create(name));
    CHECK(startDetached(modulePath(), {"--signal", name}) > 0);
    CHECK(event.wait(30s));
    CHECK(!event.wait(20ms)); // auto-reset: used up by the first wait
    NamedEvent::remove(name);
}

TEST_CASE(signal_through_a_separate_open_wakes_a_blocked_waiter_at_once)
{
    const std::string name = freshName();
    NamedEvent owner;
    CHECK(owner.create(name));
    std::atomic<bool> woke{false};
    std::atomic<long long> waitedMs{-1};
    std::atomic<bool> opened{false};
    std::thread waiter([&] {
        NamedEvent other;
        opened = other.open(name);
        const auto t0 = Clock::now();
        woke = other.wait(20s);
        waitedMs = msSince(t0);
    });
    std::this_thread::sleep_for(200ms); // let the waiter block
    const auto t0 = Clock::now();
    CHECK(owner.signal());
    waiter.join();
    CHECK(opened);
    CHECK(woke);
    CHECK(waitedMs >= 150);    // it was really waiting...
    CHECK(msSince(t0) < 5000); // ...and the signal, not the time-out, ended it
    NamedEvent::remove(name);
}

TEST_CASE(wait_without_signal_times_out)
{
    const std::string name = freshName();
    NamedEvent event;
    CHECK(event.create(name));
    const auto t0 = Clock::now();
    CHECK(!event.wait(120ms));
    CHECK(msSince(t0) >= 100);
    CHECK(!event.wait(0ms));
    NamedEvent::remove(name);
}

TEST_CASE(signals_before_the_wait_are_kept_and_count_once)
{
    const std::string name = freshName();
    NamedEvent owner;
    CHECK(owner.create(name));
    NamedEvent other;
    CHECK(other.open(name));
    CHECK(other.signal());
    CHECK(other.signal());
    CHECK(owner.wait(0ms));
    CHECK(!owner.wait(30ms));
    // A second create (a restarted owner) keeps a signal nobody took yet.
    CHECK(other.signal());
    NamedEvent again;
    CHECK(again.create(name));
    CHECK(again.wait(0ms));
    NamedEvent::remove(name);
}

TEST_CASE(a_removed_or_replaced_event_is_no_longer_named)
{
    const std::string name = freshName();
    NamedEvent owner;
    CHECK(owner.create(name));
    NamedEvent reader;
    CHECK(reader.open(name));
    CHECK(reader.stillNamed());
    NamedEvent::remove(name);
#ifndef _WIN32
    // The owner stopped: the reader has to look for the name again.
    CHECK(!reader.stillNamed());
    NamedEvent restarted;
    CHECK(restarted.create(name));
    CHECK(!reader.stillNamed()); // a new object under the old name
    CHECK(reader.open(name));
    CHECK(reader.stillNamed());
    CHECK(restarted.signal());
    CHECK(reader.wait(1s)); // and the reopened handle hears the new owner
    NamedEvent::remove(name);
#else
    CHECK(reader.stillNamed()); // the object lives while a handle is open
#endif
    NamedEvent closed;
    CHECK(!closed.stillNamed());
}

TEST_CASE(missing_or_closed_events_refuse_without_spinning)
{
    NamedEvent event;
    CHECK(!event.open(freshName()));
    CHECK(!event.error().empty());
    CHECK(!event.isOpen());
    CHECK(!event.signal());
    const auto t0 = Clock::now();
    CHECK(!event.wait(60ms));
    CHECK(msSince(t0) >= 50); // a caller's loop around wait() cannot spin
}

#ifndef _WIN32
TEST_CASE(a_signal_handler_on_the_waiting_thread_ends_the_wait)
{
    const std::string name = freshName();
    NamedEvent event;
    CHECK(event.create(name));
    struct sigaction sa { };
    sa.sa_handler = [](int) {};
    sigemptyset(&sa.sa_mask);
    struct sigaction old { };
    CHECK(::sigaction(SIGUSR1, &sa, &old) == 0); // no SA_RESTART, as the service's stop handler
    std::atomic<bool> waiting{false};
    std::atomic<long long> waitedMs{-1};
    std::thread waiter([&] {
        waiting = true;
        const auto t0 = Clock::now();
        event.wait(30s);
        waitedMs = msSince(t0);
    });
    CHECK(th::waitFor([&] { return waiting.load(); }));
    std::this_thread::sleep_for(100ms); // let it block
    ::pthread_kill(waiter.native_handle(), SIGUSR1);
    waiter.join();
    ::sigaction(SIGUSR1, &old, nullptr);
    CHECK(waitedMs >= 0 && waitedMs < 10000);
    NamedEvent::remove(name);
}

TEST_CASE(event_object_is_private_and_damage_is_refused)
{
    const std::string name = freshName();
    NamedEvent event;
    CHECK(event.create(name));
    const std::string file = "/dev/shm" + SharedMemory::nativeName(name);
    struct stat st { };
    CHECK(::stat(file.c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 077, 0u);
    // Another process of the user shrinks the object: no SIGBUS, a clear error.
    CHECK(::truncate(file.c_str(), 0) == 0);
    CHECK(!event.signal());
    const auto t0 = Clock::now();
    CHECK(!event.wait(40ms));
    CHECK(msSince(t0) >= 30);
    NamedEvent other;
    CHECK(!other.open(name));
    NamedEvent::remove(name);
}
#endif

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--signal")
        return signalEvent(argv[2]);
    return th::runAll();
}
