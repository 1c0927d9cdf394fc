// The remote pages through RemoteController on real widgets (offscreen),
// with a fake of the session libraries: the relay attempt from the partner's
// serial and code to the session page and back, the checks that refuse a
// serial, code or port first, the code area and the remote switch, the P2P
// listening panel, and where Btn_Remote leads.
#include "../device/TestHost.h"
#include "FakeRemoteLibrary.h"

#include "remote/RemoteController.h"
#include "remote/RemotePages.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <atomic>
#include <mutex>

using namespace remote;

namespace {

struct Fixture {
    FakeRemoteLibrary* library = nullptr;
    std::mutex mutex;
    DeviceView device;
    std::string key = "246810";
    std::vector<std::pair<RecordEvent, QString>> records;
    std::vector<int> modes;
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
        env.postMode = [this](std::uint8_t mode) {
            std::lock_guard<std::mutex> lock(mutex);
            modes.push_back(mode);
        };
        env.getRemoteKey = [this](const DeviceView&, std::string& k) {
            std::lock_guard<std::mutex> lock(mutex);
            k = key;
            return true;
        };
        env.setRemoteKey = [this](const DeviceView&, const std::string& k) {
            std::lock_guard<std::mutex> lock(mutex);
            key = k;
            return true;
        };
        env.adapterTool = [](bool) {};
        env.remoteAdapterPresent = [] { return true; };
        env.postRecord = [this](RecordEvent event, const QString& sn) {
            std::lock_guard<std::mutex> lock(mutex);
            records.emplace_back(event, sn);
            return true;
        };
        env.codeFilePath = dir.filePath(QStringLiteral("longTimeCode.ini"));
        env.refreshPeriodMs = 20;
        env.registrationPeriodMs = 20;
        env.timing.watchPeriod = 0;
        env.timing.keyQueryPeriod = 0;
        controller = std::make_unique<RemoteController>(std::move(env));
        controller->attach(host);
        // The page area of the window, so clicks land where a user's would.
        host.resize(738, 602);
        host.pageHost(0)->parentWidget()->resize(738, 602);
    }
    ~Fixture() { controller->stop(); }

    void plug(const QString& sn, int connType)
    {
        std::lock_guard<std::mutex> lock(mutex);
        device.sn = sn;
        device.connType = connType;
    }
    int recordCount(RecordEvent e)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count_if(records.begin(), records.end(), [e](auto& r) { return r.first == e; }));
    }
    template <typename T>
    T* find(const char* name)
    {
        T* w = host.findChild<T*>(QLatin1String(name));
        if (!w)
            qWarning("no widget %s", name);
        return w;
    }
};

const QString kPartner = QStringLiteral("M5EA0002XJ7B0002");

} // namespace

class TestRemotePage : public QObject {
    Q_OBJECT
private slots:
    // The three pages are built when first shown; the vendor button stays hidden.
    void pagesBuiltOnFirstShow()
    {
        Fixture f;
        QVERIFY(!f.host.pageBuilt(RemoteController::kRemotePageIndex));
        QCOMPARE(f.controller->navigationPage(), int(RemoteController::kRemotePageIndex));
        QVERIFY(f.controller->remotePage());
        QVERIFY(f.controller->sessionPage());
        QVERIFY(f.controller->p2pPage());
        f.host.show();
        f.host.showPage(RemoteController::kRemotePageIndex);
        QVERIFY(f.find<QPushButton>("Btn_RemotePro")->isVisible());
        QVERIFY(!f.find<QPushButton>("Btn_service_vendor")->isVisible());
        QVERIFY(f.find<QPushButton>("Btn_Remote_Connect")->isVisible());
        QCOMPARE(f.find<QComboBox>("comboBox_DoIp")->currentText(), QStringLiteral("DoIP Off"));
    }

