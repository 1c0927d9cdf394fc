// The drivers page's model without widgets: the driver map built from the
// fixed table and the registry, the server's catalogue checked and merged
// into it, the display status, and the texts of versions, sizes and dates.
#pragma once

#include "drivers/DriverTable.h"
#include "kit/ApiRequest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <QVector>
#include <QVersionNumber>

// One row of the page.
struct VehicleDriver {
    QString key;
    DriverInfo info;
    // The server's record, checked: "name", "versionNo", "size" (a whole
    // number, absent when unknown), "url" (http or https only), "updatedDate",
    // "summary", "sha256" (64 hex digits). Empty until the catalogue arrives.
    QJsonObject catalogue;
    QString installPath;    // folder the package was unpacked into; empty: not installed
    QString installVersion; // drivers::normalizeVersion of "InstallVersion"; empty when absent
    bool enabled = true;

    bool installed() const { return !installPath.isEmpty(); }
    QString serverVersion() const; // normalised "versionNo"; empty when unknown
    qint64 serverSize() const;     // bytes; -1 when unknown
    QString downloadUrl() const;   // empty when the catalogue has none
    QString sha256() const;        // lower-case hex; empty when the catalogue has none
};

// What the row shows in its status place.
enum class DataStatus {
    NotInstalled = 0,    // "Install"
    UpToDate = 1,        // "Installed"
    UpdateAvailable = 2, // "Update"
    Disabled = 3,        // "Disabled"
};

using DriverMap = QMap<QString, VehicleDriver>;

namespace drivers {

// "V" + the numeric parts without leading zeros ("v1.02.3" -> "V1.2.3"); a
// part that is not a number becomes "0"; a text without "." stays as it is.
// Not the device's rule of the same name (src/device): kept in this namespace.
QString normalizeVersion(const QString& text);
// The comparable number of a version text with or without "V" ("V1.2.05"
// and "1.2.5" are equal); null when the text holds no number.
QVersionNumber versionNumber(const QString& text);

DataStatus dataStatus(const VehicleDriver& driver);

// "0 B", "1.50 KB", "12.3 MB", "512 MB"; empty for a negative (unknown) size.
QString formatSize(qint64 bytes);
// An ISO 8601 time as local "MM/dd HH:mm" in the year of `now`, else
// "yyyy/MM/dd HH:mm"; empty when it cannot be read.
QString formatUpdatedDate(const QString& iso, const QDateTime& now = QDateTime::currentDateTime());

// The first driver, in key order, whose package name is part of the file name.
QString driverForArchive(const QString& fileName);

// The catalogue request: every key of the table, language "EN".
ApiRequest catalogueRequest(const QString& apiBase = QString());

// The server's answer, checked. Records that are no object or have no text
// "name" are skipped and counted; fields of the wrong kind are dropped
// (the record stays, without them); unknown fields are ignored.
struct CatalogueAnswer {
    bool ok = false;
    QString error; // translated, for the "Local Driver" section; empty when ok
    QVector<QJsonObject> records;
    int skipped = 0;
};
CatalogueAnswer parseCatalogue(const QJsonValue& answer);

// Stores each record as the catalogue of the drivers it names: "Kestrix_FORD"
// names "Kestrix_Ford"; "Kestrix_J2534" also names the drivers riding on its
// package (VOLVO, Toyota, Honda, PSA, Mahindra); "Kestrix_TATA" also FORCE.
// A later record for a driver replaces an earlier one; names not in the
// table are ignored. Returns how many drivers got a record.
int mergeCatalogue(DriverMap& map, const QVector<QJsonObject>& records);

class CatalogueTexts {
    Q_DECLARE_TR_FUNCTIONS(DriverCatalogue)
public:
    static QString notAList();
};

} // namespace drivers
