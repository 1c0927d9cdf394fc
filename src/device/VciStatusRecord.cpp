#include "device/VciStatusRecord.h"

#include "device/AppShared.h"
#include "device/ServiceWatch.h"

#include <platform/SharedMemory.h>

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

QString fieldText(const blocks::StatusText& text, blocks::StatusKey k)
{
    if (text.holdsSeparator(k))
        return QString();
    const std::string_view v = text.value(k);
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

// While the same live service owns the block it stays mapped between reads,
// so a read costs a copy instead of an open and a map. A new service process
// (or any other owner check) opens it afresh.
class StatusBlockView {
public:
    void copyTo(unsigned char* buffer)
    {
        long owner = 0;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!statusOwnerAlive(&owner)) {
            // The text of a service that is gone counts as no text at all.
            m_block.close();
            return;
        }
        if (owner == 0 || owner != m_owner || !m_block.isOpen()) {
            m_block.close();
            m_owner = owner;
            if (!m_block.open(kVciStatusBlockName, kVciStatusBlockSize) || m_block.size() < kVciStatusBlockSize) {
                m_block.close();
                return;
            }
        }
        std::memcpy(buffer, m_block.data(), kVciStatusBlockSize);
        if (owner == 0)
            m_block.close();
    }

private:
    std::mutex m_mutex;
    platform::SharedMemory m_block;
    long m_owner = 0;
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
    unsigned char buffer[kVciStatusBlockSize];
    copyVciStatusBlock(buffer);
    return interpretStatusBlock(buffer, sizeof buffer);
}

bool readVciStatus(VciStatusRecord& out)
{
    const StatusReading reading = readStatusBlock();
    AppShared::instance()->publish(reading.info);
    out = reading.record;
    return reading.present;
}
