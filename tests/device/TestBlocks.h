// Helpers shared by the device tests: a per-process shared memory prefix so
// that tests never meet each other's blocks, and status text building.
#pragma once

#include <platform/SharedMemory.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <cstring>

inline void useUniqueShmPrefix(const char* testName)
{
    const QByteArray prefix
        = QByteArray("bwtest_") + testName + '_' + QByteArray::number(QCoreApplication::applicationPid()) + '_';
    qputenv("BRINDLEWICK_SHM_PREFIX", prefix);
}

// Writes `text` (at most 1024 bytes, no terminator added when it fills the
// block) into an open 1024-byte block, zeroing the rest.
inline void fillBlock(platform::SharedMemory& block, const QByteArray& text)
{
    std::memset(block.data(), 0, block.size());
    std::memcpy(block.data(), text.constData(), std::min<std::size_t>(text.size(), block.size()));
}

inline QByteArray statusText(const char* sn, unsigned vbatt, unsigned status, const char* conn,
    const char* vciIP = "127.0.100.1", const char* testIP = "127.0.100.1")
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
