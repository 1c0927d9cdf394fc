// The drivers' registry records and folders: the install state read back,
// the shared-package rules, a package installed from an archive (and one for
// another package refused), the uninstall folder check that never deletes
// outside the install key's folder, and an uninstall that a damaged mode
// library does not block.
#include "app/kit/SafeUnpacker.h"
#include "drivers/DriverFiles.h"
#include "drivers/DriverOperations.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverSwitch.h"

#include "platform/Registry.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

using platform::Registry;
using platform::RegistryHive;

namespace {

void setValue(const QString& installKey, const char* name, const char* text)
{
    QVERIFY(Registry::writeString(RegistryHive::LocalMachine,
        DriverRegistry::packageKey(installKey).toStdString(), name, text));
}

QString makeFolder(const QString& path)
{
    QDir().mkpath(path);
    QFile file(path + QStringLiteral("/VciSwitch.dll"));
    file.open(QIODevice::WriteOnly);
    return path;
}

// A package zip with a manifest, made by 7-Zip from a staged folder.
bool makePackage(const QString& zip, const QString& package, const QString& version)
{
    QTemporaryDir stage;
    QFile manifest(stage.filePath(QStringLiteral("manifest.json")));
    if (!manifest.open(QIODevice::WriteOnly))
        return false;
    manifest.write(QStringLiteral("{\"make\":\"J2534\",\"package\":\"%1\",\"version\":\"%2\"}").arg(package, version).toUtf8());
    manifest.close();
    makeFolder(stage.path());
    QProcess p;
    p.setWorkingDirectory(stage.path());
    p.start(SafeUnpacker::defaultToolPath(), {"a", "-tzip", zip, "manifest.json", "VciSwitch.dll"});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

} // namespace

class TestDriverRegistry : public QObject {
    Q_OBJECT

private:
    QScopedPointer<TestEnvironment> m_env;

private slots:
    void init() // a fresh registry and data root per case
    {
        m_env.reset();
        m_env.reset(new TestEnvironment);
    }

    void installStateIsReadFromTheRegistry()
    {
        setValue("J2534_0404", "InstallPath", "C:\\ProgramData\\Kestrix\\J2534_0404");
        setValue("J2534_0404", "InstallVersion", "V1.2.05");
        setValue("J2534_0404", "VOLVO", "0");
        setValue("J2534_0404", "Toyota", "1");
        setValue("BMW", "InstallPath", "C:\\ProgramData\\Kestrix\\BMW");
        setValue("BMW", "IsDisable", "1");
        setValue("VW", "InstallPath", "C:\\ProgramData\\Kestrix\\VW");
        setValue("Ford", "IsDisable", "1"); // no InstallPath: not installed, state not read
        setValue("GM", "InstallPath", "C:\\ProgramData\\Kestrix\\GM");
        QVERIFY(Registry::writeDword(RegistryHive::LocalMachine, "SOFTWARE\\Kestrix\\DrivceApp\\GM", "IsDisable", 1));
        const DriverMap map = DriverRegistry::load();
        QCOMPARE(map.size(), 24);
        QVERIFY(!map["Kestrix_VOLVO"].enabled);
        QVERIFY(map["Kestrix_Toyota"].enabled);
        QVERIFY(map["Kestrix_Honda"].enabled); // no value of its own: enabled
        QCOMPARE(map["Kestrix_Honda"].installVersion, QStringLiteral("V1.2.5"));
        QVERIFY(!map["Kestrix_BMW"].enabled);
        QVERIFY(map["Kestrix_VW"].enabled);
        QVERIFY(!map["Kestrix_GM"].enabled);
        QVERIFY(!map["Kestrix_Ford"].installed());
        QVERIFY(map["Kestrix_Ford"].enabled);
        QCOMPARE(DriverRegistry::installedPackages(), QStringList({"BMW", "Ford", "GM", "J2534_0404", "VW"}));
    }

