// The service's end of the command block mailbox, played by a thread of the test.
#pragma once

#include "support/TestBlocks.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// Waits (at most three seconds) for a list request and answers it after
// `delay` by running `reply` on the block, then sets the request byte to 2
// unless `answer` is false.
class FakeService {
public:
    FakeService(unsigned char* data, std::chrono::milliseconds delay, std::function<void(unsigned char*)> reply,
        bool answer = true);
    ~FakeService();

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
