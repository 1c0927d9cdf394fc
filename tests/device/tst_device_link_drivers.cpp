// Start-up link housekeeping with a fake program directory, process list,
// OS probe and starter; the adapter probes with fake platform lists.
#include "device/LinkDrivers.h"

#include <platform/NetAdapters.h>
#include <platform/UsbDevices.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Recorder {
    QStringList scripts;
    QList<QPair<QString, QStringList>> programs;
    QStringList order;
    QList<QPair<unsigned, unsigned>> usbQueries;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestLinkDrivers : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    Recorder m_rec;

    LinkEnvironment fakeEnv(bool serviceRunning, platform::OsVersion os, bool is64, bool usbPresent)
    {
        LinkEnvironment env;
        env.programDir = m_dir.path();
        env.processRunning
            = [serviceRunning](const std::string& name) { return serviceRunning && name == "BrindlewickService"; };
        env.osVersion = [os] { return os; };
        env.is64BitSystem = [is64] { return is64; };
        env.startScript = [this](const QString& path) {
            m_rec.scripts << QFileInfo(path).fileName();
            m_rec.order << QStringLiteral("script:") + QFileInfo(path).fileName();
            return 4242L;
        };
        env.startProgram = [this](const QString& program, const QStringList& args) {
            m_rec.programs.append({program, args});
            m_rec.order << QStringLiteral("program:") + program;
            return 4243L;
        };
        env.usbDevicePresent = [this, usbPresent](unsigned v, unsigned p) {
            m_rec.usbQueries.append({v, p});
            return usbPresent;
        };
        env.resetCommandBlock = [this] {
            m_rec.order << QStringLiteral("reset");
            return true;
        };
        return env;
    }

    static platform::OsVersion win(int major, int minor) { return platform::OsVersion{major, minor, true}; }
    static platform::OsVersion posixOs() { return platform::OsVersion{6, 1, false}; }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
        m_rec = Recorder();
    }
    void cleanupTestCase()
    {
        platform::setAdapterLister({});
        platform::setUsbDeviceProbe({});
    }

    void linuxStartUpRunsOnlyTheLinuxSteps()
    {
        const LinkEnvironment env = fakeEnv(false, posixOs(), true, false);
        ensureServiceRunning(env); // before the window, then the rest once it is up
        runLinkHousekeeping(env);
        QCOMPARE(m_rec.order, (QStringList{"script:startService.sh", "script:KillW82.sh", "reset"}));
        QCOMPARE(m_rec.usbQueries.size(), 1);
        QCOMPARE(m_rec.usbQueries.first(), qMakePair(0xA5A5u, 0x2560u));

        // startService.sh itself is run by tst_device_link_integration.
        QVERIFY(QFile::exists(m_dir.filePath("startService.sh")));
        const QByteArray kill = readAll(m_dir.filePath("KillW82.sh"));
        QVERIFY(kill.contains("pkill -KILL -f '^([^ ]*/)?W82_Brindlewick_SERVICE( |$)'"));
        QVERIFY(!QFile::exists(m_dir.filePath("win7Drive.bat")));
        QVERIFY(!QFile::exists(m_dir.filePath("win7Drive64.bat")));
    }

    void runningServiceWritesNoStartScript()
    {
        runLinkHousekeeping(fakeEnv(true, posixOs(), true, true));
        QVERIFY(!QFile::exists(m_dir.filePath("startService.sh")));
        QVERIFY(!m_rec.scripts.contains("startService.sh"));
        QVERIFY(m_rec.scripts.contains("KillW82.sh")); // written on every start
    }

    void startScriptQuotesTheDirectory()
    {
        const QByteArray s = startServiceShellScript("/opt/it's here");
        QVERIFY(s.contains("cd '/opt/it'\\''s here' || exit 1"));
    }

    void windows7WritesTheMatchingDriverBatch_data()
    {
        QTest::addColumn<bool>("is64");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("installer");
        QTest::newRow("64-bit") << true << "win7Drive64.bat" << QByteArray("driveConfig64.exe");
        QTest::newRow("32-bit") << false << "win7Drive.bat" << QByteArray("driveConfig.exe");
    }
    void windows7WritesTheMatchingDriverBatch()
    {
        QFETCH(bool, is64);
        QFETCH(QString, file);
        QFETCH(QByteArray, installer);
        QVERIFY(installWin7UsbEthernetDriver(fakeEnv(true, win(6, 1), is64, true)));
        QVERIFY(readAll(m_dir.filePath(file)).contains(installer));
        QCOMPARE(m_rec.scripts, QStringList{file});
        // Once written, the batch marks the driver as installed.
        m_rec = Recorder();
        QVERIFY(!installWin7UsbEthernetDriver(fakeEnv(true, win(6, 1), is64, true)));
        QVERIFY(m_rec.scripts.isEmpty());
    }

    void existing32BitBatchStopsTheStepOn64Bit()
    {
        QFile f(m_dir.filePath("win7Drive.bat"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!installWin7UsbEthernetDriver(fakeEnv(true, win(6, 1), true, true)));
        QVERIFY(!QFile::exists(m_dir.filePath("win7Drive64.bat")));
    }

    void loopbackInstallerOnlyOnWindows6WithoutTheUsbDevice()
    {
        QVERIFY(startLoopbackInstallerIfNeeded(fakeEnv(true, win(6, 1), true, false)));
        QCOMPARE(m_rec.programs.size(), 1);
        QCOMPARE(m_rec.programs[0].first, m_dir.path() + "\\VirtualNetLoopback\\x64\\VirtualNetLoopback.exe");
        QCOMPARE(m_rec.programs[0].second, QStringList{"-d"});
        m_rec = Recorder();
        QVERIFY(startLoopbackInstallerIfNeeded(fakeEnv(true, win(6, 2), false, false)));
        QCOMPARE(m_rec.programs[0].first, m_dir.path() + "\\VirtualNetLoopback\\x86\\VirtualNetLoopback_x86.exe");
        m_rec = Recorder();
        QVERIFY(!startLoopbackInstallerIfNeeded(fakeEnv(true, win(6, 1), true, true)));   // device present
        QVERIFY(!startLoopbackInstallerIfNeeded(fakeEnv(true, win(10, 0), true, false))); // Windows 10
        QVERIFY(!startLoopbackInstallerIfNeeded(fakeEnv(true, posixOs(), true, false)));
        QVERIFY(m_rec.programs.isEmpty());
    }

    void windows10RunsNeitherWindows7Step()
    {
        runLinkHousekeeping(fakeEnv(true, win(10, 0), true, false));
        QVERIFY(m_rec.programs.isEmpty());
        QVERIFY(!QFile::exists(m_dir.filePath("win7Drive64.bat")));
        QVERIFY(!QFile::exists(m_dir.filePath("win7Drive.bat")));
    }

    void m5DriverInstallerStartsOnlyWhenPresent()
    {
        QVERIFY(!installM5Driver(fakeEnv(true, posixOs(), true, true)));
        QVERIFY(m_rec.programs.isEmpty());

        QDir(m_dir.path()).mkpath("Driver/x64");
        QFile exe(m_dir.filePath("Driver/x64/Driver64.exe"));
        QVERIFY(exe.open(QIODevice::WriteOnly));
        exe.close();
        QVERIFY(installM5Driver(fakeEnv(true, posixOs(), true, true)));
        QCOMPARE(m_rec.programs.size(), 1);
        QCOMPARE(m_rec.programs[0].first, m_dir.path() + "/Driver/x64/Driver64.exe");
        QCOMPARE(m_rec.programs[0].second,
            (QStringList{"install", "USB\\VID_A5A5&PID_2560", m_dir.path() + "/Driver/M5/OrvaneM5.inf"}));
        // The 32-bit installer is not there.
        QVERIFY(!installM5Driver(fakeEnv(true, posixOs(), false, true)));
    }

    void unwritableDirectoryStartsNothing()
    {
        LinkEnvironment env = fakeEnv(false, posixOs(), true, true);
        env.programDir = m_dir.filePath("does/not/exist");
        runLinkHousekeeping(env);
        QVERIFY(m_rec.scripts.isEmpty());
        QCOMPARE(m_rec.order, QStringList{"reset"});
    }

    void adapterPresentNeedsTheUsbEthernetAdapterOnLinkLocal()
    {
        std::vector<platform::NetAdapter> adapters;
        platform::setAdapterLister([&adapters] { return adapters; });
        std::string mac = "untouched";

        adapters = {{"eth0", "e1000e", "11-22-33-44-55-66", "169.254.100.2"}};
        QVERIFY(!adapterPresent(&mac));
        QCOMPARE(mac, std::string("untouched"));

        adapters = {{"enx", "Realtek USB FE Family Controller #2", "00-E0-4C-68-01-AB", "192.168.1.5"}};
        QVERIFY(!adapterPresent(&mac));
        QCOMPARE(mac, std::string("00e04c6801ab"));

        adapters = {{"enx1", "r8152", "00:E0:4C:68:01:CD", "169.254.100.2"}};
        QVERIFY(adapterPresent(&mac));
        QCOMPARE(mac, std::string("00e04c6801cd"));

        // Several: the first on link-local wins; the MAC is the last one examined.
        adapters = {{"a", "r8152", "AA-AA-AA-AA-AA-01", "10.0.0.1"},
            {"b", "Realtek USB FE Family Controller", "AA-AA-AA-AA-AA-02", "169.254.100.9"},
            {"c", "r8152", "AA-AA-AA-AA-AA-03", "169.254.100.10"}};
        QVERIFY(adapterPresent(&mac));
        QCOMPARE(mac, std::string("aaaaaaaaaa02"));
        QVERIFY(adapterPresent(nullptr));

        adapters.clear();
        QVERIFY(!adapterPresent(&mac));
    }

    void usbDeviceByHexIds()
    {
        QList<QPair<unsigned, unsigned>> asked;
        platform::setUsbDeviceProbe([&asked](unsigned v, unsigned p) {
            asked.append({v, p});
            return v == 0xA5A5 && p == 0x2560;
        });
        QVERIFY(isUsbDevicePresent("A5A5", "2560"));
        QVERIFY(!isUsbDevicePresent("0BDA", "8152"));
        QVERIFY(!isUsbDevicePresent("XYZ", "2560"));   // not hex: never asked
        QVERIFY(!isUsbDevicePresent("1A5A5", "2560")); // too large
        QCOMPARE(asked.size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLinkDrivers)
#include "tst_device_link_drivers.moc"
