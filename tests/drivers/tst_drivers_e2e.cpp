// The drivers' operations end to end below the page: the catalogue and the
// packages from the cloud emulator, the package's own libraries switching the
// adapter emulator's mode through the real background service's status
// block, the registry and the install folders; a local archive, a hostile
// one and a package whose digest does not match.
#include "CloudEmulator.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "drivers/DriverFiles.h"
#include "drivers/DriverOperations.h"
#include "drivers/DriverRegistry.h"
#include "drivers/PassThruRegistration.h"
#include "kit/HttpUtils.h"

#include <platform/Library.h>
#include <platform/Registry.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#include "device/VciStatusRecord.h"

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

class TestDriversEndToEnd : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    CloudEmulator m_cloud;
    EmulatorProcess m_emulator;
    ServiceProcess m_service;
    DriverMap m_map;
    DriverOperations m_ops;

    QString mode() const
    {
        const auto doc = QJsonDocument::fromJson(m_emulator.command(QStringLiteral("dump")).toUtf8());
        return doc.object()[QStringLiteral("adapters")].toArray().at(0)[QStringLiteral("mode")].toString();
    }
    static bool keyExists(const QString& installKey)
    {
        return Registry::keyExists(RegistryHive::LocalMachine, DriverRegistry::packageKey(installKey).toStdString());
    }
    // The catalogue's package of a driver, as the page downloads it.
    QString download(const VehicleDriver& driver)
    {
        HttpUtils http;
        const QString file = DriverFiles::dataDirectory() + QStringLiteral("/.download-") + driver.key + ".zip";
        QDir().mkpath(DriverFiles::dataDirectory());
        bool done = false;
        QString saved;
        http.downloadToFile(
            QUrl(driver.downloadUrl()), file,
            [&](const QString& path, const QString&, const QString&) { saved = path, done = true; },
            [&](int, const QString&) { done = true; }, {});
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 20000); }();
        return saved;
    }
    // A zip made by 7-Zip from the files of `folder`, named `name`.
    static QString zipOf(const QString& folder, const QString& name)
    {
        const QString zip = QDir(folder).absoluteFilePath(QStringLiteral("../") + name);
        QProcess::execute(QStringLiteral("7za"),
            {QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-bso0"), zip,
                folder + QStringLiteral("/*")});
        return zip;
    }

