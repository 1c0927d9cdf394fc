#include "settings/SettingsController.h"

#include "settings/EnetControl.h"
#include "settings/SettingsLog.h"
#include "settings/SettingsView.h"

#include "device/AppShared.h"
#include "kit/PlacePage.h"

#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QStandardPaths>

#include <system_error>

namespace {
const char* const kAdoptedProperty = "bwBackToSettings";
} // namespace

SettingsController::SettingsController(MT7628Config& config, QObject* parent)
    : QObject(parent)
    , m_config(config)
    , m_enet(new EnetControl(config, this))
    , m_sources(SupportSources::system())
{
    m_chooseTarget = [this] { return chooseTarget(); };
}

SettingsController::~SettingsController()
{
    stop();
}

QStringList SettingsController::backButtonNames()
{
    return {QStringLiteral("Btn_Return_2"), QStringLiteral("Btn_Return_8"), QStringLiteral("Btn_Return_9"),
        QStringLiteral("Btn_Return_11"), QStringLiteral("Btn_Return_12")};
}

void SettingsController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(kSettingsPageIndex, [this](QWidget* pageHost) { createPage(pageHost); });
    connect(
        this, &SettingsController::supportProgress, this,
        [this](int percent, const QString& step) {
            if (m_page)
                m_page->setSupportProgress(percent, step);
        },
        Qt::QueuedConnection);
    connect(this, &SettingsController::supportDone, this, &SettingsController::onSupportDone, Qt::QueuedConnection);
    // Codes 1, 5 and 6 are the page's; they are kept until the page exists.
    connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant& value) {
        switch (code) {
        case SerialChanged:
            m_device = value.value<DeviceInfo>();
            m_deviceKnown = true;
            if (m_page)
                m_page->onDeviceInfo(m_device);
            break;
        case SignedInName:
            m_userName = value.toString();
            if (m_page)
                m_page->setUserName(m_userName);
            break;
        case NewerVersionExists:
            m_newVersion = value.toBool();
            if (m_page)
                m_page->setNewVersion(m_newVersion);
            break;
        default:
            break;
        }
    });
}

void SettingsController::stop()
{
    m_cancelSupport = true;
    m_workers.stopAndJoin();
    if (m_enet)
        m_enet->stop();
}

SettingsView* SettingsController::page()
{
    if (!m_page && m_host)
        m_host->ensurePage(kSettingsPageIndex);
    return m_page;
}

void SettingsController::createPage(QWidget* host)
{
    if (m_page)
        return;
    m_page = placePage<SettingsView>(host);
    m_page->mt7628Config = &m_config;
    m_page->setEnetControl(m_enet);
    m_page->setUserName(m_userName);
    m_page->setNewVersion(m_newVersion);
    if (m_deviceKnown)
        m_page->onDeviceInfo(m_device);
    connect(m_page, &SettingsView::supportFileRequested, this, &SettingsController::saveSupportFile);
}

void SettingsController::showSettings()
{
    if (!m_host)
        return;
    if (SettingsView* view = page())
        view->refresh();
    m_host->showPage(kSettingsPageIndex);
}

void SettingsController::adoptBackButtons(QWidget* root)
{
    if (!root)
        return;
    for (const QString& name : backButtonNames()) {
        for (QPushButton* button : root->findChildren<QPushButton*>(name)) {
            if (button->property(kAdoptedProperty).toBool())
                continue;
            button->setProperty(kAdoptedProperty, true);
            connect(button, &QPushButton::clicked, this, &SettingsController::showSettings);
        }
    }
}

QString SettingsController::chooseTarget()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    return QFileDialog::getSaveFileName(m_host ? m_host->frame() : nullptr, tr("Save support file"),
        folder + QLatin1Char('/') + SupportBundle::suggestedFileName(), tr("Zip archive (*.zip)"));
}

void SettingsController::saveSupportFile()
{
    if (m_supportRunning)
        return;
    QString target = m_chooseTarget ? m_chooseTarget() : QString();
    if (target.isEmpty())
        return; // the user cancelled
    if (!target.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive))
        target += QStringLiteral(".zip");

    m_supportRunning = true;
    m_cancelSupport = false;
    if (m_page)
        m_page->setSupportProgress(0, tr("Starting"));
    const SupportBundle bundle(m_sources);
    try {
        m_workers.start("support-file", [this, bundle, target] {
            const SupportBundle::Result result = bundle.write(
                target, [this](int percent, const QString& step) { emit supportProgress(percent, step); },
                &m_cancelSupport);
            emit supportDone(result.ok,
                result.ok ? tr("The support file was saved as %1.").arg(QDir::toNativeSeparators(target))
                          : result.message);
        });
    } catch (const std::system_error& e) {
        qCWarning(lcSettings) << "cannot start the support file worker:" << e.what();
        onSupportDone(false, tr("The support file could not be started."));
    }
}

void SettingsController::onSupportDone(bool ok, const QString& message)
{
    m_supportRunning = false;
    if (m_page)
        m_page->setSupportProgress(-1, QString());
    if (m_host)
        m_host->toast(message, ok ? 3000 : 4000);
    emit supportFileFinished(ok, message);
}
