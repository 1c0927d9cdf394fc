// The device page, the device list and the device operations, driven through
// DeviceController with real shared blocks and scripted adapter operations.
#include "TestHost.h"
#include "support/FakeService.h"
#include "support/TestBlocks.h"

#include "device/DeviceController.h"
#include "device/DevicePage.h"
#include "device/MoreVciPage.h"
#include "device/VCIItem.h"
#include "kit/DialogSeam.h"

#include <MT7628Config.h>
#include <blocks/StatusBlock.h>
#include <platform/NamedEvent.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <atomic>

class TestDevicePages : public QObject {
    Q_OBJECT

private:
    platform::SharedMemory m_status;
    platform::SharedMemory m_command;
    MT7628Config m_cfg;
    TestHost* m_host = nullptr;
    QWidget* m_home = nullptr;
    DeviceController* m_ctl = nullptr;
    std::atomic<int> m_calls{0};
    std::atomic<bool> m_result{true};

    QString text(const char* name) const
    {
        auto* label = m_home->findChild<QLabel*>(name);
        return label ? label->text() : QStringLiteral("<no %1>").arg(name);
    }
    QString style(const char* name) const { return m_home->findChild<QLabel*>(name)->styleSheet(); }
    // The resource the adapter picture shows; empty when no picture was drawn.
    QString picture() const
    {
        auto* label = m_home->findChild<QLabel*>("label_DevicePicture");
        return label->pixmap(Qt::ReturnByValue).isNull() ? QString() : label->property("picture").toString();
    }
    QPushButton* button(const char* name) const { return m_home->findChild<QPushButton*>(name); }

    void show(const QByteArray& statusText)
    {
        fillBlock(m_status, statusText);
        m_ctl->statusPass(false);
        m_ctl->repaint(DeviceController::kDevicePageIndex);
    }

    QByteArray offset9() const { return QByteArray(reinterpret_cast<const char*>(m_command.data()) + 9, 16); }

    void listThree()
    {
        FakeService service(m_command.data(), std::chrono::milliseconds(0), [](unsigned char* b) {
            putCount(b, 3);
            putEntry(b, 0, "M5EC0000XJ70001A");
            putEntry(b, 1, "M5EC0000XJ70002B");
            putEntry(b, 2, "OTHER00000000003");
        });
        m_ctl->requestDeviceList();
    }

    int connectedRows() const
    {
        int n = 0;
        for (int i = 0; i < m_ctl->moreVciPage()->rowCount(); ++i)
            n += m_ctl->moreVciPage()->row(i)->isConnected() ? 1 : 0;
        return n;
    }

    void clickRow(int row)
    {
        QListWidget* list = m_ctl->moreVciPage()->list();
        list->setCurrentRow(row);
        emit list->itemClicked(list->item(row));
    }

private slots:
    void initTestCase()
    {
        useUniqueShmPrefix("pages");
        QVERIFY(m_status.create(kStatusBlock, kBlockBytes));
        QVERIFY(m_status.holdOwnership()); // the test plays the service
        QVERIFY(m_command.create(kCommandBlock, kBlockBytes));
        DialogSeam::answerAlways(1);
    }
    void cleanupTestCase()
    {
        DialogSeam::clear();
        platform::SharedMemory::remove(kStatusBlock);
        platform::SharedMemory::remove(kCommandBlock);
    }

    void init()
    {
        fillBlock(m_status, QByteArray());
        fillBlock(m_command, QByteArray());
        m_host = new TestHost;
        m_home = m_host->pageHost(DeviceController::kDevicePageIndex);
        m_ctl = new DeviceController(m_cfg);
        m_ctl->setAdapterProbe([](std::string&) { return false; });
        m_calls = 0;
        m_result = true;
        auto op = [this](const std::string& ip) {
            ++m_calls;
            return m_result.load() && ip == "127.0.100.1";
        };
        m_ctl->setAdapterOps({op, op, op});
        m_ctl->attach(*m_host);
    }
    void cleanup()
    {
        m_ctl->stop();
        delete m_ctl;
        delete m_host;
    }

