// Whole update runs against a scripted account service, upgrader and adapter,
// on a virtual clock: the order of the images, where a run stops, the checks
// before an upgrader runs, and the bounded waits.
#include "maintenance/FirmwareUpdate.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fstream>

using firmware::Image;

class TestFirmwareUpdate : public QObject {
    Q_OBJECT

    // The world the update sees; each test changes what it needs.
    struct World {
        std::map<std::string, std::string> marker = {{"KestrixMT7628_NEWFirmware", "HALVERN_SYS"},
            {"KestrixMT7628_NEWApp", "HALVERN_APP"}, {"M5093K_E508FirmWare", "kestrix_E508"}};
        std::string latest = "V2.0.0";
        bool queryOk = true;
        unsigned finalDownloadStatus = 1;
        int runningPolls = 3;     // "running" answers before the final one
        std::string servedMarker; // when set, every file carries this marker
        std::string announcedSum; // sha256 the server announces
        int upgraderExit = 0;
        long returnsAfterSeconds = 20; // the adapter is back this long after an upgrader
        long clockMs = 0;
        long upgraderEndMs = -1;
        std::vector<std::string> downloads, programs;
        QList<SignalsUpgradeInfo_struct> reports;
        std::string pendingType;
        int polls = 0;
    };

    QTemporaryDir m_dir;

    FirmwareUpdate::Hooks hooks(World& w)
    {
        FirmwareUpdate::Hooks h;
        h.queryLatest = [&w](const std::string& type, const std::string&, LatestFirmware& out) {
            out.versionNo = w.latest;
            out.url = "http://files/" + type;
            out.fileName = type + ".bin";
            out.sha256 = w.announcedSum;
            return w.queryOk;
        };
        h.startDownload = [&w](const std::string& url, const std::string&, const std::string& path) {
            w.downloads.push_back(url);
            w.pendingType = url.substr(std::strlen("http://files/"));
            w.polls = 0;
            const std::string marker = w.servedMarker.empty() ? w.marker[w.pendingType] : w.servedMarker;
            const std::vector<unsigned char> image = firmware::buildImage(marker, w.latest, {1, 2, 3, 4});
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
            return true;
        };
        h.downloadStatus = [&w] { return w.polls++ < w.runningPolls ? 0u : w.finalDownloadStatus; };
        h.runProgram
            = [&w](const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds) {
                  w.programs.push_back(program.substr(program.rfind('/') + 1) + " " + args.at(1));
                  w.upgraderEndMs = w.clockMs;
                  return w.upgraderExit;
              };
        h.readStatus = [&w](VciStatusRecord& r) {
            clearRecord(r);
            if (w.clockMs - w.upgraderEndMs >= w.returnsAfterSeconds * 1000)
                std::strcpy(r.SN, "M5EA0001XJ7B0001");
            return r.SN[0] != '\0';
        };
        h.sleep = [&w](std::chrono::milliseconds ms) {
            w.clockMs += long(ms.count());
            return true;
        };
        h.fileSha256 = [](const std::string&) { return std::string("sum-of-the-file"); };
        h.report = [&w](const SignalsUpgradeInfo_struct& r) { w.reports << r; };
        return h;
    }

    static VciStatusRecord keyProgrammer()
    {
        VciStatusRecord r{};
        clearRecord(r);
        std::strcpy(r.SN, "M5EA0001XJ7B0001");
        std::strcpy(r.softVer, "APP V1.2.3");
        std::strcpy(r.DllVersion, "V1.0.0");
        std::strcpy(r.FirmwareVersion, "MT7628 V2.0.1");
        std::strcpy(r.vciIP, "127.0.100.1");
        return r;
    }

    static QList<int> finalStates(const World& w)
    {
        QList<int> states;
        for (const SignalsUpgradeInfo_struct& r : w.reports)
            if (r.state % 3 != 1)
                states << r.state;
        return states;
    }

private slots:
    // Offered to key programmers, to any adapter in its boot loader and to the
    // blank serial of a factory-fresh board; never without a serial.
    void updateIsOfferedToTheseAdaptersOnly()
    {
        const struct {
            const char *sn, *firmware;
            bool updatable;
        } rows[] = {{"M5EA0001XJ7B0001", "MT7628 V2.0.1", true}, {"979300000042", "MT7628 V2.0.1", false},
            {"979300000042", "MT7628 boot V1.0", true}, {"0000000000000000", "MT7628 V2.0.1", true},
            {"", "MT7628 boot V1.0", false}};
        for (const auto& row : rows) {
            VciStatusRecord r{};
            clearRecord(r);
            std::strcpy(r.SN, row.sn);
            std::strcpy(r.FirmwareVersion, row.firmware);
            QVERIFY2(FirmwareUpdate::updatable(r) == row.updatable, row.sn);
        }
    }

