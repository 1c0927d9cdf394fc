// The device page while a pass-thru session holds the adapter: the adapter
// emulator and the real background service on loopback, the manager's
// controller and page offscreen with a status thread like the main window's,
// and a real session opened through the J2534 library's C ABI (loaded with
// dlopen as an application loads it). The page says "Occupied" while the
// session is open and "Idle" again after it was closed or its holder died.
//
// Run with "--hold-session" the program is that other holder: it opens the
// adapter the service publishes, prints "open" and waits to be killed.
#include "TestHost.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"

#include "app/StatusThread.h"
#include "device/DeviceController.h"
#include "device/DevicePage.h"

#include <MT7628Config.h>

#include "j2534.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

namespace {

// The library's entry points the page's check needs.
struct PassThru {
    void* handle = nullptr;
    decltype(&PassThruOpen) open = nullptr;
    decltype(&PassThruClose) close = nullptr;
    decltype(&PassThruConnect) connect = nullptr;
    decltype(&PassThruGetLastError) lastError = nullptr;

    bool load(const QString& path)
    {
        handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return false;
        open = reinterpret_cast<decltype(open)>(::dlsym(handle, "PassThruOpen"));
        close = reinterpret_cast<decltype(close)>(::dlsym(handle, "PassThruClose"));
        connect = reinterpret_cast<decltype(connect)>(::dlsym(handle, "PassThruConnect"));
        lastError = reinterpret_cast<decltype(lastError)>(::dlsym(handle, "PassThruGetLastError"));
        return open && close && connect && lastError;
    }
    QByteArray why() const
    {
        char text[80] = {};
        lastError(text);
        return QByteArray(text);
    }
};

QString libraryPath()
{
    return testBinary("BrindlewickJ2534.so");
}

// The other holder: opens the published adapter, says so, waits for its end.
int holdSession()
{
    PassThru library;
    if (!library.load(libraryPath())) {
        std::fprintf(stderr, "cannot load %s\n", qPrintable(libraryPath()));
        return 2;
    }
    unsigned long device = 0;
    const long status = library.open(nullptr, &device);
    if (status != STATUS_NOERROR) {
        std::fprintf(stderr, "PassThruOpen: %ld %s\n", status, library.why().constData());
        return 3;
    }
    std::printf("open\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

} // namespace

class TestDevicePassThruOccupied : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    EmulatorProcess m_emulator;
    ServiceProcess m_service;
    TestHost m_host;
    std::unique_ptr<MT7628Config> m_cfg;
    DeviceController* m_ctl = nullptr;
    std::unique_ptr<StatusThread> m_passes;
    PassThru m_library;

    QString state()
    {
        auto* label = m_host.pageHost(DeviceController::kDevicePageIndex)->findChild<QLabel*>("Label_VCI_Status");
        return label ? label->text() : QStringLiteral("<no Label_VCI_Status>");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        useUniqueShmPrefix("occupied");
        const QString address = QStringLiteral("127.0.%1.1").arg(150 + QCoreApplication::applicationPid() % 100);
        QVERIFY2(m_emulator.start({QStringLiteral("--base-address"), address, QStringLiteral("--plug"),
                     QStringLiteral("1"), QStringLiteral("--passthru-port"), QStringLiteral("0")}),
            qPrintable(m_emulator.errorText()));
        QVERIFY(m_emulator.passthruPort() != 0);
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));
        qputenv("BW_PASSTHRU_PORT", QByteArray::number(m_emulator.passthruPort()));
        QVERIFY(m_service.start(
            ServiceProcess::arguments(address, m_emulator.port(), m_dir.filePath(QStringLiteral("service.lock")))));
        QVERIFY2(m_library.load(libraryPath()), ::dlerror());

        m_cfg = std::make_unique<MT7628Config>();
        m_ctl = new DeviceController(*m_cfg);
        m_ctl->setAdapterProbe([](std::string&) { return false; });
        // The main window's status thread: one pass a second or when woken, repaint queued.
        m_passes = std::make_unique<StatusThread>([this] {
            if (!m_ctl->statusPass(false))
                return;
            DeviceController* ctl = m_ctl;
            QMetaObject::invokeMethod(
                ctl, [ctl] { ctl->repaint(DeviceController::kDevicePageIndex); }, Qt::QueuedConnection);
        });
        m_host.onWake = [this] { m_passes->wake(); };
        m_ctl->attach(m_host);
        m_passes->start();
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Idle"), 15000);
    }

    void cleanupTestCase()
    {
        if (m_ctl)
            m_ctl->stop();
        m_passes.reset();
        delete m_ctl;
        m_service.stop();
        m_emulator.stop();
    }

    // Opened through the library: "Occupied" (also with a channel on the
    // bus); closed: "Idle" again.
    void sessionShowsOccupiedUntilClosed()
    {
        unsigned long device = 0;
        QCOMPARE(m_library.open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Occupied"), 3000);
        unsigned long channel = 0;
        QVERIFY2(m_library.connect(device, CAN, 0, 500000, &channel) == STATUS_NOERROR, m_library.why().constData());
        QCOMPARE(m_library.close(device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Idle"), 3000);
        // Free again: it opens at once.
        QCOMPARE(m_library.open(nullptr, &device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Occupied"), 3000);
        QCOMPARE(m_library.close(device), long(STATUS_NOERROR));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Idle"), 3000);
    }

    // Another process holds the session: this one is refused while the page
    // says "Occupied"; when the holder dies without closing, the adapter is
    // free and the page says "Idle".
    void holdersDeathFreesTheAdapter()
    {
        QProcess holder;
        holder.setProgram(QCoreApplication::applicationFilePath());
        holder.setArguments({QStringLiteral("--hold-session")});
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start();
        QVERIFY(holder.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine() || holder.state() != QProcess::Running, 10000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Occupied"), 3000);

        unsigned long device = 0;
        QCOMPARE(m_library.open(nullptr, &device), long(ERR_DEVICE_IN_USE));
        QVERIFY2(!m_library.why().isEmpty(), "a refusal says why");

        holder.kill(); // no PassThruClose: the connection ends with the process
        QVERIFY(holder.waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(state(), QStringLiteral("Idle"), 3000);
        QCOMPARE(m_library.open(nullptr, &device), long(STATUS_NOERROR));
        QCOMPARE(m_library.close(device), long(STATUS_NOERROR));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hold-session") == 0)
        return holdSession();
    QApplication app(argc, argv);
    TestDevicePassThruOccupied test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_device_passthru_occupied.moc"
