#include "blocks/CommandBlockLayout.h"

#include <atomic>
#include <cstring>

namespace blocks {

std::uint8_t loadRequest(const unsigned char* block)
{
    const std::uint8_t v = *static_cast<const volatile unsigned char*>(block + kRequestOffset);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return v;
}

void storeRequest(unsigned char* block, std::uint8_t value)
{
    std::atomic_thread_fence(std::memory_order_seq_cst);
    *static_cast<volatile unsigned char*>(block + kRequestOffset) = value;
}

std::size_t entryCapacity(std::size_t blockSize)
{
    if (blockSize <= kEntriesOffset)
        return 0;
    const std::size_t fit = (blockSize - kEntriesOffset) / kSerialBytes;
    return fit < kMaxEntries ? fit : kMaxEntries;
}

std::size_t writeDeviceList(unsigned char* block, std::size_t size, const std::vector<std::string>& serials)
{
    if (!block || size <= kEntriesOffset)
        return 0;
    const std::size_t capacity = entryCapacity(size);
    const std::size_t count = serials.size() < capacity ? serials.size() : capacity;

    std::memset(block + 1, 0, kSelectedOffset - 1); // bytes 1..8, the count included
    std::memset(block + kEntriesOffset, 0, size - kEntriesOffset);
    const auto c = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < 4; ++i)
        block[kCountOffset + i] = static_cast<unsigned char>((c >> (8 * i)) & 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& s = serials[i];
        std::memcpy(
            block + kEntriesOffset + i * kSerialBytes, s.data(), s.size() < kSerialBytes ? s.size() : kSerialBytes);
    }
    storeRequest(block, ReplyReady);
    return count;
}

std::vector<std::string> readDeviceList(const unsigned char* block, std::size_t size)
{
    std::vector<std::string> list;
    if (!block || size < kEntriesOffset)
        return list;
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < 4; ++i)
        count |= std::uint32_t(block[kCountOffset + i]) << (8 * i);
    const std::size_t fits = (size - kEntriesOffset) / kSerialBytes;
    const std::size_t n = count < fits ? count : fits;
    list.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto* entry = reinterpret_cast<const char*>(block + kEntriesOffset + i * kSerialBytes);
        const void* nul = std::memchr(entry, 0, kSerialBytes);
        list.emplace_back(entry, nul ? static_cast<const char*>(nul) - entry : kSerialBytes);
    }
    return list;
}

void writeSelectedSerial(unsigned char* block, std::string_view serial)
{
    unsigned char field[kSerialBytes] = {};
    if (!serial.empty()) // an empty view may carry a null pointer
        std::memcpy(field, serial.data(), serial.size() < kSerialBytes ? serial.size() : kSerialBytes);
    std::memcpy(block + kSelectedOffset, field, kSerialBytes);
}

std::string readSelectedSerial(const unsigned char* block)
{
    std::string selected;
    for (std::size_t i = 0; i < kSerialBytes; ++i) {
        const unsigned char c = block[kSelectedOffset + i];
        if (c == 0)
            break;
        if (c < 0x21 || c > 0x7E)
            return std::string();
        selected.push_back(static_cast<char>(c));
    }
    return selected;
}

} // namespace blocks
