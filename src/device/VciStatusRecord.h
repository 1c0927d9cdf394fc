// The adapter status that the background service publishes as a key/value
// text in the shared block "Global\KestrixVciShareMemory", and the plain
// fixed-size record the manager reads it into.
#pragma once

#include "device/DeviceInfo.h"

#include <blocks/StatusBlock.h>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>

enum ConnType : std::int32_t {
    CONN_NONE = -1,
    CONN_USB = 0,
    CONN_RJ45 = 1,
    CONN_WIFI = 2,
    CONN_ROUTE = 3,
};

// Connection kind of the entries of the device list, which only carry a serial.
constexpr std::int32_t kConnTypeUnknownListEntry = 255;

// Text fields hold at most their width less one characters and are always
// NUL-terminated. A value longer than its field is cut to width - 1 bytes.
struct VciStatusRecord {
    char SN[20];
    char testIP[16];
    char vciIP[16];
    char softVer[32];
    char FirmwareVersion[40];
    char portNumber[16];
    char key[16];
    std::uint32_t status;
    std::uint32_t vbatt;
    char DllVersion[32];
    std::int32_t connType;
};

// The block's name and size come from the shared block contract.
constexpr const char* kVciStatusBlockName = blocks::kStatusBlockName;
constexpr std::size_t kVciStatusBlockSize = blocks::kStatusBlockSize;

// An all-zero record with connType -1 (no adapter).
void clearRecord(VciStatusRecord& record);
bool sameRecord(const VciStatusRecord& a, const VciStatusRecord& b);

// "USB" 0, "RJ45" 1, "WIFI" 2, "ROUTE" 3 (exact, case-sensitive); anything else -1.
std::int32_t connTypeFromText(const std::string& text);

// "MT7628 V1.0.3" -> "V1.0.3"; "build 2.1" -> "2.1"; anything else unchanged.
QString normalizeVersion(const QString& text);

// One read of the block, parsed once: the record, and the DeviceInfo that
// AppShared publishes on the bus.
struct StatusReading {
    bool present = false; // the block held a text
    VciStatusRecord record;
    DeviceInfo info;
};

// Interprets one copy of the block (the text ends at the first NUL or at
// `size` bytes). Values longer than a record field are cut to its width - 1
// bytes. A value that itself holds "=" is read whole into the record but left
// out of the DeviceInfo, as a plain key=value reader would skip its line.
StatusReading interpretStatusBlock(const unsigned char* block, std::size_t size);

// Copies the block once (a missing block, or one whose writer is no longer
// running, counts as empty) and interprets it. A copy equal to the last one
// any reader made is not parsed again: its reading is shared. Does not touch
// AppShared.
StatusReading readStatusBlock();

// The status watch's look: readStatusBlock, and a number that changes
// whenever the block's bytes differ from the copy before.
std::uint64_t watchStatusBlock();

// The status pass's read: readStatusBlock, the DeviceInfo handed to AppShared
// (which announces it), the record to `out`. Returns false when the block is
// missing or its text is empty.
bool readVciStatus(VciStatusRecord& out);

// For every other reader: the shared reading of the last look at the block
// when it is at most 250 ms old (the status watch looks every 100 ms), else
// a read of its own. Never announces on the bus (the status pass does).
bool recentVciStatus(VciStatusRecord& out);

// Copies the raw block (zeros when it is missing or its service is gone)
// without parsing it or touching AppShared. Returns whether a text was there.
bool copyVciStatusBlock(unsigned char* buffer /* kVciStatusBlockSize bytes */);
