/*
 * Brindlewick J2534 pass-thru interface, API version 04.04.
 *
 * The function declarations, the message structure and the numeric values of
 * protocols, flags, filters, ioctls, parameters and status codes follow the
 * published SAE J2534-1 (version 04.04) tables, so an application written
 * against the standard's declarations works unchanged. The values marked
 * "extension" follow the J2534-2 conventions for pin selection; the CAN FD
 * values are this library's own (docs/j2534.md).
 *
 * On Windows every function is __stdcall and exported undecorated; on Linux
 * the library is a shared object with C linkage. `long` and `unsigned long`
 * are the platform's own widths (32 bits on Windows, 64 bits on 64-bit Linux).
 */
#ifndef BRINDLEWICK_J2534_H
#define BRINDLEWICK_J2534_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define PTAPI __stdcall
#else
#define PTAPI
#endif

#if defined(BW_J2534_BUILD)
#if defined(_WIN32)
#define PTEXPORT
#else
#define PTEXPORT __attribute__((visibility("default")))
#endif
#else
#define PTEXPORT
#endif

/* Protocol IDs */
#define J1850VPW 0x01
#define J1850PWM 0x02
#define ISO9141 0x03
#define ISO14230 0x04
#define CAN 0x05
#define ISO15765 0x06
#define SCI_A_ENGINE 0x07
#define SCI_A_TRANS 0x08
#define SCI_B_ENGINE 0x09
#define SCI_B_TRANS 0x0A
/* extension: pin-selectable protocols (the bus chosen with J1962_PINS) */
#define CAN_PS 0x8004
#define ISO15765_PS 0x8005
/* extension: CAN FD on a pin-selectable bus */
#define CAN_FD_PS 0x8011
#define ISO15765_FD_PS 0x8012

/* Status codes */
#define STATUS_NOERROR 0x00
#define ERR_NOT_SUPPORTED 0x01
#define ERR_INVALID_CHANNEL_ID 0x02
#define ERR_INVALID_PROTOCOL_ID 0x03
#define ERR_NULL_PARAMETER 0x04
#define ERR_INVALID_IOCTL_VALUE 0x05
#define ERR_INVALID_FLAGS 0x06
#define ERR_FAILED 0x07
#define ERR_DEVICE_NOT_CONNECTED 0x08
#define ERR_TIMEOUT 0x09
#define ERR_INVALID_MSG 0x0A
#define ERR_INVALID_TIME_INTERVAL 0x0B
#define ERR_EXCEEDED_LIMIT 0x0C
#define ERR_INVALID_MSG_ID 0x0D
#define ERR_DEVICE_IN_USE 0x0E
#define ERR_INVALID_IOCTL_ID 0x0F
#define ERR_BUFFER_EMPTY 0x10
#define ERR_BUFFER_FULL 0x11
#define ERR_BUFFER_OVERFLOW 0x12
#define ERR_PIN_INVALID 0x13
#define ERR_CHANNEL_IN_USE 0x14
#define ERR_MSG_PROTOCOL_ID 0x15
#define ERR_INVALID_FILTER_ID 0x16
#define ERR_NO_FLOW_CONTROL 0x17
#define ERR_NOT_UNIQUE 0x18
#define ERR_INVALID_BAUDRATE 0x19
#define ERR_INVALID_DEVICE_ID 0x1A

/* PassThruConnect flags */
#define CAN_29BIT_ID 0x00000100
#define ISO9141_NO_CHECKSUM 0x00000200
#define CAN_ID_BOTH 0x00000800
#define ISO9141_K_LINE_ONLY 0x00001000

/* TxFlags */
#define ISO15765_FRAME_PAD 0x00000040
#define ISO15765_ADDR_TYPE 0x00000080
/* CAN_29BIT_ID as above */
#define WAIT_P3_MIN_ONLY 0x00000200
#define SW_CAN_HV_TX 0x00000400
#define SCI_MODE 0x00400000
#define SCI_TX_VOLTAGE 0x00800000

/* extension (TxFlags and RxStatus, CAN_FD_PS channels with FD_CAN_FRAME_FLAGS 1):
   a CAN FD frame (a message over 8 bytes is one in any case), and its data phase
   at the data-phase rate */
#define CAN_FD_BRS 0x10000000
#define CAN_FD_FORMAT 0x20000000

/* RxStatus */
#define TX_MSG_TYPE 0x00000001
#define START_OF_MESSAGE 0x00000002
#define RX_BREAK 0x00000004
#define TX_INDICATION 0x00000008
#define ISO15765_PADDING_ERROR 0x00000010
#define ISO15765_EXT_ADDR 0x00000080
/* CAN_29BIT_ID as above */

/* Filter types */
#define PASS_FILTER 0x00000001
#define BLOCK_FILTER 0x00000002
#define FLOW_CONTROL_FILTER 0x00000003

/* Ioctl IDs */
#define GET_CONFIG 0x01
#define SET_CONFIG 0x02
#define READ_VBATT 0x03
#define FIVE_BAUD_INIT 0x04
#define FAST_INIT 0x05
#define CLEAR_TX_BUFFER 0x07
#define CLEAR_RX_BUFFER 0x08
#define CLEAR_PERIODIC_MSGS 0x09
#define CLEAR_MSG_FILTERS 0x0A
#define CLEAR_FUNCT_MSG_LOOKUP_TABLE 0x0B
#define ADD_TO_FUNCT_MSG_LOOKUP_TABLE 0x0C
#define DELETE_FROM_FUNCT_MSG_LOOKUP_TABLE 0x0D
#define READ_PROG_VOLTAGE 0x0E