    void sharedPackagesSwitchAndUninstallByTheirRules()
    {
        DriverMap map = DriverRegistry::load();
        VehicleDriver& volvo = map["Kestrix_VOLVO"];
        VehicleDriver& toyota = map["Kestrix_Toyota"];
        VehicleDriver& bmw = map["Kestrix_BMW"];
        // Nothing enabled: the first driver switches the mode.
        QVERIFY(DriverRegistry::modeMustChange(volvo, true));
        QVERIFY(DriverRegistry::writeEnabled(toyota, true));
        // Toyota holds the mode: enabling VOLVO only writes its value.
        QVERIFY(!DriverRegistry::modeMustChange(volvo, true));
        QVERIFY(DriverRegistry::writeEnabled(volvo, true));
        QVERIFY(!DriverRegistry::modeMustChange(volvo, false));
        QCOMPARE(int(DriverRegistry::uninstallPlan(volvo)), int(DriverRegistry::UninstallPlan::RemoveValueOnly));
        QVERIFY(DriverRegistry::writeEnabled(volvo, false));
        QVERIFY(DriverRegistry::removeEnableValue(volvo));
        QCOMPARE(DriverRegistry::enabledValues("J2534_0404"), QStringList{"Toyota"});
        // Toyota is the last one: disabling switches back, uninstalling takes all.
        QVERIFY(DriverRegistry::modeMustChange(toyota, false));
        QCOMPARE(int(DriverRegistry::uninstallPlan(toyota)), int(DriverRegistry::UninstallPlan::RemoveFolderAndKey));
        // A package of its own always switches and always goes whole.
        QVERIFY(DriverRegistry::modeMustChange(bmw, true));
        QCOMPARE(int(DriverRegistry::uninstallPlan(bmw)), int(DriverRegistry::UninstallPlan::RemoveFolderAndKey));
        QVERIFY(DriverRegistry::removePackageKey("J2534_0404"));
        QVERIFY(DriverRegistry::installedPackages().isEmpty());
        QVERIFY(!DriverRegistry::removePackageKey(".."));
    }

    void packagesInstallIntoTheirFolderOnly()
    {
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip is not installed (scripts/deps.sh installs p7zip-full)");
        QTemporaryDir downloads;
        const QString good = downloads.filePath(QStringLiteral("J2534_0404_V1.2.05.zip"));
        const QString other = downloads.filePath(QStringLiteral("VW.zip"));
        QVERIFY(makePackage(good, QStringLiteral("J2534_0404"), QStringLiteral("V1.2.05")));
        QVERIFY(makePackage(other, QStringLiteral("BMW"), QStringLiteral("V2.0")));
        DriverMap map = DriverRegistry::load();
        SafeUnpacker unpacker;

        VehicleDriver& toyota = map["Kestrix_Toyota"];
        const DriverFiles::InstallResult done = DriverFiles::installFromArchive(unpacker, good, toyota);
        QVERIFY2(done.ok, qPrintable(done.message));
        const QString folder = DriverFiles::dataDirectory() + QStringLiteral("/J2534_0404");
        QVERIFY(QFile::exists(folder + QStringLiteral("/VciSwitch.dll")));
        QCOMPARE(toyota.installVersion, QStringLiteral("V1.2.5"));
        QVERIFY(!toyota.enabled);
        const DriverMap reread = DriverRegistry::load();
        QCOMPARE(reread["Kestrix_Toyota"].installPath, QDir::toNativeSeparators(folder));
        QVERIFY(!reread["Kestrix_Toyota"].enabled);
        QVERIFY(reread["Kestrix_PSA"].installed());

        // Another package's archive under this driver's name is refused whole.
        const DriverFiles::InstallResult refused = DriverFiles::installFromArchive(unpacker, other, map["Kestrix_VW"]);
        QVERIFY(!refused.ok);
        QVERIFY2(refused.message.contains(QStringLiteral("BMW package")), qPrintable(refused.message));
        QVERIFY(!QFileInfo::exists(DriverFiles::dataDirectory() + QStringLiteral("/VW")));
        QVERIFY(!DriverRegistry::installedPackages().contains(QStringLiteral("VW")));

        QCOMPARE(DriverFiles::removeInstallFolder(toyota.installPath, "J2534_0404"), DriverFiles::Removal::Removed);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(DriverFiles::removeInstallFolder(toyota.installPath, "J2534_0404"), DriverFiles::Removal::Missing);
    }

