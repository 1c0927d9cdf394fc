// Driver packages end to end below the manager: the built archives as the
// cloud emulator serves them, their manifest rules, the probes for a make's
// own software, VciSwitch switching the emulated adapter's mode from a
// package folder, vciServer starting and stopping the stand-in server, and
// the pass-thru package carrying the J2534 library and its header.
#include "CloudEmulator.h"
#include "support/AdapterProcesses.h"
#include "support/TestBlocks.h"
#include "support/TestEnvironment.h"

#include <driverpkg/Manifest.h>
#include <driverpkg/OemSoftware.h>
#include <platform/Process.h>
#include <platform/Registry.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QtTest>

#include <dlfcn.h>

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

namespace {

const char* kAdapterIp = "127.0.102.1";

QByteArray manifest(const char* make, const QByteArray& server = QByteArray())
{
    return QByteArray("{\"make\":\"") + make + "\",\"package\":\"P\",\"version\":\"V1.0.0\",\"server\":\"" + server
        + "\"}";
}

// Loads a library of the package folder, calls one export (a VciSwitch mode
// call, or a vciServer call without result), unloads it, as the manager does.
struct Call {
    bool result = false;
    QString message; // VciSwitch's LastMessage, or why the call was not made
};

Call callExport(const QString& library, const char* name, bool modeCall = true)
{
    Call out;
    void* handle = dlopen(QFile::encodeName(library).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        out.message = QStringLiteral("dlopen: ") + QString::fromLocal8Bit(dlerror());
        return out;
    }
    void* symbol = dlsym(handle, name);
    if (symbol && modeCall) {
        out.result = reinterpret_cast<bool (*)()>(symbol)();
        if (auto message = reinterpret_cast<const char* (*)()>(dlsym(handle, "LastMessage")))
            out.message = QString::fromUtf8(message());
    } else if (symbol) {
        reinterpret_cast<void (*)()>(symbol)();
        out.result = true;
    } else {
        out.message = QStringLiteral("no export ") + QLatin1String(name);
    }
    dlclose(handle);
    return out;
}

} // namespace

class TestDriverPackage : public QObject {
    Q_OBJECT
    TestEnvironment m_env;
    QTemporaryDir m_package; // an installed package's folder
    EmulatorProcess m_emu;
    platform::SharedMemory m_status;

