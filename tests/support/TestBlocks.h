// The two shared blocks as the tests see them, written down here on their own
// so a layout change in the programs shows up as a failing test:
//  - the status block: "KEY = value\r\n" lines, NUL-terminated, 1024 bytes;
//  - the command block: [0] request byte, [5..8] entry count (u32 LE),
//    [9..24] selected serial, [25..] 16-byte list entries.
#pragma once

#include "support/TestEnvironment.h"

#include <platform/SharedMemory.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>

constexpr const char* kStatusBlock = "Global\\KestrixVciShareMemory";
constexpr const char* kCommandBlock = "Global\\KestrixVciShareMemoryFunc";
constexpr std::size_t kBlockBytes = 1024;

// Writes `text` (at most 1024 bytes, no terminator added when it fills the
// block) into an open block, zeroing the rest.
void fillBlock(platform::SharedMemory& block, const QByteArray& text);

// Shrinks a block behind its users' backs, as a hostile process of the same
// user can (POSIX).
bool shrinkBlock(const char* name, std::size_t bytes);

// A status text as the service publishes it.
QByteArray statusText(const char* sn, unsigned vbatt, unsigned status, const char* conn,
    const char* vciIP = "127.0.100.1", const char* testIP = "127.0.100.1");

// The value after "KEY = " up to CR LF; empty when the key is missing.
QByteArray statusValue(const QByteArray& text, const QByteArray& key);

// Opens the status block the way the manager does and returns its text
// (up to the first NUL); empty when the block does not exist.
QByteArray statusBlockText();

// Command block fields.
void putCount(unsigned char* data, std::uint32_t count);
std::uint32_t countAt(const unsigned char* data);
void putEntry(unsigned char* data, int index, const char* serial);
QString entryAt(const unsigned char* data, int index);
