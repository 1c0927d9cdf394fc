// The vehicle drivers the program knows: a fixed table keyed by the driver
// key ("Kestrix_J2534"), held in key order. The server only adds versions,
// sizes, dates, notes and download addresses to these rows.
#pragma once

#include <QMap>
#include <QString>

struct DriverInfo {
    QString chineseName;
    QString englishName;
    QString chineseImage;
    QString englishImage;
    QString packageName; // the package the driver installs itself; empty when it rides on another's
    QString installKey;  // registry key below DrivceApp and folder below the data directory
    QString enableValue; // the registry value of a driver sharing a package; empty: "IsDisable"
    int driverKind = 0;  // 0 pass-thru, 1 make, -1 SAIC and SUBARU
    int brandIndex = 0;
    QString serverProcess; // the make's server program, ended before uninstalling
};

class DriverTable {
public:
    // The 24 rows, in key order.
    static const QMap<QString, DriverInfo>& rows();
    static const DriverInfo* find(const QString& key);
};
