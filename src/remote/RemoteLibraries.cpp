// The remote-session libraries loaded at run time through platform::Library.
#include "remote/RemoteLibrary.h"

#include <platform/Library.h>
#include <platform/OsConventions.h>
#include <remote/RemoteApi.h>

#include <array>

namespace {

const char* const kSuffix = platform::sharedLibrarySuffix();

// The resolved exports; shared by every handle, so the libraries stay loaded
// while any object of theirs lives.
struct Exports {
    platform::Library server;
    platform::Library client;
    platform::Library listener;
    std::string problem;

    decltype(&ServerRemote_Lookup) srvLookup = nullptr;
    decltype(&ServerRemote_Connect) srvConnect = nullptr;
    decltype(&ServerRemote_Status) srvStatus = nullptr;
    decltype(&ServerRemote_State) srvState = nullptr;
    decltype(&ServerRemote_BytesB) srvBytesB = nullptr;
    decltype(&ServerRemote_BytesC) srvBytesC = nullptr;
    decltype(&ServerRemote_Delays) srvDelays = nullptr;
    decltype(&ServerRemote_SetDoIpMode) srvDoIp = nullptr;
    decltype(&ServerRemote_Destroy) srvDestroy = nullptr;

    decltype(&ClientRemote_RelayAddress) cliRelay = nullptr;
    decltype(&ClientRemote_Connect) cliConnect = nullptr;
    decltype(&ClientRemote_Status) cliStatus = nullptr;
    decltype(&ClientRemote_State) cliState = nullptr;
    decltype(&ClientRemote_BytesB) cliBytesB = nullptr;
    decltype(&ClientRemote_BytesC) cliBytesC = nullptr;
    decltype(&ClientRemote_Delays) cliDelays = nullptr;
    decltype(&ClientRemote_Destroy) cliDestroy = nullptr;

    decltype(&LocalServerRemote_Construct) lsConstruct = nullptr;
    decltype(&LocalServerRemote_Status) lsStatus = nullptr;
    decltype(&LocalServerRemote_State) lsState = nullptr;
    decltype(&LocalServerRemote_BytesB) lsBytesB = nullptr;
    decltype(&LocalServerRemote_BytesC) lsBytesC = nullptr;
    decltype(&LocalServerRemote_Delays) lsDelays = nullptr;
    decltype(&LocalServerRemote_SetDoIpMode) lsDoIp = nullptr;
    decltype(&LocalServerRemote_Destruct) lsDestruct = nullptr;

    bool serverOk = false;
    bool clientOk = false;
    bool listenerOk = false;
};

template <typename F>
bool take(platform::Library& lib, const char* name, F& out, std::string& problem)
{
    out = lib.resolveFunction<F>(name);
    if (!out) {
        problem += lib.errorString() + "; ";
        return false;
    }
    return true;
}

std::string cut(const char* text, std::size_t size)
{
    std::size_t n = 0;
    while (n < size && text[n] != '\0')
        ++n;
    return std::string(text, n);
}

class RelayHandle final : public RemoteHandle {
public:
    RelayHandle(std::shared_ptr<Exports> e, void* object)
        : m_e(std::move(e))
        , m_object(object)
    {
    }
    ~RelayHandle() override { m_e->srvDestroy(m_object); }
    Kind kind() const override { return Kind::RelaySession; }
    int status() override { return m_e->srvStatus(m_object); }
    SessionReading poll() override
    {
        SessionReading r;
        std::array<char, BW_REMOTE_STATE_TEXT_SIZE> t1{}, t2{};
        r.state = m_e->srvState(m_object, t1.data(), t2.data());
        r.peerText = cut(t2.data(), t2.size());
        m_e->srvDelays(m_object, &r.delayB, &r.delayC);
        r.bytesB = m_e->srvBytesB(m_object);
        r.bytesC = m_e->srvBytesC(m_object);
        return r;
    }
    void setDoIpMode(int mode) override { m_e->srvDoIp(m_object, mode); }

private:
    std::shared_ptr<Exports> m_e;
    void* m_object;
};

class ClientHandle final : public RemoteHandle {
public:
    ClientHandle(std::shared_ptr<Exports> e, void* object)
        : m_e(std::move(e))
        , m_object(object)
    {
    }
    ~ClientHandle() override { m_e->cliDestroy(m_object); }
    Kind kind() const override { return Kind::Client; }
    int status() override { return m_e->cliStatus(m_object); }
    SessionReading poll() override
    {
        SessionReading r;
        std::array<char, BW_REMOTE_PEER_TEXT_SIZE> peer{};
        r.state = m_e->cliState(m_object, peer.data());
        r.peerText = cut(peer.data(), peer.size());
        m_e->cliDelays(m_object, &r.delayB, &r.delayC);
        r.bytesB = m_e->cliBytesB(m_object);
        r.bytesC = m_e->cliBytesC(m_object);
        return r;
    }
    void setDoIpMode(int) override { }

private:
    std::shared_ptr<Exports> m_e;
    void* m_object;
};

class ListenerHandle final : public RemoteHandle {
public:
    ListenerHandle(std::shared_ptr<Exports> e, void* object)
        : m_e(std::move(e))
        , m_object(object)
    {
    }
    ~ListenerHandle() override { m_e->lsDestruct(m_object); }
    Kind kind() const override { return Kind::Listener; }
    int status() override { return m_e->lsStatus(m_object); }
    SessionReading poll() override
    {
        SessionReading r;
        std::array<char, 20> serial{};
        std::array<char, BW_REMOTE_STATE_TEXT_SIZE> t1{}, t2{};
        r.state = m_e->lsState(m_object, serial.data(), t1.data(), t2.data());
        r.serial = cut(serial.data(), serial.size());
        r.peerText = cut(t2.data(), t2.size());
        m_e->lsDelays(m_object, &r.delayB, &r.delayC);
        r.bytesB = m_e->lsBytesB(m_object);
        r.bytesC = m_e->lsBytesC(m_object);
        return r;
    }
    void setDoIpMode(int mode) override { m_e->lsDoIp(m_object, mode); }

private:
    std::shared_ptr<Exports> m_e;
    void* m_object;
};

class LoadedLibraries final : public RemoteLibrary {
public:
    explicit LoadedLibraries(std::shared_ptr<Exports> e)
        : m_e(std::move(e))
    {
    }

