#include "CommandMailbox.h"

#include <atomic>
#include <cstring>

namespace bwservice {

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

    std::memset(block + 1, 0, kSelectedOffset - 1); // bytes 1..8 (count included)
    std::memset(block + kEntriesOffset, 0, size - kEntriesOffset);
    const auto c = static_cast<std::uint32_t>(count);
    block[kCountOffset + 0] = static_cast<unsigned char>(c & 0xFF);
    block[kCountOffset + 1] = static_cast<unsigned char>((c >> 8) & 0xFF);
    block[kCountOffset + 2] = static_cast<unsigned char>((c >> 16) & 0xFF);
    block[kCountOffset + 3] = static_cast<unsigned char>((c >> 24) & 0xFF);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& s = serials[i];
        const std::size_t n = s.size() < kSerialBytes ? s.size() : kSerialBytes;
        std::memcpy(block + kEntriesOffset + i * kSerialBytes, s.data(), n);
    }
    std::atomic_thread_fence(std::memory_order_seq_cst);
    *reinterpret_cast<volatile unsigned char*>(block + kRequestOffset) = kReplyReady;
    return count;
}

CommandMailbox::Event CommandMailbox::poll(
    unsigned char* block, std::size_t size, const std::vector<std::string>& serials, std::int64_t nowMs)
{
    if (!block || size <= kEntriesOffset)
        return Event::None;
    Event event = Event::None;

    // Selected serial: 16 bytes, printable ASCII, possibly NUL-padded.
    std::string selected;
    bool valid = false;
    for (std::size_t i = 0; i < kSerialBytes; ++i) {
        const unsigned char c = block[kSelectedOffset + i];
        if (c == 0)
            break;
        if (c < 0x21 || c > 0x7E) {
            selected.clear();
            valid = false;
            break;
        }
        selected.push_back(static_cast<char>(c));
        valid = true;
    }
    if (!valid)
        selected.clear();
    const bool justAnswered = m_answered && nowMs - m_lastAnswerMs < kSelectionGraceMs;
    if (selected.empty() && justAnswered) {
        // Probably the manager consuming a reply: keep the selection for now.
    } else if (selected != m_selected) {
        m_selected = selected;
        event = Event::SelectionChanged;
    }

    const std::uint8_t request = *reinterpret_cast<volatile unsigned char*>(block + kRequestOffset);
    switch (request) {
    case kRequestList:
        std::atomic_thread_fence(std::memory_order_seq_cst);
        writeDeviceList(block, size, serials);
        m_garbageReported = false;
        m_answered = true;
        m_lastAnswerMs = nowMs;
        return Event::ListAnswered;
    case kModeRemote:
    case kModeLocal:
        m_garbageReported = false;
        if (request != m_mode) {
            m_mode = request;
            return Event::ModeChanged;
        }
        return event;
    case kRequestIdle:
    case kReplyReady:
        m_garbageReported = false;
        return event;
    default:
        if (!m_garbageReported || request != m_lastGarbage) {
            m_garbageReported = true;
            m_lastGarbage = request;
            return Event::Garbage;
        }
        return event;
    }
}

} // namespace bwservice
