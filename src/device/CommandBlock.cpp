#include "device/CommandBlock.h"

#include <platform/SharedMemory.h>

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

// The service writes the block from another process: the request byte is
// re-read on every poll, and the reply is read only after it was seen.
std::uint8_t readRequestByte(const unsigned char* data)
{
    const std::uint8_t v = *static_cast<const volatile unsigned char*>(data);
    std::atomic_thread_fence(std::memory_order_acquire);
    return v;
}

void writeRequestByte(unsigned char* data, std::uint8_t value)
{
    std::atomic_thread_fence(std::memory_order_release);
    *static_cast<volatile unsigned char*>(data) = value;
}

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
            writeRequestByte(data, ListRequest);
            for (;;) {
                if (readRequestByte(data) == ListReply) {
                    std::memcpy(buffer, data, kSize);
                    std::memset(data + 1, 0, kSize - 1);
                    writeRequestByte(data, Idle);
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
    if (size < kListOffset)
        return list;
    const std::uint32_t count = std::uint32_t(block[kCountOffset]) | (std::uint32_t(block[kCountOffset + 1]) << 8)
        | (std::uint32_t(block[kCountOffset + 2]) << 16) | (std::uint32_t(block[kCountOffset + 3]) << 24);
    const std::size_t fits = (size - kListOffset) / kSerialSize;
    const std::size_t n = count < fits ? count : fits;
    list.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        VciStatusRecord r;
        clearRecord(r);
        std::memcpy(r.SN, block + kListOffset + i * kSerialSize, kSerialSize);
        r.SN[kSerialSize] = '\0';
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
    unsigned char field[kSerialSize] = {};
    std::memcpy(field, bytes.constData(), std::min<std::size_t>(bytes.size(), kSerialSize));
    std::memcpy(block.data() + kSerialOffset, field, kSerialSize);
    return true;
}

bool CommandBlock::clearSelectedSerial() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    std::memset(block.data() + kSerialOffset, 0, kSerialSize);
    return true;
}

bool CommandBlock::postMode(std::uint8_t mode) const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    writeRequestByte(block.data(), mode);
    return true;
}

bool CommandBlock::resetForStartup() const
{
    platform::SharedMemory block;
    if (!openBlock(block, m_name))
        return false;
    std::memset(block.data() + 1, 0, kSize - 1);
    writeRequestByte(block.data(), LocalMode);
    return true;
}
