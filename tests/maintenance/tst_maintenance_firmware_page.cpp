// The firmware subsystem in a stand-in window: the page it builds, the
// query off the GUI thread, and a whole update-all run shown on the page.
#include "../device/TestHost.h"

#include "maintenance/FirmwareController.h"
#include "maintenance/FirmwarePage.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fstream>

using firmware::Image;

class TestFirmwarePage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::atomic<int> m_downloads{0};
    std::atomic<int> m_upgraders{0};

    FirmwareUpdate::Hooks hooks()
    {
        FirmwareUpdate::Hooks h;
        h.queryLatest = [](const std::string& type, const std::string&, LatestFirmware& out) {
            out.versionNo = type == "M5093K_E508FirmWare" ? "MT7628 V2.0.1" : "V9.0.0"; // CAN is current
            out.updatedDate = "2026-11-30";
            out.url = type;
            return true;
        };
        h.startDownload = [this](const std::string& type, const std::string&, const std::string& path) {
            ++m_downloads;
            const char* marker = type == "KestrixMT7628_NEWFirmware" ? "HALVERN_SYS"
                : type == "KestrixMT7628_NEWApp"                     ? "HALVERN_APP"
                                                                     : "kestrix_E508";
            const std::vector<unsigned char> image = firmware::buildImage(marker, "V9.0.0", {1, 2, 3});
            std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
            return true;
        };
        h.downloadStatus = [] { return 1u; };
        h.runProgram = [this](const std::string&, const std::vector<std::string>&, std::chrono::milliseconds) {
            ++m_upgraders;
            return 0;
        };
        h.readStatus = [](VciStatusRecord& r) {
            clearRecord(r);
            std::strcpy(r.SN, "M5EA0001XJ7B0001");
            std::strcpy(r.softVer, "APP V1.2.3");
            std::strcpy(r.DllVersion, "V1.0.0");
            std::strcpy(r.FirmwareVersion, "MT7628 V2.0.1");
            std::strcpy(r.vciIP, "127.0.100.1");
            r.vbatt = 12000;
            return true;
        };
        h.sleep = [](std::chrono::milliseconds) { return true; }; // the adapter is back at once
        return h;
    }

private slots:
    void queryThenUpdateAllFromThePage()
    {
        TestHost host;
        FirmwareController ctl(hooks());
        ctl.setFolders(m_dir.path(), m_dir.path());
        ctl.attach(host);
        QVERIFY(!host.pageBuilt(FirmwareController::kFirmwarePageIndex)); // built when first shown

        ctl.Firmware_Init();
        QCOMPARE(host.currentPage(), FirmwareController::kFirmwarePageIndex);
        FirmwarePage* page = ctl.page();
        QVERIFY(page);
        QTRY_COMPARE(page->resultText(Image::System), QStringLiteral("New version update is available!"));
        QCOMPARE(page->resultText(Image::Application), QStringLiteral("New version update is available!"));
        QCOMPARE(page->resultText(Image::Can), QStringLiteral("Congrats,it is already the latest version!"));
        QVERIFY(page->updateAllButton()->isEnabled());

        page->updateAllButton()->click();
        QVERIFY(!page->backButton()->isEnabled());
        QTRY_VERIFY(!ctl.running());
        QTRY_COMPARE(
            page->resultText(Image::Application), QStringLiteral("Congrats,it is already the latest version!"));
        QCOMPARE(page->resultText(Image::System), QStringLiteral("Congrats,it is already the latest version!"));
        QTRY_VERIFY(page->backButton()->isEnabled());
        QCOMPARE(m_upgraders.load(), 3);
        // The page shows what the adapter runs now.
        QCOMPARE(page->currentText(Image::System), QStringLiteral("Current version: V9.0.0"));

        // Everything done: a second press does nothing.
        ctl.ClickButton_upAll();
        QTRY_VERIFY(!ctl.running());
        QCOMPARE(m_downloads.load(), 3);
        ctl.stop();
    }
};

QTEST_MAIN(TestFirmwarePage)
#include "tst_maintenance_firmware_page.moc"
