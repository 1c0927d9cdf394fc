#include "device/VciStatusRecord.h"

#include "device/AppShared.h"

#include <platform/SharedMemory.h>

#include <chrono>
#include <cstring>
#include <mutex>

namespace {

// Copies a value into a fixed text field: cut to width - 1 bytes, NUL-terminated.
template <std::size_t N>
void copyField(char (&field)[N], std::string_view value)
{
    const std::size_t n = value.size() < N - 1 ? value.size() : N - 1;
    if (n > 0) // an empty view may carry a null pointer
        std::memcpy(field, value.data(), n);
    std::memset(field + n, 0, N - n);
}

} // namespace

void clearRecord(VciStatusRecord& record)
{
    std::memset(&record, 0, sizeof record);
    record.status = 0;
    record.vbatt = 0;
    record.connType = CONN_NONE;
}

bool sameRecord(const VciStatusRecord& a, const VciStatusRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::int32_t connTypeFromText(const std::string& text)
{
    if (text == "USB")
        return CONN_USB;
    if (text == "RJ45")
        return CONN_RJ45;
    if (text == "WIFI")
        return CONN_WIFI;
    if (text == "ROUTE")
        return CONN_ROUTE;
    return CONN_NONE;
}

QString normalizeVersion(const QString& text)
{
    if (text.contains(QLatin1Char('V')))
        return QStringLiteral("V") + text.split(QLatin1Char('V')).last().trimmed();
    if (text.contains(QLatin1Char(' ')))
        return text.split(QLatin1Char(' ')).last().trimmed();
    return text;
}

namespace {

// The bus's view of a key: the map's value (last clean line, CRs removed).
QString fieldText(const blocks::StatusText& text, blocks::StatusKey k)
{
    const std::string v = text.mapValue(k);
    return QString::fromUtf8(v.data(), static_cast<int>(v.size())).trimmed();
}

} // namespace

StatusReading interpretStatusBlock(const unsigned char* block, std::size_t size)
{
    using blocks::StatusKey;
    StatusReading reading;
    clearRecord(reading.record);
    const blocks::StatusText text(blocks::blockText(block, size));
    if (text.empty())
        return reading;
    reading.present = true;

    VciStatusRecord& r = reading.record;
    copyField(r.SN, text.value(StatusKey::SN));
    copyField(r.testIP, text.value(StatusKey::testIP));
    copyField(r.vciIP, text.value(StatusKey::vciIP));
    copyField(r.softVer, text.value(StatusKey::softVer));
    copyField(r.FirmwareVersion, text.value(StatusKey::FirmwareVersion));
    copyField(r.portNumber, text.value(StatusKey::portNumber));
    copyField(r.key, text.value(StatusKey::key));
    copyField(r.DllVersion, text.value(StatusKey::DllVersion));
    r.status = text.number(StatusKey::status);
    r.vbatt = text.number(StatusKey::vbatt);
    r.connType = connTypeFromText(std::string(text.value(StatusKey::connType)));

    DeviceInfo& info = reading.info;
    info.SN = fieldText(text, StatusKey::SN);
    info.key = fieldText(text, StatusKey::key);
    info.connType = fieldText(text, StatusKey::connType);
    info.vciIP = fieldText(text, StatusKey::vciIP);
    info.softVer = normalizeVersion(fieldText(text, StatusKey::softVer));
    info.DllVersion = normalizeVersion(fieldText(text, StatusKey::DllVersion));
    info.FirmwareVersion = normalizeVersion(fieldText(text, StatusKey::FirmwareVersion));
    info.vbatt = fieldText(text, StatusKey::vbatt).toFloat(); // 0 when not a number
    info.status = fieldText(text, StatusKey::status).toInt(); // 0 when not a number
    return reading;
}

namespace {

// The status block stays mapped between reads, so a read costs one system
// call and a copy. The text counts only while its writer holds the block's
// ownership lock: a killed service's last text is no text, and a block left
// behind by a service that created a new one is opened afresh. A block that
// another process shrank is no text and is opened afresh too: a cut text
// differs from the last one, and every new text has its block's size checked
// (a touch past the end reads as zeros, the platform catches the fault).
// The view also keeps the reading of the last copy: a text is parsed once
// however many readers look at it, and the status watch's look (every
// 100 ms) serves every reader that can take a reading that recent.
class StatusBlockView {
public:
    void copyTo(unsigned char* buffer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        copyLocked(buffer);
    }

    // A copy of the block, parsed when its bytes differ from the last copy's.
    StatusReading read(std::uint64_t* generation)
    {
        unsigned char buffer[kVciStatusBlockSize] = {};
        std::lock_guard<std::mutex> lock(m_mutex);
        copyLocked(buffer);
        readLocked(buffer);
        if (generation)
            *generation = m_generation;
        return m_reading;
    }

    // The reading of the last copy when it is at most `maxAge` old, else a new read.
    StatusReading recent(std::chrono::steady_clock::duration maxAge)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_parsedValid && std::chrono::steady_clock::now() - m_readAt <= maxAge)
                return m_reading;
        }
        return read(nullptr);
    }

