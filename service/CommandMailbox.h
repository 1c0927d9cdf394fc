// The service's side of the command block: answers the device-list
// request, and follows the mode byte and the selected serial. The block's
// layout is the shared block contract's (blocks/CommandBlockLayout.h).
#pragma once

#include <blocks/CommandBlockLayout.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bwservice {

// The manager zeroes the whole block (selection included) when it takes a list
// reply and writes the selection back right after; a selection that vanishes
// this soon after a reply is held for this long before it counts.
constexpr std::int64_t kSelectionGraceMs = 1000;

class CommandMailbox {
public:
    enum class Event { None, ListAnswered, ModeChanged, SelectionChanged, Garbage };

    // Looks at the block once. Answers a list request with `serials`, records
    // the mode byte and the selected serial. Any other request value is
    // ignored (reported once as Garbage until the byte changes).
    // nowMs is a monotonic clock in milliseconds. While listsReady is false a
    // list request stays in the block unanswered (the adapters are not known
    // yet); the next poll with it true answers.
    // Returns what happened, most important first.
    Event poll(unsigned char* block, std::size_t size, const std::vector<std::string>& serials, std::int64_t nowMs,
        bool listsReady = true);

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