    // The two "Copy" buttons look alike and are announced apart, in English and in Spanish.
    void copyButtonsAreToldApart()
    {
        Fixture f;
        f.host.show();
        f.host.showPage(RemoteController::kRemotePageIndex);
        RemotePage* page = f.controller->remotePage();
        const auto announced = [page](QAccessible::Text what) {
            QStringList texts;
            for (QWidget* control : {static_cast<QWidget*>(page->copySerial), static_cast<QWidget*>(page->copyCode)}) {
                QAccessibleInterface* face = QAccessible::queryAccessibleInterface(control);
                texts << (face ? face->text(what) : QString());
            }
            return texts;
        };
        QCOMPARE(page->copySerial->text(), page->copyCode->text());
        const QStringList english = announced(QAccessible::Name) + announced(QAccessible::Description);
        QCOMPARE(english.at(0), QStringLiteral("Copy serial number"));
        QVERIFY(!english.contains(QString()) && english.at(0) != english.at(1) && english.at(2) != english.at(3));

        QTranslator spanish;
        QVERIFY(spanish.load(QStringLiteral(":/Translation_es.qm")));
        QCoreApplication::installTranslator(&spanish); // the page hears of it from a posted event
        QTRY_COMPARE(announced(QAccessible::Name).at(0), QStringLiteral("Copiar número de serie"));
        const QStringList spanishTexts = announced(QAccessible::Name) + announced(QAccessible::Description);
        QVERIFY(spanishTexts.at(1) != english.at(1) && spanishTexts.at(3) != english.at(3));
        QCoreApplication::removeTranslator(&spanish);
        QTRY_COMPARE(announced(QAccessible::Name), english.mid(0, 2));
    }

    // Serial and code are checked before anything starts; a good pair opens the
    // session page with its start record, the end returns to page 1 with one end
    // record. A session lost while its end is being confirmed takes the modal
    // confirmation with it, so nothing is left blocking the program.
    void relaySessionThroughThePage()
    {
        Fixture f;
        f.host.show();
        f.host.showPage(RemoteController::kRemotePageIndex);
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->isVisible() || !f.host.isVisible());

        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        QCOMPARE(f.host.toasts.value(0), QStringLiteral("Please enter SN"));
        QVERIFY(!page->prompt->isVisible());

        QTest::keyClicks(page->partnerSerial, QStringLiteral("m5ea0002xj7b000"));
        QCOMPARE(page->partnerSerial->text(), QStringLiteral("M5EA0002XJ7B000")); // upper-cased as typed
        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        QVERIFY(page->prompt->isVisible());
        QTest::keyClicks(page->partnerCode, QStringLiteral("12345x6"));
        QCOMPARE(page->partnerCode->text(), QStringLiteral("123456")); // digits only
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QVERIFY(f.library->lookups.empty()); // the 15-character serial is refused first

