// The drivers' registry records and folders: the install state read back,
// the shared-package rules, a package installed from an archive (and one for
// another package refused), the uninstall folder check that never deletes
// outside the install key's folder, an uninstall that a damaged mode
// library does not block, and the registration of the pass-thru library
// (registry key in the 32-bit view and the Linux discovery file) following
// the pass-thru package through install, enable, disable and uninstall.
#include "drivers/DriverFiles.h"
#include "drivers/DriverOperations.h"
#include "drivers/DriverRegistry.h"
#include "drivers/DriverSwitch.h"
#include "drivers/PassThruRegistration.h"
#include "kit/SafeUnpacker.h"

#include "platform/Registry.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

namespace {

void setValue(const QString& installKey, const char* name, const char* text)
{
    QVERIFY(Registry::writeString(
        RegistryHive::LocalMachine, DriverRegistry::packageKey(installKey).toStdString(), name, text));
}

QString makeFolder(const QString& path)
{
    QDir().mkpath(path);
    QFile file(path + QStringLiteral("/VciSwitch.dll"));
    file.open(QIODevice::WriteOnly);
    return path;
}

QByteArray manifestOf(const QString& package, const QString& version)
{
    return QStringLiteral("{\"make\":\"J2534\",\"package\":\"%1\",\"version\":\"%2\"}").arg(package, version).toUtf8();
}

// A package zip with `manifest`, made by 7-Zip from a staged folder; `extra`
// files are added with a few bytes each.
bool makePackage(const QString& zip, const QByteArray& manifestText, const QStringList& extra = {})
{
    QTemporaryDir stage;
    QFile manifest(stage.filePath(QStringLiteral("manifest.json")));
    if (!manifest.open(QIODevice::WriteOnly))
        return false;
    manifest.write(manifestText);
    manifest.close();
    makeFolder(stage.path());
    QStringList files{"manifest.json", "VciSwitch.dll"};
    for (const QString& name : extra) {
        QFile file(stage.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write("library") != 7)
            return false;
        files << name;
    }
    QProcess p;
    p.setWorkingDirectory(stage.path());
    p.start(SafeUnpacker::defaultToolPath(), QStringList{"a", "-tzip", zip} + files);
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

bool makePackage(const QString& zip, const QString& package, const QString& version, const QStringList& extra = {})
{
    return makePackage(zip, manifestOf(package, version), extra);
}

#ifdef Q_OS_WIN
const QString kPassThruLibrary = QStringLiteral("BrindlewickJ2534.dll");
#else
const QString kPassThruLibrary = QStringLiteral("BrindlewickJ2534.so");
#endif

bool passThruKeyExists(RegistryView view = RegistryView::Force32)
{
    return Registry::keyExists(RegistryHive::LocalMachine, drivers::kPassThruKey, view);
}

QJsonObject discoveryFile()
{
    QFile file(drivers::passThruDiscoveryFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool discoveryFileExists()
{
    return QFileInfo::exists(drivers::passThruDiscoveryFile());
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

        // A manifest the package's own libraries would refuse (a version of
        // 33 characters, an empty file) never replaces the installed package.
        const QString longVersion = downloads.filePath(QStringLiteral("J2534_0404_long.zip"));
        QVERIFY(makePackage(longVersion, manifestOf(QStringLiteral("J2534_0404"), QString(33, QLatin1Char('9')))));
        QVERIFY(makePackage(downloads.filePath(QStringLiteral("J2534_0404_none.zip")), QByteArray()));
        for (const QString& zip : {longVersion, downloads.filePath(QStringLiteral("J2534_0404_none.zip"))}) {
            const DriverFiles::InstallResult bad = DriverFiles::installFromArchive(unpacker, zip, toyota);
            QVERIFY(!bad.ok);
            QCOMPARE(bad.message, QStringLiteral("The package's manifest cannot be read."));
            QVERIFY(!bad.detail.isEmpty());
        }
        QVERIFY(QFile::exists(folder + QStringLiteral("/VciSwitch.dll")));
        QCOMPARE(DriverRegistry::load()["Kestrix_Toyota"].installVersion, QStringLiteral("V1.2.5"));
        // A driver without a package (empty install key) installs nothing.
        VehicleDriver none = toyota;
        none.info.installKey.clear();
        QCOMPARE(DriverFiles::installFromArchive(unpacker, good, none).message,
            QStringLiteral("This driver has no package to install."));
        QVERIFY(!QFile::exists(DriverFiles::dataDirectory() + QStringLiteral("/manifest.json")));

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
        QCOMPARE(DriverFiles::removeInstallFolder(data, QString()), R::Refused);
        // A folder whose name only starts with the key's is another folder.
        makeFolder(data + QStringLiteral("/VW_old"));
        QCOMPARE(DriverFiles::removeInstallFolder(data + QStringLiteral("/VW_old"), "VW"), R::Refused);
        QVERIFY(QFile::exists(data + QStringLiteral("/VW_old/VciSwitch.dll")));
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

    // The install folder deleted by hand: uninstalling removes the record.
    void uninstallAfterTheFolderWasDeleted()
    {
        DriverMap map = DriverRegistry::load();
        VehicleDriver& gm = map["Kestrix_GM"];
        const QString folder = DriverFiles::installFolder(gm.info);
        QVERIFY(DriverRegistry::recordInstall(gm, QDir::toNativeSeparators(folder), QStringLiteral("V1.0")));
        QVERIFY(!QFileInfo::exists(folder) && gm.installed() && !gm.enabled);
        DriverOperations operations(SafeUnpacker(), [](std::chrono::milliseconds) { return true; });
        const DriverOperations::Outcome out = operations.uninstall(gm);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QVERIFY(!DriverRegistry::installedPackages().contains(QStringLiteral("GM")));
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

    // The pass-thru package's library is registered where J2534 applications
    // look (the 32-bit view's key and, on Linux, the discovery file), naming
    // the library in the install folder; it stays while any driver of the
    // package is installed, disabled or not, and goes with the last one.
    void passThruLibraryIsRegisteredWhileItsPackageIsInstalled()
    {
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip is not installed (scripts/deps.sh installs p7zip-full)");
        QTemporaryDir downloads;
        const QString zip = downloads.filePath(QStringLiteral("J2534_0404_V1.3.zip"));
        QVERIFY(makePackage(zip, QStringLiteral("J2534_0404"), QStringLiteral("V1.3"), {kPassThruLibrary, "j2534.h"}));
        DriverMap map = DriverRegistry::load();
        VehicleDriver& volvo = map["Kestrix_VOLVO"];
        VehicleDriver& toyota = map["Kestrix_Toyota"];
        DriverOperations operations(SafeUnpacker(), [](std::chrono::milliseconds) { return true; });
        QVERIFY(!passThruKeyExists());

        DriverOperations::Outcome out = operations.installLocal(zip, volvo);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        const QString library = DriverFiles::installFolder(volvo.info) + QLatin1Char('/') + kPassThruLibrary;
        QVERIFY(QFile::exists(library));
        const std::string key = drivers::kPassThruKey;
        const auto text = [&key](const char* name) {
            return QString::fromStdString(
                Registry::readString(RegistryHive::LocalMachine, key, name, RegistryView::Force32).value_or("-"));
        };
        QCOMPARE(text("Name"), QStringLiteral("Brindlewick J2534"));
        QCOMPARE(text("Vendor"), QStringLiteral("Brindlewick"));
        QCOMPARE(text("FunctionLibrary"), QDir::toNativeSeparators(library));
        // Only in the 32-bit view: a 64-bit reader finds it below WOW6432Node.
        QVERIFY(!passThruKeyExists(RegistryView::Force64));
        QCOMPARE(QString::fromStdString(Registry::readString(RegistryHive::LocalMachine,
                     "SOFTWARE\\WOW6432Node\\PassThruSupport.04.04\\Brindlewick J2534", "FunctionLibrary",
                     RegistryView::Force64)
                                            .value_or("-")),
            QDir::toNativeSeparators(library));
        const QJsonObject file = discoveryFile();
#ifndef Q_OS_WIN
        QCOMPARE(drivers::passThruDiscoveryFile(),
            qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/j2534/04.04/brindlewick-j2534.json"));
        QCOMPARE(file.value("Name").toString(), QStringLiteral("Brindlewick J2534"));
        QCOMPARE(file.value("Vendor").toString(), QStringLiteral("Brindlewick"));
        QCOMPARE(file.value("FunctionLibrary").toString(), library);
#endif
        const QList<QPair<const char*, int>> protocols{{"CAN", 1}, {"ISO15765", 1}, {"CAN_PS", 1}, {"ISO15765_PS", 1},
            {"J1850VPW", 0}, {"J1850PWM", 0}, {"ISO9141", 0}, {"ISO14230", 0}, {"SCI_A_ENGINE", 0}, {"SCI_A_TRANS", 0},
            {"SCI_B_ENGINE", 0}, {"SCI_B_TRANS", 0}};
        for (const auto& protocol : protocols) {
            const auto value
                = Registry::readDword(RegistryHive::LocalMachine, key, protocol.first, RegistryView::Force32);
            QVERIFY2(value && int(*value) == protocol.second, protocol.first);
#ifndef Q_OS_WIN
            QVERIFY2(file.value(QLatin1String(protocol.first)) == QJsonValue(protocol.second), protocol.first);
#endif
        }

        // A second driver of the package, disabling one: the library stays known.
        VehicleDriver reread = toyota;
        DriverRegistry::readInstall(reread);
        QVERIFY(operations.setEnabled(reread, true).ok);
        QVERIFY(operations.setEnabled(volvo, false).ok);
        QVERIFY(passThruKeyExists());
        QVERIFY(discoveryFileExists() || drivers::passThruDiscoveryFile().isEmpty());
        // Enabling writes a registration that went missing again.
        QVERIFY(Registry::deleteKey(RegistryHive::LocalMachine, key, RegistryView::Force32));
        QFile::remove(drivers::passThruDiscoveryFile());
        out = operations.setEnabled(volvo, true);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QCOMPARE(text("FunctionLibrary"), QDir::toNativeSeparators(library));
        QVERIFY(discoveryFileExists() || drivers::passThruDiscoveryFile().isEmpty());

        // Uninstalling one of two keeps it; the last one takes it away.
        QVERIFY(operations.uninstall(reread).ok);
        QVERIFY(QFile::exists(library));
        QVERIFY(passThruKeyExists());
        QVERIFY(discoveryFileExists() || drivers::passThruDiscoveryFile().isEmpty());
        out = operations.uninstall(volvo);
        QVERIFY2(out.ok && out.detail.isEmpty(), qPrintable(out.detail));
        QVERIFY(!QFile::exists(library));
        QVERIFY(!passThruKeyExists());
        QVERIFY(!discoveryFileExists());
    }

    // Key and file are written together or not at all; a package that should
    // carry the library and does not takes an older registration away rather
    // than leave it naming a missing file; other packages register nothing.
    void passThruRegistrationIsWholeOrAbsent_data()
    {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("registry key cannot be written")
            << QStringLiteral("registry/HKEY_LOCAL_MACHINE/SOFTWARE/WOW6432Node/PassThruSupport.04.04");
#ifndef Q_OS_WIN
        QTest::newRow("discovery folder cannot be made") << QStringLiteral("config/j2534");
#endif
    }
    void passThruRegistrationIsWholeOrAbsent()
    {
        QFETCH(QString, blocked);
        if (SafeUnpacker::defaultToolPath().isEmpty())
            QSKIP("7-Zip is not installed (scripts/deps.sh installs p7zip-full)");
        QTemporaryDir downloads;
        const QString zip = downloads.filePath(QStringLiteral("J2534_0404_V1.3.zip"));
        QVERIFY(makePackage(zip, QStringLiteral("J2534_0404"), QStringLiteral("V1.3"), {kPassThruLibrary}));
        DriverMap map = DriverRegistry::load();
        DriverOperations operations(SafeUnpacker(), [](std::chrono::milliseconds) { return true; });

        // A file where a folder must go.
        const QString root = qEnvironmentVariable("BRINDLEWICK_REGISTRY_ROOT") + QStringLiteral("/..");
        const QString obstacle = QDir(root).absoluteFilePath(blocked);
        QVERIFY(QDir().mkpath(QFileInfo(obstacle).absolutePath()));
        QFile block(obstacle);
        QVERIFY(block.open(QIODevice::WriteOnly));
        block.close();
        DriverOperations::Outcome out = operations.installLocal(zip, map["Kestrix_J2534"]);
        QVERIFY2(out.ok, qPrintable(out.detail)); // installed and enabled all the same
        QVERIFY(map["Kestrix_J2534"].enabled);
        QCOMPARE(out.message, DriverOperations::passThruNotRegistered());
        QVERIFY(!out.detail.isEmpty());
        QVERIFY(!passThruKeyExists());
        QVERIFY(!discoveryFileExists());

        // Cleared, enabling registers it.
        QVERIFY(QFile::remove(obstacle));
        out = operations.setEnabled(map["Kestrix_J2534"], true);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QVERIFY(passThruKeyExists());

        // The same package again, without the library: nothing names it any more.
        const QString broken = downloads.filePath(QStringLiteral("J2534_0404_V1.4.zip"));
        QVERIFY(makePackage(broken, QStringLiteral("J2534_0404"), QStringLiteral("V1.4")));
        out = operations.installLocal(broken, map["Kestrix_J2534"]);
        QVERIFY(out.ok);
        QCOMPARE(out.message, DriverOperations::passThruNotRegistered());
        QVERIFY2(out.detail.contains(kPassThruLibrary), qPrintable(out.detail));
        QVERIFY(!passThruKeyExists());
        QVERIFY(!discoveryFileExists());

        // The 05.00 package registers nothing, whatever it holds.
        const QString other = downloads.filePath(QStringLiteral("J2534_0500_V1.0.zip"));
        QVERIFY(makePackage(other, QStringLiteral("J2534_0500"), QStringLiteral("V1.0"), {kPassThruLibrary}));
        out = operations.installLocal(other, map["Kestrix_J0500"]);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QVERIFY(!passThruKeyExists());
        QVERIFY(!discoveryFileExists());
    }
};

QTEST_GUILESS_MAIN(TestDriverRegistry)
#include "tst_drivers_registry.moc"
