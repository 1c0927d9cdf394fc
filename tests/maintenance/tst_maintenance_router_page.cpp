// The router page in a stand-in window with an in-memory module: rows and the
// joined mark after a scan, the join dialog's password field, the save
// checks, the reset, and which command numbers do anything.
#include "../device/TestHost.h"

#include "maintenance/CWifiPasswordInput.h"
#include "maintenance/RouterController.h"
#include "maintenance/RouterItem.h"
#include "maintenance/RouterPage.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <mutex>

namespace {

// A module that joins with the right password and keeps its own Wi-Fi.
struct MemoryModule : RouterModule {
    std::mutex mutex;
    std::map<std::string, std::string> passwords{{"Bay-Office", "officepass1"}, {"Bay-Lift", "liftpass99"}};
    std::string joined = "Bay-Lift";
    std::string wifi = "Kestrix_0001\t12345678";
    int calls = 0;
    std::atomic<int> wifiReads{0};

    std::vector<survey_table> get_ap_list(const std::string&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++calls;
        std::vector<survey_table> list;
        for (const auto& ap : passwords) {
            survey_table t{};
            std::strncpy(t.ssid, ap.first.c_str(), sizeof t.ssid - 1);
            list.push_back(t);
        }
        return list;
    }
    apclient_info get_ap_info(const std::string&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        apclient_info info{};
        std::strncpy(info.ssid, joined.c_str(), sizeof info.ssid - 1);
        return info;
    }
    bool get_client_status(const std::string&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !joined.empty();
    }
    std::string connect_to_ap(const std::string&, const std::string& name, const std::string& password) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        joined = passwords[name] == password ? name : std::string();
        return "OK";
    }
    std::string KillExe(const std::string&) override { return "OK"; }
    bool Config_reset(const std::string&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        wifi = "Kestrix_0001\t12345678";
        joined.clear();
        return true;
    }
    bool Set_Wifi_Info(const std::string&, const std::string& name, const std::string& password) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++calls;
        wifi = name + '\t' + password;
        return true;
    }
    std::string Get_Wifi_Info(const std::string&) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++wifiReads;
        return wifi;
    }
    bool answers(const std::string&) override { return true; }
};

} // namespace

class TestRouterPage : public QObject {
    Q_OBJECT

    std::atomic<int> m_connType{CONN_USB};

    std::function<bool(VciStatusRecord&)> status()
    {
        return [this](VciStatusRecord& r) {
            clearRecord(r);
            std::strcpy(r.SN, "M5EA0001XJ7B0001");
            std::strcpy(r.vciIP, "127.0.100.1");
            r.connType = m_connType.load();
            return true;
        };
    }

private slots:
    void joinSaveAndReset()
    {
        TestHost host;
        auto owned = std::make_unique<MemoryModule>();
        MemoryModule& module = *owned;
        RouterController ctl(std::move(owned), status());
        ctl.attach(host);
        QVERIFY(!host.pageBuilt(RouterController::kRouterPageIndex));

        ctl.RountInit();
        QCOMPARE(host.currentPage(), RouterController::kRouterPageIndex);
        RouterPage* page = ctl.page();
        QTRY_COMPARE(page->rowCount(), 2);
        // The joined access point first, with its mark; the adapter's Wi-Fi in the fields.
        QCOMPARE(page->row(0)->name(), QStringLiteral("Bay-Lift"));
        QVERIFY(page->row(0)->joined());
        QVERIFY(!page->row(1)->joined());
        QCOMPARE(page->currentRouterText(), QStringLiteral("Bay-Lift"));
        QTRY_COMPARE(page->nameField()->text(), QStringLiteral("Kestrix_0001"));
        QVERIFY(page->nameField()->isReadOnly());
        // The adapter's password reaches neither the eye nor a screen reader
        // until the technician edits it.
        QAccessibleInterface* password = QAccessible::queryAccessibleInterface(page->passwordField());
        QVERIFY(!page->passwordField()->text().isEmpty());
        QCOMPARE(password->text(QAccessible::Value), QString(page->passwordField()->text().size(), QLatin1Char('*')));
        QCOMPARE(password->text(QAccessible::Name), QStringLiteral("Password:"));
        // Tab goes from Refresh through the rows' Connect buttons to the adapter's fields.
        const auto nextStop = [page](QWidget* from) {
            QWidget* w = from->nextInFocusChain();
            while (w != from && (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(page)))
                w = w->nextInFocusChain();
            return w;
        };
        QWidget* next = nextStop(page->refreshButton());
        QCOMPARE(next, static_cast<QWidget*>(page->row(0)->connectButton()));
        next = nextStop(next);
        QCOMPARE(next, static_cast<QWidget*>(page->row(1)->connectButton()));
        QCOMPARE(nextStop(next), static_cast<QWidget*>(page->nameField()));

        // Escape leaves the join dialog without joining.
        page->row(1)->connectButton()->click();
        auto* escaped = page->findChild<CWifiPasswordInput*>();
        QVERIFY(escaped);
        QSignalSpy entered(escaped, &CWifiPasswordInput::passwordEntered);
        QTest::keyClicks(escaped->passwordField(), QStringLiteral("typed"));
        QTest::keyClick(escaped->passwordField(), Qt::Key_Escape);
        QVERIFY(!escaped->isVisible());
        QCOMPARE(escaped->result(), int(QDialog::Rejected));
        QCOMPARE(entered.count(), 0);
        escaped->deleteLater();
        QTRY_VERIFY(!page->findChild<CWifiPasswordInput*>());
        QTRY_VERIFY(page->row(1)->connectButton()->isEnabled()); // a press is held off for 500 ms

        // Join Bay-Office: only the characters a router password may hold get typed.
        page->row(1)->connectButton()->click();
        auto* dialog = page->findChild<CWifiPasswordInput*>();
        QVERIFY(dialog);
        QTest::keyClicks(dialog->passwordField(), QStringLiteral("office pass"));
        QKeyEvent accented(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("\u00e9"));
        QApplication::sendEvent(dialog->passwordField(), &accented);
        QTest::keyClicks(dialog->passwordField(), QStringLiteral("1"));
        QCOMPARE(dialog->passwordField()->text(), QStringLiteral("officepass1"));
        QTest::keyClick(dialog->passwordField(), Qt::Key_Return); // Enter confirms
        QTRY_VERIFY(page->row(1)->joined());
        QVERIFY(!page->row(0)->joined());
        QCOMPARE(page->currentRouterText(), QStringLiteral("Bay-Office"));
        QTRY_COMPARE(host.toasts.last(), QStringLiteral("Joined Bay-Office"));

        // Save: refused below 8 characters, sent at 8.
        page->modifyButton()->click();
        QVERIFY(!page->nameField()->isReadOnly());
        QCOMPARE(password->text(QAccessible::Value), page->passwordField()->text()); // shown while edited
        page->nameField()->setText(QStringLiteral("Bay-VCI"));
        page->passwordField()->setText(QStringLiteral("1234567"));
        const int callsBefore = module.calls;
        page->saveButton()->click();
        QCOMPARE(host.toasts.last(), QStringLiteral("The password contains less than 8 characters"));
        page->passwordField()->setText(QStringLiteral("12345678"));
        page->saveButton()->click();
        QVERIFY(page->nameField()->isReadOnly());
        QCOMPARE(password->text(QAccessible::Value), QStringLiteral("********"));
        QTRY_COMPARE(module.calls, callsBefore + 1);
        QTRY_COMPARE(ctl.setup().wifiInfo(), std::string("Bay-VCI\t12345678"));

        // Reset: factory Wi-Fi back in the fields, no router joined any more.
        page->resetButton()->click();
        QCOMPARE(host.toasts.last(), QStringLiteral("Resetting, please wait..."));
        QTRY_COMPARE(page->nameField()->text(), QStringLiteral("Kestrix_0001"));
        QTRY_COMPARE(page->currentRouterText(), QStringLiteral("--"));
        QVERIFY(!page->row(0)->joined() && !page->row(1)->joined());
        ctl.stop();
    }

