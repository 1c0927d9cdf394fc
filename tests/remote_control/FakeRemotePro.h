// A stand-in for the device-control library's object: scripted answers,
// recorded calls.
#pragma once

#include "remote/RemotePro.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

class FakeRemotePro : public remote::IRemotePro {
public:
    struct Open {
        std::uint32_t protocol;
        std::vector<std::uint32_t> pins;
        std::uint32_t can;
        std::uint32_t canFd;
    };

    int connect(const std::string& relay, const std::string& sn, const std::string& tag, int code) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        connects.push_back(relay + "/" + sn + "/" + tag + "/" + std::to_string(code));
        return connectResult;
    }
    void disconnect() override { ++disconnects; }
    int openCanChannel(std::uint32_t protocol, const std::uint32_t* pins, std::uint32_t pinCount, std::uint32_t canBaud,
        std::uint32_t canFdBaud, std::uint32_t* channelId) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        opens.push_back({protocol, std::vector<std::uint32_t>(pins, pins + pinCount), canBaud, canFdBaud});
        *channelId = nextChannel++;
        return 0;
    }
    void start(int on) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        starts.push_back(on);
    }
    void state(std::int32_t* s, char* text1, char* text2) override
    {
        ++stateCalls;
        lastStateArgs = {s, text1, text2};
        *s = stateValue.load();
        std::strcpy(text1, "bridging");
        std::lock_guard<std::mutex> lock(mutex);
        std::strcpy(text2, peerText.c_str());
    }
    void bytesB(std::uint64_t* bytes) override
    {
        lastBytesB = bytes;
        *bytes = bytesBValue;
    }
    void bytesC(std::uint64_t* bytes) override
    {
        lastBytesC = bytes;
        *bytes = bytesCValue;
    }
    void delays(std::int32_t* b, std::int32_t* c) override
    {
        lastDelays = {b, c};
        *b = delayBValue;
        *c = delayCValue;
    }

    std::mutex mutex;
    int connectResult = 0;
    std::uint32_t nextChannel = 41;
    std::atomic<int> stateValue{0};
    std::uint64_t bytesBValue = 2048;
    std::uint64_t bytesCValue = 5 * 1048576ULL;
    std::int32_t delayBValue = 12;
    std::int32_t delayCValue = 47;
    std::string peerText = "relay 127.0.0.9"; // under `mutex`, at most 31 characters

    std::vector<std::string> connects;
    std::vector<Open> opens;
    std::vector<int> starts;
    std::atomic<int> disconnects{0};
    std::atomic<int> stateCalls{0};
    std::vector<void*> lastStateArgs;
    std::uint64_t* lastBytesB = nullptr;
    std::uint64_t* lastBytesC = nullptr;
    std::vector<std::int32_t*> lastDelays;
};
