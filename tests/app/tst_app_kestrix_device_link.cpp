// The whole device link through the real main window offscreen: the adapter
// emulator and the background service on loopback, the window's own status
// thread, device page and device list. What the page shows for each state is
// checked in tst_device_pages, a service that dies in tst_device_link_integration;
// here it is the window's wiring.
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "app/Kestrix.h"
#include "kit/SettingsStore.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <memory>

class TestKestrixDeviceLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env = std::make_unique<TestEnvironment>();
        base = QStringLiteral("127.0.%1.").arg(50 + QCoreApplication::applicationPid() % 100);
        QVERIFY2(emulator.start({"--adapters", "3", "--plug", "all", "--base-address", base + "1"}),
            qPrintable(emulator.errorText()));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(emulator.port()));
        QVERIFY(startService());

        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        window = std::make_unique<Kestrix>(initialPos, &showFlag);
        QVERIFY(window->isInitialised());
        window->show();
    }

    void cleanupTestCase()
    {
        window.reset();
        service.stop();
        emulator.stop();
    }

    void pluggedAdapterAppearsOnTheHomePage()
    {
        // With three adapters and none chosen the service publishes the first.
        QTRY_COMPARE_WITH_TIMEOUT(label("label_VCI_SN"), QStringLiteral("M5EA0001XJ7B0001"), 8000);
        QCOMPARE(label("label_Voltage"), QStringLiteral("12.34V"));
        QCOMPARE(label("Label_VCI_Status"), QStringLiteral("Idle"));
        QVERIFY(window->findChild<QPushButton*>("Btn_vciReboot")->isEnabled());
    }

    void deviceListShowsEveryAdapterTheServiceSees()
    {
        window->findChild<QPushButton*>("Btn_More_VCI")->click();
        auto* stack = window->findChild<QStackedWidget*>("Tab_Stack");
        QCOMPARE(stack->currentIndex(), int(Pages::MoreVci));
        auto* list = window->findChild<QListWidget*>(QStringLiteral("listWidget_VCI"));
        QVERIFY(list);
        QTRY_COMPARE_WITH_TIMEOUT(list->count(), 3, 3000);
        // The status thread keeps the requested page.
        QTest::qWait(1200);
        QCOMPARE(stack->currentIndex(), int(Pages::MoreVci));
        window->findChild<QPushButton*>("Btn_Device")->click();
        QCOMPARE(stack->currentIndex(), int(Pages::Device));
    }

private:
    QString label(const char* name) const
    {
        auto* l = window->findChild<QLabel*>(name);
        return l ? l->text() : QStringLiteral("<no %1>").arg(name);
    }
    bool startService()
    {
        return service.start(ServiceProcess::arguments(base + "1-3", emulator.port(), env->path() + "/service.lock"));
    }

    std::unique_ptr<TestEnvironment> env;
    QString base;
    EmulatorProcess emulator;
    ServiceProcess service;
    QPoint initialPos{0, 0};
    unsigned char showFlag = 0;
    std::unique_ptr<Kestrix> window;
};

QTEST_MAIN(TestKestrixDeviceLink)
#include "tst_app_kestrix_device_link.moc"