    // The adapter's Wi-Fi settings are read once a second while the page is
    // shown, not at all while it is not, and again as soon as it is back; a
    // list scanned meanwhile is on the page when it comes back.
    void theWorkFollowsThePage()
    {
        TestHost host;
        auto owned = std::make_unique<MemoryModule>();
        MemoryModule& module = *owned;
        RouterController ctl(std::move(owned), status());
        ctl.attach(host);
        ctl.RountInit();
        RouterPage* page = ctl.page();
        QTRY_COMPARE(page->rowCount(), 2);
        const int shown = module.wifiReads.load();
        QTRY_VERIFY_WITH_TIMEOUT(module.wifiReads.load() > shown, 3000);

        ctl.repaint(Pages::Device);
        const int left = module.wifiReads.load();
        QTest::qWait(2500);
        QVERIFY(module.wifiReads.load() <= left + 1); // at most the read under way
        {
            std::lock_guard<std::mutex> lock(module.mutex);
            module.passwords["Bay-Yard"] = "yardpass77";
        }
        ctl.requestScan();
        QTRY_COMPARE(ctl.setup().accessPoints().size(), std::size_t(3));

        const int back = module.wifiReads.load();
        ctl.repaint(RouterController::kRouterPageIndex);
        QCOMPARE(page->rowCount(), 3); // at once, not at the next tick
        QTRY_VERIFY_WITH_TIMEOUT(module.wifiReads.load() > back, 3000);
        ctl.stop();
    }

    void scanOnlyOverACableAndUnknownCommands()
    {
        TestHost host;
        auto owned = std::make_unique<MemoryModule>();
        MemoryModule& module = *owned;
        RouterController ctl(std::move(owned), status());
        ctl.attach(host);
        m_connType = CONN_WIFI;
        ctl.RountInit();
        RouterPage* page = ctl.page();
        QTest::mouseClick(page->refreshButton(), Qt::LeftButton);
        QCOMPARE(host.toasts.last(), QStringLiteral("Connect the adapter by USB or cable to scan."));
        for (int cmd : {3, 10})
            ctl.on_SendRouteCmd(cmd, 0, QStringLiteral("Bay-Lift"), QStringLiteral("liftpass99"));
        QTest::qWait(700);
        QCOMPARE(page->rowCount(), 0);
        QCOMPARE(module.calls, 0);

        m_connType = CONN_RJ45;
        QTest::mouseClick(page->refreshButton(), Qt::LeftButton);
        QTRY_COMPARE(page->rowCount(), 2);
        m_connType = CONN_USB;
        ctl.stop();
    }
};

QTEST_MAIN(TestRouterPage)
#include "tst_maintenance_router_page.moc"
