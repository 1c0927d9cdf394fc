// The manager's side of the command block "Global\KestrixVciShareMemoryFunc":
// a one-slot mailbox towards the background service.
//
// Layout: [0] request byte (0 idle, 1 list request, 2 list reply ready,
// 0x10 remote mode, 0x11 local mode), [1..4] unused, [5..8] entry count
// (u32 little-endian), [9..24] selected serial (16 bytes, no terminator, all
// zero = none), [25..] list entries of 16 bytes each (at most 62).
//
// The block is created by the service; when it is missing every call is a
// quiet no-op and the list is empty.
#pragma once

#include "device/VciStatusRecord.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CommandBlock {
public:
    static constexpr const char* kDefaultName = "Global\\KestrixVciShareMemoryFunc";
    static constexpr std::size_t kSize = 1024;
    static constexpr std::size_t kCountOffset = 5;
    static constexpr std::size_t kSerialOffset = 9;
    static constexpr std::size_t kSerialSize = 16;
    static constexpr std::size_t kListOffset = 25;
    static constexpr std::size_t kMaxEntries = (kSize - kListOffset) / kSerialSize; // 62

    enum Request : std::uint8_t {
        Idle = 0,
        ListRequest = 1,
        ListReply = 2,
        RemoteMode = 0x10,
        LocalMode = 0x11,
    };

    explicit CommandBlock(std::string name = kDefaultName);

    // Posts a list request and polls every millisecond for the reply for at
    // most `limit` (the wait runs on the calling thread). A reply is consumed
    // (bytes 1..1023 zeroed, request byte 0); without one the request byte
    // keeps the value 1 and the list is empty.
    std::vector<VciStatusRecord> requestDeviceList(
        std::chrono::milliseconds limit = std::chrono::milliseconds(1000)) const;

    // Writes the serial's first 16 bytes (zero-padded) at offset 9.
    bool writeSelectedSerial(const QString& serial) const;
    // Zeroes offset 9..24.
    bool clearSelectedSerial() const;
    // Writes 0x10 (remote) or 0x11 (local) into the request byte.
    bool postMode(std::uint8_t mode) const;
    // Start-up: zero bytes 1..1023 and write 0x11.
    bool resetForStartup() const;

    // The entries of a reply copy: count clamped to what fits in `size`,
    // only SN filled, connType 255.
    static std::vector<VciStatusRecord> parseListReply(const unsigned char* block, std::size_t size);

    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};
