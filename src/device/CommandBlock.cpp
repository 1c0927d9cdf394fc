#include "device/CommandBlock.h"

#include <platform/NamedEvent.h>
#include <platform/SharedMemory.h>

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {

bool openBlock(platform::SharedMemory& block, const std::string& name)
{
    return block.open(name, CommandBlock::kSize) && block.size() >= CommandBlock::kSize;
}

// The service sleeps until asked: every write into the block is followed by
// this. A service without the event still finds the write by its slow poll.
void wakeService(const std::string& blockName)
{
    platform::NamedEvent event;
    if (event.open(blocks::requestEventName(blockName)))
        event.signal();
}

} // namespace

CommandBlock::CommandBlock(std::string name)
    : m_name(std::move(name))
{
}

std::vector<VciStatusRecord> CommandBlock::requestDeviceList(std::chrono::milliseconds limit) const
{
    unsigned char buffer[kSize];
    std::memset(buffer, 0, sizeof buffer);
    {
        platform::SharedMemory block;
        if (openBlock(block, m_name)) {
            unsigned char* data = block.data();
            std::memcpy(buffer, data, kSize);
            // The service signals the reply event when the reply is ready;
            // without that event each wait below is a 1 ms sleep, as before.
            platform::NamedEvent reply;
            if (reply.open(blocks::replyEventName(m_name)))
                reply.wait(std::chrono::milliseconds(0)); // a signal left from an earlier reply
            const auto start = std::chrono::steady_clock::now();
            blocks::storeRequest(data, ListRequest);
            wakeService(m_name);
            for (;;) {
                if (blocks::loadRequest(data) == ListReply) {
                    std::memcpy(buffer, data, kSize);
                    std::memset(data + 1, 0, kSize - 1);
                    blocks::storeRequest(data, Idle);
                    break;
                }
                const auto left = limit
                    - std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
                if (left <= std::chrono::milliseconds(0))
                    break;
                reply.wait(std::min(left, std::chrono::milliseconds(1)));
            }
        }
    }
    if (buffer[0] != ListReply)
        return {};
    return parseListReply(buffer, sizeof buffer);
}

std::vector<VciStatusRecord> CommandBlock::parseListReply(const unsigned char* block, std::size_t size)
{
    std::vector<VciStatusRecord> list;
    for (const std::string& serial : blocks::readDeviceList(block, size)) {
        VciStatusRecord r;
        clearRecord(r);
        std::memcpy(r.SN, serial.data(), serial.size()); // at most 16 bytes, SN holds 20
        r.connType = kConnTypeUnknownListEntry;
        list.push_back(r);
    }
    return list;
}

bool CommandBlock::writeSelectedSerial(const QString& serial) const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    const QByteArray bytes = serial.toUtf8();
    blocks::writeSelectedSerial(block.data(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
    wakeService(m_name);
    return true;
}

bool CommandBlock::clearSelectedSerial() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    blocks::writeSelectedSerial(block.data(), std::string_view());
    wakeService(m_name);
    return true;
}

bool CommandBlock::postMode(std::uint8_t mode) const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    blocks::storeRequest(block.data(), mode);
    wakeService(m_name);
    return true;
}

bool CommandBlock::resetForStartup() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    std::memset(block.data() + 1, 0, kSize - 1);
    blocks::storeRequest(block.data(), LocalMode);
    wakeService(m_name);
    return true;
}
