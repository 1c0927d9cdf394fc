#include "PassThruOutbox.h"

#include <algorithm>
#include <utility>

namespace vciemu {

PassThruOutbox::PassThruOutbox(std::size_t maxMessages, std::size_t maxBytes)
    : m_maxMessages(maxMessages)
    , m_maxBytes(maxBytes)
{
}

void PassThruOutbox::setWakeup(std::function<void()> wakeup)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wakeup = std::move(wakeup);
}

void PassThruOutbox::wakeLocked(bool wake)
{
    if (wake && m_wakeup)
        m_wakeup();
}

void PassThruOutbox::appendLocked(Item item, bool* wake)
{
    if (m_items.empty())
        *wake = true;
    m_items.push_back(std::move(item));
}

void PassThruOutbox::pushReply(std::uint32_t tag, passthru::Reply reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Item item;
    item.type = reply.request;
    item.isReply = true;
    item.tag = tag;
    item.reply = std::move(reply);
    bool wake = false;
    appendLocked(std::move(item), &wake);
    wakeLocked(wake);
}

void PassThruOutbox::pushBus(std::uint32_t channel, std::uint32_t state)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Item item;
    item.type = passthru::Type::Bus;
    item.channel = channel;
    item.value = state;
    bool wake = false;
    appendLocked(std::move(item), &wake);
    wakeLocked(wake);
}

void PassThruOutbox::flushLostLocked(std::uint32_t channel, bool* wake)
{
    const auto it = m_lost.find(channel);
    if (it == m_lost.end())
        return;
    Item item;
    item.type = passthru::Type::Lost;
    item.channel = channel;
    item.value = it->second;
    m_lost.erase(it);
    appendLocked(std::move(item), wake);
}

bool PassThruOutbox::pushMessage(std::uint32_t channel, passthru::Message message)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::size_t size = sizeOf(message);
    if (m_messages >= m_maxMessages || m_bytes + size > m_maxBytes) {
        std::uint32_t& lost = m_lost[channel];
        if (lost < UINT32_MAX)
            ++lost;
        return false;
    }
    bool wake = false;
    flushLostLocked(channel, &wake);
    ++m_messages;
    m_bytes += size;
    if (!m_items.empty()) {
        Item& last = m_items.back();
        if (!last.isReply && last.type == passthru::Type::Rx && last.channel == channel
            && last.messages.size() < passthru::kMaxMessagesPerFrame
            && last.wireBytes + wireSize(message) <= kMaxRxBytes) {
            last.wireBytes += wireSize(message);
            last.messages.push_back(std::move(message));
            return true;
        }
    }
    Item item;
    item.type = passthru::Type::Rx;
    item.channel = channel;
    item.wireBytes = wireSize(message);
    item.messages.push_back(std::move(message));
    appendLocked(std::move(item), &wake);
    wakeLocked(wake);
    return true;
}

void PassThruOutbox::clearChannel(std::uint32_t channel)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (!it->isReply && it->channel == channel && it->type != passthru::Type::Bus) {
            for (const auto& m : it->messages) {
                --m_messages;
                m_bytes -= sizeOf(m);
            }
            it = m_items.erase(it);
        } else {
            ++it;
        }
    }
    m_lost.erase(channel);
}

bool PassThruOutbox::take(Item* item)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_items.empty()) {
        if (m_lost.empty())
            return false;
        // The queue drained after a drop with nothing behind it: say so now.
        bool wake = false;
        flushLostLocked(m_lost.begin()->first, &wake);
    }
    *item = std::move(m_items.front());
    m_items.pop_front();
    for (const auto& m : item->messages) {
        --m_messages;
        m_bytes -= sizeOf(m);
    }
    return true;
}

std::size_t PassThruOutbox::takeEncoded(std::vector<std::uint8_t>* out, std::size_t maxBytes)
{
    std::size_t replies = 0;
    Item item;
    while (out->size() < maxBytes && take(&item)) {
        std::vector<std::uint8_t> frame;
        if (item.isReply) {
            frame = passthru::encodeReply(item.tag, item.reply);
            ++replies;
        } else if (item.type == passthru::Type::Rx) {
            frame = passthru::encodeRx(passthru::RxEvent{item.channel, std::move(item.messages)});
        } else if (item.type == passthru::Type::Lost) {
            frame = passthru::encodeLost(passthru::LostEvent{item.channel, item.value});
        } else {
            frame = passthru::encodeBus(passthru::BusEvent{item.channel, item.value});
        }
        out->insert(out->end(), frame.begin(), frame.end());
    }
    return replies;
}

bool PassThruOutbox::empty() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_items.empty() && m_lost.empty();
}

std::size_t PassThruOutbox::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

} // namespace vciemu
