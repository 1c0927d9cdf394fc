// The C interface of the device-control library (RemotePro): the B-end's
// adapter buses bridged to the C-end's adapter through the relay.
//
// The library exports one function, CreateRemotePro, which returns the
// process-wide object. The object is a table of operations in a fixed slot
// order (a hand-made virtual table of plain C function pointers), so a
// library built by another compiler still fits. The object lives until the
// process ends; nothing destroys it.
#pragma once

#include <stdint.h>

#include "remote/RemoteApi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Results of connect (slot 1).
enum {
    BW_PRO_CONNECTED = 0,
    BW_PRO_NO_PASSTHRU = 1,   // the J2534 pass-thru library (or the local adapter) cannot be used
    BW_PRO_UNREACHABLE = 4,   // the relay cannot be reached
    BW_PRO_VCI_OFFLINE = 6,   // the C-end adapter is not registered
    BW_PRO_WRONG_CODE = 7,    // code wrong, or locked out
    BW_PRO_DISCONNECTED = -2, // the relay or the C-end ended the session
    BW_PRO_TIMEOUT = 3        // no answer in time (any other value reads the same)
};

// Why a session ended, in *state of slot 6 once it is no longer 0 (any
// other non-zero value: ended by either side, the link or the relay).
enum {
    BW_PRO_ENDED_LOCAL_ADAPTER = -10,  // the B-end adapter stopped answering (unplugged)
    BW_PRO_ENDED_REMOTE_ADAPTER = -11, // the C-end adapter stopped answering
    BW_PRO_ENDED_LOCAL_RATE = -12,     // the B-end adapter cannot run a bus at the rates asked
    BW_PRO_ENDED_REMOTE_RATE = -13     // the C-end adapter cannot
};

// The J2534 protocol id of raw CAN, the only one open-channel takes.
enum { BW_PRO_PROTOCOL_CAN = 5 };

typedef struct BwRemotePro BwRemotePro;

typedef struct BwRemoteProSlots {
    // 0: the library's version (not used by the manager).
    int32_t (*version)(BwRemotePro* self);
    // 1: links to the C-end adapter `sn` through the relay at `relay` with
    // `code`; blocks until answered (bounded). BW_PRO_* result.
    int32_t (*connect)(BwRemotePro* self, const char* relay, const char* sn, const char* tag, int32_t code);
    // 2: ends the session and closes the local channels.
    void (*disconnect)(BwRemotePro* self);
    // 3: opens a CAN channel on the local adapter on the two OBD pins with the
    // CAN rate and the CAN FD data rate (0 = classic CAN only), and asks the
    // C-end to open the same bus. 0 and the channel id, or a J2534 error code.
    int32_t (*openCanChannel)(BwRemotePro* self, uint32_t protocol, const uint32_t* pins, uint32_t pinCount,
        uint32_t canBaud, uint32_t canFdBaud, uint32_t* channelId);
    // 4: not used by the manager; does nothing.
    void (*reserved4)(BwRemotePro* self, int32_t value);
    // 5: with 1, starts the bridge of the channels opened so far.
    void (*start)(BwRemotePro* self, int32_t on);
    // 6: 0 in *state while the session is alive; a state word and the
    // partner's text (BW_REMOTE_STATE_TEXT_SIZE bytes each).
    void (*state)(BwRemotePro* self, int32_t* state, char* text1, char* text2);
    // 7 and 8: bytes the B-end sent into the session, and the C-end.
    void (*bytesB)(BwRemotePro* self, uint64_t* bytes);
    void (*bytesC)(BwRemotePro* self, uint64_t* bytes);
    // 9: round trips in ms (B-end to relay, C-end to relay), -1 while unknown.
    void (*delays)(BwRemotePro* self, int32_t* delayB, int32_t* delayC);
} BwRemoteProSlots;

struct BwRemotePro {
    const BwRemoteProSlots* ops;
};

typedef BwRemotePro* (*BwCreateRemoteProFn)(void);
BW_REMOTE_EXPORT BwRemotePro* CreateRemotePro(void);

#ifdef __cplusplus
}
#endif