    void versionQueryComparesByNumber()
    {
        World w;
        FirmwareUpdate update(hooks(w), m_dir.path().toStdString(), "/opt/bw");
        w.latest = "app v1.2.3";
        update.queryVersions(keyProgrammer(), true);
        QCOMPARE(update.image(Image::System).query, FirmwareUpdate::Query::Latest);
        QCOMPARE(update.image(Image::Application).query, FirmwareUpdate::Query::UpdateAvailable);
        QCOMPARE(QString::fromStdString(update.image(Image::Can).typeName), QStringLiteral("M5093K_E508FirmWare"));

        update.queryVersions(keyProgrammer(), false); // no internet: nobody is asked
        QCOMPARE(update.image(Image::System).query, FirmwareUpdate::Query::Failed);
        w.queryOk = false;
        update.queryVersions(keyProgrammer(), true);
        QCOMPARE(update.image(Image::Can).query, FirmwareUpdate::Query::Failed);

        // All four parts count: the first differs, nothing else does.
        VciStatusRecord four = keyProgrammer();
        std::strcpy(four.softVer, "V1.0.1.0");
        w.queryOk = true;
        w.latest = "V2.0.1.0";
        update.queryVersions(four, true);
        QCOMPARE(update.image(Image::System).query, FirmwareUpdate::Query::UpdateAvailable);

        VciStatusRecord boot = keyProgrammer();
        std::strcpy(boot.FirmwareVersion, "boot V1.0");
        std::strcpy(boot.portNumber, "M5XX");
        update.queryVersions(boot, true);
        QVERIFY(!update.hasImages());
    }

    void updateAllRunsTheThreeImagesInOrderOnce()
    {
        World w;
        FirmwareUpdate update(hooks(w), m_dir.path().toStdString(), "/opt/bw");
        update.queryVersions(keyProgrammer(), true);
        QVERIFY(update.updateAll("127.0.100.1"));
        QCOMPARE(w.programs,
            (std::vector<std::string>{
                "7628_upgrade 127.0.100.1", "app_upgrade 127.0.100.1", "can_upgrade 127.0.100.1"}));
        QCOMPARE(finalStates(w), (QList<int>{3, 6, 9}));
        QCOMPARE(w.reports.last().text, QStringLiteral("Congrats,it is already the latest version!"));
        // The system image is not looked for before 150 s after its upgrader.
        QVERIFY(w.clockMs >= 150000);
        for (const SignalsUpgradeInfo_struct& r : w.reports)
            QVERIFY(r.progress >= 0 && r.progress <= 100);
        // Done images are not repeated.
        w.reports.clear();
        QVERIFY(update.updateAll("127.0.100.1"));
        QVERIFY(w.reports.isEmpty());
    }

    // A download is polled every 100 ms for at most ten minutes: one that
    // ends on the last poll goes through, one a poll later does not.
    void downloadEndsAtItsLimitExactly()
    {
        for (const bool late : {false, true}) {
            World w;
            w.runningPolls = 6000 + (late ? 1 : 0);
            FirmwareUpdate update(hooks(w), m_dir.path().toStdString(), "/opt/bw");
            update.queryVersions(keyProgrammer(), true);
            QCOMPARE(update.updateAll("127.0.100.1"), !late);
            QCOMPARE(w.programs.empty(), late);
        }
    }

    void aFailureStopsTheRunBeforeTheNextImages_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QList<int>>("states");
        QTest::addColumn<QString>("text");
        QTest::newRow("download fails") << 0 << QList<int>{2}
                                        << "Download failed.Please attempt the upgrade process again.";
        QTest::newRow("download never ends")
            << 1 << QList<int>{2} << "Download failed.Please attempt the upgrade process again.";
        QTest::newRow("marker of another image")
            << 2 << QList<int>{2} << "Check failed.Please attempt the upgrade process again.";
        QTest::newRow("checksum differs")
            << 3 << QList<int>{2} << "Check failed.Please attempt the upgrade process again.";
        QTest::newRow("upgrader fails") << 4 << QList<int>{2}
                                        << "Upgrade process start failed.Please attempt the upgrade process again.";
        QTest::newRow("adapter never returns") << 5 << QList<int>{2}
                                               << "The adapter did not come back after the update. Reconnect it, "
                                                  "then press Update all again.";
    }

    void aFailureStopsTheRunBeforeTheNextImages()
    {
        QFETCH(int, fault);
        QFETCH(QList<int>, states);
        QFETCH(QString, text);
        World w;
        switch (fault) {
        case 0:
            w.finalDownloadStatus = 2;
            break;
        case 1:
            w.runningPolls = 1 << 30;
            break;
        case 2:
            w.servedMarker = "HALVERN_APP";
            break;
        case 3:
            w.announcedSum = "another-sum";
            break;
        case 4:
            w.upgraderExit = 3;
            break;
        case 5:
            w.returnsAfterSeconds = 1L << 30;
            break;
        }
        FirmwareUpdate update(hooks(w), m_dir.path().toStdString(), "/opt/bw");
        update.queryVersions(keyProgrammer(), true);
        QVERIFY(!update.updateAll("127.0.100.1"));
        QCOMPARE(finalStates(w), states);
        QCOMPARE(w.reports.last().text, text);
        QCOMPARE(w.downloads.size(), std::size_t(1)); // the application and CAN images were not tried
        QVERIFY(!update.image(Image::System).done);
        if (fault == 5) {
            QCOMPARE(w.clockMs - w.upgraderEndMs, 600000L); // bounded
            QVERIFY(std::any_of(w.reports.begin(), w.reports.end(),
                [](const SignalsUpgradeInfo_struct& r) { return r.text.startsWith(QLatin1String("Reconnect VCI")); }));
        }
    }
};

QTEST_GUILESS_MAIN(TestFirmwareUpdate)
#include "tst_maintenance_firmware_update.moc"