        page->partnerSerial->end(false);
        QTest::keyClicks(page->partnerSerial, QStringLiteral("2"));
        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        page->partnerCode->setText(QStringLiteral("123456"));
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kSessionPageIndex));
        QCOMPARE(f.host.toasts.last(), QStringLiteral("connection established successfully"));
        QTRY_COMPARE(f.recordCount(RecordEvent::Start), 1);
        QCOMPARE(f.controller->navigationPage(), int(RemoteController::kSessionPageIndex));

        SessionPage* session = f.controller->sessionPage();
        QTRY_VERIFY(session->isVisible());
        QTRY_COMPARE(session->deviceNumber->text(), kPartner);
        QCOMPARE(session->role->text(), QStringLiteral("Remote server"));
        QCOMPARE(session->location->text(), QStringLiteral("Guangzhou"));
        QTRY_VERIFY(session->duration->text().startsWith(QLatin1String("00:00:")));
        // The figures follow the session's.
        if (auto relay = f.library->lastRelay.lock()) {
            std::lock_guard<std::mutex> lock(relay->mutex);
            relay->reading.bytesC = 1048576;
        }
        QTRY_COMPARE_WITH_TIMEOUT(session->bytesC->text(), QStringLiteral("1MB"), 8000);

        // The end's confirmation holds the whole program until answered.
        QTest::mouseClick(session->end, Qt::LeftButton);
        QVERIFY(session->confirm->isVisible());
        QCOMPARE(session->confirm->windowModality(), Qt::ApplicationModal);
        QVERIFY(session->confirm->isWindow());
        QCOMPARE(QApplication::activeModalWidget(), session->confirm);
        QTest::mouseClick(session->confirmNo, Qt::LeftButton);
        QVERIFY(!session->confirm->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(f.host.currentPage(), int(RemoteController::kSessionPageIndex));
        // From the keyboard: the focus is in the question, Tab goes OK then
        // Cancel, Escape keeps the session and Enter ends it.
        QTest::mouseClick(session->end, Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), session->confirmYes);
        QCOMPARE(session->confirmYes->nextInFocusChain(), session->confirmNo);
        QTest::keyClick(session->confirmYes, Qt::Key_Escape);
        QVERIFY(!session->confirm->isVisible());
        QCOMPARE(f.host.currentPage(), int(RemoteController::kSessionPageIndex));
        QCOMPARE(f.recordCount(RecordEvent::End), 0);
        // A window system hands the activation back to the main window when
        // the question goes; the offscreen one does not.
        QApplication::setActiveWindow(&f.host);
        QTest::mouseClick(session->end, Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), session->confirmYes);
        QTest::keyClick(session->confirmYes, Qt::Key_Return);
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kRemotePageIndex));
        QTRY_COMPARE(f.recordCount(RecordEvent::End), 1);
        QCOMPARE(f.controller->navigationPage(), int(RemoteController::kRemotePageIndex));
        QVERIFY(page->connectButton->isEnabled());

        // Again, and the session is lost while its end waits for an answer.
        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        page->partnerCode->setText(QStringLiteral("123456"));
        QTest::mouseClick(page->confirm, Qt::LeftButton);
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kSessionPageIndex));
        QTRY_VERIFY(session->isVisible());
        QTest::mouseClick(session->end, Qt::LeftButton);
        QCOMPARE(QApplication::activeModalWidget(), session->confirm);
        auto relay = f.library->lastRelay.lock();
        QVERIFY(relay);
        relay->state = 1; // the relay reports the session gone
        relay.reset();
        QTRY_COMPARE(f.host.currentPage(), int(RemoteController::kRemotePageIndex));
        QTRY_VERIFY(!session->confirm->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QTRY_COMPARE(f.recordCount(RecordEvent::End), 2);
    }

    // The code area with an adapter: its code, copy and show; the switch
    // turns remote help off and on; the code toggle sets a persistent code.
    void codeAreaAndSwitch()
    {
        Fixture f;
        f.host.show();
        f.host.showPage(RemoteController::kRemotePageIndex);
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->isVisible() || !f.host.isVisible());
        QCOMPARE(page->codeField->text(), QStringLiteral("--"));
        f.controller->SetDisableRemoteStatus(true);
        QCOMPARE(page->remoteSwitch->text(), QStringLiteral("Remote Off"));

        f.plug(QStringLiteral("M5EA0001XJ7B0001"), 1);
        f.controller->SetDisableRemoteStatus(false);
        QTRY_COMPARE(page->codeField->text(), QStringLiteral("246810"));
        QCOMPARE(page->serialLabel->text(), QStringLiteral("M5EA0001XJ7B0001"));
        QVERIFY(page->copyCode->isVisible());

        // The show/hide control hides the code and shows it again; its name
        // and eye picture follow the field.
        const auto eye = [page] { return page->showCode->icon().pixmap(QSize(16, 16)).toImage(); };
        const QImage open = QIcon(QStringLiteral(":/image/Remote/show.png")).pixmap(QSize(16, 16)).toImage();
        const QImage shut = QIcon(QStringLiteral(":/image/Remote/EyeInvisible.png")).pixmap(QSize(16, 16)).toImage();
        QVERIFY(!open.isNull() && !shut.isNull() && open != shut);
        QCOMPARE(page->showCode->objectName(), QStringLiteral("Btn_Remote_Show"));
        QCOMPARE(eye(), open);
        QTest::mouseClick(page->showCode, Qt::LeftButton);
        QCOMPARE(page->codeField->echoMode(), QLineEdit::Password);
        QCOMPARE(page->showCode->objectName(), QStringLiteral("Btn_Remote_NotShow"));
        QCOMPARE(eye(), shut);
        QTest::mouseClick(page->showCode, Qt::LeftButton);
        QCOMPARE(page->codeField->echoMode(), QLineEdit::Normal);
        QCOMPARE(page->showCode->objectName(), QStringLiteral("Btn_Remote_Show"));
        QCOMPARE(eye(), open);

        QTest::mouseClick(page->remoteSwitch, Qt::LeftButton);
        QCOMPARE(page->remoteSwitch->text(), QStringLiteral("Remote On"));
        QCOMPARE(page->codeField->text(), QStringLiteral("Remote assistance has been disabled"));
        QVERIFY(!page->copyCode->isVisible());
        QTest::mouseClick(page->codeMode, Qt::LeftButton); // ignored while switched off
        QCOMPARE(page->codeMode->text(), QStringLiteral("Persistent verification code"));
        QTest::mouseClick(page->remoteSwitch, Qt::LeftButton);
        QCOMPARE(page->remoteSwitch->text(), QStringLiteral("Remote Off"));
        QTRY_COMPARE(page->codeField->text(), QStringLiteral("246810"));

        // A persistent code typed into the field.
        page->codeField->setFocus();
        page->codeField->selectAll();
        QTest::keyClicks(page->codeField, QStringLiteral("013579"));
        QTest::mouseClick(page->codeMode, Qt::LeftButton);
        QCOMPARE(page->codeMode->text(), QStringLiteral("Temporary verification code"));
        QTRY_VERIFY(page->codeMode->isEnabled());
        QTRY_COMPARE(page->codeField->text(), QStringLiteral("013579"));
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Successfully modified"));
        QFile file(f.dir.filePath(QStringLiteral("longTimeCode.ini")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("013579"));
    }

    // A B-end attempt with this PC's own adapter plugged in is refused. P2P:
    // the C-end role is refused on router and Wi-Fi links; listen needs a port
    // in range, shows the panel and closes again; Btn_Remote returns here.
    void p2pPage()
    {
        Fixture f;
        f.host.show();
        f.host.showPage(RemoteController::kRemotePageIndex);
        RemotePage* page = f.controller->remotePage();
        QTRY_VERIFY(page->isVisible() || !f.host.isVisible());
        f.plug(QStringLiteral("M5EA0001XJ7B0001"), 0);
        page->partnerSerial->setText(kPartner);
        QTest::mouseClick(page->connectButton, Qt::LeftButton);
        QCOMPARE(f.host.toasts, QStringList{QStringLiteral("Please eject the VCI Device First")});
        QVERIFY(page->prompt->isHidden());

        f.plug(QStringLiteral("M5EA0001XJ7B0001"), 3);
        QTest::mouseClick(page->p2p, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Unable to do C-end in LAN mode"));
        f.plug(QStringLiteral("M5EA0001XJ7B0001"), 2);
        QTest::mouseClick(page->p2p, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Unable to do C-end in WiFi mode"));
        f.plug(QString(), -1);
        QTest::mouseClick(page->p2p, Qt::LeftButton);
        QCOMPARE(f.host.currentPage(), int(RemoteController::kP2PPageIndex));
        QCOMPARE(f.controller->navigationPage(), int(RemoteController::kP2PPageIndex));

        P2PPage* p2p = f.controller->p2pPage();
        QTRY_VERIFY(p2p->isVisible());
        QVERIFY(!p2p->listen->isEnabled());
        QTest::keyClicks(p2p->listenPort, QStringLiteral("4999"));
        QVERIFY(p2p->listen->isEnabled());
        QTest::mouseClick(p2p->listen, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("Ports between 5000 and 65535"));
        QVERIFY(f.library->listenPorts.empty());

        p2p->listenPort->setText(QStringLiteral("6000"));
        p2p->doip->setCurrentIndex(2);
        QTest::mouseClick(p2p->listen, Qt::LeftButton);
        QTRY_VERIFY(p2p->listening->isVisible());
        QCOMPARE(f.library->listenPorts, std::vector<int>{6000});

        // This PC listens, so it cannot be the C-end too.
        QTest::keyClicks(p2p->address, QStringLiteral("127.0.0.1"));
        QTest::keyClicks(p2p->connectPort, QStringLiteral("6001"));
        QTest::mouseClick(p2p->connectButton, Qt::LeftButton);
        QCOMPARE(f.host.toasts.last(), QStringLiteral("This PC is B-end and cannot use this function"));
        QVERIFY(p2p->address->text().isEmpty());
        QVERIFY(!p2p->connectButton->isEnabled());

        QTest::mouseClick(p2p->closeListen, Qt::LeftButton);
        QVERIFY(!p2p->listening->isVisible());
        QTRY_VERIFY(!f.controller->engine().state().p2pListener());
        QTest::mouseClick(p2p->back, Qt::LeftButton);
        QCOMPARE(f.host.currentPage(), int(RemoteController::kRemotePageIndex));
        QCOMPARE(f.controller->navigationPage(), int(RemoteController::kRemotePageIndex));
    }
};

QTEST_MAIN(TestRemotePage)
#include "tst_remote_page.moc"
