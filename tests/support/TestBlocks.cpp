#include "support/TestBlocks.h"

#include <algorithm>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

void fillBlock(platform::SharedMemory& block, const QByteArray& text)
{
    std::memset(block.data(), 0, block.size());
    std::memcpy(block.data(), text.constData(), std::min<std::size_t>(text.size(), block.size()));
}

bool shrinkBlock(const char* name, std::size_t bytes)
{
    const int fd = ::shm_open(platform::SharedMemory::nativeName(name).c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    ::close(fd);
    return ok;
}

QByteArray statusText(
    const char* sn, unsigned vbatt, unsigned status, const char* conn, const char* vciIP, const char* testIP)
{
    QByteArray t;
    t += QByteArray("SN = ") + sn + "\r\n";
    t += QByteArray("testIP = ") + testIP + "\r\n";
    t += QByteArray("vciIP = ") + vciIP + "\r\n";
    t += "softVer = APP V1.2.3\r\n";
    t += "FirmwareVersion = MT7628 V2.0.1\r\n";
    t += "portNumber = M5WC\r\n";
    t += "key = K123\r\n";
    t += "status = " + QByteArray::number(status) + "\r\n";
    t += "vbatt = " + QByteArray::number(vbatt) + "\r\n";
    t += "DllVersion = 4.5.6\r\n";
    t += QByteArray("connType = ") + conn + "\r\n";
    return t;
}

QByteArray statusValue(const QByteArray& text, const QByteArray& key)
{
    const QByteArray needle = key + " = ";
    int p = text.startsWith(needle) ? 0 : text.indexOf("\r\n" + needle);
    if (p < 0)
        return QByteArray();
    if (p > 0)
        p += 2;
    const int end = text.indexOf("\r\n", p);
    return text.mid(p + needle.size(), end < 0 ? -1 : end - p - needle.size());
}

QByteArray statusBlockText()
{
    platform::SharedMemory block;
    if (!block.open(kStatusBlock, kBlockBytes))
        return QByteArray();
    const void* nul = std::memchr(block.data(), 0, kBlockBytes);
    const int n = nul ? int(static_cast<const unsigned char*>(nul) - block.data()) : int(kBlockBytes);
    return QByteArray(reinterpret_cast<const char*>(block.data()), n);
}

void putCount(unsigned char* data, std::uint32_t count)
{
    for (int i = 0; i < 4; ++i)
        data[5 + i] = static_cast<unsigned char>(count >> (8 * i));
}

std::uint32_t countAt(const unsigned char* data)
{
    return data[5] | (data[6] << 8) | (data[7] << 16) | (std::uint32_t(data[8]) << 24);
}

void putEntry(unsigned char* data, int index, const char* serial)
{
    std::memcpy(data + 25 + 16 * index, serial, 16);
}

QString entryAt(const unsigned char* data, int index)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(data + 25 + 16 * index), 16);
}
