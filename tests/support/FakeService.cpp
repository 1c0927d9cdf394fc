#include "support/FakeService.h"

namespace {
constexpr unsigned char kListRequest = 1;
constexpr unsigned char kListReply = 2;
} // namespace

FakeService::FakeService(
    unsigned char* data, std::chrono::milliseconds delay, std::function<void(unsigned char*)> reply, bool answer)
    : m_thread([this, data, delay, reply, answer] {
        auto* request = static_cast<volatile unsigned char*>(data);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < deadline && !m_stop) {
            if (*request == kListRequest) {
                std::this_thread::sleep_for(delay);
                reply(data);
                if (answer) {
                    std::atomic_thread_fence(std::memory_order_release);
                    *request = kListReply;
                }
                return;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    })
{
}

FakeService::~FakeService()
{
    m_stop = true;
    m_thread.join();
}
