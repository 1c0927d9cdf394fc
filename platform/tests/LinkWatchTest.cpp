// The link watch reports a link that comes up, stays asleep without one, and
// stops at once. A link can only be changed with network rights, so the
// change is made in a network namespace of its own (a child process in a new
// user and network namespace, where bringing up its loopback link is allowed).
#include "TestHarness.h"

#include "platform/LinkWatch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#ifndef _WIN32
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace platform;
using namespace std::chrono_literals;

namespace {

struct Reports {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
    void add()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++count;
        }
        cv.notify_all();
    }
    bool waitFor(int atLeast, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, limit, [&] { return count >= atLeast; });
    }
};

#ifndef _WIN32
// Child: in a namespace of its own, watch, bring loopback up, and report
// through the exit code: 0 seen, 1 not seen, 2 no watch, 77 no namespace.
int childBringsLoopbackUp()
{
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return 77;
    Reports reports;
    LinkWatch watch([&reports] { reports.add(); });
    if (!watch.start())
        return 2;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (fd < 0 || ::ioctl(fd, SIOCGIFFLAGS, &request) != 0)
        return 77;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    if (::ioctl(fd, SIOCSIFFLAGS, &request) != 0)
        return 77;
    ::close(fd);
    const bool seen = reports.waitFor(1, 10s);
    const auto t0 = std::chrono::steady_clock::now();
    watch.stop();
    const bool stoppedAtOnce = std::chrono::steady_clock::now() - t0 < 2s;
    return seen && stoppedAtOnce ? 0 : 1;
}
#endif

} // namespace

TEST_CASE(a_link_that_comes_up_is_reported)
{
#ifdef _WIN32
    SKIP("the Windows watch compares the adapter list; links cannot be changed in a test");
#else
    const pid_t child = ::fork();
    CHECK(child >= 0);
    if (child == 0)
        ::_exit(childBringsLoopbackUp());
    int status = 0;
    CHECK(::waitpid(child, &status, 0) == child);
    CHECK(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        SKIP("no network namespace of its own may be made here");
    CHECK_EQ(WEXITSTATUS(status), 0);
#endif
}

TEST_CASE(a_watch_starts_once_and_stops_at_once)
{
    Reports reports;
    LinkWatch watch([&reports] { reports.add(); });
    CHECK(watch.start());
    CHECK(watch.running());
    CHECK(watch.start()); // a second start keeps the running watch
    const auto t0 = std::chrono::steady_clock::now();
    watch.stop();
    CHECK(std::chrono::steady_clock::now() - t0 < 2s);
    CHECK(!watch.running());
    watch.stop(); // idempotent
}

int main()
{
    return th::runAll();
}
