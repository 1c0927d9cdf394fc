// The real main window with the built diagnosis component (a copy of
// build/bin/VehDiag, so a run changes nothing there) and the adapter
// emulator's simulated vehicle behind the registered J2534 library, as the
// component's GUI test sets them up: the J2534 driver recorded, the internet
// check answering yes, the file server a closed port. Shared by the
// diagnosis benchmarks that drive the pages.
#pragma once

#include "support/AdapterProcesses.h"
#include "support/LoopbackServers.h"
#include "support/TestEnvironment.h"

#include "app/Kestrix.h"
#include "app/SysTrayIconWidget.h"
#include "diagnosis/DiagnosisController.h"
#include "diagnosis/QDiagCarModel.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverTable.h"
#include "kit/DialogSeam.h"
#include "kit/Pages.h"
#include "kit/SettingsStore.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

class DiagnosisWindow {
public:
    // Environment, emulator, registration and the component's copy; false
    // (with the reason on stderr) when one of them fails.
    bool prepare()
    {
        m_env = std::make_unique<TestEnvironment>();
        SettingsStore::instance().setLanguage(QStringLiteral("en"));
        DialogSeam::answerAlways(1);
        SysTrayIconWidget::setAvailabilityOverride(true);
        if (!m_copy.isValid() || !copyTree(QStringLiteral(BW_VEHDIAG_DIR), m_copy.path()))
            return fail("cannot copy " BW_VEHDIAG_DIR);
        const DriverInfo* row = DriverTable::find(QStringLiteral("Kestrix_J2534"));
        if (!row)
            return fail("no Kestrix_J2534 driver row");
        VehicleDriver driver;
        driver.info = *row;
        if (!DriverRegistry::recordInstall(driver, QStringLiteral("/opt/j2534"), QStringLiteral("V1.0")))
            return fail("cannot record the J2534 driver");
        if (!m_emulator.start({}))
            return fail(qPrintable(QStringLiteral("vci-emulator: ") + m_emulator.errorText()));
        qputenv("BW_VEHDIAG_ADAPTER", "127.0.100.1:" + QByteArray::number(m_emulator.passthruPort()));
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04");
        QDir().mkpath(config);
        QFile registration(config + QStringLiteral("/brindlewick-j2534.json"));
        if (!registration.open(QIODevice::WriteOnly))
            return fail("cannot write the J2534 registration");
        registration.write("{\n    \"Name\": \"Brindlewick J2534\",\n    \"FunctionLibrary\": \""
            + testBinary("BrindlewickJ2534.so").toUtf8() + "\"\n}\n");
        return true;
    }

    // A new main window, shown and exposed.
    bool open()
    {
        m_window.reset();
        m_window = std::make_unique<Kestrix>(m_pos, &m_showFlag);
        DiagnosisController* c = controller();
        if (!c)
            return fail("no diagnosis controller");
        c->setComponentFolder(m_copy.path());
        c->setInternetProbe([] { return true; });
        c->setFileServerBase(QStringLiteral("http://127.0.0.1:%1/").arg(closedLoopbackPort()));
        m_window->show();
        return QTest::qWaitForWindowExposed(m_window.get()) || fail("the window is not exposed");
    }

    void close()
    {
        m_window.reset();
        DialogSeam::clear();
    }

    // Presses the diagnosis button; true once the make tiles show.
    bool pressEntry(int timeoutMs = 5000)
    {
        QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("Btn_Kestrix")), Qt::LeftButton);
        return waitFor([this] { return stack()->currentIndex() == int(Pages::Kestrix) && bmwTile(); }, timeoutMs)
            || fail("the make tiles did not open");
    }

    QDiagCarModel* bmwTile() const
    {
        for (QDiagCarModel* tile : controller()->tiles())
            if (tile->make() == QLatin1String("Bmw") && tile->isVisible())
                return tile;
        return nullptr;
    }

    // Runs the event loop (sleeping while there is nothing to do, as the
    // manager's own loop would) until `done` holds or `timeoutMs` passes.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs)
    {
        if (done())
            return true;
        QEventLoop loop;
        QTimer check;
        check.setInterval(2);
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (done())
                loop.quit();
        });
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        check.start();
        loop.exec();
        return done();
    }

    // Runs the event loop for `ms`.
    static void run(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        loop.exec();
    }

    Kestrix* window() const { return m_window.get(); }
    DiagnosisController* controller() const { return m_window->subsystem<DiagnosisController>(); }
    QStackedWidget* stack() const { return m_window->findChild<QStackedWidget*>(QStringLiteral("Tab_Stack")); }
    QWidget* diagPage() const { return stack()->widget(Pages::Diag); }

    static bool fail(const char* why)
    {
        std::fprintf(stderr, "%s\n", why);
        return false;
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    EmulatorProcess m_emulator;
    QTemporaryDir m_copy;
    std::unique_ptr<Kestrix> m_window;
    QPoint m_pos{40, 40};
    unsigned char m_showFlag = 0;
};
