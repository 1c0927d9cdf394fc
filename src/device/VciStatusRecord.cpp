#include "device/VciStatusRecord.h"

#include "device/AppShared.h"
#include "device/ServiceWatch.h"

#include <platform/SharedMemory.h>

#include <QStringList>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// Copies a value into a fixed text field: cut to width - 1 bytes, NUL-terminated.
template <std::size_t N>
void copyField(char (&field)[N], const std::string& value)
{
    const std::size_t n = value.size() < N - 1 ? value.size() : N - 1;
    std::memcpy(field, value.data(), n);
    std::memset(field + n, 0, N - n);
}

// Base-10 unsigned parse through a 32-byte scratch field, as the value is
// stored in the record; anything that is not a number (or does not fit in 32
// bits) gives 0.
std::uint32_t parseUnsigned(const std::string& value)
{
    char scratch[32];
    copyField(scratch, value);
    const char* p = scratch;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p < '0' || *p > '9')
        return 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(p, &end, 10);
    if (v > 0xFFFFFFFFull)
        return 0;
    return static_cast<std::uint32_t>(v);
}

std::size_t textLength(const unsigned char* block, std::size_t size)
{
    const void* nul = std::memchr(block, 0, size);
    return nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - block) : size;
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

std::string extractValue(const std::string& text, const std::string& needle)
{
    const std::size_t at = text.find(needle);
    if (at == std::string::npos)
        return std::string();
    const std::size_t start = at + needle.size();
    const std::size_t end = text.find("\r\n", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

QMap<QString, QVariant> parseKeyValueText(const QString& text, const QString& separator)
{
    // Same result as splitting with QString::split, without the temporary lists.
    QMap<QString, QVariant> map;
    const int total = text.size();
    int start = 0;
    while (start < total) {
        int end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = total;
        const QStringRef line = text.midRef(start, end - start);
        start = end + 1;
        if (line.isEmpty() || separator.isEmpty())
            continue;
        const int at = line.indexOf(separator);
        if (at < 0 || line.indexOf(separator, at + separator.size()) >= 0)
            continue; // not exactly two parts
        QString value = line.mid(at + separator.size()).trimmed().toString();
        value.remove(QLatin1Char('\r'));
        map.insert(line.left(at).trimmed().toString(), QVariant(value));
    }
    return map;
}

QString normalizeVersion(const QString& text)
{
    if (text.contains(QLatin1Char('V')))
        return QStringLiteral("V") + text.split(QLatin1Char('V')).last().trimmed();
    if (text.contains(QLatin1Char(' ')))
        return text.split(QLatin1Char(' ')).last().trimmed();
    return text;
}

QString blockText(const unsigned char* block, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(block), static_cast<int>(textLength(block, size)));
}

bool parseVciStatusBlock(const unsigned char* block, std::size_t size, VciStatusRecord& out)
{
    clearRecord(out);
    const std::size_t len = textLength(block, size);
    if (len == 0)
        return false;
    const std::string text(reinterpret_cast<const char*>(block), len);
    auto value = [&text](const char* key) { return extractValue(text, std::string(key) + " = "); };

    copyField(out.SN, value("SN"));
    copyField(out.testIP, value("testIP"));
    copyField(out.vciIP, value("vciIP"));
    copyField(out.FirmwareVersion, value("FirmwareVersion"));
    copyField(out.softVer, value("softVer"));
    out.vbatt = parseUnsigned(value("vbatt"));
    copyField(out.portNumber, value("portNumber"));
    copyField(out.key, value("key"));
    copyField(out.DllVersion, value("DllVersion"));
    out.status = parseUnsigned(value("status"));
    out.connType = connTypeFromText(value("connType"));
    return true;
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

bool readVciStatus(VciStatusRecord& out)
{
    unsigned char buffer[kVciStatusBlockSize];
    std::memset(buffer, 0, sizeof buffer);
    statusBlockView().copyTo(buffer);
    AppShared::updateDeviceMap(parseKeyValueText(blockText(buffer, sizeof buffer), QStringLiteral("=")));
    return parseVciStatusBlock(buffer, sizeof buffer, out);
}