    void showsAConnectedAdapter()
    {
        // The log says which adapter the page shows, once per change (the Win32 smoke test reads it).
        QTest::ignoreMessage(QtInfoMsg, "device page: adapter M5EC0000XJ70001A shown");
        show(statusText("M5EC0000XJ70001A", 12345, 1, "USB"));
        QCOMPARE(text("label_VCI_SN"), QStringLiteral("M5EC0000XJ70001A"));
        QCOMPARE(text("label_softVer"), QStringLiteral("V1.2.3"));
        QCOMPARE(text("label_FirmwareVersion"), QStringLiteral("V2.0.1"));
        QCOMPARE(text("label_DllVersion"), QStringLiteral("4.5.6"));
        QCOMPARE(text("label_ConnType"), QStringLiteral("USB"));
        QCOMPARE(text("label_Voltage"), QStringLiteral("12.34V"));
        QVERIFY(style("label_Voltage").contains("rgb(52, 199, 89)"));
        QCOMPARE(text("Label_VCI_Status"), QStringLiteral("Idle"));
        QVERIFY(style("Label_VCI_Status").contains("rgb(52, 199, 89)"));
        QCOMPARE(text("label_DeviceName"), QStringLiteral("Brindlewick J2534"));
        QCOMPARE(picture(), QStringLiteral(":/image/brindlewick vci.png"));
        for (const char* b : {"Btn_vciReboot", "Btn_requestBuzz", "Btn_ReleaseOccupation", "Btn_Router_Connect"}) {
            QVERIFY2(button(b)->isEnabled(), b);
            QCOMPARE(button(b)->property("Enable"), QVariant(QString()));
        }
        QTest::ignoreMessage(QtInfoMsg, "device page: no adapter");
        show(QByteArray());
        QCOMPARE(text("label_VCI_SN"), QStringLiteral("--"));
    }

    void coloursStatesAndButtonRules()
    {
        show(statusText("OTHER00000000003", 10999, 2, "RJ45"));
        QCOMPARE(text("label_Voltage"), QStringLiteral("10.99V"));
        QVERIFY(style("label_Voltage").contains("rgb(255, 0, 0)"));
        QCOMPARE(text("Label_VCI_Status"), QStringLiteral("Occupied"));
        QVERIFY(style("Label_VCI_Status").contains("rgb(229, 0, 18)"));
        QCOMPARE(text("label_DeviceName"), QStringLiteral("--"));
        QCOMPARE(picture(), QStringLiteral(":/image/PNG_5093K_DisConn.png"));
        QCOMPARE(text("label_ConnType"), QStringLiteral("RJ45"));
        QVERIFY(!button("Btn_vciReboot")->isEnabled()); // not a USB link
        QCOMPARE(button("Btn_vciReboot")->property("Enable"), QVariant(false));
        QVERIFY(button("Btn_Router_Connect")->isEnabled());

        // An unknown state code leaves the label as it was.
        show(statusText("OTHER00000000003", 11000, 3, "USB"));
        QCOMPARE(text("Label_VCI_Status"), QStringLiteral("Occupied"));
        QCOMPARE(text("label_Voltage"), QStringLiteral("11.00V"));
        show(statusText("OTHER00000000003", 11000, 0, "route"));
        QCOMPARE(text("Label_VCI_Status"), QStringLiteral("Recovery"));
        QCOMPARE(text("label_ConnType"), QStringLiteral("--"));
        QVERIFY(!button("Btn_vciReboot")->isEnabled()); // only over USB

        // The local loopback link has no Wi-Fi set-up.
        show(statusText("OTHER00000000003", 11000, 1, "USB", "127.0.0.1", "127.0.0.1"));
        QVERIFY(!button("Btn_Router_Connect")->isEnabled());

        // Service gone: "None", "0V" in red and "--" everywhere.
        show(QByteArray());
        QCOMPARE(text("Label_VCI_Status"), QStringLiteral("None"));
        QVERIFY(style("Label_VCI_Status").contains("rgb(229, 0, 18)"));
        QCOMPARE(text("label_Voltage"), QStringLiteral("0V"));
        for (const char* l :
            {"label_VCI_SN", "label_softVer", "label_FirmwareVersion", "label_DllVersion", "label_ConnType"})
            QCOMPARE(text(l), QStringLiteral("--"));
        QVERIFY(!button("Btn_vciReboot")->isEnabled());
        QVERIFY(!button("Btn_Router_Connect")->isEnabled());
    }

