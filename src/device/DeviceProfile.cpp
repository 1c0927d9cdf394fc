#include "device/DeviceProfile.h"

#include <QByteArray>

#include <cstring>

// Early key programmers, built before the family code was part of the serial.
const std::array<const char*, 14> kKeyProgrammerSerials = {
    "M5EC2019A0100017",
    "M5EC2019A0100023",
    "M5EC2019A0100042",
    "M5EC2019B0200108",
    "M5EC2019B0200115",
    "M5EC2020C0300007",
    "M5EC2020C0300031",
    "M5EC2020C0300056",
    "M5EC2020D0400212",
    "M5EC2020D0400219",
    "M5EC2021E0500004",
    "M5EC2021E0500090",
    "M5EC2021F0600333",
    "M5EC2021F0600347",
};

namespace {

bool inKeyProgrammerList(const char* serial)
{
    for (const char* s : kKeyProgrammerSerials) {
        if (std::strcmp(s, serial) == 0)
            return true;
    }
    return false;
}

} // namespace

DeviceProfile keyProgrammerProfile()
{
    return DeviceProfile{QStringLiteral("M5E"), QStringLiteral("XJ7"), QStringLiteral("Brindlewick J2534"),
        QStringLiteral(":/images/vci_M5093K.png"), QStringLiteral("KestrixMT7628_NEWFirmware"),
        QStringLiteral("KestrixMT7628_NEWApp"), QStringLiteral("M5093K_E508FirmWare")};
}

DeviceProfile genericProfile()
{
    DeviceProfile p;
    p.imageResource = QStringLiteral(":/image/PNG_5093K_DisConn.png");
    return p;
}

DeviceProfile initialProfile()
{
    return genericProfile();
}

DeviceProfile lookupDeviceProfile(const QString& serial)
{
    const QByteArray bytes = serial.toUtf8();
    if (inKeyProgrammerList(bytes.constData()))
        return keyProgrammerProfile();
    const DeviceProfile key = keyProgrammerProfile();
    if (serial.startsWith(key.modelCode) && serial.mid(8, 3).startsWith(key.familyCode))
        return key;
    return genericProfile();
}

bool isKeyProgrammerSerial(const char* serial)
{
    if (serial == nullptr || std::strlen(serial) < 11)
        return false;
    if (inKeyProgrammerList(serial))
        return true;
    return std::strncmp(serial, "M5E", 3) == 0 && std::strncmp(serial + 8, "XJ7", 3) == 0;
}

QString devicePictureFor(const QString& serial)
{
    return isKeyProgrammerSerial(serial.toUtf8().constData()) ? QStringLiteral(":/image/brindlewick vci.png")
                                                              : QStringLiteral(":/image/PNG_5093K_DisConn.png");
}

QString deviceNameFor(const QString& serial)
{
    return isKeyProgrammerSerial(serial.toUtf8().constData()) ? QStringLiteral("Brindlewick J2534")
                                                              : QStringLiteral("--");
}
