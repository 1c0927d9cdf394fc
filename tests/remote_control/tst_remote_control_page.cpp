// Device control on real widgets (offscreen) through RemoteController, with
// fakes of the session libraries and of the device-control library:
// Btn_RemotePro's device rule, "Config Select" (its layout, start items and
// the rates it hands over), the session page of a device-control session and
// its end from the page.
#include "../device/TestHost.h"
#include "../remote/FakeRemoteLibrary.h"
#include "FakeRemotePro.h"

#include "remote/RemoteController.h"
#include "remote/RemotePages.h"
#include "remote/RemoteProConfig.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <atomic>
#include <functional>
#include <mutex>

using namespace remote;

namespace {

const QString kPartner = QStringLiteral("M5EA0002XJ7B0002");

struct Fixture {
    FakeRemoteLibrary* library = nullptr;
    FakeRemotePro pro;
    std::mutex mutex;
    DeviceView device;
    std::vector<RecordEvent> records;
    QTemporaryDir dir;
    TestHost host;
    std::unique_ptr<RemoteController> controller;

    Fixture()
    {
        RemoteController::Environment env;
        auto lib = std::make_unique<FakeRemoteLibrary>();
        library = lib.get();
        env.library = std::move(lib);
        env.device = [this] {
            std::lock_guard<std::mutex> lock(mutex);
            return device;
        };
        env.postMode = [](std::uint8_t) {};
        env.getRemoteKey = [](const DeviceView&, std::string& k) {
            k = "246810";
            return true;
        };
        env.setRemoteKey = [](const DeviceView&, const std::string&) { return true; };
        env.adapterTool = [](bool) {};
        env.remoteAdapterPresent = [] { return true; };
        env.postRecord = [this](RecordEvent event, const QString&) {
            std::lock_guard<std::mutex> lock(mutex);
            records.push_back(event);
            return true;
        };
        env.remotePro = [this]() -> IRemotePro* { return &pro; };
        env.codeFilePath = dir.filePath(QStringLiteral("longTimeCode.ini"));
        env.refreshPeriodMs = 20;
        env.registrationPeriodMs = 20;
        env.timing.watchPeriod = 0;
        controller = std::make_unique<RemoteController>(std::move(env));
        controller->attach(host);
        host.resize(738, 602);
        host.pageHost(0)->parentWidget()->resize(738, 602);
        host.show();
        host.showPage(RemoteController::kRemotePageIndex);
    }
    ~Fixture() { controller->stop(); }

    void plug(const QString& sn)
    {
        std::lock_guard<std::mutex> lock(mutex);
        device.sn = sn;
        device.connType = 0;
    }
    int records_(RecordEvent e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(records.begin(), records.end(), e));
    }
};

// Runs `act` on "Config Select" once it is shown (it is modal: exec() blocks the caller).
void whenConfigShows(std::function<void(RemoteProConfig&)> act)
{
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, poll] {
        if (auto* d = qobject_cast<RemoteProConfig*>(QApplication::activeModalWidget())) {
            act(*d);
            return;
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
}

} // namespace

class TestRemoteControlPage : public QObject {
    Q_OBJECT
private slots:
    // Btn_RemotePro is offered beside Connect; it needs the local adapter
    // (Connect needs it gone), then the partner's serial, then opens the
    // code prompt in the device-control role.
    void deviceRule()
    {
        Fixture f;
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->deviceControl->isVisible());
        QCOMPARE(page->deviceControl->text(), QStringLiteral("Device control"));

        QTest::mouseClick(page->deviceControl, Qt::LeftButton);
        QCOMPARE(f.host.toasts.value(0), QStringLiteral("Please connect the VCI Device First"));
        QCOMPARE(f.host.toastMs, 1200);
        QVERIFY(!page->prompt->isVisible());

        f.plug(QStringLiteral("M5EA0001XJ7B0001"));
        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Please eject the VCI Device First"));
        QTest::mouseClick(page->deviceControl, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Please enter SN"));
        QVERIFY(!page->prompt->isVisible());

        QTest::keyClicks(page->partnerSerial, kPartner);
        QTest::mouseClick(page->deviceControl, Qt::LeftButton);
        QVERIFY(page->prompt->isVisible());
        QVERIFY(f.controller->engine().state().deviceControlRole());
        QVERIFY(!page->connectButton->isEnabled());
    }