    // Without an address nothing runs; each operation's result comes as a
    // toast; the reboot's success waits for the adapter's return, once.
    void operationsReportThroughToasts()
    {
        QSignalSpy toasts(m_ctl, &DeviceController::SignalsTMsg);
        auto lastToast = [&toasts] { return toasts.isEmpty() ? QString() : toasts.last().at(0).toString(); };
        show(statusText("M5EC0000XJ70001A", 12345, 1, "USB", ""));
        m_ctl->ClickButton_vciReboot();
        m_ctl->ClickButton_requestBuzz();
        m_ctl->Release_VCI_occupation();
        QTest::qWait(100);
        QCOMPARE(m_calls.load(), 0);
        QCOMPARE(toasts.count(), 0);

        show(statusText("M5EC0000XJ70001A", 12345, 1, "USB"));
        button("Btn_requestBuzz")->click();
        QTRY_COMPARE(toasts.count(), 1);
        QCOMPARE(lastToast(), QStringLiteral("Execute successfully"));
        m_result = false;
        button("Btn_ReleaseOccupation")->click();
        QTRY_COMPARE(toasts.count(), 2);
        QCOMPARE(lastToast(), QStringLiteral("Execution failed"));
        QCOMPARE(m_calls.load(), 2);

        m_result = true;
        button("Btn_vciReboot")->click();
        QTRY_COMPARE(toasts.count(), 3);
        QCOMPARE(toasts.last().at(1).toInt(), 20000); // shown until the adapter is back
        show(QByteArray());                           // rebooting: gone
        QCOMPARE(toasts.count(), 3);
        show(statusText("M5EC0000XJ70001A", 12345, 1, "USB"));
        QTRY_COMPARE(toasts.count(), 4);
        QCOMPARE(lastToast(), QStringLiteral("Execute successfully"));
        show(QByteArray());
        show(statusText("M5EC0000XJ70001A", 12345, 1, "USB"));
        QTest::qWait(20);
        QCOMPARE(toasts.count(), 4); // shown once only
    }