/* Configuration parameters */
#define DATA_RATE 0x01
#define LOOPBACK 0x03
#define NODE_ADDRESS 0x04
#define NETWORK_LINE 0x05
#define P1_MIN 0x06
#define P1_MAX 0x07
#define P2_MIN 0x08
#define P2_MAX 0x09
#define P3_MIN 0x0A
#define P3_MAX 0x0B
#define P4_MIN 0x0C
#define P4_MAX 0x0D
#define W1 0x0E
#define W2 0x0F
#define W3 0x10
#define W4 0x11
#define W5 0x12
#define TIDLE 0x13
#define TINIL 0x14
#define TWUP 0x15
#define PARITY 0x16
#define BIT_SAMPLE_POINT 0x17
#define SYNC_JUMP_WIDTH 0x18
#define W0 0x19
#define T1_MAX 0x1A
#define T2_MAX 0x1B
#define T4_MAX 0x1C
#define T5_MAX 0x1D
#define ISO15765_BS 0x1E
#define ISO15765_STMIN 0x1F
#define DATA_BITS 0x20
#define FIVE_BAUD_MOD 0x21
#define BS_TX 0x22
#define STMIN_TX 0x23
#define T3_MAX 0x24
#define ISO15765_WFT_MAX 0x25
/* extension: the OBD connector pins of a pin-selectable channel, 0xPPSS
   (0x060E: pins 6 and 14, 0x030B: pins 3 and 11) */
#define J1962_PINS 0x8001
/* extension: CAN FD data-phase bit rate and the padding byte of ISO 15765 frames */
#define FD_CAN_DATA_PHASE_RATE 0x801C
/* extension: on a CAN_FD_PS channel, 1 = each message's own frame format (TxFlags /
   RxStatus CAN_FD_FORMAT and CAN_FD_BRS above); 0 (default) = every frame CAN FD with
   the faster data phase, and no format bits in RxStatus */
#define FD_CAN_FRAME_FLAGS 0x801D
#define ISO15765_PAD_VALUE 0x801E

/* Programming voltage */
#define SHORT_TO_GROUND 0xFFFFFFFE
#define VOLTAGE_OFF 0xFFFFFFFF

#define PASSTHRU_MSG_DATA_SIZE 4128

typedef struct {
    unsigned long ProtocolID;
    unsigned long RxStatus;
    unsigned long TxFlags;
    unsigned long Timestamp;
    unsigned long DataSize;
    unsigned long ExtraDataIndex;
    unsigned char Data[PASSTHRU_MSG_DATA_SIZE];
} PASSTHRU_MSG;

typedef struct {
    unsigned long Parameter;
    unsigned long Value;
} SCONFIG;

typedef struct {
    unsigned long NumOfParams;
    SCONFIG* ConfigPtr;
} SCONFIG_LIST;

typedef struct {
    unsigned long NumOfBytes;
    unsigned char* BytePtr;
} SBYTE_ARRAY;

PTEXPORT long PTAPI PassThruOpen(void* pName, unsigned long* pDeviceID);
PTEXPORT long PTAPI PassThruClose(unsigned long DeviceID);
PTEXPORT long PTAPI PassThruConnect(unsigned long DeviceID, unsigned long ProtocolID, unsigned long Flags,
    unsigned long BaudRate, unsigned long* pChannelID);
PTEXPORT long PTAPI PassThruDisconnect(unsigned long ChannelID);
PTEXPORT long PTAPI PassThruReadMsgs(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pNumMsgs, unsigned long Timeout);
PTEXPORT long PTAPI PassThruWriteMsgs(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pNumMsgs, unsigned long Timeout);
PTEXPORT long PTAPI PassThruStartPeriodicMsg(
    unsigned long ChannelID, PASSTHRU_MSG* pMsg, unsigned long* pMsgID, unsigned long TimeInterval);
PTEXPORT long PTAPI PassThruStopPeriodicMsg(unsigned long ChannelID, unsigned long MsgID);
PTEXPORT long PTAPI PassThruStartMsgFilter(unsigned long ChannelID, unsigned long FilterType, PASSTHRU_MSG* pMaskMsg,
    PASSTHRU_MSG* pPatternMsg, PASSTHRU_MSG* pFlowControlMsg, unsigned long* pFilterID);
PTEXPORT long PTAPI PassThruStopMsgFilter(unsigned long ChannelID, unsigned long FilterID);
PTEXPORT long PTAPI PassThruSetProgrammingVoltage(
    unsigned long DeviceID, unsigned long PinNumber, unsigned long Voltage);
PTEXPORT long PTAPI PassThruReadVersion(
    unsigned long DeviceID, char* pFirmwareVersion, char* pDllVersion, char* pApiVersion);
PTEXPORT long PTAPI PassThruGetLastError(char* pErrorDescription);
PTEXPORT long PTAPI PassThruIoctl(unsigned long ChannelID, unsigned long IoctlID, void* pInput, void* pOutput);

#ifdef __cplusplus
}
#endif

#endif