    // "Config Select": title, size, grid, start items; cancelling starts
    // nothing; OK hands the picked rates to the bridge, and the session page
    // runs the device-control session until the user ends it, which
    // disconnects the bridge.
    void configSelectAndSession()
    {
        Fixture f;
        f.plug(QStringLiteral("M5EA0001XJ7B0001"));
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->isVisible());
        QTest::keyClicks(page->partnerSerial, kPartner);

        // Cancelled: no lookup, no connect, the page usable again.
        QTest::mouseClick(page->deviceControl, Qt::LeftButton);
        QTest::keyClicks(page->partnerCode, QStringLiteral("135790"));
        bool seen = false;
        whenConfigShows([&seen](RemoteProConfig& d) {
            seen = true;
            QCOMPARE(d.windowTitle(), QStringLiteral("Config Select"));
            QCOMPARE(d.size(), QSize(439, 216));
            QCOMPARE(d.comboCan1->currentText(), QStringLiteral("500 Kbps"));
            QCOMPARE(d.comboCan2->currentText(), QStringLiteral("125 Kbps"));
            QCOMPARE(d.comboCanFd1->currentText(), QStringLiteral("None"));
            QCOMPARE(d.comboCanFd2->currentText(), QStringLiteral("None"));
            QCOMPARE(d.comboCan1->count(), 6);
            QCOMPARE(d.comboCanFd2->count(), 5);
            QVERIFY(d.findChild<QDialogButtonBox*>());
            d.reject();
        });
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QVERIFY(seen);
        QVERIFY(f.library->lookups.empty());
        QVERIFY(f.pro.connects.empty());
        QVERIFY(page->deviceControl->isEnabled());

