#include "CommandMailbox.h"

namespace bwservice {

CommandMailbox::Event CommandMailbox::poll(unsigned char* block, std::size_t size,
    const std::vector<std::string>& serials, std::int64_t nowMs, bool listsReady)
{
    if (!block || size <= blocks::kEntriesOffset)
        return Event::None;
    Event event = Event::None;

    const std::string selected = blocks::readSelectedSerial(block);
    const bool justAnswered = m_answered && nowMs - m_lastAnswerMs < kSelectionGraceMs;
    if (selected.empty() && justAnswered) {
        // Probably the manager consuming a reply: keep the selection for now.
    } else if (selected != m_selected) {
        m_selected = selected;
        event = Event::SelectionChanged;
    }

    const std::uint8_t request = blocks::loadRequest(block);
    switch (request) {
    case blocks::RequestList:
        // A meaningful byte ends the garbage, answered yet or not.
        m_garbageReported = false;
        if (!listsReady)
            return event;
        blocks::writeDeviceList(block, size, serials);
        m_answered = true;
        m_lastAnswerMs = nowMs;
        return Event::ListAnswered;
    case blocks::ModeRemote:
    case blocks::ModeLocal:
        m_garbageReported = false;
        if (request != m_mode) {
            m_mode = request;
            return Event::ModeChanged;
        }
        return event;
    case blocks::RequestIdle:
    case blocks::ReplyReady:
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
