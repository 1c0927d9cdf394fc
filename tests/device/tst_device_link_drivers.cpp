// Start-up link housekeeping with a fake program directory, script folder,
// process list, OS probe and starter; the adapter probes with fake platform lists.
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
    QStringList workingDirs;
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

    QString programDir() const { return m_dir.filePath(QStringLiteral("program")); }
    QString scriptDir() const { return m_dir.filePath(QStringLiteral("scripts")); }

    LinkEnvironment fakeEnv(bool serviceRunning, platform::OsVersion os, bool is64, bool usbPresent)
    {
        LinkEnvironment env;
        env.programDir = programDir();
        env.scriptDir = scriptDir();
        env.scriptKind = os.isWindows ? platform::ScriptKind::Batch : platform::ScriptKind::Shell;
        env.processRunning
            = [serviceRunning](const std::string& name) { return serviceRunning && name == "BrindlewickService"; };
        env.osVersion = [os] { return os; };
        env.is64BitSystem = [is64] { return is64; };
        env.startScript = [this](const QString& path, const QString& workingDir) {
            m_rec.scripts << QFileInfo(path).fileName();
            m_rec.workingDirs << workingDir;
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
        QDir().mkpath(programDir());
        QDir().mkpath(scriptDir());
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

        // The scripts go to the script folder and run in the program's;
        // startService.sh itself is run by tst_device_link_integration.
        QVERIFY(readAll(scriptDir() + "/startService.sh").contains("cd '" + programDir().toUtf8() + "'"));
        const QByteArray kill = readAll(scriptDir() + "/KillW82.sh");
        QVERIFY(kill.contains("pkill -KILL -f '^([^ ]*/)?W82_Brindlewick_SERVICE( |$)'"));
        QCOMPARE(m_rec.workingDirs, (QStringList{programDir(), programDir()}));
        QVERIFY(QDir(programDir()).isEmpty()); // an installed program's folder may be read-only
        QCOMPARE(QDir(scriptDir()).entryList(QDir::Files), (QStringList{"KillW82.sh", "startService.sh"}));
    }

    void batchKindWritesTheWindowsScripts()
    {
        LinkEnvironment env = fakeEnv(false, win(10, 0), true, true);
        QVERIFY(ensureServiceRunning(env));
        QVERIFY(stopSiblingService(env));
        QCOMPARE(m_rec.scripts, (QStringList{"startService.bat", "KillW82.bat"}));
        QVERIFY(readAll(scriptDir() + "/startService.bat")
                    .contains("binpath= \"" + QDir::toNativeSeparators(programDir()).toLocal8Bit()
                        + "\\BrindlewickService.exe\""));
        QVERIFY(readAll(scriptDir() + "/KillW82.bat").contains("W82_Brindlewick_SERVICE.exe"));
    }

    void runningServiceWritesNoStartScript()
    {
        const LinkEnvironment env = fakeEnv(true, posixOs(), true, true);
        QVERIFY(!ensureServiceRunning(env));
        runLinkHousekeeping(env);
        QVERIFY(!QFile::exists(scriptDir() + "/startService.sh"));
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
        QVERIFY(readAll(scriptDir() + '/' + file).contains(installer));
        QCOMPARE(m_rec.scripts, QStringList{file});
        // Once written, the batch marks the driver as installed.
        m_rec = Recorder();
        QVERIFY(!installWin7UsbEthernetDriver(fakeEnv(true, win(6, 1), is64, true)));
        QVERIFY(m_rec.scripts.isEmpty());
    }

    void existing32BitBatchStopsTheStepOn64Bit()
    {
        // Earlier versions wrote the batch next to the program; it still counts.
        QFile f(programDir() + "/win7Drive.bat");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!installWin7UsbEthernetDriver(fakeEnv(true, win(6, 1), true, true)));
        QVERIFY(!QFile::exists(scriptDir() + "/win7Drive64.bat"));
    }

    void loopbackInstallerOnlyOnWindows6WithoutTheUsbDevice()
    {
        QVERIFY(startLoopbackInstallerIfNeeded(fakeEnv(true, win(6, 1), true, false)));
        QCOMPARE(m_rec.programs.size(), 1);
        QCOMPARE(m_rec.programs[0].first, programDir() + "\\VirtualNetLoopback\\x64\\VirtualNetLoopback.exe");
        QCOMPARE(m_rec.programs[0].second, QStringList{"-d"});
        m_rec = Recorder();
        QVERIFY(startLoopbackInstallerIfNeeded(fakeEnv(true, win(6, 2), false, false)));
        QCOMPARE(m_rec.programs[0].first, programDir() + "\\VirtualNetLoopback\\x86\\VirtualNetLoopback_x86.exe");
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
        QVERIFY(QDir(scriptDir()).entryList({"win7Drive*"}).isEmpty());
    }

    void m5DriverInstallerStartsOnlyWhenPresent()
    {
        QVERIFY(!installM5Driver(fakeEnv(true, posixOs(), true, true)));
        QVERIFY(m_rec.programs.isEmpty());

        QDir(programDir()).mkpath("Driver/x64");
        QFile exe(programDir() + "/Driver/x64/Driver64.exe");
        QVERIFY(exe.open(QIODevice::WriteOnly));
        exe.close();
        QVERIFY(installM5Driver(fakeEnv(true, posixOs(), true, true)));
        QCOMPARE(m_rec.programs.size(), 1);
        QCOMPARE(m_rec.programs[0].first, programDir() + "/Driver/x64/Driver64.exe");
        QCOMPARE(m_rec.programs[0].second,
            (QStringList{"install", "USB\\VID_A5A5&PID_2560", programDir() + "/Driver/M5/OrvaneM5.inf"}));
        // The 32-bit installer is not there.
        QVERIFY(!installM5Driver(fakeEnv(true, posixOs(), false, true)));
    }

    void unwritableScriptFolderStartsNothing()
    {
        LinkEnvironment env = fakeEnv(false, posixOs(), true, true);
        for (const QString& dir : {m_dir.filePath("does/not/exist"), QString()}) {
            env.scriptDir = dir;
            QVERIFY(!ensureServiceRunning(env));
            runLinkHousekeeping(env);
        }
        QVERIFY(m_rec.scripts.isEmpty());
        QCOMPARE(m_rec.order, (QStringList{"reset", "reset"}));
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