    QString mode()
    {
        const auto doc = QJsonDocument::fromJson(m_emu.command(QStringLiteral("dump")).toUtf8());
        return doc.object()[QStringLiteral("adapters")].toArray().at(0)[QStringLiteral("mode")].toString();
    }
    void writeManifest(const QByteArray& text)
    {
        QFile f(m_package.filePath(QStringLiteral("manifest.json")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size());
    }
    Call vciSwitch(const char* name) { return callExport(m_package.filePath(QStringLiteral("VciSwitch.so")), name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_emu.start({QStringLiteral("--base-address"), QLatin1String(kAdapterIp)}));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emu.port()));
        // The service's status block, naming the emulated adapter.
        QVERIFY(m_status.create(kStatusBlock, kBlockBytes) && m_status.holdOwnership());
        fillBlock(m_status, statusText("M5EA0001XJ7B0001", 12340, 1, "USB", kAdapterIp));
        for (const char* lib : {"VciSwitch.so", "vciServer.so"})
            QVERIFY(QFile::copy(testBinary(lib), m_package.filePath(QLatin1String(lib))));
    }

    void builtPackagesAreServedWithTheirDigest()
    {
        CloudEmulator cloud;
        QVERIFY2(cloud.start(), qPrintable(cloud.lastError()));
        QNetworkAccessManager net;
        auto fetch = [&](const QString& url) {
            std::unique_ptr<QNetworkReply> reply(net.get(QNetworkRequest(QUrl(url))));
            QSignalSpy done(reply.get(), &QNetworkReply::finished);
            return done.wait(20000) && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
        };
        const QJsonArray records = QJsonDocument::fromJson(
            fetch(cloud.httpBase() + "api/latest-software-versions?langCode=EN&swSnCodes=Kestrix_BMW"))
                                       .array();
        QCOMPARE(records.size(), 1);
        const QJsonObject bmw = records[0].toObject();
        const QByteArray zip = fetch(bmw[QStringLiteral("url")].toString());
        QCOMPARE(zip.size(), bmw[QStringLiteral("size")].toInt());
        QCOMPARE(QCryptographicHash::hash(zip, QCryptographicHash::Sha256).toHex(),
            bmw[QStringLiteral("sha256")].toString().toLatin1());

        // What the archive holds: the manifest of its make, both libraries, the server under its name.
        QTemporaryDir unpacked;
        QFile file(unpacked.filePath(QStringLiteral("BMW.zip")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(zip) == zip.size());
        file.close();
        QCOMPARE(QProcess::execute(QStringLiteral("7za"),
                     {QStringLiteral("x"), file.fileName(), "-o" + unpacked.path() + "/pkg", QStringLiteral("-y"),
                         QStringLiteral("-bd"), QStringLiteral("-bso0")}),
            0);
        driverpkg::Manifest m;
        std::string why;
        QVERIFY2(
            driverpkg::readManifest(QFile::encodeName(unpacked.path() + "/pkg").toStdString(), m, &why), why.c_str());
        QCOMPARE(QString::fromStdString(m.make + " " + m.package + " " + m.server),
            QStringLiteral("BMW BMW BMW_DiagSer.exe"));
        QCOMPARE(QString::fromStdString(m.version), bmw[QStringLiteral("versionNo")].toString());
        for (const char* name : {"VciSwitch.so", "vciServer.so"})
            QVERIFY2(QFile::exists(unpacked.path() + "/pkg/" + name), name);
        QVERIFY(QFileInfo(unpacked.path() + "/pkg/BMW_DiagSer").isExecutable());
    }

    // "J2534_0404" carries a loadable J2534 library with every function of
    // the API and the application header as in the sources; "J2534_0500"
    // neither.
    void passThruPackageCarriesTheLibrary()
    {
        const QDir packages(QFileInfo(testBinary("cloud-emulator")).dir().filePath(QStringLiteral("../packages")));
        const auto unpack = [&packages](const QString& package, QTemporaryDir& into) {
            const QStringList zips = packages.entryList({package + QStringLiteral("_*.zip")});
            if (zips.size() != 1)
                return false;
            return QProcess::execute(QStringLiteral("7za"),
                       {QStringLiteral("x"), packages.filePath(zips.first()), "-o" + into.path(), QStringLiteral("-y"),
                           QStringLiteral("-bd"), QStringLiteral("-bso0")})
                == 0;
        };
        QTemporaryDir pt;
        QVERIFY(unpack(QStringLiteral("J2534_0404"), pt));
        void* library = dlopen(
            QFile::encodeName(pt.filePath(QStringLiteral("BrindlewickJ2534.so"))).constData(), RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        for (const char* name : {"PassThruOpen", "PassThruClose", "PassThruConnect", "PassThruDisconnect",
                 "PassThruReadMsgs", "PassThruWriteMsgs", "PassThruStartPeriodicMsg", "PassThruStopPeriodicMsg",
                 "PassThruStartMsgFilter", "PassThruStopMsgFilter", "PassThruSetProgrammingVoltage",
                 "PassThruReadVersion", "PassThruGetLastError", "PassThruIoctl"})
            QVERIFY2(dlsym(library, name), name);
        dlclose(library);
        QFile header(pt.filePath(QStringLiteral("j2534.h")));
        QFile source(QStringLiteral(BW_J2534_HEADER));
        QVERIFY(header.open(QIODevice::ReadOnly) && source.open(QIODevice::ReadOnly));
        QCOMPARE(header.readAll(), source.readAll());

        QTemporaryDir other;
        QVERIFY(unpack(QStringLiteral("J2534_0500"), other));
        QVERIFY(QFile::exists(other.filePath(QStringLiteral("VciSwitch.so"))));
        QVERIFY(!QFile::exists(other.filePath(QStringLiteral("BrindlewickJ2534.so"))));
        QVERIFY(!QFile::exists(other.filePath(QStringLiteral("j2534.h"))));
    }

    void manifestRefusesWhatItCannotTrust_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("complete") << manifest("BMW", "BMW_DiagSer.exe") << true;
        QTest::newRow("no server member")
            << QByteArray(R"({"make":"J2534","package":"J2534_0404","version":"V1"})") << true;
        QTest::newRow("unknown make") << manifest("bmw") << false;
        QTest::newRow("server with a folder") << manifest("BMW", "../../bin/sh") << false;
        QTest::newRow("hidden server") << manifest("BMW", ".x.exe") << false;
        QTest::newRow("version missing") << QByteArray(R"({"make":"BMW","package":"P"})") << false;
        QTest::newRow("package with a slash")
            << QByteArray(R"({"make":"BMW","package":"a/b","version":"V1"})") << false;
        QTest::newRow("make of the wrong type") << QByteArray(R"({"make":6,"package":"P","version":"V1"})") << false;
        QTest::newRow("trailing text") << manifest("BMW") + "{}" << false;
        QTest::newRow("not JSON") << QByteArray("make=BMW") << false;
        // Each limit at its edge, and empty where a value is wanted.
        const auto with = [](const QByteArray& package, const QByteArray& version, const QByteArray& server) {
            return "{\"make\":\"BMW\",\"package\":\"" + package + "\",\"version\":\"" + version + "\",\"server\":\""
                + server + "\"}";
        };
        QTest::newRow("version of 32") << with("P", QByteArray(32, '~'), "") << true;
        QTest::newRow("version of 33") << with("P", QByteArray(33, 'v'), "") << false;
        QTest::newRow("version empty") << with("P", "", "") << false;
        QTest::newRow("version with a control") << with("P", "V1\t", "") << false;
        QTest::newRow("package of 64") << with(QByteArray(64, 'p'), "V1", "") << true;
        QTest::newRow("package of 65") << with(QByteArray(65, 'p'), "V1", "") << false;
        QTest::newRow("package empty") << with("", "V1", "") << false;
        QTest::newRow("server of 64") << with("P", "V1", QByteArray(60, 's') + ".exe") << true;
        QTest::newRow("server of 65") << with("P", "V1", QByteArray(61, 's') + ".exe") << false;
        QTest::newRow("duplicate member")
            << QByteArray(R"({"make":"BMW","package":"P","version":"V1","make":"VW"})") << false;
        const auto ofSize = [](int bytes) { // 66 bytes besides the member x's text
            return manifest("BMW").replace("}", ",\"x\":\"" + QByteArray(bytes - 66, 'x') + "\"}");
        };
        QTest::newRow("64 KiB less the line end") << ofSize(65535) << true;
        QTest::newRow("64 KiB") << ofSize(65536) << false;
    }
    void manifestRefusesWhatItCannotTrust()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        driverpkg::Manifest m;
        std::string why;
        QVERIFY2(driverpkg::parseManifest(text.toStdString(), m, &why) == valid, why.c_str());
    }

    // First probe in table order wins, each probe also in the 32-bit view;
    // JLR's value name starts with two line feeds.
    void oemProbesFollowTheirOrder()
    {
        QCOMPARE(QString::fromStdString(driverpkg::detectOemMake()), QString());
        QVERIFY(Registry::writeString(
            RegistryHive::LocalMachine, "SOFTWARE\\Ford Motor Company\\IDS", "VerInfo", "1", RegistryView::Force64));
        QCOMPARE(QString::fromStdString(driverpkg::detectOemMake()), QStringLiteral("Ford"));
        QVERIFY(Registry::writeString(
            RegistryHive::LocalMachine, "SOFTWARE\\BMWGroup\\ISPI\\ISTA", "DataVersion", "4.3", RegistryView::Force32));
        QCOMPARE(QString::fromStdString(driverpkg::detectOemMake()), QStringLiteral("BMW"));

        QVERIFY(Registry::writeString(RegistryHive::LocalMachine, "SOFTWARE\\JLR\\IDS", "DataPath", "x"));
        QVERIFY(!driverpkg::oemSoftwareInstalled("JLR"));
        QVERIFY(Registry::writeString(RegistryHive::LocalMachine, "SOFTWARE\\JLR\\IDS", "\n\nDataPath", "x"));
        QVERIFY(driverpkg::oemSoftwareInstalled("JLR"));
        QVERIFY(!driverpkg::oemSoftwareInstalled("Mazda"));
        QVERIFY(!driverpkg::makeHasOemProbe("J2534"));
        for (const char* key : {"SOFTWARE\\Ford Motor Company\\IDS", "SOFTWARE\\BMWGroup\\ISPI\\ISTA", "SOFTWARE\\JLR"})
            for (RegistryView view : {RegistryView::Force64, RegistryView::Force32})
                Registry::deleteKey(RegistryHive::LocalMachine, key, view);
    }

    void vciSwitchNeedsTheMakesSoftware()
    {
        writeManifest(manifest("BMW"));
        Call c = vciSwitch("SetModeHalvern");
        QVERIFY(!c.result);
        QCOMPARE(c.message, QStringLiteral("The BMW diagnostic software is not installed."));
        QCOMPARE(mode(), QStringLiteral("original"));

        QVERIFY(Registry::writeString(RegistryHive::LocalMachine, "SOFTWARE\\BMW\\ISPI\\TRIC\\ISTALauncher",
            "BMW.TricTools.IstaLauncher.InstallationStatus", "Installed", RegistryView::Force32));
        c = vciSwitch("SetModeHalvern");
        QVERIFY2(c.result, qPrintable(c.message));
        QCOMPARE(c.message, QString());
        QCOMPARE(mode(), QStringLiteral("BMW"));
        QVERIFY(vciSwitch("SetModeOriginal").result);
        QCOMPARE(mode(), QStringLiteral("original"));

        // The pass-thru package's make has no software to probe for.
        writeManifest(manifest("J2534"));
        QVERIFY(vciSwitch("SetModeHalvern").result);
        QCOMPARE(mode(), QStringLiteral("J2534"));
    }

    // Enabling needs the adapter and a sound package; going back to the
    // adapter's own mode fails only when the adapter answers and refuses.
    void vciSwitchWithoutAnAdapterOrPackage()
    {
        writeManifest(manifest("NISSAN"));
        fillBlock(m_status, QByteArray());
        Call c = vciSwitch("SetModeHalvern");
        QVERIFY(!c.result);
        QCOMPARE(c.message, QStringLiteral("No adapter is connected."));
        QVERIFY(vciSwitch("SetModeOriginal").result);

        fillBlock(m_status, statusText("M5EA0001XJ7B0001", 12340, 1, "USB", kAdapterIp));
        QCOMPARE(m_emu.command(QStringLiteral("unplug 1")), QStringLiteral("OK"));
        QVERIFY(!vciSwitch("SetModeHalvern").result);
        QVERIFY(vciSwitch("SetModeOriginal").result);
        QCOMPARE(m_emu.command(QStringLiteral("plug 1")), QStringLiteral("OK"));

        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 on")), QStringLiteral("OK"));
        QVERIFY(!vciSwitch("SetModeOriginal").result);
        QCOMPARE(mode(), QStringLiteral("J2534"));
        QCOMPARE(m_emu.command(QStringLiteral("bootloader 1 off")), QStringLiteral("OK"));

        writeManifest("{\"make\":\"NISSAN\"");
        c = vciSwitch("SetModeHalvern");
        QVERIFY(!c.result);
        QVERIFY2(c.message.startsWith(QStringLiteral("The driver package is damaged")), qPrintable(c.message));
        QCOMPARE(mode(), QStringLiteral("J2534"));
    }

    void vciServerStartsAndStopsTheServer()
    {
        // A name of this test's own, so no other run's server is touched.
        const QByteArray name = "BwDiag" + QByteArray::number(QCoreApplication::applicationPid());
        QVERIFY(QFile::copy(testBinary("oem-diag-server"), m_package.filePath(QString::fromLatin1(name))));
        writeManifest(manifest("BENZ", name + ".exe"));
        const QString library = m_package.filePath(QStringLiteral("vciServer.so"));
        auto count = [&] {
            int n = 0;
            for (const platform::ProcessEntry& p : platform::listProcesses())
                n += p.name == name.toStdString();
            return n;
        };
        QVERIFY(callExport(library, "start", false).result);
        QTRY_COMPARE_WITH_TIMEOUT(count(), 1, 5000);
        QVERIFY(callExport(library, "start", false).result); // running already: not a second one
        QTest::qWait(200);
        QCOMPARE(count(), 1);
        QVERIFY(callExport(library, "Stop", false).result);
        QCOMPARE(count(), 0); // Stop waits for it to go
    }
};

QTEST_GUILESS_MAIN(TestDriverPackage)
#include "tst_packages_driver_package.moc"