    void uninstallNeverDeletesOutsideTheKeysFolder()
    {
        const QString data = DriverFiles::dataDirectory();
        QTemporaryDir elsewhere;
        const QString outside = makeFolder(elsewhere.filePath(QStringLiteral("precious")));
        makeFolder(data + QStringLiteral("/VW/sub"));
        makeFolder(data + QStringLiteral("/BMW"));
        QVERIFY(QFile::link(outside, data + QStringLiteral("/VW/into-outside")));
        using R = DriverFiles::Removal;
        QString why;
        QCOMPARE(DriverFiles::removeInstallFolder(outside, "VW", &why), R::Refused);
        QVERIFY(why.contains(QStringLiteral("outside")));
        QCOMPARE(DriverFiles::removeInstallFolder(data, "VW"), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/BMW"), "VW"), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/VW/../BMW"), "VW"), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/VW/into-outside"), "VW"), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/VW"), ".."), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(QString(), "VW"), R::Missing);
        // The Windows spelling of the registry value names the same folder.
        QCOMPARE(DriverFiles::removeInstallFolder("C:\\ProgramData\\Kestrix\\VW", "VW"), R::Removed);
        QVERIFY(!QFileInfo::exists(data + QStringLiteral("/VW")));
        QVERIFY(QFile::exists(outside + QStringLiteral("/VciSwitch.dll")));
        QVERIFY(QFileInfo::exists(data + QStringLiteral("/BMW")));
        // The key's folder itself a link to elsewhere: not followed.
        QVERIFY(QFile::link(outside, data + QStringLiteral("/GM")));
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/GM"), "GM"), R::Refused);
        QCOMPARE(DriverFiles::removeInstallFolder(outside, "GM"), R::Refused);
        QVERIFY(QFile::exists(outside + QStringLiteral("/VciSwitch.dll")));
    }

    // A package whose VciSwitch is there but will not load: disabling is
    // refused (the adapter's mode is unknown), uninstalling still removes
    // files and records and says that the mode was not switched back.
    void damagedModeLibraryDoesNotBlockUninstall_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("package of its own") << "Kestrix_VW";
        QTest::newRow("last enabled driver of a shared package") << "Kestrix_Toyota";
    }
    void damagedModeLibraryDoesNotBlockUninstall()
    {
        QFETCH(QString, key);
        DriverMap map = DriverRegistry::load();
        VehicleDriver& driver = map[key];
        const QString folder = DriverFiles::installFolder(driver.info);
        QVERIFY(QDir().mkpath(folder));
        QFile library(drivers::packageLibrary(folder, QStringLiteral("VciSwitch")));
        QVERIFY(library.open(QIODevice::WriteOnly));
        library.write(QByteArray("\x7f") + "ELF truncated by a bad download");
        library.close();
        QVERIFY(DriverRegistry::recordInstall(driver, QDir::toNativeSeparators(folder), QStringLiteral("V1.0")));
        QVERIFY(DriverRegistry::writeEnabled(driver, true));

        DriverOperations operations(SafeUnpacker(), [](std::chrono::milliseconds) { return true; });
        QVERIFY(!operations.setEnabled(driver, false).ok);
        QVERIFY(DriverRegistry::load()[key].enabled);

        const DriverOperations::Outcome outcome = operations.uninstall(driver);
        QVERIFY2(outcome.ok, qPrintable(outcome.detail));
        QVERIFY2(outcome.message.contains(QStringLiteral("could not be switched back")), qPrintable(outcome.message));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(!DriverRegistry::installedPackages().contains(driver.info.installKey));
        QVERIFY(!DriverRegistry::load()[key].installed());
        QVERIFY(!driver.installed());
    }
};

QTEST_GUILESS_MAIN(TestDriverRegistry)
#include "tst_drivers_registry.moc"
