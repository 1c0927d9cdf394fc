// The three remote-session libraries (ServerRemote, ClientRemote,
// LocalServerRemote) as the manager uses them: one small interface, so the
// session logic runs against a fake in tests and against the real libraries,
// loaded from the program's folder, in the program.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// What one poll of a session object reports.
struct SessionReading {
    int state = -1;           // relay / listener: 0 alive; client: 1 linked, 2 connecting
    std::int32_t delayB = -1; // ms, -1 unknown
    std::int32_t delayC = -1;
    std::uint64_t bytesB = 0;
    std::uint64_t bytesC = 0;
    std::string peerText;
    std::string serial; // listener: the linked C-end adapter's serial
};

// One library object: a relay session, a registration / P2P connection, or a
// P2P listener. Destroying the handle destroys the library's object.
class RemoteHandle {
public:
    enum class Kind { RelaySession, Client, Listener, DeviceControl };
    virtual ~RemoteHandle() = default;
    virtual Kind kind() const = 0;
    // The connection status the library keeps updating after the connect call.
    virtual int status() = 0;
    // State, delays and counters in one poll.
    virtual SessionReading poll() = 0;
    virtual void setDoIpMode(int mode) = 0;
};

class RemoteLibrary {
public:
    virtual ~RemoteLibrary() = default;

    // Whether the libraries could be loaded; a missing one makes its calls fail.
    virtual bool available() const = 0;
    // What is missing, for the log (English).
    virtual std::string problem() const = 0;

    // ServerRemote: which relay serves `sn`; `relay` empty = not online.
    virtual int lookup(const std::string& sn, const std::string& codeText, std::string& relay) = 0;
    // ServerRemote: a relay session (null for bad arguments).
    virtual std::shared_ptr<RemoteHandle> connectRelay(
        const std::string& relay, const std::string& sn, const std::string& tag, int code)
        = 0;
    // ClientRemote: the relay this machine registers with; "" when unknown.
    virtual std::string relayAddress() = 0;
    // ClientRemote: registration (relay port) or P2P link (any other port).
    virtual std::shared_ptr<RemoteHandle> connectClient(const std::string& address, std::uint16_t port,
        const std::string& sn, const std::string& tag, int code, const std::string& key)
        = 0;
    // LocalServerRemote: a listener, or null with `status` saying why.
    virtual std::shared_ptr<RemoteHandle> listen(const std::string& tag, std::uint16_t port, int& status) = 0;
};

// The real libraries from `folder` (ServerRemote.so / .dll and the others,
// no "lib" prefix). Never throws; what is missing is in problem().
std::unique_ptr<RemoteLibrary> loadRemoteLibraries(const std::string& folder);