private:
    void copyLocked(unsigned char* buffer)
    {
        if (!m_block.isOpen() && !m_block.open(kVciStatusBlockName, kVciStatusBlockSize))
            return;
        if (m_block.faulted() || !m_block.ownerAlive()) {
            m_block.close();
            return;
        }
        std::memcpy(buffer, m_block.data(), kVciStatusBlockSize);
        if (std::memcmp(buffer, m_last, kVciStatusBlockSize) == 0)
            return;
        if (!m_block.intact()) {
            std::memset(buffer, 0, kVciStatusBlockSize);
            std::memset(m_last, 0, kVciStatusBlockSize);
            m_block.close();
            return;
        }
        std::memcpy(m_last, buffer, kVciStatusBlockSize);
    }

    void readLocked(const unsigned char* buffer)
    {
        m_readAt = std::chrono::steady_clock::now();
        if (m_parsedValid && std::memcmp(buffer, m_parsed, kVciStatusBlockSize) == 0)
            return;
        m_reading = interpretStatusBlock(buffer, kVciStatusBlockSize);
        std::memcpy(m_parsed, buffer, kVciStatusBlockSize);
        m_parsedValid = true;
        ++m_generation;
    }

    std::mutex m_mutex;
    platform::SharedMemory m_block;
    unsigned char m_last[kVciStatusBlockSize] = {};   // the last text that passed the size check
    unsigned char m_parsed[kVciStatusBlockSize] = {}; // the copy m_reading was parsed from
    bool m_parsedValid = false;
    StatusReading m_reading;
    std::uint64_t m_generation = 0; // counts the different copies seen
    std::chrono::steady_clock::time_point m_readAt;
};

StatusBlockView& statusBlockView()
{
    static StatusBlockView view;
    return view;
}

} // namespace

bool copyVciStatusBlock(unsigned char* buffer)
{
    std::memset(buffer, 0, kVciStatusBlockSize);
    statusBlockView().copyTo(buffer);
    return buffer[0] != 0;
}

StatusReading readStatusBlock()
{
    return statusBlockView().read(nullptr);
}

std::uint64_t watchStatusBlock()
{
    std::uint64_t generation = 0;
    statusBlockView().read(&generation);
    return generation;
}

bool readVciStatus(VciStatusRecord& out)
{
    const StatusReading reading = readStatusBlock();
    AppShared::instance()->publish(reading.info);
    out = reading.record;
    return reading.present;
}

bool recentVciStatus(VciStatusRecord& out)
{
    const StatusReading reading = statusBlockView().recent(std::chrono::milliseconds(250));
    out = reading.record;
    return reading.present;
}
