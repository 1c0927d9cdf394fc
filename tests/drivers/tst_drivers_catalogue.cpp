// The drivers page's model without widgets: the table, the version, size and
// date rules, the display status, the merge of the server's catalogue and
// what a hostile catalogue is turned into.
#include "drivers/DriverCatalogue.h"

#include "support/TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <ctime>

namespace {

DriverMap tableMap()
{
    DriverMap map;
    for (auto it = DriverTable::rows().constBegin(); it != DriverTable::rows().constEnd(); ++it)
        map.insert(it.key(), VehicleDriver{it.key(), it.value(), {}, {}, {}, true});
    return map;
}

QJsonObject record(const QString& name, const QString& version)
{
    return QJsonObject{{"name", name}, {"versionNo", version}};
}

} // namespace

class TestDriverCatalogue : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "UTC");
        ::tzset();
    }

    void tableKeepsItsRowsInKeyOrder()
    {
        QCOMPARE(DriverTable::rows().size(), 24);
        // UTF-8 names survive the source encoding.
        QCOMPARE(DriverTable::find("Kestrix_BENZ")->chineseName, QString::fromUtf8("\xe5\xa5\x94\xe9\xa9\xb0"));
        QVERIFY(!DriverTable::find("Kestrix_FORD"));
    }

    void versionsAreNormalised()
    {
        const struct {
            const char *text, *normalised;
        } rows[] = {{"V1.2.05", "V1.2.5"}, {"v01.002", "V1.2"}, {"1.2.05", "1.2.5"}, {"V1.x.3", "V1.0.3"},
            {"V1.-2", "V1.0"}, {"V12", "V12"}, {"", ""}};
        for (const auto& row : rows) {
            const QString got = drivers::normalizeVersion(QString::fromLatin1(row.text));
            QVERIFY2(got == QLatin1String(row.normalised),
                qPrintable(QString::fromLatin1(row.text) + QLatin1String(" -> ") + got));
        }
    }

    void statusFollowsInstallEnableAndVersions_data()
    {
        QTest::addColumn<QString>("installPath");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("installed");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("status");
        QTest::newRow("not installed") << "" << true << ""
                                       << "V9.0" << int(DataStatus::NotInstalled);
        QTest::newRow("disabled") << "/d/VW" << false << "V1.0"
                                  << "V9.0" << int(DataStatus::Disabled);
        QTest::newRow("same, other spelling") << "/d/VW" << true << "V1.2.5"
                                              << "V1.2.05" << int(DataStatus::UpToDate);
        QTest::newRow("newer") << "/d/VW" << true << "V1.2.05"
                               << "V1.10.0" << int(DataStatus::UpdateAvailable);
        QTest::newRow("server without V") << "/d/VW" << true << "V1.2.9"
                                          << "1.3" << int(DataStatus::UpdateAvailable);
        QTest::newRow("older on server") << "/d/VW" << true << "V2.0"
                                         << "V1.9.9" << int(DataStatus::UpToDate);
        QTest::newRow("unknown installed") << "/d/VW" << true << ""
                                           << "V1.0" << int(DataStatus::UpdateAvailable);
        QTest::newRow("no server version") << "/d/VW" << true << "V1.0"
                                           << "" << int(DataStatus::UpToDate);
    }
    void statusFollowsInstallEnableAndVersions()
    {
        QFETCH(QString, installPath);
        QFETCH(bool, enabled);
        QFETCH(QString, installed);
        QFETCH(QString, server);
        QFETCH(int, status);
        VehicleDriver driver;
        driver.installPath = installPath;
        driver.enabled = enabled;
        driver.installVersion = drivers::normalizeVersion(installed);
        driver.catalogue = record(QStringLiteral("Kestrix_VW"), server);
        QCOMPARE(int(drivers::dataStatus(driver)), status);
    }

    void sizesAndDatesAreFormatted()
    {
        QCOMPARE(drivers::formatSize(0), QStringLiteral("0 B"));
        QCOMPARE(drivers::formatSize(5), QStringLiteral("5.0 B"));
        QCOMPARE(drivers::formatSize(1023), QStringLiteral("1023 B"));
        QCOMPARE(drivers::formatSize(1536), QStringLiteral("1.50 KB"));
        QCOMPARE(drivers::formatSize(12897485), QStringLiteral("12.3 MB"));
        QCOMPARE(drivers::formatSize(qint64(512) << 20), QStringLiteral("512 MB"));
        QCOMPARE(drivers::formatSize(-1), QString());
        const QDateTime now(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
        QCOMPARE(drivers::formatUpdatedDate("2026-10-14T08:30:00Z", now), QStringLiteral("10/14 08:30"));
        QCOMPARE(drivers::formatUpdatedDate("2026-10-14T08:30:00.250+02:00", now), QStringLiteral("10/14 06:30"));
        QCOMPARE(drivers::formatUpdatedDate("2025-12-19T15:20:00Z", now), QStringLiteral("2025/12/19 15:20"));
        QCOMPARE(drivers::formatUpdatedDate("yesterday", now), QString());
    }

    void catalogueRecordsReachTheDriversTheyName()
    {
        DriverMap map = tableMap();
        const int updated = drivers::mergeCatalogue(map,
            {record("Kestrix_J2534", "V1.0"), record("Kestrix_FORD", "V3.0.1"), record("Kestrix_TATA", "V2.0"),
                record("Kestrix_Nope", "V1.0"), record("Kestrix_J2534", "V1.2.05")});
        QCOMPARE(updated, 9);
        QCOMPARE(map.size(), 24);
        for (const char* key :
            {"Kestrix_J2534", "Kestrix_VOLVO", "Kestrix_Toyota", "Kestrix_Honda", "Kestrix_PSA", "Kestrix_Mahindra"})
            QCOMPARE(map[key].serverVersion(), QStringLiteral("V1.2.5")); // the later record wins
        QCOMPARE(map["Kestrix_Ford"].serverVersion(), QStringLiteral("V3.0.1"));
        QCOMPARE(map["Kestrix_FORCE"].serverVersion(), QStringLiteral("V2.0"));
        QVERIFY(map["Kestrix_J0500"].catalogue.isEmpty());
        QVERIFY(map["Kestrix_BMW"].catalogue.isEmpty());
    }

    void hostileCataloguesGiveAClearResult()
    {
        for (const QJsonValue& notAList : {QJsonValue(QJsonObject{{"error", "x"}}), QJsonValue(3), QJsonValue()}) {
            const drivers::CatalogueAnswer answer = drivers::parseCatalogue(notAList);
            QVERIFY(!answer.ok);
            QVERIFY(!answer.error.isEmpty());
        }
        QJsonArray list;
        list.append(QJsonObject{{"name", "Kestrix_BMW"}, {"versionNo", "2.0.4"}, {"size", "1843200"},
            {"url", "https://files.example/BMW.zip"}, {"sha256", QString(64, QLatin1Char('A'))}, {"extra", true},
            {"summary", QString(100000, QLatin1Char('s'))}});
        list.append(QJsonObject{{"name", "Kestrix_VW"}, {"versionNo", 2.1}, {"size", -5}, {"url", "file:///etc/passwd"},
            {"sha256", "abc"}});
        list.append(QJsonObject{{"name", "Kestrix_GM"}, {"size", 1.5}, {"url", "javascript:alert(1)"}});
        list.append(QJsonObject{{"versionNo", "V1"}});
        list.append(QJsonObject{{"name", 42}});
        // Each limit at its edge: a name of 64 characters, a text of 4096, a
        // size of 15 digits or 9e15 bytes; one more is too much.
        list.append(QJsonObject{{"name", QString(64, QLatin1Char('n'))}, {"summary", QString(4097, QLatin1Char('s'))},
            {"size", "999999999999999"}});
        list.append(QJsonObject{{"name", QString(65, QLatin1Char('n'))}});
        list.append(QJsonObject{{"name", "Kestrix_SAIC"}, {"size", "1000000000000000"}});
        list.append(QJsonObject{{"name", "Kestrix_JLR"}, {"size", 9.0e15}, {"summary", QString()}});
        list.append(QJsonObject{{"name", "Kestrix_Mazda"}, {"size", 9.0e15 + 2}});
        list.append("Kestrix_BENZ");
        for (int i = 0; i < 10000; ++i)
            list.append(QJsonObject{{"name", QStringLiteral("Kestrix_X%1").arg(i)}, {"size", "many"}});
        // Through text, as the answer arrives.
        const QJsonDocument doc = QJsonDocument::fromJson(QJsonDocument(list).toJson());
        const drivers::CatalogueAnswer answer = drivers::parseCatalogue(QJsonValue(doc.array()));
        QVERIFY(answer.ok);
        QCOMPARE(answer.records.size(), 10007);
        QCOMPARE(answer.skipped, 4);
        QCOMPARE(answer.records[3].value("summary").toString().size(), 4096);
        QCOMPARE(answer.records[3].value("size").toDouble(), 999999999999999.0);
        DriverMap map = tableMap();
        QCOMPARE(drivers::mergeCatalogue(map, answer.records), 6);
        QVERIFY(!map["Kestrix_SAIC"].catalogue.contains("size"));
        QVERIFY(!map["Kestrix_Mazda"].catalogue.contains("size"));
        QCOMPARE(map["Kestrix_JLR"].serverSize(), qint64(9000000000000000));
        QCOMPARE(map["Kestrix_JLR"].catalogue.value("summary"), QJsonValue(QString()));
        const VehicleDriver& bmw = map["Kestrix_BMW"];
        QCOMPARE(bmw.serverVersion(), QStringLiteral("2.0.4"));
        QCOMPARE(bmw.serverSize(), qint64(1843200));
        QCOMPARE(bmw.sha256(), QString(64, QLatin1Char('a')));
        QVERIFY(!bmw.catalogue.contains("extra"));
        const VehicleDriver& vw = map["Kestrix_VW"];
        QCOMPARE(vw.serverVersion(), QStringLiteral("2.1"));
        QCOMPARE(vw.serverSize(), qint64(-1));
        QVERIFY(vw.downloadUrl().isEmpty());
        QVERIFY(vw.sha256().isEmpty());
        QCOMPARE(map["Kestrix_GM"].serverSize(), qint64(-1));
        QVERIFY(map["Kestrix_GM"].downloadUrl().isEmpty());
        QCOMPARE(int(drivers::dataStatus(map["Kestrix_GM"])), int(DataStatus::NotInstalled));
    }

    // By package name ("J2534_0404"), not by driver key; case counts.
    void localArchivesAreMatchedByPackageName()
    {
        const struct {
            const char *file, *key;
        } rows[] = {{"J2534_0500_V1.0.3.zip", "Kestrix_J0500"}, {"J2534_0404_V1.2.05.zip", "Kestrix_J2534"},
            {"BMW.zip", "Kestrix_BMW"}, {"Kestrix_J2534.zip", ""}, {"bmw.zip", ""}};
        for (const auto& row : rows)
            QVERIFY2(drivers::driverForArchive(QString::fromLatin1(row.file)) == QLatin1String(row.key), row.file);
    }

private:
    TestEnvironment m_env;
};

QTEST_GUILESS_MAIN(TestDriverCatalogue)
#include "tst_drivers_catalogue.moc"
