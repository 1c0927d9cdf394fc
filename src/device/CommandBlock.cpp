#include "device/CommandBlock.h"

#include <platform/SharedMemory.h>

#include <QByteArray>

#include <cstring>
#include <thread>

namespace {

bool openBlock(platform::SharedMemory& block, const std::string& name)
{
    return block.open(name, CommandBlock::kSize) && block.size() >= CommandBlock::kSize;
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
            const auto start = std::chrono::steady_clock::now();
            blocks::storeRequest(data, ListRequest);
            for (;;) {
                if (blocks::loadRequest(data) == ListReply) {
                    std::memcpy(buffer, data, kSize);
                    std::memset(data + 1, 0, kSize - 1);
                    blocks::storeRequest(data, Idle);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (std::chrono::steady_clock::now() - start >= limit)
                    break;
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
    return true;
}

bool CommandBlock::clearSelectedSerial() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    blocks::writeSelectedSerial(block.data(), std::string_view());
    return true;
}

bool CommandBlock::postMode(std::uint8_t mode) const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    blocks::storeRequest(block.data(), mode);
    return true;
}

bool CommandBlock::resetForStartup() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    std::memset(block.data() + 1, 0, kSize - 1);
    blocks::storeRequest(block.data(), LocalMode);
    return true;
}
