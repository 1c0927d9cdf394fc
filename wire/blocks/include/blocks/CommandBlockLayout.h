// The command block "Global\KestrixVciShareMemoryFunc": a one-slot mailbox
// from the manager to the background service. The service creates it; the
// manager posts requests into it.
//
// Layout: [0] request byte, [1..4] unused, [5..8] entry count (u32
// little-endian), [9..24] selected serial (16 bytes, no terminator, all zero
// for none), [25..] list entries of 16 bytes each (at most 62).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace blocks {

inline constexpr const char* kCommandBlockName = "Global\\KestrixVciShareMemoryFunc";
inline constexpr std::size_t kCommandBlockSize = 1024;

inline constexpr std::size_t kRequestOffset = 0;
inline constexpr std::size_t kCountOffset = 5;
inline constexpr std::size_t kSelectedOffset = 9;
inline constexpr std::size_t kSerialBytes = 16;
inline constexpr std::size_t kEntriesOffset = 25;
inline constexpr std::size_t kMaxEntries = (kCommandBlockSize - kEntriesOffset) / kSerialBytes; // 62

enum Request : std::uint8_t {
    RequestIdle = 0,
    RequestList = 1,
    ReplyReady = 2,
    ModeRemote = 0x10,
    ModeLocal = 0x11,
};

// Wake-up events beside the block (platform::NamedEvent). The manager signals
// the request event after every write into the block, so the service can
// sleep until asked; the service signals the reply event once a list reply is
// ready. A peer that does not signal is still served, by a slow poll.
inline std::string requestEventName(std::string_view blockName)
{
    return std::string(blockName) + "Event";
}
inline std::string replyEventName(std::string_view blockName)
{
    return std::string(blockName) + "ReplyEvent";
}

// The request byte is written by one process and read by the other: loads
// and stores go through these, with the fences the reply protocol needs
// (the list is written before the byte says it is ready).
std::uint8_t loadRequest(const unsigned char* block);
void storeRequest(unsigned char* block, std::uint8_t value);

// How many entries fit a block of this size (never more than kMaxEntries).
std::size_t entryCapacity(std::size_t blockSize);

// Service: writes count and entries (each serial cut or zero-padded to 16
// bytes, at most what fits), clears bytes 1..8, leaves the selected serial as
// it is and sets the request byte to ReplyReady as the last step. Returns the
// count written.
std::size_t writeDeviceList(unsigned char* block, std::size_t size, const std::vector<std::string>& serials);

// Manager: the serials of a reply copy, the count clamped to what fits in
// `size`; an entry ends at its first NUL or after 16 bytes.
std::vector<std::string> readDeviceList(const unsigned char* block, std::size_t size);

// Manager: the serial's first 16 bytes, zero-padded; an empty serial clears it.
void writeSelectedSerial(unsigned char* block, std::string_view serial);

// Service: the selected serial, or "" when there is none or its bytes cannot
// be a serial (blanks, controls, non-ASCII).
std::string readSelectedSerial(const unsigned char* block);

} // namespace blocks