    void listAndSelectionRules()
    {
        QSignalSpy added(m_ctl, &DeviceController::SignalsVciAdd);
        listThree();
        QCOMPARE(added.count(), 1);
        MoreVciPage* page = m_ctl->moreVciPage();
        QCOMPARE(page->rowCount(), 3);
        QCOMPARE(page->row(2)->serial(), QStringLiteral("OTHER00000000003"));
        QCOMPARE(connectedRows(), 0);
        QVERIFY(!page->selectButton()->isEnabled());

        clickRow(0);
        QVERIFY(page->selectButton()->isEnabled());
        QCOMPARE(page->row(0)->markStyle(), QString::fromLatin1(VCIItem::kClickedStyle));
        page->selectButton()->click();
        QCOMPARE(offset9(), QByteArray("M5EC0000XJ70001A"));
        QVERIFY(page->row(0)->isConnected());
        QVERIFY(!page->selectButton()->isEnabled());

        // Clicking the connected row changes nothing.
        clickRow(0);
        QVERIFY(!page->selectButton()->isEnabled());

        // Row 2 while row 1 is selected: exactly one row marked.
        clickRow(1);
        QCOMPARE(page->row(0)->markStyle(), QString::fromLatin1(VCIItem::kCheckStyle));
        page->selectButton()->click();
        QCOMPARE(offset9(), QByteArray("M5EC0000XJ70002B"));
        QCOMPARE(connectedRows(), 1);
        QVERIFY(page->row(1)->isConnected());
        QCOMPARE(page->row(0)->markStyle(), QString::fromLatin1(VCIItem::kCancelStyle));
        QCOMPARE(m_ctl->selectedSerial(), QStringLiteral("M5EC0000XJ70002B"));

        // Clicking another row and then a third: the second loses its "clicked" mark.
        clickRow(0);
        clickRow(2);
        QCOMPARE(page->row(0)->markStyle(), QString::fromLatin1(VCIItem::kCancelStyle));
        QCOMPARE(page->row(2)->markStyle(), QString::fromLatin1(VCIItem::kClickedStyle));

        // Rebuilding keeps the mark and writes the remembered serial again.
        listThree();
        QCOMPARE(page->rowCount(), 3);
        QCOMPARE(offset9(), QByteArray("M5EC0000XJ70002B"));
        QCOMPARE(connectedRows(), 1);
        QVERIFY(page->row(1)->isConnected());

        // Tab reaches the connected row's red button between the list and Back.
        QWidget* stop = page->list();
        do
            stop = stop->nextInFocusChain();
        while (!(stop->focusPolicy() & Qt::TabFocus) || !stop->isVisibleTo(page));
        QCOMPARE(stop, static_cast<QWidget*>(page->row(1)->findChild<QPushButton*>("Btn_VCIDisconnect")));

        // The red button disconnects.
        page->row(1)->findChild<QPushButton*>("Btn_VCIDisconnect")->click();
        QCOMPARE(offset9(), QByteArray(16, '\0'));
        QCOMPARE(connectedRows(), 0);
        QCOMPARE(m_ctl->selectedSerial(), QString());
        QVERIFY(!page->selectButton()->isEnabled());
    }

    void selectWithoutARowWritesNothing()
    {
        listThree();
        QSignalSpy toasts(m_ctl, &DeviceController::SignalsTMsg);
        std::memcpy(m_command.data() + 9, "KEEPTHISSERIAL00", 16);
        m_ctl->moreVciPage()->list()->setCurrentRow(-1);
        m_ctl->SlotsClickItem();
        QCOMPARE(toasts.count(), 1);
        QCOMPARE(offset9(), QByteArray("KEEPTHISSERIAL00"));
        QCOMPARE(connectedRows(), 0);
    }

    void emptyOrMissingReplyAddsNoRows()
    {
        QSignalSpy added(m_ctl, &DeviceController::SignalsVciAdd);
        {
            FakeService service(
                m_command.data(), std::chrono::milliseconds(0), [](unsigned char* b) { putCount(b, 0); });
            m_ctl->requestDeviceList();
        }
        QCOMPARE(added.count(), 0);
        QCOMPARE(m_ctl->moreVciPage()->rowCount(), 0);
        QVERIFY(!m_ctl->moreVciPage()->refreshControl()->isHidden());

        // Refresh by pressing the control; the service never answers.
        listThree();
        QCOMPARE(m_ctl->moreVciPage()->rowCount(), 3);
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(m_ctl->moreVciPage()->refreshControl(), Qt::LeftButton);
        QVERIFY(t.elapsed() >= 1000 && t.elapsed() < 1800);
        QCOMPARE(m_ctl->moreVciPage()->rowCount(), 0);
        QCOMPARE(int(m_command.data()[0]), 1);
    }

