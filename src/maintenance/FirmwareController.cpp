#include "maintenance/FirmwareController.h"

#include "kit/InternetCheck.h"
#include "kit/PlacePage.h"

#include "maintenance/FirmwarePage.h"
#include "maintenance/FirmwareServerHooks.h"
#include "maintenance/MaintenanceLog.h"

#include "device/VciStatusRecord.h"

#include <HttpsServer.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

FirmwareController::FirmwareController(HttpsServer& server, QObject* parent)
    : QObject(parent)
    , m_server(&server)
{
    m_hooks = firmwareServerHooks(server);
    completeHooks();
}

FirmwareController::FirmwareController(FirmwareUpdate::Hooks hooks, QObject* parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
{
    completeHooks();
}

FirmwareController::~FirmwareController()
{
    stop();
}

void FirmwareController::completeHooks()
{
    if (!m_hooks.readStatus)
        m_hooks.readStatus = [](VciStatusRecord& r) { return recentVciStatus(r); };
    if (!m_hooks.sleep)
        m_hooks.sleep = [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); };
    if (!m_hooks.runProgram) {
        // The upgrader runs as a child of the worker; the window closing
        // (the group stopping) or the limit ends it.
        m_hooks.runProgram = [this](const std::string& program, const std::vector<std::string>& args,
                                 std::chrono::milliseconds limit) {
            QStringList list;
            for (const std::string& a : args)
                list << QString::fromStdString(a);
            const QString name = QFileInfo(QString::fromStdString(program)).fileName();
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedChannels);
            process.start(QString::fromStdString(program), list);
            if (!process.waitForStarted(5000)) {
                qCWarning(lcMaintenance) << "firmware:" << name << "did not start:" << process.errorString();
                return -1;
            }
            for (auto waited = std::chrono::milliseconds(0); waited < limit; waited += std::chrono::milliseconds(200)) {
                if (process.waitForFinished(200)) {
                    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
                    qCInfo(lcMaintenance) << "firmware:" << name << "ended with exit code" << code;
                    return code;
                }
                if (m_workers.stopping())
                    break;
            }
            process.kill();
            process.waitForFinished(3000);
            qCWarning(lcMaintenance) << "firmware:" << name << "stopped before it ended";
            return -1;
        };
    }
    // The window's own internet check (the system's answer, then a name and an echo).
    if (!m_hooks.internetOk)
        m_hooks.internetOk = [] { return internetReachable(); };
    m_hooks.report = [this](const SignalsUpgradeInfo_struct& info) { emit SignalsUpgradeInfo(info); };
    m_tempDir = QDir::tempPath();
    m_programDir = QCoreApplication::applicationDirPath();
    m_update = std::make_unique<FirmwareUpdate>(m_hooks, m_tempDir.toStdString(), m_programDir.toStdString());
    qRegisterMetaType<SignalsUpgradeInfo_struct>("SignalsUpgradeInfo_struct");
}

void FirmwareController::setFolders(const QString& tempDir, const QString& programDir)
{
    m_tempDir = tempDir;
    m_programDir = programDir;
    m_update = std::make_unique<FirmwareUpdate>(m_hooks, m_tempDir.toStdString(), m_programDir.toStdString());
}

void FirmwareController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(kFirmwarePageIndex, [this](QWidget* pageHost) { createPage(pageHost); });
    // Reports come from the worker; Qt delivers them on the GUI thread.
    connect(this, &FirmwareController::SignalsUpgradeInfo, this, &FirmwareController::SlotsUpgradeInfo,
        Qt::QueuedConnection);
    connect(
        this, &FirmwareController::versionsQueried, this, &FirmwareController::onVersionsQueried, Qt::QueuedConnection);
    connect(this, &FirmwareController::SignalsTMsg, host.frame(),
        [&host](const QString& text, int ms) { host.toast(text, ms); });
}

void FirmwareController::createPage(QWidget* host)
{
    if (m_page)
        return;
    m_page = placePage<FirmwarePage>(host);
    connect(m_page->updateAllButton(), &QPushButton::clicked, this, &FirmwareController::ClickButton_upAll);
    connect(m_page->backButton(), &QPushButton::clicked, this, [this] {
        if (m_host && !m_running)
            m_host->showPage(Pages::Device);
    });
}

FirmwarePage* FirmwareController::page()
{
    if (!m_page && m_host)
        m_host->ensurePage(kFirmwarePageIndex);
    return m_page;
}

void FirmwareController::stop()
{
    m_workers.stopAndJoin();
}

void FirmwareController::Firmware_Init()
{
    if (!m_host)
        return;
    m_host->showPage(kFirmwarePageIndex);
    if (m_running.exchange(true))
        return; // a query or an update is running
    FirmwarePage* p = page();
    p->hideProgress();
    p->showQuerying();
    p->setButtonsEnabled(false);
    p->backButton()->setEnabled(true);
    // The query asks the server three times: never on the GUI thread.
    m_workers.start("firmware-query", [this] {
        VciStatusRecord record{};
        m_hooks.readStatus(record);
        m_update->queryVersions(record, m_hooks.internetOk());
        m_vciIP = record.vciIP;
        m_serial = record.SN;
        m_running = false;
        emit versionsQueried();
    });
}

void FirmwareController::onVersionsQueried()
{
    if (m_page)
        m_page->showVersions(*m_update);
}

void FirmwareController::ClickButton_upAll()
{
    if (m_running.exchange(true))
        return;
    VciStatusRecord record{};
    m_hooks.readStatus(record);
    const std::string firmware(record.FirmwareVersion);
    const bool bootMode = firmware.find("boot") != std::string::npos || std::string(record.SN) == "0000000000000000";
    if (!m_update->image(firmware::Image::System).done && record.vbatt < 11000 && !bootMode)
        emit SignalsTMsg(tr("Please connect OBD power"), 1200); // the update still starts
    if (record.vciIP[0] != '\0')
        m_vciIP = record.vciIP;
    m_serial = record.SN;
    page()->startRun(*m_update);
    emit sig_enableOrDisableDrivers(false);
    const std::string vciIP = m_vciIP;
    const std::string serial = m_serial;
    m_workers.start("firmware-update", [this, vciIP, serial] {
        const bool ok = m_update->updateAll(vciIP);
        if (ok && m_server)
            m_server->SetVCIStatus_SN(serial, 1);
        m_running = false;
        emit SignalsUpgradeInfo(SignalsUpgradeInfo_struct{ok ? upgrade_state::kRunEnded : 0, 0, QString()});
        emit sig_enableOrDisableDrivers(true);
    });
}

void FirmwareController::SlotsUpgradeInfo(SignalsUpgradeInfo_struct info)
{
    if (!m_page)
        return;
    if (info.state == upgrade_state::kRunEnded) {
        m_page->hideProgress();
        m_page->backButton()->setEnabled(true);
        m_page->updateAllButton()->setEnabled(false);
        return;
    }
    if (info.state == upgrade_state::kRunStarted) {
        m_page->hideProgress();
        m_page->setButtonsEnabled(false);
        return;
    }
    m_page->showReport(info);
    // A failure ends the run; a done image ends it when it was the last one.
    const bool failed = info.state >= 1 && info.state <= 9 && info.state % 3 == 2;
    const bool done = info.state >= 1 && info.state <= 9 && info.state % 3 == 0;
    if (failed || done) {
        static const char* const kImages[] = {"system", "application", "CAN"};
        qCInfo(lcMaintenance, "firmware: %s image %s", kImages[(info.state - 1) / 3], done ? "done" : "failed");
    }
    if (failed || (done && !m_running))
        m_page->setButtonsEnabled(true);
}
