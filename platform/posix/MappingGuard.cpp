#include "MappingGuard.h"

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>

namespace platform::detail {
namespace {

// Lock-free, because the signal handler reads it.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};

constexpr int kSlots = 64;
Slot g_slots[kSlots];
struct sigaction g_previous;
std::once_flag g_installed;

void onBusError(int sig, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& slot : g_slots) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin == 0 || address < begin || address >= end)
            continue;
        void* p = ::mmap(reinterpret_cast<void*>(begin), end - begin, PROT_READ | PROT_WRITE,
            MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (p != MAP_FAILED) {
            slot.faulted.store(true, std::memory_order_release);
            return; // the access is retried on the zero pages
        }
        break;
    }
    // Not one of ours: whatever would have happened without us.
    if ((g_previous.sa_flags & SA_SIGINFO) && g_previous.sa_sigaction) {
        g_previous.sa_sigaction(sig, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(sig);
        return;
    }
    struct sigaction fallback { };
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGBUS, &fallback, nullptr); // the retried access ends the process as it would have
}

void install()
{
    struct sigaction action { };
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &g_previous);
}

} // namespace

int guardMapping(void* begin, std::size_t size)
{
    std::call_once(g_installed, install);
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto b = reinterpret_cast<std::uintptr_t>(begin);
    const std::uintptr_t e = b + (size + page - 1) / page * page;
    for (int i = 0; i < kSlots; ++i) {
        std::uintptr_t expected = 0;
        // Claim the slot through `end` first, so the handler never sees a
        // begin without its end.
        if (g_slots[i].end.compare_exchange_strong(expected, e, std::memory_order_acq_rel)) {
            g_slots[i].faulted.store(false, std::memory_order_relaxed);
            g_slots[i].begin.store(b, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unguardMapping(int slot)
{
    if (slot < 0 || slot >= kSlots)
        return;
    g_slots[slot].begin.store(0, std::memory_order_release);
    g_slots[slot].faulted.store(false, std::memory_order_relaxed);
    g_slots[slot].end.store(0, std::memory_order_release);
}

bool mappingFaulted(int slot)
{
    return slot >= 0 && slot < kSlots && g_slots[slot].faulted.load(std::memory_order_acquire);
}

} // namespace platform::detail
