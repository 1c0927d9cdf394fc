// The firmware update end to end, without the window: the account service
// (cloud emulator) through HttpsServer, the real upgraders writing to the
// adapter emulator, and the adapter's return seen in the status block of the
// real background service. Only the clock runs fast.
#include "CloudEmulator.h"
#include "support/AdapterProcesses.h"
#include "support/TestEnvironment.h"

#include "maintenance/FirmwareServerHooks.h"

#include <HttpsServer.h>

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using firmware::Image;

namespace {

int runUpgrader(const std::string& program, const std::vector<std::string>& args, std::chrono::milliseconds limit)
{
    QStringList list;
    for (const std::string& a : args)
        list << QString::fromStdString(a);
    QProcess process;
    process.start(QString::fromStdString(program), list);
    if (!process.waitForFinished(static_cast<int>(limit.count()))) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

} // namespace

class TestFirmwareEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        useUniqueShmPrefix("fw-e2e");
        QVERIFY2(m_cloud.start(), qPrintable(m_cloud.lastError()));
        qputenv("BRINDLEWICK_MAIN_API_BASE", m_cloud.httpBase().toUtf8());
        const QString address = QStringLiteral("127.0.%1.1").arg(50 + QCoreApplication::applicationPid() % 100);
        QVERIFY2(m_emulator.start({"--base-address", address, "--flash-ms", "300", "--reboot-ms", "500"}),
            qPrintable(m_emulator.errorText()));
        qputenv("BRINDLEWICK_MT7628_PORT", QByteArray::number(m_emulator.port()));
        QVERIFY(m_service.start(ServiceProcess::arguments(address, m_emulator.port(), m_dir.filePath("service.lock"))));
        QTRY_VERIFY_WITH_TIMEOUT(readVciStatus(m_record) && m_record.SN[0] != '\0', 15000);
    }

    // Every image goes from the adapter's version to the latest; the adapter
    // then reports the latest everywhere and nothing is left to update.
    void updatesAllThreeImages()
    {
        HttpsServer server;
        FirmwareUpdate update(hooks(server), m_dir.path().toStdString(), programDir());
        update.queryVersions(m_record, true);
        for (Image which : {Image::System, Image::Application, Image::Can})
            QCOMPARE(int(update.image(which).query), int(FirmwareUpdate::Query::UpdateAvailable));

        QVERIFY(update.updateAll(m_record.vciIP));
        QCOMPARE(m_lastReport.progress, 100);

        FirmwareUpdate after(hooks(server), m_dir.path().toStdString(), std::string());
        QTRY_VERIFY_WITH_TIMEOUT(readVciStatus(m_record)
                && (after.queryVersions(m_record, true),
                    after.image(Image::System).query == FirmwareUpdate::Query::Latest
                        && after.image(Image::Application).query == FirmwareUpdate::Query::Latest
                        && after.image(Image::Can).query == FirmwareUpdate::Query::Latest),
            20000);
    }

    // A damaged download never reaches the adapter: the application keeps its version.
    void damagedImageIsRefusedBeforeTheAdapter()
    {
        QVERIFY2(m_cloud.controlAt("firmware",
                     {{"typeName", "KestrixMT7628_NEWApp"}, {"versionNo", "V9.0.0"}, {"serve", "corrupted"}}),
            qPrintable(m_cloud.lastError()));
        HttpsServer server;
        FirmwareUpdate update(hooks(server), m_dir.path().toStdString(), programDir());
        QVERIFY(readVciStatus(m_record));
        const std::string before = m_record.softVer;
        update.queryVersions(m_record, true);
        QCOMPARE(int(update.image(Image::Application).query), int(FirmwareUpdate::Query::UpdateAvailable));
        QVERIFY(!update.updateAll(m_record.vciIP));
        QCOMPARE(m_lastReport.text, QStringLiteral("Check failed.Please attempt the upgrade process again."));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        QVERIFY(readVciStatus(m_record));
        QCOMPARE(std::string(m_record.softVer), before);
    }

private:
    static std::string programDir() { return QFileInfo(testBinary("can_upgrade")).path().toStdString(); }
    FirmwareUpdate::Hooks hooks(HttpsServer& server)
    {
        FirmwareUpdate::Hooks h = firmwareServerHooks(server);
        h.runProgram = runUpgrader;
        h.readStatus = [](VciStatusRecord& r) { return readVciStatus(r); };
        // A second of the update's clock passes in 20 ms.
        h.sleep = [](std::chrono::milliseconds ms) {
            std::this_thread::sleep_for(std::max(ms / 50, std::chrono::milliseconds(1)));
            return true;
        };
        h.report = [this](const SignalsUpgradeInfo_struct& info) { m_lastReport = info; };
        return h;
    }

    QTemporaryDir m_dir;
    CloudEmulator m_cloud;
    EmulatorProcess m_emulator;
    ServiceProcess m_service;
    VciStatusRecord m_record{};
    SignalsUpgradeInfo_struct m_lastReport;
};

QTEST_GUILESS_MAIN(TestFirmwareEndToEnd)
#include "tst_maintenance_firmware_e2e.moc"
