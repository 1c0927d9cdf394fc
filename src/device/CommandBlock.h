// The manager's side of the command block "Global\KestrixVciShareMemoryFunc":
// a one-slot mailbox towards the background service. The layout is the
// shared block contract's (blocks/CommandBlockLayout.h).
//
// The block is created by the service; when it is missing every call is a
// quiet no-op and the list is empty.
#pragma once

#include "device/VciStatusRecord.h"

#include <blocks/CommandBlockLayout.h>

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CommandBlock {
public:
    static constexpr const char* kDefaultName = blocks::kCommandBlockName;
    static constexpr std::size_t kSize = blocks::kCommandBlockSize;

    enum Request : std::uint8_t {
        Idle = blocks::RequestIdle,
        ListRequest = blocks::RequestList,
        ListReply = blocks::ReplyReady,
        RemoteMode = blocks::ModeRemote,
        LocalMode = blocks::ModeLocal,
    };

    explicit CommandBlock(std::string name = kDefaultName);

    // Posts a list request, wakes the service and waits for the reply for at
    // most `limit` on the calling thread: woken by the service's reply event,
    // else looking every millisecond. A reply is consumed (bytes 1..1023
    // zeroed, request byte 0); without one the request byte keeps the value 1
    // and the list is empty. Every write below also wakes the service.
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

    // The entries of a reply copy as records: only SN filled, connType 255.
    static std::vector<VciStatusRecord> parseListReply(const unsigned char* block, std::size_t size);

    const std::string& name() const { return m_name; }

private:
    std::string m_name;
};