        QTest::mouseClick(page->deviceControl, Qt::LeftButton);
        QTest::keyClicks(page->partnerCode, QStringLiteral("135790"));
        whenConfigShows([](RemoteProConfig& d) {
            d.comboCan1->setCurrentIndex(0);   // "100 Kbps"
            d.comboCanFd2->setCurrentIndex(2); // "2M bps"
            d.accept();
        });
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kSessionPageIndex));
        QCOMPARE(f.host.toasts.last(), QStringLiteral("connection established successfully"));
        QCOMPARE(page->deviceControl->property("SN").toString(), kPartner);
        {
            std::lock_guard<std::mutex> lock(f.pro.mutex);
            QCOMPARE(f.pro.connects, std::vector<std::string>{"127.0.0.9/M5EA0002XJ7B0002/--/135790"});
            QCOMPARE(f.pro.opens.size(), std::size_t(2));
            QCOMPARE(f.pro.opens[0].can, 100000u);
            QCOMPARE(f.pro.opens[0].canFd, 0u);
            QCOMPARE(f.pro.opens[1].can, 125000u);
            QCOMPARE(f.pro.opens[1].canFd, 2000000u);
        }
        QTRY_COMPARE(f.records_(RecordEvent::Start), 1);
        SessionPage* session = f.controller->sessionPage();
        QTRY_COMPARE(session->deviceNumber->text(), kPartner);
        QTRY_COMPARE(session->bytesC->text(), QStringLiteral("5MB"));
        // The delays and the partner are the bridge's own figures.
        QCOMPARE(session->delayB->text(), QStringLiteral("B:12ms"));
        QCOMPARE(session->delayC->text(), QStringLiteral("47ms"));
        QCOMPARE(session->peer->text(), QStringLiteral("relay 127.0.0.9"));
        // Frames the bridge dropped follow the partner in the page's own words.
        {
            std::lock_guard<std::mutex> lock(f.pro.mutex);
            f.pro.peerText = "M5EA0002XJ7B0002 dropped 3/17";
        }
        QTRY_COMPARE(
            session->peer->text(), QStringLiteral("M5EA0002XJ7B0002 (frames dropped here/at the partner: 3/17)"));

        f.controller->Solt_Confirm_RemoteExit();
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kRemotePageIndex));
        QTRY_COMPARE(f.pro.disconnects.load(), 1);
        QTRY_COMPARE(f.records_(RecordEvent::End), 1);
    }

    // "Config Select" in English and Spanish: every text shown whole, the
    // captions right above their rows (a table, not rows spread over the
    // dialog's height), the buttons at the bottom.
    void configSelectLayoutInBothLanguages()
    {
        for (const char* language : {"en", "es"}) {
            QTranslator spanish;
            if (QByteArray(language) == "es") {
                QVERIFY(spanish.load(QStringLiteral(":/Translation_es.qm")));
                QCoreApplication::installTranslator(&spanish);
            }
            RemoteProConfig d;
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            const QList<QLabel*> labels = d.findChildren<QLabel*>();
            QCOMPARE(labels.size(), 5);
            QLabel* caption = nullptr;
            for (QLabel* l : labels) {
                QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(l->text()));
                // A stretched row shows its text in the middle of empty space.
                QVERIFY2(l->height() <= l->sizeHint().height() + 8,
                    qPrintable(
                        QStringLiteral("%1: %2 is %3 high").arg(QLatin1String(language), l->text()).arg(l->height())));
                if (l->geometry().center().x() > d.comboCan1->geometry().left()
                    && l->geometry().center().x() < d.comboCan1->geometry().right()
                    && l->geometry().bottom() < d.comboCan1->geometry().top())
                    caption = l;
            }
            QSet<QString> spoken;
            for (QComboBox* c : {d.comboCan1, d.comboCanFd1, d.comboCan2, d.comboCanFd2}) {
                QVERIFY2(c->width() >= c->sizeHint().width(), language);
                // Which bus and pins a box sets reaches a screen reader in the dialog's language.
                const QString said = QAccessible::queryAccessibleInterface(c)->text(QAccessible::Description);
                QVERIFY2(
                    said.contains(QLatin1String(QByteArray(language) == "es" ? "pines" : "pins")), qPrintable(said));
                spoken << said;
            }
            QCOMPARE(spoken.size(), 4);
            QVERIFY2(caption, language);
            QVERIFY2(d.comboCan1->geometry().top() - caption->geometry().bottom() <= 16,
                qPrintable(QStringLiteral("%1: caption %2, row %3")
                               .arg(QLatin1String(language))
                               .arg(caption->geometry().bottom())
                               .arg(d.comboCan1->geometry().top())));
            auto* buttons = d.findChild<QDialogButtonBox*>();
            QVERIFY(buttons->geometry().top() > d.comboCan2->geometry().bottom());
            QVERIFY(d.height() - buttons->geometry().bottom() <= 16);
            QCoreApplication::removeTranslator(&spanish);
        }
    }

    // C-end: while a B-end drives this adapter, the remote page says so and
    // by whom; "End device control" ends it at once.
    void cEndNotice()
    {
        Fixture f;
        f.plug(QStringLiteral("M5EA0001XJ7B0001"));
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->isVisible());
        QVERIFY(!page->controlled->isVisible());
        // The controller's own registration of the adapter, as the library reports it.
        const auto lastClient = [&f] {
            std::lock_guard<std::mutex> lock(f.library->m_mutex);
            return f.library->lastClient;
        };
        QTRY_VERIFY(lastClient().lock() != nullptr);
        std::weak_ptr<FakeHandle> weak = lastClient();
        {
            std::shared_ptr<FakeHandle> registration = weak.lock();
            QVERIFY(registration);
            std::lock_guard<std::mutex> lock(registration->mutex);
            registration->reading.peerText = "device control by M5EA0003XJ7B0003";
            registration->state = 1;
        }
        QTRY_VERIFY(page->controlled->isVisible());
        QCOMPARE(
            page->controlledText->text(), QStringLiteral("This device is under device control by M5EA0003XJ7B0003"));
        // The drop counts follow while the session runs.
        {
            std::shared_ptr<FakeHandle> registration = weak.lock();
            QVERIFY(registration);
            std::lock_guard<std::mutex> lock(registration->mutex);
            registration->reading.peerText = "device control by M5EA0003XJ7B0003 dropped 0/42";
        }
        QTRY_COMPARE(page->controlledText->text(),
            QStringLiteral("This device is under device control by M5EA0003XJ7B0003 (frames dropped here/at the "
                           "partner: 0/42)"));
        QTest::mouseClick(page->endControl, Qt::LeftButton);
        QTRY_VERIFY(weak.expired());
        QTRY_VERIFY(!page->controlled->isVisible());
    }
};

QTEST_MAIN(TestRemoteControlPage)
#include "tst_remote_control_page.moc"
