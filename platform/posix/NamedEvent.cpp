// A futex word in a shared-memory object of its own. The object holds two
// 32-bit words: the signal (0 or 1) and the number of waiters, so a signal
// costs no system call while nobody waits.
#include "platform/NamedEvent.h"

#include "platform/SharedMemory.h"

#include "MappingGuard.h"
#include "NamedObject.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

struct State {
    std::atomic<std::uint32_t> signalled;
    std::atomic<std::uint32_t> waiters;
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "futex words must be plain 32-bit words");

constexpr std::size_t kObjectSize = 64;

std::string systemError(const std::string& what, const std::string& name)
{
    return what + "(" + name + "): " + std::strerror(errno);
}

// Shared (not process-private) futex calls: the word lives in a mapping that
// other processes see.
long futexWait(std::atomic<std::uint32_t>* word, std::uint32_t expected, const timespec* relative)
{
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAIT, expected, relative, nullptr, 0);
}

void futexWake(std::atomic<std::uint32_t>* word, int count)
{
    ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), FUTEX_WAKE, count, nullptr, nullptr, 0);
}

} // namespace

NamedEvent::~NamedEvent()
{
    close();
}

bool NamedEvent::create(const std::string& name)
{
    close();
    m_error.clear();
    const std::string native = SharedMemory::nativeName(name);
    const int fd = ::shm_open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        m_error = systemError("shm_open", native);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0
        || (static_cast<std::size_t>(st.st_size) < kObjectSize
            && ::ftruncate(fd, static_cast<off_t>(kObjectSize)) != 0)) {
        m_error = systemError("ftruncate", native);
        ::close(fd);
        return false;
    }
    return adopt(fd, native);
}

bool NamedEvent::open(const std::string& name)
{
    close();
    m_error.clear();
    const std::string native = SharedMemory::nativeName(name);
    const int fd = ::shm_open(native.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
        m_error = systemError("shm_open", native);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < sizeof(State)) {
        m_error = "event " + native + " is not an event object";
        ::close(fd);
        return false;
    }
    return adopt(fd, native);
}

// Maps the event object behind `fd`, which it owns from here on.
bool NamedEvent::adopt(int fd, const std::string& native)
{
    void* p = ::mmap(nullptr, kObjectSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        m_error = systemError("mmap", native);
        ::close(fd);
        return false;
    }
    m_state = p;
    m_guard = detail::guardMapping(p, kObjectSize); // a shrunk object must not kill us
    m_fd = fd;
    m_native = native;
    return true;
}

void NamedEvent::close()
{
    detail::unguardMapping(m_guard);
    m_guard = -1;
    if (m_state)
        ::munmap(m_state, kObjectSize);
    if (m_fd >= 0)
        ::close(m_fd);
    m_state = nullptr;
    m_fd = -1;
}

bool NamedEvent::remove(const std::string& name)
{
    return ::shm_unlink(SharedMemory::nativeName(name).c_str()) == 0;
}

bool NamedEvent::isOpen() const
{
    return m_state != nullptr;
}

bool NamedEvent::stillNamed() const
{
    if (m_fd < 0)
        return false;
    return detail::nameStillRefersTo(m_native, m_fd);
}

// Any process of the same user can shrink the object; touching a mapped page
// past its end would raise SIGBUS, so the size is checked before each use.
bool NamedEvent::usable() const
{
    if (!m_state)
        return false;
    struct stat st { };
    return ::fstat(m_fd, &st) == 0 && static_cast<std::size_t>(st.st_size) >= sizeof(State);
}

bool NamedEvent::signal()
{
    if (!usable())
        return false;
    State* s = static_cast<State*>(m_state);
    // Paired with the waiter's increment-then-check: either the waiter sees
    // the signal or this side sees the waiter.
    s->signalled.store(1, std::memory_order_seq_cst);
    if (s->waiters.load(std::memory_order_seq_cst) != 0)
        futexWake(&s->signalled, 1);
    return true;
}

bool NamedEvent::wait(std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    if (!usable()) {
        std::this_thread::sleep_until(deadline);
        return false;
    }
    State* s = static_cast<State*>(m_state);
    s->waiters.fetch_add(1, std::memory_order_seq_cst);
    bool got = false;
    for (;;) {
        if (s->signalled.exchange(0, std::memory_order_seq_cst) != 0) {
            got = true;
            break;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero())
            break;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec relative{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        // Returns at once when the word is no longer 0 (EAGAIN), on a wake,
        // on a signal handler (EINTR) or at the time-out; the loop re-checks.
        // After a signal handler ran, the caller gets to look at its flags.
        if (futexWait(&s->signalled, 0, &relative) != 0 && errno == EINTR) {
            got = s->signalled.exchange(0, std::memory_order_seq_cst) != 0;
            break;
        }
    }
    s->waiters.fetch_sub(1, std::memory_order_seq_cst);
    return got;
}

} // namespace platform
