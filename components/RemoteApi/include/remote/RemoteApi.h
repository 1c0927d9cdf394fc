// The C interface of the three remote-session libraries (ServerRemote,
// ClientRemote, LocalServerRemote). The manager loads them at run time through
// platform::Library and resolves these names; nothing else crosses the
// library boundary, so a library built by another compiler still fits.
//
// Every object is an opaque handle owned by the caller until its Destroy /
// Destruct call. A connection's progress is a status the library keeps
// updating after the connect call has returned: it lives inside the handle
// and is read with the *_Status call, so it can never outlive its owner.
// All calls are thread-safe for one handle; none blocks longer than its
// documented time-out.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#define BW_REMOTE_EXPORT __declspec(dllexport)
#else
#define BW_REMOTE_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Text buffers the calls fill, with their sizes (terminated, cut to fit).
enum { BW_REMOTE_ADDRESS_SIZE = 16, BW_REMOTE_STATE_TEXT_SIZE = 32, BW_REMOTE_PEER_TEXT_SIZE = 64 };

// The relay's registration and session port.
enum { BW_REMOTE_RELAY_PORT = 11923 };

// Status of a relay session (ServerRemote_Status).
enum {
    BW_RELAY_CONNECTED = 0,
    BW_RELAY_PENDING = 1,      // no answer yet
    BW_RELAY_UNREACHABLE = 2,  // cannot reach the relay
    BW_RELAY_VCI_OFFLINE = 4,  // the serial is not registered
    BW_RELAY_WRONG_CODE = 5,   // code wrong, or locked out
    BW_RELAY_BUSY = 6,         // the adapter is in a session with another B-end
    BW_RELAY_DISCONNECTED = -2 // the relay ended the session
};

// Status of a ClientRemote handle (ClientRemote_Status).
enum {
    BW_CLIENT_PENDING = 0,
    BW_CLIENT_CONNECTED = 1, // registered at the relay / P2P linked
    BW_CLIENT_LINKED = 2,    // P2P: linked and the peer's check passed
    BW_CLIENT_REFUSED = 3,   // relay or listener refused (bad key/code/serial)
    BW_CLIENT_UNREACHABLE = 7,
    BW_CLIENT_DISCONNECTED = -2,
    BW_CLIENT_FAILED = -1
};

// Status of a LocalServerRemote listener (LocalServerRemote_Status).
enum {
    BW_LISTEN_OK = 0,
    BW_LISTEN_BIND_FAILED = 2, // port taken or not allowed
    BW_LISTEN_NO_ADAPTER = 4,  // the "Brindlewick remoteDiag" adapter is missing
    BW_LISTEN_FAILED = 5
};

// ---- ServerRemote: the B-end of a relay session -------------------------
// Asks which relay serves `sn` and whether the serial is registered there.
// `codeText` is the code as decimal text. `relayOut` (16 bytes) receives the
// relay's address, or "" when the adapter is not online. Returns 0 when the
// question was answered, non-zero on a transport failure ("" in relayOut).
BW_REMOTE_EXPORT int ServerRemote_Lookup(const char* sn, const char* codeText, char* relayOut);
// Starts a session with the adapter `sn` through the relay at `relay`.
// Returns at once with a handle (or null for bad arguments); progress is
// ServerRemote_Status. Once connected, the partner's adapter is reachable at
// the address of the "Brindlewick remoteDiag" adapter.
BW_REMOTE_EXPORT void* ServerRemote_Connect(const char* relay, const char* sn, const char* tag, int code);
BW_REMOTE_EXPORT int ServerRemote_Status(void* session);
// 0 while the session is alive; texts: a state word and the partner's text.
BW_REMOTE_EXPORT int ServerRemote_State(void* session, char* text1, char* text2);
BW_REMOTE_EXPORT uint64_t ServerRemote_BytesB(void* session);
BW_REMOTE_EXPORT uint64_t ServerRemote_BytesC(void* session);
// Round-trip times in ms from ping frames; -1 while unknown.
BW_REMOTE_EXPORT void ServerRemote_Delays(void* session, int32_t* delayB, int32_t* delayC);
BW_REMOTE_EXPORT void ServerRemote_SetDoIpMode(void* session, int mode);
BW_REMOTE_EXPORT void ServerRemote_Destroy(void* session);

// ---- ClientRemote: the C-end (registration at the relay, P2P connect) -----
// The relay address this machine registers with (16 bytes), "" when unknown.
// Returns 0 when answered.
BW_REMOTE_EXPORT int ClientRemote_RelayAddress(char* relayOut);
// Registers the adapter at the relay (port BW_REMOTE_RELAY_PORT) or links it
// to a P2P listener (any other port). Returns a handle at once.
BW_REMOTE_EXPORT void* ClientRemote_Connect(
    const char* address, uint16_t port, const char* sn, const char* tag, int code, const char* key);
BW_REMOTE_EXPORT int ClientRemote_Status(void* client);
// 1 linked, 2 still connecting, anything else lost; `peerText` 64 bytes.
BW_REMOTE_EXPORT int ClientRemote_State(void* client, char* peerText);
BW_REMOTE_EXPORT uint64_t ClientRemote_BytesB(void* client);
BW_REMOTE_EXPORT uint64_t ClientRemote_BytesC(void* client);
BW_REMOTE_EXPORT void ClientRemote_Delays(void* client, int32_t* delayB, int32_t* delayC);
BW_REMOTE_EXPORT void ClientRemote_Destroy(void* client);

// ---- LocalServerRemote: the B-end of a P2P session ----------------------
// Listens on `port` for one C-end. Returns a handle or null; `status` is
// BW_LISTEN_*.
BW_REMOTE_EXPORT void* LocalServerRemote_Construct(const char* tag, uint16_t port, int* status);
BW_REMOTE_EXPORT int LocalServerRemote_Status(void* listener);
// 0 a client is linked, 1 waiting, anything else failed. `serialOut` (20
// bytes) receives the C-end adapter's serial once linked; `text1`, `text2`
// 32 bytes each.
BW_REMOTE_EXPORT int LocalServerRemote_State(void* listener, char* serialOut, char* text1, char* text2);
BW_REMOTE_EXPORT uint64_t LocalServerRemote_BytesB(void* listener);
BW_REMOTE_EXPORT uint64_t LocalServerRemote_BytesC(void* listener);
BW_REMOTE_EXPORT void LocalServerRemote_Delays(void* listener, int32_t* delayB, int32_t* delayC);
BW_REMOTE_EXPORT void LocalServerRemote_SetDoIpMode(void* listener, int mode);
BW_REMOTE_EXPORT void LocalServerRemote_Destruct(void* listener);

#ifdef __cplusplus
}
#endif