    // The service signals the status event after each change of the text;
    // the watch wakes the status pass for a changed text only.
    void statusWatchWakesOnChangesOnly()
    {
        platform::NamedEvent changed;
        QVERIFY(changed.create(blocks::statusEventName(kVciStatusBlockName)));
        auto publish = [&](const QByteArray& text) {
            fillBlock(m_status, text);
            QVERIFY(changed.signal());
        };
        publish(statusText("M5EC0000XJ70001A", 12000, 1, "USB"));
        QTRY_COMPARE(m_host->wakes.load(), 1);
        QVERIFY(changed.signal()); // the same text again
        QTest::qWait(100);
        QCOMPARE(m_host->wakes.load(), 1);
        publish(statusText("M5EC0000XJ70001A", 12010, 1, "USB"));
        QTRY_COMPARE(m_host->wakes.load(), 2);
        publish(QByteArray());
        QTRY_COMPARE(m_host->wakes.load(), 3);

        // A restarted service makes a new event; the watch takes it up.
        platform::NamedEvent::remove(blocks::statusEventName(kVciStatusBlockName));
        QVERIFY(changed.signal()); // the old event, as a stopping service does
        platform::NamedEvent restarted;
        QVERIFY(restarted.create(blocks::statusEventName(kVciStatusBlockName)));
        fillBlock(m_status, statusText("M5EC0000XJ70001B", 12000, 1, "USB"));
        QVERIFY(restarted.signal());
        QTRY_COMPARE_WITH_TIMEOUT(m_host->wakes.load(), 4, DeviceController::kStatusWatchRetryMs + 2000);
        fillBlock(m_status, statusText("M5EC0000XJ70001A", 12000, 1, "USB"));
        QVERIFY(restarted.signal());
        QTRY_COMPARE(m_host->wakes.load(), 5);

        m_ctl->stop();
        fillBlock(m_status, statusText("M5EC0000XJ70001A", 13000, 1, "USB"));
        QVERIFY(restarted.signal());
        QTest::qWait(100);
        QCOMPARE(m_host->wakes.load(), 5);
        platform::NamedEvent::remove(blocks::statusEventName(kVciStatusBlockName));
    }

    void deviceListPageIsBuiltWhenFirstShown()
    {
        QVERIFY(!m_host->pageBuilt(DeviceController::kMoreVciPageIndex));
        QVERIFY(!m_host->pageHost(DeviceController::kMoreVciPageIndex)->findChild<QListWidget*>());
        FakeService service(m_command.data(), std::chrono::milliseconds(0), [](unsigned char* b) {
            putCount(b, 1);
            putEntry(b, 0, "M5EC0000XJ70001A");
        });
        button("Btn_More_VCI")->click();
        QCOMPARE(m_host->currentPage(), int(DeviceController::kMoreVciPageIndex));
        QVERIFY(m_host->pageBuilt(DeviceController::kMoreVciPageIndex));
        QTRY_COMPARE(m_ctl->moreVciPage()->rowCount(), 1);

        // Enter on a row chooses it as a click does; Back returns to the device page.
        MoreVciPage* page = m_ctl->moreVciPage();
        page->list()->setCurrentRow(0);
        QTest::keyClick(page->list(), Qt::Key_Return);
        QVERIFY(page->selectButton()->isEnabled());
        page->backButton()->click();
        QCOMPARE(m_host->currentPage(), int(DeviceController::kDevicePageIndex));
    }

    void hintTimersFollowTheirControls()
    {
        QTimer* power = m_ctl->powerDialogTimer();
        QTimer* hint = m_ctl->hintWindowTimer();
        emit m_ctl->timerControl(hint, QStringLiteral("ON"));
        QVERIFY(hint->isActive());
        // A voltage change while the hint window runs ends it.
        show(statusText("M5HC0000AB70001A", 12000, 1, "USB"));
        QVERIFY(!hint->isActive());
        emit m_ctl->timerControl(power, QStringLiteral("ON"));
        QVERIFY(power->isActive());
        emit m_ctl->timerControl(power, QStringLiteral("off"));
        QVERIFY(!power->isActive());

        // When the power dialog timer fires it stops and asks for 12 V.
        DialogSeam::clearRequests();
        power->setInterval(10);
        emit m_ctl->timerControl(power, QStringLiteral("ON"));
        QTRY_COMPARE(DialogSeam::requests().size(), 1);
        QCOMPARE(DialogSeam::requests().first().text, QStringLiteral("Connect 12V power supply"));
        QVERIFY(!power->isActive());
    }
};

QTEST_MAIN(TestDevicePages)
#include "tst_device_pages.moc"
