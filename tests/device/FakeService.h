// The service's end of the command block mailbox, played by a thread of the test.
#pragma once

#include "device/CommandBlock.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>

// Waits for a list request and answers it after `delay` by running `reply`
// on the block, then sets the request byte to 2 (unless told otherwise).
class FakeService {
public:
    FakeService(unsigned char* data, std::chrono::milliseconds delay, std::function<void(unsigned char*)> reply,
        bool answer = true)
        : m_thread([this, data, delay, reply, answer] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
            while (std::chrono::steady_clock::now() < deadline && !m_stop) {
                if (*static_cast<volatile unsigned char*>(data) == CommandBlock::ListRequest) {
                    std::this_thread::sleep_for(delay);
                    reply(data);
                    if (answer) {
                        std::atomic_thread_fence(std::memory_order_release);
                        *static_cast<volatile unsigned char*>(data) = CommandBlock::ListReply;
                    }
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        })
    {
    }
    ~FakeService()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

inline void putCount(unsigned char* data, std::uint32_t count)
{
    data[5] = count & 0xff;
    data[6] = (count >> 8) & 0xff;
    data[7] = (count >> 16) & 0xff;
    data[8] = (count >> 24) & 0xff;
}

inline void putEntry(unsigned char* data, int index, const char* serial)
{
    std::memcpy(data + 25 + 16 * index, serial, 16);
}