private slots:
    void initTestCase()
    {
        useUniqueShmPrefix("drv-e2e");
        QVERIFY2(m_cloud.start(), qPrintable(m_cloud.lastError()));
        const QString address = QStringLiteral("127.0.%1.1").arg(150 + QCoreApplication::applicationPid() % 100);
        QVERIFY2(m_emulator.start({"--base-address", address}), qPrintable(m_emulator.errorText()));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));
        QVERIFY(m_service.start(ServiceProcess::arguments(address, m_emulator.port(), m_env.path() + "/service.lock")));
        VciStatusRecord record{};
        QTRY_VERIFY_WITH_TIMEOUT(readVciStatus(record) && record.SN[0] != '\0', 15000);

        HttpUtils http;
        bool done = false;
        http.get(
            drivers::catalogueRequest(m_cloud.httpBase()),
            [&](const QJsonValue& answer) {
                m_map = DriverRegistry::load();
                drivers::mergeCatalogue(m_map, drivers::parseCatalogue(answer).records);
                done = true;
            },
            [&](int, const QString&) { done = true; });
        QTRY_VERIFY_WITH_TIMEOUT(done, 15000);
        QVERIFY(!m_map.value("Kestrix_NISSAN").sha256().isEmpty());
        QCOMPARE(m_map.value("Kestrix_Toyota").downloadUrl(), m_map.value("Kestrix_J2534").downloadUrl());
    }

    // Install enables and switches the adapter; disable switches it back;
    // uninstall leaves neither folder nor registry key.
    void installEnableDisableUninstall()
    {
        VehicleDriver nissan = m_map.value("Kestrix_NISSAN");
        QCOMPARE(int(drivers::dataStatus(nissan)), int(DataStatus::NotInstalled));
        const QString archive = download(nissan);
        QVERIFY(!archive.isEmpty());

        DriverOperations::Outcome out = m_ops.installDownloaded(archive, nissan);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QVERIFY(!QFile::exists(archive));
        QCOMPARE(mode(), QStringLiteral("NISSAN"));
        QCOMPARE(int(drivers::dataStatus(nissan)), int(DataStatus::UpToDate));
        VehicleDriver reread = nissan;
        DriverRegistry::readInstall(reread);
        QVERIFY(reread.enabled && reread.installed());
        QCOMPARE(reread.installVersion, nissan.serverVersion());

        out = m_ops.setEnabled(nissan, false);
        QVERIFY2(out.ok, qPrintable(out.detail));
        QCOMPARE(mode(), QStringLiteral("original"));
        DriverRegistry::readInstall(reread);
        QCOMPARE(int(drivers::dataStatus(reread)), int(DataStatus::Disabled));

        QVERIFY(m_ops.setEnabled(nissan, true).ok);
        QCOMPARE(mode(), QStringLiteral("NISSAN"));
        out = m_ops.uninstall(nissan);
        QVERIFY2(out.ok, qPrintable(out.detail));
        QCOMPARE(mode(), QStringLiteral("original"));
        QVERIFY(!QFileInfo::exists(DriverFiles::installFolder(nissan.info)));
        QVERIFY(!keyExists(QStringLiteral("NISSAN")));
    }

    // Two drivers of the pass-thru package: the first enabled switches, the
    // second only writes its value; uninstalling one keeps the package. The
    // package's J2534 library is registered while it is installed.
    void sharedPackageAndLocalArchive()
    {
        QTemporaryDir pick;
        const QString packages = QFileInfo(testBinary("cloud-emulator")).dir().filePath("../packages");
        const QStringList zips = QDir(packages).entryList({QStringLiteral("J2534_0404_*.zip")});
        QCOMPARE(zips.size(), 1);
        const QString local = pick.filePath(zips.first());
        QVERIFY(QFile::copy(QDir(packages).filePath(zips.first()), local));
        QCOMPARE(drivers::driverForArchive(zips.first()), QStringLiteral("Kestrix_J2534"));

        VehicleDriver volvo = m_map.value("Kestrix_VOLVO");
        DriverOperations::Outcome out = m_ops.installLocal(local, volvo);
        QVERIFY2(out.ok && out.message.isEmpty(), qPrintable(out.message + out.detail));
        QVERIFY(QFile::exists(local)); // a picked file is the technician's
        QCOMPARE(mode(), QStringLiteral("J2534"));
        // The registered library is the installed package's, and it loads.
        const auto registered = Registry::readString(
            RegistryHive::LocalMachine, drivers::kPassThruKey, "FunctionLibrary", RegistryView::Force32);
        QVERIFY(registered);
        const QString library = QDir::fromNativeSeparators(QString::fromStdString(*registered));
        QCOMPARE(library, DriverFiles::installFolder(volvo.info) + QStringLiteral("/BrindlewickJ2534.so"));
        platform::Library loaded;
        QVERIFY2(loaded.load(QFile::encodeName(library).toStdString()), loaded.errorString().c_str());
        QVERIFY(loaded.resolve("PassThruOpen"));
        loaded.unload();
        QVERIFY(QFileInfo::exists(drivers::passThruDiscoveryFile()));
        VehicleDriver toyota = m_map.value("Kestrix_Toyota");
        DriverRegistry::readInstall(toyota);
        QVERIFY(toyota.installed());
        QVERIFY(m_ops.setEnabled(toyota, true).ok);
        // Honda's own software is covered: Honda rides on this package.
        QVERIFY(Registry::writeString(
            RegistryHive::LocalMachine, "SOFTWARE\\Honda\\HDS\\i-HDS\\Common", "installDirectory", "C:\\HDS"));
        QVERIFY(DriverOperations::passThruInstalled());
        QCOMPARE(DriverOperations::makeWithoutDriver(), QString());
        QVERIFY(m_ops.uninstall(volvo).ok);
        QCOMPARE(mode(), QStringLiteral("J2534")); // Toyota still uses it
        QVERIFY(keyExists(QStringLiteral("J2534_0404")));
        DriverRegistry::readInstall(toyota);
        QVERIFY(m_ops.uninstall(toyota).ok);
        QCOMPARE(mode(), QStringLiteral("original"));
        QVERIFY(!keyExists(QStringLiteral("J2534_0404")));
        QVERIFY(!QFileInfo::exists(DriverFiles::installFolder(toyota.info)));
        QVERIFY(!Registry::keyExists(RegistryHive::LocalMachine, drivers::kPassThruKey, RegistryView::Force32));
        QVERIFY(!QFileInfo::exists(drivers::passThruDiscoveryFile()));
        QVERIFY(!DriverOperations::passThruInstalled());
        QCOMPARE(DriverOperations::makeWithoutDriver(), QStringLiteral("Honda"));
        Registry::deleteKey(RegistryHive::LocalMachine, "SOFTWARE\\Honda");
    }

    // Nothing of a refused package is left installed or written outside.
    void hostileAndForgedPackagesAreRefused()
    {
        QTemporaryDir work;
        QDir(work.path()).mkpath("pkg/q7");
        QFile evil(work.filePath("pkg/q7/evil.txt"));
        QVERIFY(evil.open(QIODevice::WriteOnly) && evil.write("x") == 1);
        evil.close();
        const QString zip = zipOf(work.filePath("pkg"), QStringLiteral("Ford_V9.zip"));
        // Rename the entry so that it climbs out: "q7/evil.txt" -> "../evil.txt" (same length).
        QFile file(zip);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        QVERIFY(bytes.contains("q7/evil.txt"));
        bytes.replace("q7/", "../");
        file.seek(0);
        file.write(bytes);
        file.close();

        VehicleDriver ford = m_map.value("Kestrix_Ford");
        DriverOperations::Outcome out = m_ops.installLocal(zip, ford);
        QVERIFY(!out.ok);
        QVERIFY2(
            out.message.startsWith(QStringLiteral("The archive holds an unsafe file name")), qPrintable(out.message));
        QVERIFY(!keyExists(QStringLiteral("Ford")));
        QVERIFY(!QFileInfo::exists(DriverFiles::installFolder(ford.info)));
        QVERIFY(!QFileInfo::exists(DriverFiles::dataDirectory() + "/../evil.txt"));

        // Other bytes under the package's name: the digest differs from the catalogue's.
        VehicleDriver renault = m_map.value("Kestrix_RENAULT");
        QVERIFY(m_cloud.control({{"path", QUrl(renault.downloadUrl()).path()}, {"status", 200},
            {"contentType", "application/zip"}, {"body", "PK not the package"}}));
        const QString archive = download(renault);
        QVERIFY(!archive.isEmpty());
        out = m_ops.installDownloaded(archive, renault);
        QVERIFY(!out.ok);
        QVERIFY2(out.message.contains(QStringLiteral("checksum")), qPrintable(out.message));
        QVERIFY(!QFile::exists(archive));
        QVERIFY(!keyExists(QStringLiteral("RENAULT")));
        QVERIFY(!QFileInfo::exists(DriverFiles::installFolder(renault.info)));
        QCOMPARE(mode(), QStringLiteral("original"));
    }
};

QTEST_GUILESS_MAIN(TestDriversEndToEnd)
#include "tst_drivers_e2e.moc"
