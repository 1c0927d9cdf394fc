/*
 * The 32-bit J2534 DLL as a Windows J2534 application sees it: loaded with
 * LoadLibrary, its __stdcall functions found by undecorated name, the
 * message structure of the standard's declarations. Run under wine against
 * the Linux adapter emulator (scripts/test-win32.sh): argv[1] is the DLL,
 * argv[2] the adapter "IP:PORT". Prints each failed check and exits with
 * the number of them (0: all held).
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "j2534.h"

typedef long(PTAPI* OpenFn)(void*, unsigned long*);
typedef long(PTAPI* CloseFn)(unsigned long);
typedef long(PTAPI* ConnectFn)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long*);
typedef long(PTAPI* DisconnectFn)(unsigned long);
typedef long(PTAPI* MsgsFn)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long);
typedef long(PTAPI* FilterFn)(unsigned long, unsigned long, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*, unsigned long*);
typedef long(PTAPI* VersionFn)(unsigned long, char*, char*, char*);
typedef long(PTAPI* LastErrorFn)(char*);
typedef long(PTAPI* IoctlFn)(unsigned long, unsigned long, void*, void*);
typedef long(PTAPI* VoltageFn)(unsigned long, unsigned long, unsigned long);

static int failures;

static void expect(const char* what, long got, long want)
{
    if (got != want) {
        printf("FAIL %s: status %ld, expected %ld\n", what, got, want);
        ++failures;
    } else {
        printf("ok   %s\n", what);
    }
}

static PASSTHRU_MSG message(unsigned long protocol, unsigned long id, const unsigned char* data, unsigned long n)
{
    PASSTHRU_MSG m;
    memset(&m, 0, sizeof m);
    m.ProtocolID = protocol;
    m.TxFlags = protocol == ISO15765 ? ISO15765_FRAME_PAD : 0;
    m.Data[0] = (unsigned char)(id >> 24);
    m.Data[1] = (unsigned char)(id >> 16);
    m.Data[2] = (unsigned char)(id >> 8);
    m.Data[3] = (unsigned char)id;
    if (n)
        memcpy(m.Data + 4, data, n);
    m.DataSize = 4 + n;
    return m;
}

int main(int argc, char** argv)
{
    HMODULE dll;
    OpenFn Open;
    CloseFn Close;
    ConnectFn Connect;
    DisconnectFn Disconnect;
    MsgsFn ReadMsgs, WriteMsgs;
    FilterFn StartMsgFilter;
    VersionFn ReadVersion;
    LastErrorFn GetLastErrorText;
    IoctlFn Ioctl;
    VoltageFn SetProgrammingVoltage;
    unsigned long device = 0, other = 0, channel = 0, filter = 0, n, mv = 0;
    char fw[80], lib[80], api[80], text[80];
    static const unsigned char vinRequest[] = {0x22, 0xF1, 0x90};
    PASSTHRU_MSG mask, pattern, flow, msg;
    DWORD start;

    if (argc != 3) {
        printf("usage: j2534-abi-check DLL IP:PORT\n");
        return 100;
    }
    if (sizeof(PASSTHRU_MSG) != 4152 || sizeof(long) != 4) {
        printf("FAIL PASSTHRU_MSG is %u bytes (4152 expected for 32-bit Windows)\n", (unsigned)sizeof(PASSTHRU_MSG));
        return 100;
    }
    dll = LoadLibraryA(argv[1]);
    if (!dll) {
        printf("FAIL LoadLibrary %s: error %lu\n", argv[1], (unsigned long)GetLastError());
        return 100;
    }
    Open = (OpenFn)(void*)GetProcAddress(dll, "PassThruOpen");
    Close = (CloseFn)(void*)GetProcAddress(dll, "PassThruClose");
    Connect = (ConnectFn)(void*)GetProcAddress(dll, "PassThruConnect");
    Disconnect = (DisconnectFn)(void*)GetProcAddress(dll, "PassThruDisconnect");
    ReadMsgs = (MsgsFn)(void*)GetProcAddress(dll, "PassThruReadMsgs");
    WriteMsgs = (MsgsFn)(void*)GetProcAddress(dll, "PassThruWriteMsgs");
    StartMsgFilter = (FilterFn)(void*)GetProcAddress(dll, "PassThruStartMsgFilter");
    ReadVersion = (VersionFn)(void*)GetProcAddress(dll, "PassThruReadVersion");
    GetLastErrorText = (LastErrorFn)(void*)GetProcAddress(dll, "PassThruGetLastError");
    Ioctl = (IoctlFn)(void*)GetProcAddress(dll, "PassThruIoctl");
    SetProgrammingVoltage = (VoltageFn)(void*)GetProcAddress(dll, "PassThruSetProgrammingVoltage");
    if (!Open || !Close || !Connect || !Disconnect || !ReadMsgs || !WriteMsgs || !StartMsgFilter || !ReadVersion
        || !GetLastErrorText || !Ioctl || !SetProgrammingVoltage || !GetProcAddress(dll, "PassThruStartPeriodicMsg")
        || !GetProcAddress(dll, "PassThruStopPeriodicMsg") || !GetProcAddress(dll, "PassThruStopMsgFilter")) {
        printf("FAIL an undecorated export is missing\n");
        return 100;
    }

    expect("open with a NULL DeviceID", Open(argv[2], NULL), ERR_NULL_PARAMETER);
    expect("open", Open(argv[2], &device), STATUS_NOERROR);
    expect("second open of the adapter", Open(argv[2], &other), ERR_DEVICE_IN_USE);
    expect("read version", ReadVersion(device, fw, lib, api), STATUS_NOERROR);
    if (strcmp(api, "04.04") != 0 || !fw[0]) {
        printf("FAIL versions \"%s\" \"%s\" \"%s\"\n", fw, lib, api);
        ++failures;
    }
    expect("READ_VBATT", Ioctl(device, READ_VBATT, NULL, &mv), STATUS_NOERROR);
    if (mv < 9000 || mv > 16000) {
        printf("FAIL battery %lu mV\n", mv);
        ++failures;
    }
    expect("programming voltage", SetProgrammingVoltage(device, 12, 5000), ERR_NOT_SUPPORTED);
    expect("GetLastError", GetLastErrorText(text), STATUS_NOERROR);
    if (strcmp(text, "this adapter has no programming voltage output") != 0) {
        printf("FAIL GetLastError text \"%s\"\n", text);
        ++failures;
    }
    expect("J1850 connect", Connect(device, J1850VPW, 0, 10400, &channel), ERR_NOT_SUPPORTED);
    expect("ISO15765 connect", Connect(device, ISO15765, 0, 500000, &channel), STATUS_NOERROR);
    mask = message(ISO15765, 0xFFFFFFFF, NULL, 0);
    pattern = message(ISO15765, 0x7E8, NULL, 0);
    flow = message(ISO15765, 0x7E0, NULL, 0);
    expect("flow-control filter", StartMsgFilter(channel, FLOW_CONTROL_FILTER, &mask, &pattern, &flow, &filter),
        STATUS_NOERROR);
    msg = message(ISO15765, 0x7E0, vinRequest, sizeof vinRequest);
    n = 1;
    expect("write UDS 22 F190", WriteMsgs(channel, &msg, &n, 1000), STATUS_NOERROR);
    start = GetTickCount();
    for (;;) {
        n = 1;
        if (ReadMsgs(channel, &msg, &n, 1000) != STATUS_NOERROR || GetTickCount() - start > 3000) {
            printf("FAIL no VIN answer\n");
            ++failures;
            break;
        }
        if (!(msg.RxStatus & (TX_MSG_TYPE | START_OF_MESSAGE | TX_INDICATION)) && msg.DataSize == 4 + 3 + 17) {
            printf("ok   VIN %.17s\n", (const char*)msg.Data + 7);
            break;
        }
    }
    msg = message(CAN, 0x7E0, vinRequest, sizeof vinRequest);
    n = 1;
    expect("write of another protocol", WriteMsgs(channel, &msg, &n, 0), ERR_MSG_PROTOCOL_ID);
    expect("read with a NULL count", ReadMsgs(channel, &msg, NULL, 0), ERR_NULL_PARAMETER);
    n = 1;
    expect("read of an unknown channel", ReadMsgs(channel + 1000, &msg, &n, 0), ERR_INVALID_CHANNEL_ID);
    expect("unknown ioctl", Ioctl(channel, 0x99, NULL, NULL), ERR_INVALID_IOCTL_ID);
    expect("disconnect", Disconnect(channel), STATUS_NOERROR);
    expect("close", Close(device), STATUS_NOERROR);
    n = 1;
    expect("read after close", ReadMsgs(channel, &msg, &n, 0), ERR_INVALID_CHANNEL_ID);
    expect("version after close", ReadVersion(device, fw, lib, api), ERR_INVALID_DEVICE_ID);
    expect("close after close", Close(device), ERR_INVALID_DEVICE_ID);
    expect("open of a closed port", Open("127.0.0.1:1", &other), ERR_DEVICE_NOT_CONNECTED);
    printf("%d failed\n", failures);
    return failures;
}
