#include "update/UpdateController.h"

#include "update/Drive.h"
#include "update/GUI_Upgrade.h"
#include "update/ProgramVersion.h"
#include "update/ReleaseInstaller.h"
#include "update/UpdateLog.h"
#include "update/UpdatePage.h"

#include "device/AppShared.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

UpdateController::UpdateController()
{
    qRegisterMetaType<AppVersionInfo>("AppVersionInfo");
}

UpdateController::~UpdateController()
{
    stop();
}

void UpdateController::attach(SubsystemHost& host)
{
    m_host = &host;
    const QString version = QString::fromLatin1(update::programVersion());

    // Started by the upgrader: say that this version came up. Otherwise undo
    // an update whose upgrader was killed and start again from the old files.
    if (!ReleaseInstaller::confirmStart(version)
        && ReleaseInstaller::recoverInterrupted(QCoreApplication::applicationDirPath())) {
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(100); });
    }

    QWidget* frame = host.frame();
    m_drive = new Drive(frame);
    m_tip = frame->findChild<QLabel*>(QStringLiteral("lbl_upgradeTip"));

    host.buildOnFirstShow(Pages::DetectionUpdate, [this](QWidget* pageHost) { createPage(pageHost); });

    connect(this, &UpdateController::checkFinished, this, &UpdateController::applyCheck, Qt::QueuedConnection);
    // The settings page's "New" tag and the navigation bar's mark follow the style signal.
    connect(this, &UpdateController::SignalUpdateStyle, this, [this](bool current) {
        m_newer = !current;
        if (m_tip)
            m_tip->setVisible(m_newer);
        emit AppShared::instance()->signal(NewerVersionExists, QVariant(m_newer));
    });
    connect(AppShared::instance(), &AppShared::signal, this, [this](SharedSignal code, const QVariant&) {
        if (code == RunVersionCheck)
            checkAndShow();
    });

    m_delay = new QTimer(this);
    m_delay->setSingleShot(true);
    m_delay->setInterval(kCheckDelayMs);
    connect(m_delay, &QTimer::timeout, this, &UpdateController::startCheck);
    m_delay->start();
    // Every language application (the translator changes) checks again, after the same pause.
    frame->installEventFilter(this);
}

bool UpdateController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::LanguageChange && m_host && watched == m_host->frame() && m_delay)
        m_delay->start();
    return QObject::eventFilter(watched, event);
}

void UpdateController::stop()
{
    m_workers.stopAndJoin();
}

// Built the first time the page is shown: it starts with the last check's result.
void UpdateController::createPage(QWidget* pageHost)
{
    m_page = new UpdatePage(QString::fromLatin1(update::programVersion()), pageHost);
    auto* layout = new QVBoxLayout(pageHost);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_page);
    connect(m_page->updateButton(), &QPushButton::clicked, this, &UpdateController::ClickButton_Software_Update);
    if (m_checked)
        m_page->showResult(m_info, m_newer);
}

UpdatePage* UpdateController::page() const
{
    if (m_host && !m_page)
        m_host->ensurePage(Pages::DetectionUpdate);
    return m_page;
}

QPushButton* UpdateController::updateButton() const
{
    return page() ? m_page->updateButton() : nullptr;
}

void UpdateController::checkAndShow()
{
    if (page() && !m_upgrading)
        m_page->showChecking();
    startCheck();
    if (m_host)
        m_host->showPage(Pages::DetectionUpdate);
}

void UpdateController::startCheck()
{
    if (!m_drive || m_workers.stopping())
        return;
    Drive* drive = m_drive;
    m_workers.start("version-check", [this, drive] { emit checkFinished(drive->latestAppVersion()); });
}

void UpdateController::applyCheck(const AppVersionInfo& info)
{
    m_info = info;
    m_checked = true;
    const QString program = QString::fromLatin1(update::programVersion());
    const bool newer = !info.isEmpty() && update::serverIsNewer(program, info.versionNo);
    qCInfo(lcUpdate) << "version check: program" << program << "server"
                     << (info.isEmpty() ? QStringLiteral("none") : info.versionNo) << (newer ? "(newer)" : "");
    if (m_page && !m_upgrading)
        m_page->showResult(info, newer);
    if (!info.isEmpty()) {
        emit SignalUpdateDescription(true);
        emit SignalUpdateStyle(!newer);
    } else {
        emit SignalUpdateStyle(true);
        emit SignalUpdateDescription(false);
    }
}

void UpdateController::ClickButton_Software_Update()
{
    if (!m_page || m_info.url.isEmpty())
        return;
    m_upgrading = true;
    QPushButton* button = m_page->updateButton();
    button->setEnabled(false);
    button->setStyleSheet(UpdatePage::busyStyle());
    if (!m_upgrade) {
        SubsystemHost* host = m_host;
        m_upgrade = new GUI_Upgrade(host->frame(), [host](const QString& text, int ms) { host->toast(text, ms); });
        connect(m_upgrade, &GUI_Upgrade::sig_updateFailed, this, [this] {
            m_upgrading = false;
            if (m_page)
                m_page->setButtonAvailable(true);
        });
        connect(m_upgrade, &GUI_Upgrade::sig_handedOver, this, [this] {
            emit handedOver();
            // The upgrader waits for this process to end before it replaces the files.
            QCoreApplication::exit(0);
        });
    }
    m_upgrade->slot_update(m_info.url);
}
