// The firmware subsystem in a stand-in window: the page it builds, the
// query off the GUI thread, and a whole update-all run shown on the page.
#include "../device/TestHost.h"
#include "support/LoopbackServers.h"

#include "kit/InternetCheck.h"
#include "maintenance/FirmwareController.h"
#include "maintenance/FirmwarePage.h"
#include "platform/Network.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using firmware::Image;

class TestFirmwarePage : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::atomic<int> m_downloads{0};
    std::atomic<int> m_upgraders{0};
    std::atomic<int> m_queries{0};

    FirmwareUpdate::Hooks hooks()
    {
        FirmwareUpdate::Hooks h;
        h.queryLatest = [this](const std::string& type, const std::string&, LatestFirmware& out) {
            ++m_queries;
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
        h.internetOk = [] { return true; };
        return h;
    }

private slots:
    void init()
    {
        m_downloads = 0;
        m_upgraders = 0;
        m_queries = 0;
    }

    void cleanup()
    {
        platform::setConnectivityProbe(nullptr);
        InternetCheck::setResolver(nullptr);
        InternetCheck::clearResolveCache();
    }

    // Update all is offered with every image already current, and flashes
    // all three again.
    void updateAllReflashesCurrentImages()
    {
        FirmwareUpdate::Hooks h = hooks();
        h.queryLatest = [this](const std::string& type, const std::string& current, LatestFirmware& out) {
            ++m_queries;
            out.versionNo = current;
            out.url = type;
            return true;
        };
        TestHost host;
        FirmwareController ctl(h);
        ctl.setFolders(m_dir.path(), m_dir.path());
        ctl.attach(host);
        ctl.Firmware_Init();
        FirmwarePage* page = ctl.page();
        for (Image which : {Image::System, Image::Application, Image::Can})
            QTRY_COMPARE(page->resultText(which), QStringLiteral("Congrats,it is already the latest version!"));
        QTRY_VERIFY(page->updateAllButton()->isEnabled());

        page->updateAllButton()->click();
        QTRY_VERIFY(!ctl.running());
        QTRY_VERIFY(page->backButton()->isEnabled());
        QCOMPARE(m_upgraders.load(), 3);
        QVERIFY(!page->updateAllButton()->isEnabled()); // nothing left to flash in this run
        ctl.stop();
    }

    // Without its own check the query asks the window's internet check: the
    // system's answer, else the probe host's address and one echo to it.
    void versionQueryFollowsTheWindowsInternetCheck()
    {
        FirmwareUpdate::Hooks h = hooks();
        h.internetOk = nullptr;
        TestHost host;
        FirmwareController ctl(h);
        ctl.setFolders(m_dir.path(), m_dir.path());
        ctl.attach(host);
        FirmwarePage* page = nullptr;
        const QString failed
            = QStringLiteral("Sorry, unable to retrieve the current version information. Please try again later.");

        // No connection and a name that does not resolve: nothing is asked.
        platform::setConnectivityProbe([] { return false; });
        InternetCheck::setResolver([](const std::string&) { return std::string(); });
        ctl.Firmware_Init();
        page = ctl.page();
        QTRY_COMPARE(page->resultText(Image::System), failed);
        QTRY_VERIFY(!ctl.running());
        QCOMPARE(page->resultText(Image::Can), failed);
        QCOMPARE(m_queries.load(), 0);
        QVERIFY(!page->updateAllButton()->isEnabled()); // no download address to flash from

        // The system reports a connection: the server is asked for all three.
        platform::setConnectivityProbe([] { return true; });
        ctl.Firmware_Init();
        QTRY_COMPARE(m_queries.load(), 3);
        QTRY_COMPARE(page->resultText(Image::System), QStringLiteral("New version update is available!"));
        QTRY_VERIFY(!ctl.running());

        // The second opinion: the probe host resolves and answers the echo.
        if (!icmpSocketsPermitted())
            QSKIP("ICMP sockets are not permitted here");
        platform::setConnectivityProbe([] { return false; });
        InternetCheck::setResolver([](const std::string&) { return std::string("127.0.0.1"); });
        InternetCheck::clearResolveCache();
        ctl.Firmware_Init();
        QTRY_COMPARE(m_queries.load(), 6);
        QTRY_VERIFY(!ctl.running());
        ctl.stop();
    }

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
