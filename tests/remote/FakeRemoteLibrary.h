// A stand-in for the remote-session libraries: scripted answers, recorded calls.
#pragma once

#include "remote/RemoteEngine.h"
#include "remote/RemoteLibrary.h"

#include <remote/RemoteApi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class FakeHandle : public RemoteHandle {
public:
    FakeHandle(Kind kind, int status, std::atomic<int>* alive)
        : m_kind(kind)
        , m_alive(alive)
        , statusValue(status)
    {
        ++*m_alive;
        if (kind == Kind::Listener)
            state = 1; // waiting for a client
    }
    ~FakeHandle() override { --*m_alive; }
    Kind kind() const override { return m_kind; }
    int status() override { return statusValue.load(); }
    SessionReading poll() override
    {
        ++polls;
        std::lock_guard<std::mutex> lock(mutex);
        SessionReading r = reading;
        r.state = state.load();
        return r;
    }
    void setDoIpMode(int mode) override { doip = mode; }

private:
    Kind m_kind;
    std::atomic<int>* m_alive;

public:
    std::atomic<int> statusValue;
    std::atomic<int> state{0};
    std::atomic<int> polls{0};
    std::atomic<int> doip{-1};
    std::mutex mutex;
    SessionReading reading;
};

class FakeRemoteLibrary : public RemoteLibrary {
public:
    bool available() const override { return true; }
    std::string problem() const override { return {}; }

    int lookup(const std::string& sn, const std::string& codeText, std::string& relay) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        lookups.push_back(sn + "/" + codeText);
        relay = lookupAnswer;
        return 0;
    }
    std::shared_ptr<RemoteHandle> connectRelay(
        const std::string& relay, const std::string& sn, const std::string& tag, int code) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        relayConnects.push_back(relay + "/" + sn + "/" + tag + "/" + std::to_string(code));
        if (!relayObject)
            return nullptr;
        auto h = std::make_shared<FakeHandle>(RemoteHandle::Kind::RelaySession, relayStatus, &alive);
        lastRelay = h;
        return h;
    }
    std::string relayAddress() override
    {
        ++relayAddressCalls;
        return relayAddressAnswer;
    }
    std::shared_ptr<RemoteHandle> connectClient(const std::string& address, std::uint16_t port, const std::string& sn,
        const std::string&, int code, const std::string& key) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        clientConnects.push_back(
            address + ":" + std::to_string(port) + "/" + sn + "/" + std::to_string(code) + "/" + key);
        auto h = std::make_shared<FakeHandle>(RemoteHandle::Kind::Client, clientStatus, &alive);
        lastClient = h;
        return h;
    }
    std::shared_ptr<RemoteHandle> listen(const std::string&, std::uint16_t port, int& status) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++listenCalls;
        listenPorts.push_back(port);
        status = listenStatus;
        if (listenNullTimes > 0) {
            --listenNullTimes;
            return nullptr;
        }
        auto h = std::make_shared<FakeHandle>(RemoteHandle::Kind::Listener, 1, &alive);
        lastListener = h;
        return h;
    }

    std::mutex m_mutex;
    // Scripts.
    std::string lookupAnswer = "127.0.0.9";
    bool relayObject = true;
    int relayStatus = BW_RELAY_CONNECTED;
    std::string relayAddressAnswer = "127.0.0.9";
    int clientStatus = BW_CLIENT_CONNECTED;
    int listenStatus = BW_LISTEN_OK;
    int listenNullTimes = 0;
    // Records.
    std::vector<std::string> lookups;
    std::vector<std::string> relayConnects;
    std::vector<std::string> clientConnects;
    std::vector<int> listenPorts;
    int listenCalls = 0;
    std::atomic<int> relayAddressCalls{0};
    std::atomic<int> alive{0};           // library objects not yet destroyed
    std::weak_ptr<FakeHandle> lastRelay; // weak: the engine owns its objects
    std::weak_ptr<FakeHandle> lastClient;
    std::weak_ptr<FakeHandle> lastListener;
};

// Engine hooks that do nothing and succeed; a case sets what it watches.
inline remote::RemoteEngine::Hooks quietHooks()
{
    remote::RemoteEngine::Hooks h;
    h.toast = [](const QString&, int) {};
    h.adapterTool = [](bool) {};
    h.postMode = [](std::uint8_t) {};
    h.remoteAdapterPresent = [] { return true; };
    h.sleep = [](std::chrono::milliseconds) { return true; };
    h.sendRecord = [](remote::RecordEvent, const QString&) {};
    h.showPage = [](int) {};
    h.device = [] { return remote::DeviceView(); };
    h.getRemoteKey = [](const remote::DeviceView&, std::string&) { return false; };
    h.setRemoteKey = [](const remote::DeviceView&, const std::string&) { return false; };
    return h;
}