    bool available() const override { return m_e->serverOk && m_e->clientOk && m_e->listenerOk; }
    std::string problem() const override { return m_e->problem; }

    int lookup(const std::string& sn, const std::string& codeText, std::string& relay) override
    {
        relay.clear();
        if (!m_e->serverOk)
            return -1;
        std::array<char, BW_REMOTE_ADDRESS_SIZE> out{};
        const int rc = m_e->srvLookup(sn.c_str(), codeText.c_str(), out.data());
        relay = cut(out.data(), out.size());
        return rc;
    }
    std::shared_ptr<RemoteHandle> connectRelay(
        const std::string& relay, const std::string& sn, const std::string& tag, int code) override
    {
        if (!m_e->serverOk)
            return nullptr;
        void* object = m_e->srvConnect(relay.c_str(), sn.c_str(), tag.c_str(), code);
        return object ? std::make_shared<RelayHandle>(m_e, object) : nullptr;
    }
    std::string relayAddress() override
    {
        if (!m_e->clientOk)
            return {};
        std::array<char, BW_REMOTE_ADDRESS_SIZE> out{};
        if (m_e->cliRelay(out.data()) != 0)
            return {};
        return cut(out.data(), out.size());
    }
    std::shared_ptr<RemoteHandle> connectClient(const std::string& address, std::uint16_t port, const std::string& sn,
        const std::string& tag, int code, const std::string& key) override
    {
        if (!m_e->clientOk)
            return nullptr;
        void* object = m_e->cliConnect(address.c_str(), port, sn.c_str(), tag.c_str(), code, key.c_str());
        return object ? std::make_shared<ClientHandle>(m_e, object) : nullptr;
    }
    std::shared_ptr<RemoteHandle> listen(const std::string& tag, std::uint16_t port, int& status) override
    {
        status = BW_LISTEN_FAILED;
        if (!m_e->listenerOk)
            return nullptr;
        void* object = m_e->lsConstruct(tag.c_str(), port, &status);
        return object ? std::make_shared<ListenerHandle>(m_e, object) : nullptr;
    }

private:
    std::shared_ptr<Exports> m_e;
};

} // namespace

std::unique_ptr<RemoteLibrary> loadRemoteLibraries(const std::string& folder)
{
    auto e = std::make_shared<Exports>();
    auto path = [&](const char* name) { return folder + "/" + name + kSuffix; };

    if (e->server.load(path("ServerRemote"))) {
        std::string& p = e->problem;
        e->serverOk = take(e->server, "ServerRemote_Lookup", e->srvLookup, p)
            & take(e->server, "ServerRemote_Connect", e->srvConnect, p)
            & take(e->server, "ServerRemote_Status", e->srvStatus, p)
            & take(e->server, "ServerRemote_State", e->srvState, p)
            & take(e->server, "ServerRemote_BytesB", e->srvBytesB, p)
            & take(e->server, "ServerRemote_BytesC", e->srvBytesC, p)
            & take(e->server, "ServerRemote_Delays", e->srvDelays, p)
            & take(e->server, "ServerRemote_SetDoIpMode", e->srvDoIp, p)
            & take(e->server, "ServerRemote_Destroy", e->srvDestroy, p);
    } else {
        e->problem += e->server.errorString() + "; ";
    }
    if (e->client.load(path("ClientRemote"))) {
        std::string& p = e->problem;
        e->clientOk = take(e->client, "ClientRemote_RelayAddress", e->cliRelay, p)
            & take(e->client, "ClientRemote_Connect", e->cliConnect, p)
            & take(e->client, "ClientRemote_Status", e->cliStatus, p)
            & take(e->client, "ClientRemote_State", e->cliState, p)
            & take(e->client, "ClientRemote_BytesB", e->cliBytesB, p)
            & take(e->client, "ClientRemote_BytesC", e->cliBytesC, p)
            & take(e->client, "ClientRemote_Delays", e->cliDelays, p)
            & take(e->client, "ClientRemote_Destroy", e->cliDestroy, p);
    } else {
        e->problem += e->client.errorString() + "; ";
    }
    if (e->listener.load(path("LocalServerRemote"))) {
        std::string& p = e->problem;
        e->listenerOk = take(e->listener, "LocalServerRemote_Construct", e->lsConstruct, p)
            & take(e->listener, "LocalServerRemote_Status", e->lsStatus, p)
            & take(e->listener, "LocalServerRemote_State", e->lsState, p)
            & take(e->listener, "LocalServerRemote_BytesB", e->lsBytesB, p)
            & take(e->listener, "LocalServerRemote_BytesC", e->lsBytesC, p)
            & take(e->listener, "LocalServerRemote_Delays", e->lsDelays, p)
            & take(e->listener, "LocalServerRemote_SetDoIpMode", e->lsDoIp, p)
            & take(e->listener, "LocalServerRemote_Destruct", e->lsDestruct, p);
    } else {
        e->problem += e->listener.errorString() + "; ";
    }
    return std::make_unique<LoadedLibraries>(std::move(e));
}
