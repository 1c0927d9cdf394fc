// The adapter status that the background service publishes as a key/value
// text in the shared block "Global\KestrixVciShareMemory", and the plain
// fixed-size record the manager reads it into.
#pragma once

#include <QMap>
#include <QString>
#include <QVariant>

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

constexpr const char* kVciStatusBlockName = "Global\\KestrixVciShareMemory";
constexpr std::size_t kVciStatusBlockSize = 1024;

// An all-zero record with connType -1 (no adapter).
void clearRecord(VciStatusRecord& record);
bool sameRecord(const VciStatusRecord& a, const VciStatusRecord& b);

// "USB" 0, "RJ45" 1, "WIFI" 2, "ROUTE" 3 (exact, case-sensitive); anything else -1.
std::int32_t connTypeFromText(const std::string& text);

// The value after the first occurrence of `needle` up to the first CR LF, or
// to the end of the text when there is none; "" when the needle is absent.
std::string extractValue(const std::string& text, const std::string& needle);

// Splits at LF (empty parts dropped), each line at `separator`; lines that do
// not give exactly two parts are skipped. Keys and values are trimmed, CRs are
// removed from values, a later duplicate key replaces an earlier one.
QMap<QString, QVariant> parseKeyValueText(const QString& text, const QString& separator);

// "MT7628 V1.0.3" -> "V1.0.3"; "build 2.1" -> "2.1"; anything else unchanged.
QString normalizeVersion(const QString& text);

// Fills `out` from one copy of the block. The text ends at the first NUL or
// at `size` bytes, whichever comes first. Returns false (and a cleared record)
// when the text is empty. Does not touch AppShared.
bool parseVciStatusBlock(const unsigned char* block, std::size_t size, VciStatusRecord& out);

// One complete read: copies the block (a missing block, or one whose writer
// is no longer running, counts as empty),
// hands the key/value map to AppShared::updateDeviceMap and fills `out`.
// Returns false when the block is missing or its text is empty.
bool readVciStatus(VciStatusRecord& out);

// Copies the raw block (zeros when it is missing or its service is gone)
// without parsing it or touching AppShared. Returns whether a text was there.
bool copyVciStatusBlock(unsigned char* buffer /* kVciStatusBlockSize bytes */);

// The text of the block, decoded as UTF-8 (invalid bytes become U+FFFD),
// limited to the first NUL or the whole buffer.
QString blockText(const unsigned char* block, std::size_t size);
