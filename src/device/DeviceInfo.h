// The adapter status as a Qt value, sent on the AppShared bus.
#pragma once

#include <QMetaType>
#include <QString>

struct DeviceInfo {
    QString SN;
    QString key;
    QString softVer;         // normalised (see normalizeVersion)
    QString DllVersion;      // normalised
    QString FirmwareVersion; // normalised
    QString connType;        // "USB", "RJ45", "WIFI", "ROUTE" as written, or empty
    QString vciIP;
    float vbatt = 0.0f; // millivolts as written
    int status = 0;
};

Q_DECLARE_METATYPE(DeviceInfo)
