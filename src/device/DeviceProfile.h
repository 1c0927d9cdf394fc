// What the manager knows about an adapter model, chosen from its serial.
#pragma once

#include <QMetaType>
#include <QString>

#include <array>

struct DeviceProfile {
    QString modelCode;
    QString familyCode;
    QString j2534Name;
    QString imageResource;
    QString mt7628SystemFirmwareType;
    QString mt7628AppFirmwareType;
    QString canFirmwareType;
};

// Key programmers whose serials do not carry the family code.
extern const std::array<const char*, 14> kKeyProgrammerSerials;

DeviceProfile keyProgrammerProfile();
DeviceProfile genericProfile();
// The profile before the first status read (same as the generic one).
DeviceProfile initialProfile();

DeviceProfile lookupDeviceProfile(const QString& serial);

// False for null or texts shorter than 11 characters; true for the serials of
// kKeyProgrammerSerials and for "M5E..." serials with "XJ7" at positions 8-10.
bool isKeyProgrammerSerial(const char* serial);

// The picture and J2534 name the device page and the device list show for a serial.
QString devicePictureFor(const QString& serial);
QString deviceNameFor(const QString& serial);
