// The service's side of the command block: the device-list mailbox, the
// selected serial and the mode byte.
//
// Layout: byte 0 request (0 idle, 1 list request, 2 list reply ready, 0x10
// remote mode, 0x11 local mode); bytes 5..8 entry count (u32 little-endian);
// bytes 9..24 selected serial (16 bytes, all zero for none); from byte 25 the
// list entries, 16 bytes each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bwservice {

constexpr std::size_t kRequestOffset = 0;
constexpr std::size_t kCountOffset = 5;
constexpr std::size_t kSelectedOffset = 9;
constexpr std::size_t kEntriesOffset = 25;
constexpr std::size_t kSerialBytes = 16;
constexpr std::size_t kMaxEntries = 62;
// The manager zeroes the whole block (selection included) when it takes a list
// reply and writes the selection back right after; a selection that vanishes
// this soon after a reply is held for this long before it counts.
constexpr std::int64_t kSelectionGraceMs = 1000;

constexpr std::uint8_t kRequestIdle = 0;
constexpr std::uint8_t kRequestList = 1;
constexpr std::uint8_t kReplyReady = 2;
constexpr std::uint8_t kModeRemote = 0x10;
constexpr std::uint8_t kModeLocal = 0x11;

// How many entries fit a block of this size (never more than kMaxEntries).
std::size_t entryCapacity(std::size_t blockSize);

// Writes the reply: count and entries (each serial cut or zero-padded to 16
// bytes), at most what fits; then sets the request byte to 2 as the last
// step. The selected serial at 9..24 is left as it is. Returns the count written.
std::size_t writeDeviceList(unsigned char* block, std::size_t size, const std::vector<std::string>& serials);

class CommandMailbox {
public:
    enum class Event { None, ListAnswered, ModeChanged, SelectionChanged, Garbage };

    // Looks at the block once. Answers a list request with `serials`, records
    // the mode byte and the selected serial. Any other request value is
    // ignored (reported once as Garbage until the byte changes).
    // nowMs is a monotonic clock in milliseconds.
    // Returns what happened, most important first.
    Event poll(unsigned char* block, std::size_t size, const std::vector<std::string>& serials, std::int64_t nowMs);

    // 0x10, 0x11, or 0 when the manager has not said.
    std::uint8_t mode() const { return m_mode; }
    // The selected serial ("" for none). Bytes that cannot be a serial
    // (controls, non-ASCII) count as no selection.
    const std::string& selectedSerial() const { return m_selected; }
    std::uint8_t lastGarbage() const { return m_lastGarbage; }

private:
    std::uint8_t m_mode = 0;
    std::string m_selected;
    std::uint8_t m_lastGarbage = 0;
    bool m_garbageReported = false;
    bool m_answered = false;
    std::int64_t m_lastAnswerMs = 0;
};

} // namespace bwservice
