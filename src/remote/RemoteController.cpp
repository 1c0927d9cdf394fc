#include "remote/RemoteController.h"

#include "remote/RemoteCode.h"
#include "remote/RemoteLog.h"
#include "remote/RemotePages.h"
#include "remote/RemoteProConfig.h"
#include "remote/SessionFormat.h"

#include "device/DeviceController.h"
#include "kit/Instance.h"
#include "kit/PlacePage.h"

#include <MT7628Config.h>
#include <platform/NetAdapters.h>
#include <platform/OsConventions.h>
#include <platform/Process.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <system_error>

namespace {

QString translated(const QString& source)
{
    return QCoreApplication::translate("Remote", source.toUtf8().constData());
}

const char* const kRemoteOff = QT_TRANSLATE_NOOP("Remote", "Remote Off");
const char* const kRemoteOn = QT_TRANSLATE_NOOP("Remote", "Remote On");
const char* const kPersistent = QT_TRANSLATE_NOOP("Remote", "Persistent verification code");
const char* const kTemporary = QT_TRANSLATE_NOOP("Remote", "Temporary verification code");
const char* const kNotSupportedText = QT_TRANSLATE_NOOP("Remote", "Remote is not supported");

remote::DeviceView viewOf(const DeviceStatusSnapshot& snapshot)
{
    const VciStatusRecord& r = snapshot.record;
    remote::DeviceView v;
    v.internetOk = snapshot.internetOk;
    v.sn = QString::fromLatin1(r.SN, static_cast<int>(qstrnlen(r.SN, sizeof r.SN)));
    v.vciIP.assign(r.vciIP, qstrnlen(r.vciIP, sizeof r.vciIP));
    v.key.assign(r.key, qstrnlen(r.key, sizeof r.key));
    v.portNumber = QString::fromLatin1(r.portNumber, static_cast<int>(qstrnlen(r.portNumber, sizeof r.portNumber)));
    v.testIP = QString::fromLatin1(r.testIP, static_cast<int>(qstrnlen(r.testIP, sizeof r.testIP)));
    v.connType = r.connType;
    return v;
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace

RemoteController::Environment RemoteController::systemEnvironment(DeviceController& device, MT7628Config& config)
{
    Environment env;
    env.library = loadRemoteLibraries(programFolder().toStdString());
    if (!env.library->available())
        qCWarning(lcRemote) << "remote-session libraries incomplete:" << QString::fromStdString(env.library->problem());
    env.device = [&device] { return viewOf(device.snapshot()); };
    env.postMode = [&device](std::uint8_t mode) { device.commandBlock().postMode(mode); };
    env.getRemoteKey = [&config](const remote::DeviceView& d, std::string& key) {
        return config.GetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    env.setRemoteKey = [&config](const remote::DeviceView& d, const std::string& key) {
        return config.SetRemoteKey(d.sn.toLatin1().constData(), d.vciIP, key);
    };
    env.adapterTool = [](bool enable) {
        const QString tool
            = programFolder() + QStringLiteral("/VirtualNetLoopback") + QLatin1String(platform::programSuffix());
        if (!QFileInfo(tool).isExecutable()) {
            qCWarning(lcRemote) << "adapter tool missing:" << tool;
            return;
        }
        if (platform::startDetached(tool.toStdString(), {enable ? "-e" : "-d"}) == 0)
            qCWarning(lcRemote) << "adapter tool did not start:" << tool;
    };
    env.remoteAdapterPresent = [] {
        for (const platform::NetAdapter& adapter : platform::listAdapters()) {
            if (adapter.description == "Brindlewick remoteDiag")
                return true;
        }
        return false;
    };
    env.postRecord = [](remote::RecordEvent event, const QString& sn) {
        return remote::SessionRecordClient(remote::mappingServiceBase()).post(sn, event);
    };
    env.codeFilePath = instance::programFile(QStringLiteral("longTimeCode.ini"));
    env.remotePro = [] { return remote::processRemotePro(programFolder().toStdString()); };
    return env;
}

RemoteController::RemoteController(Environment environment, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment))
{
    remote::RemoteEngine::Hooks h;
    // Worker threads reach the GUI thread only through these queued signals.
    h.toast = [this](const QString& text, int ms) { emit SignalsTMsg(text, ms); };
    h.adapterTool = m_env.adapterTool;
    h.postMode = m_env.postMode;
    h.remoteAdapterPresent = m_env.remoteAdapterPresent;
    h.sleep = [this](std::chrono::milliseconds ms) { return m_workers.sleepFor(ms); };
    h.sendRecord = [this](remote::RecordEvent event, const QString& sn) {
        auto post = m_env.postRecord;
        runJob("remote-record", [post, event, sn] { post(event, sn); });
    };
    h.showPage = [this](int page) {
        m_currentPage = page;
        emit pageRequested(page);
    };
    h.currentPage = [this] { return m_currentPage.load(); };
    h.device = m_env.device;
    h.getRemoteKey = m_env.getRemoteKey;
    h.setRemoteKey = m_env.setRemoteKey;
    h.listenEnded = [this] { emit listenEnded(); };
    h.immobile = [this](bool on) { emit SignalImmobileInterface(on); };
    h.codeFilePath = m_env.codeFilePath;
    h.remotePro = m_env.remotePro;
    m_engine = std::make_unique<remote::RemoteEngine>(*m_env.library, std::move(h), m_env.timing);
}

RemoteController::~RemoteController()
{
    stop();
}

void RemoteController::runJob(const char* name, std::function<void()> job)
{
    try {
        m_workers.start(name, std::move(job));
    } catch (const std::system_error& error) {
        qCWarning(lcRemote) << name << "not started:" << error.what();
    }
}

void RemoteController::attach(SubsystemHost& host)
{
    m_host = &host;
    host.buildOnFirstShow(kRemotePageIndex, [this](QWidget* h) { createRemotePage(h); });
    host.buildOnFirstShow(kSessionPageIndex, [this](QWidget* h) { createSessionPage(h); });
    host.buildOnFirstShow(kP2PPageIndex, [this](QWidget* h) { createP2PPage(h); });

    connect(this, &RemoteController::SignalsTMsg, host.frame(),
        [&host](const QString& text, int ms) { host.toast(translated(text), ms); });
    connect(this, &RemoteController::pageRequested, host.frame(), [&host](int page) { host.showPage(page); });
    connect(this, &RemoteController::Sign_EstabConn, this, &RemoteController::Solt_EstabConnRes);
    connect(this, &RemoteController::stateChanged, this, &RemoteController::refreshPages);
    connect(this, &RemoteController::SignalP2pConnRes, this, &RemoteController::Slots_P2pBReset);
    connect(this, &RemoteController::codeApplied, this, [this] {
        if (m_remote)
            m_remote->codeMode->setEnabled(true);
        refreshPages();
    });
    connect(this, &RemoteController::listenEnded, this, [this] {
        if (m_p2p)
            m_p2p->listening->hide();
    });
    connect(this, &RemoteController::listenFinished, this, [this](bool listening, int port) {
        if (!m_p2p)
            return;
        m_p2p->listen->setEnabled(true);
        if (listening) {
            m_p2p->setListeningPort(port);
            m_p2p->listening->show();
        }
    });

    // The refresh: code upkeep, session and P2P watches; the pages follow.
    runJob("remote-refresh", [this] {
        while (m_workers.sleepFor(std::chrono::milliseconds(m_env.refreshPeriodMs))) {
            const bool changed = m_engine->refresh();
            if (changed || m_engine->state().remoteActive()) {
                m_dirty = true;
                emit stateChanged();
            }
        }
    });
    // The registration of the local adapter at the relay.
    runJob("remote-registration", [this] {
        while (m_workers.sleepFor(std::chrono::milliseconds(m_env.registrationPeriodMs)))
            m_engine->registrationRound();
    });
}

void RemoteController::stop()
{
    m_workers.stopAndJoin();
}

RemotePage* RemoteController::remotePage()
{
    if (!m_remote && m_host)
        m_host->ensurePage(kRemotePageIndex);
    return m_remote;
}

SessionPage* RemoteController::sessionPage()
{
    if (!m_session && m_host)
        m_host->ensurePage(kSessionPageIndex);
    return m_session;
}

P2PPage* RemoteController::p2pPage()
{
    if (!m_p2p && m_host)
        m_host->ensurePage(kP2PPageIndex);
    return m_p2p;
}

int RemoteController::navigationPage() const
{
    if (m_engine->state().remoteActive())
        return kSessionPageIndex;
    return m_returnToP2P ? kP2PPageIndex : kRemotePageIndex;
}

void RemoteController::createRemotePage(QWidget* host)
{
    if (m_remote)
        return;
    m_remote = placePage<RemotePage>(host);
    auto* serialValidator
        = new QRegularExpressionValidator(QRegularExpression(QLatin1String(remote::kSerialPattern)), m_remote);
    m_remote->partnerSerial->setValidator(serialValidator);
    m_remote->partnerCode->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QLatin1String(remote::kCodePattern)), m_remote));
    m_remote->codeField->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QLatin1String(remote::kCodePattern)), m_remote));
    connect(m_remote->partnerSerial, &QLineEdit::textEdited, this, &RemoteController::SlotsComBoxUpper);
    connect(m_remote->connectButton, &QPushButton::clicked, this, &RemoteController::ClickButtonLogin);
    connect(m_remote->deviceControl, &QPushButton::clicked, this, &RemoteController::ClickButtonLogin);
    connect(m_remote->endControl, &QPushButton::clicked, this, [this] {
        m_remote->endControl->setEnabled(false);
        runJob("remote-end-control", [this] {
            m_engine->endDeviceControl();
            m_dirty = true;
            emit stateChanged();
        });
    });
    connect(m_remote->confirm, &QPushButton::clicked, this, &RemoteController::Solt_Confirm_connection);
    connect(m_remote->partnerCode, &QLineEdit::returnPressed, this, &RemoteController::Solt_Confirm_connection);
    connect(m_remote->cancel, &QPushButton::clicked, this, &RemoteController::Solt_Cancel_Connection);
    connect(m_remote->codeMode, &QPushButton::clicked, this, &RemoteController::Slot_verification_code);
    connect(m_remote->showCode, &QPushButton::clicked, this, &RemoteController::Slot_Password_displayOrhide);
    connect(m_remote->copySerial, &QPushButton::clicked, this, &RemoteController::ClickButton_CopySn);
    connect(m_remote->copyCode, &QPushButton::clicked, this, &RemoteController::ClickButton_CopyCode);
    connect(m_remote->remoteSwitch, &QPushButton::clicked, this, &RemoteController::ClickButton_DisableOrStartRemote);
    connect(m_remote->p2p, &QPushButton::clicked, this, &RemoteController::openP2PPage);
    connect(m_remote, &RemotePage::retranslated, this, &RemoteController::refreshPages);
    m_remote->codeMode->setText(translated(QLatin1String(m_nextPersistent ? kPersistent : kTemporary)));
    styleRemoteSwitch();
    refreshPages();
}

void RemoteController::createSessionPage(QWidget* host)
{
    if (m_session)
        return;
    m_session = placePage<SessionPage>(host);
    connect(m_session->end, &QPushButton::clicked, this, &RemoteController::ClickButton_exitRemote);
    connect(m_session->confirmYes, &QPushButton::clicked, this, &RemoteController::Solt_Confirm_RemoteExit);
    connect(m_session->confirmNo, &QPushButton::clicked, m_session->confirm, &QWidget::hide);
    connect(m_session, &SessionPage::retranslated, this, &RemoteController::refreshPages);
    refreshPages();
}

void RemoteController::createP2PPage(QWidget* host)
{
    if (m_p2p)
        return;
    m_p2p = placePage<P2PPage>(host);
    for (QLineEdit* port : {m_p2p->listenPort, m_p2p->connectPort})
        port->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QLatin1String(remote::kPortPattern)), m_p2p));
    connect(m_p2p->listen, &QPushButton::clicked, this, &RemoteController::Slots_P2pListen);
    connect(m_p2p->closeListen, &QPushButton::clicked, this, &RemoteController::Slots_P2pClsListen);
    connect(m_p2p->connectButton, &QPushButton::clicked, this, &RemoteController::Slots_P2pRmtConn);
    connect(m_p2p->listenPort, &QLineEdit::textChanged, this, &RemoteController::Slots_BtnRmtLstStyleChanged);
    connect(m_p2p->address, &QLineEdit::textChanged, this, &RemoteController::Slots_BtnRmtConnStyleChanged);
    connect(m_p2p->connectPort, &QLineEdit::textChanged, this, &RemoteController::Slots_BtnRmtConnStyleChanged);
    connect(m_p2p->back, &QPushButton::clicked, this, [this] {
        m_returnToP2P = false;
        if (m_host)
            m_host->showPage(kRemotePageIndex);
    });
}

void RemoteController::showToast(const char* text, int ms)
{
    if (m_host)
        m_host->toast(translated(QLatin1String(text)), ms);
}

void RemoteController::setPageButtonsEnabled(bool on)
{
    if (!m_remote)
        return;
    for (QPushButton* b : {m_remote->connectButton, m_remote->p2p, m_remote->confirm, m_remote->deviceControl})
        b->setEnabled(on);
}

// ---- Relay attempt --------------------------------------------------------

void RemoteController::ClickButtonLogin()
{
    RemotePage* page = remotePage();
    if (!page)
        return;
    // Device control needs the local adapter (its buses are bridged); relay
    // diagnosis needs it gone (the partner's adapter takes its place).
    const bool deviceControl = sender() == page->deviceControl;
    const bool present = m_env.device().present();
    if (deviceControl && !present) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Please connect the VCI Device First"));
        return;
    }
    if (!deviceControl && present) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Please eject the VCI Device First"));
        return;
    }
    m_engine->state().setDeviceControlRole(deviceControl);
    if (page->partnerSerial->text().isEmpty()) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Please enter SN"));
        return;
    }
    page->prompt->show();
    page->partnerCode->clear();
    page->partnerCode->setFocus();
    page->connectButton->setEnabled(false);
}

void RemoteController::Solt_Cancel_Connection()
{
    if (!m_remote)
        return;
    m_remote->prompt->hide();
    if (m_host)
        m_host->showPage(kRemotePageIndex);
    setPageButtonsEnabled(true);
}

void RemoteController::Solt_Confirm_connection()
{
    RemotePage* page = remotePage();
    if (!page || m_attemptRunning.load())
        return;
    page->confirm->setEnabled(false);
    page->prompt->hide();
    const QString sn = page->partnerSerial->text();
    const QString code = page->partnerCode->text();
    QString refusal = remote::checkSerial(sn);
    if (refusal.isEmpty())
        refusal = remote::checkCode(code);
    if (!refusal.isEmpty()) {
        setPageButtonsEnabled(true);
        if (m_host)
            m_host->toast(translated(refusal), 1200);
        return;
    }
    const int doip = page->doip->currentIndex();
    const int number = code.toInt();
    if (m_engine->state().deviceControlRole()) {
        RemoteProConfig config(page->window());
        if (config.exec() != QDialog::Accepted) {
            setPageButtonsEnabled(true);
            return;
        }
        const remote::RemoteProRates rates = config.rates();
        m_engine->state().setRelayRegistration(nullptr);
        page->deviceControl->setProperty("SN", sn);
        m_attemptRunning = true;
        setPageButtonsEnabled(false);
        emit attemptRunning(true);
        runJob("remote-device-control", [this, sn, number, rates] {
            m_engine->deviceControlAttempt(sn, number, rates);
            emit Sign_EstabConn(sn);
        });
        return;
    }
    m_attemptRunning = true;
    setPageButtonsEnabled(false);
    emit attemptRunning(true);
    runJob("remote-attempt", [this, sn, number, doip] {
        m_engine->relayAttempt(sn, number, doip);
        emit Sign_EstabConn(sn);
    });
}

void RemoteController::Solt_EstabConnRes(QString strSN)
{
    m_attemptRunning = false;
    emit attemptRunning(false);
    if (m_engine->attemptFinished(strSN)) {
        if (m_session)
            m_session->confirm->hide();
        m_currentPage = kSessionPageIndex;
        if (m_host)
            m_host->showPage(kSessionPageIndex);
    }
    setPageButtonsEnabled(true);
    refreshPages();
}

// ---- Ending ---------------------------------------------------------------

void RemoteController::ClickButton_exitRemote()
{
    if (SessionPage* page = sessionPage()) {
        QWidget* box = page->confirm;
        box->adjustSize();
        box->move(page->mapToGlobal(page->rect().center()) - QPoint(box->width() / 2, box->height() / 2));
        box->show();
        box->raise();
        box->activateWindow();
        page->confirmYes->setFocus(Qt::ActiveWindowFocusReason);
    }
}

void RemoteController::Solt_Confirm_RemoteExit()
{
    if (m_session)
        m_session->confirm->hide();
    const QString sn = m_remote ? m_remote->partnerSerial->text() : m_engine->state().figures().partnerSerial;
    runJob("remote-end", [this, sn] {
        const int page = m_engine->endSession(sn.isEmpty() ? m_engine->state().figures().partnerSerial : sn);
        m_currentPage = page;
        emit pageRequested(page);
        m_dirty = true;
        emit stateChanged();
    });
}

// ---- P2P ------------------------------------------------------------------

void RemoteController::openP2PPage()
{
    const remote::DeviceView device = m_env.device();
    if (device.connType == 3) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Unable to do C-end in LAN mode"));
        return;
    }
    if (device.connType == 2) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Unable to do C-end in WiFi mode"));
        return;
    }
    m_returnToP2P = true;
    if (m_host)
        m_host->showPage(kP2PPageIndex);
}

void RemoteController::Slots_P2pListen()
{
    P2PPage* page = p2pPage();
    if (!page)
        return;
    const int port = remote::portNumber(page->listenPort->text());
    if (port == 0) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Ports between 5000 and 65535"), 2000);
        return;
    }
    page->listen->setEnabled(false);
    const int doip = page->doip->currentIndex();
    runJob("remote-listen", [this, port, doip] {
        const bool listening = m_engine->p2pListen(port, doip);
        emit listenFinished(listening, port);
    });
}

void RemoteController::Slots_P2pClsListen()
{
    if (m_p2p)
        m_p2p->listening->hide();
    runJob("remote-close-listen", [this] { m_engine->p2pCloseListen(); });
}

void RemoteController::Slots_P2pRmtConn()
{
    P2PPage* page = p2pPage();
    if (!page)
        return;
    page->connectButton->setEnabled(false);
    if (m_engine->state().p2pListener()) {
        showToast(QT_TRANSLATE_NOOP("Remote", "This PC is B-end and cannot use this function"));
        Slots_P2pBReset();
        return;
    }
    const int port = remote::portNumber(page->connectPort->text());
    if (port == 0) {
        showToast(QT_TRANSLATE_NOOP("Remote", "Ports between 5000 and 65535"), 2000);
        Slots_P2pBReset();
        return;
    }
    const std::string address = page->address->text().trimmed().toStdString();
    emit attemptRunning(true);
    runJob("remote-p2p-connect", [this, address, port] {
        m_engine->p2pConnect(address, port);
        emit SignalP2pConnRes();
        emit attemptRunning(false);
    });
}

void RemoteController::Slots_P2pBReset()
{
    if (!m_p2p)
        return;
    m_p2p->address->clear();
    m_p2p->connectPort->clear();
    Slots_BtnRmtConnStyleChanged();
}

void RemoteController::Slots_BtnRmtLstStyleChanged()
{
    if (!m_p2p)
        return;
    const bool on = !m_p2p->listenPort->text().isEmpty();
    m_p2p->listen->setEnabled(on);
    m_p2p->listen->setStyleSheet(remoteButtonStyle(on));
}

void RemoteController::Slots_BtnRmtConnStyleChanged()
{
    if (!m_p2p)
        return;
    const bool on = !m_p2p->address->text().isEmpty() && !m_p2p->connectPort->text().isEmpty();
    m_p2p->connectButton->setEnabled(on);
    m_p2p->connectButton->setStyleSheet(remoteButtonStyle(on));
}

void RemoteController::Remote_Init()
{
    if (m_remote)
        m_remote->prompt->hide();
    if (m_host)
        m_host->showPage(kRemotePageIndex);
}

// ---- Code area ------------------------------------------------------------

void RemoteController::Slot_verification_code()
{
    RemotePage* page = remotePage();
    if (!page || m_engine->state().remoteDisabled() || !m_env.device().present())
        return;
    const bool persistent = m_nextPersistent;
    if (persistent && page->codeField->text() == translated(QLatin1String(kNotSupportedText)))
        return;
    m_nextPersistent = !persistent;
    page->codeMode->setEnabled(false);
    page->codeMode->setText(translated(QLatin1String(m_nextPersistent ? kPersistent : kTemporary)));
    const QString field = page->codeField->text();
    page->codeField->clearFocus();
    runJob("remote-code", [this, persistent, field] {
        m_engine->applyCode(persistent, field);
        emit codeApplied();
    });
}

void RemoteController::Slot_Password_displayOrhide()
{
    RemotePage* page = remotePage();
    if (!page)
        return;
    const bool hidden = page->codeField->echoMode() != QLineEdit::Normal;
    page->codeField->setEchoMode(hidden ? QLineEdit::Normal : QLineEdit::Password);
    page->showCode->setObjectName(hidden ? QStringLiteral("Btn_Remote_Show") : QStringLiteral("Btn_Remote_NotShow"));
    page->showCode->setIcon(
        QIcon(hidden ? QStringLiteral(":/image/Remote/show.png") : QStringLiteral(":/image/Remote/EyeInvisible.png")));
    page->showCode->setToolTip(hidden ? RemotePage::tr("Hide") : RemotePage::tr("Show"));
}

void RemoteController::ClickButton_CopySn()
{
    if (!m_remote)
        return;
    QApplication::clipboard()->setText(m_remote->serialLabel->text());
    showToast(QT_TRANSLATE_NOOP("Remote", "Copy to clipboard successfully"), 500);
}

void RemoteController::ClickButton_CopyCode()
{
    if (!m_remote)
        return;
    QApplication::clipboard()->setText(m_remote->codeField->text());
    showToast(QT_TRANSLATE_NOOP("Remote", "Copy to clipboard successfully"), 500);
}

void RemoteController::ClickButton_DisableOrStartRemote()
{
    if (!m_env.device().present())
        return;
    m_engine->setRemoteDisabled(!m_engine->state().remoteDisabled());
    styleRemoteSwitch();
    refreshPages();
}

void RemoteController::SetDisableRemoteStatus(bool bStatus)
{
    m_noDevice = bStatus;
    if (bStatus)
        m_engine->setRemoteDisabled(false);
    styleRemoteSwitch();
}

void RemoteController::styleRemoteSwitch()
{
    if (!m_remote)
        return;
    QPushButton* b = m_remote->remoteSwitch;
    const bool disabled = m_engine->state().remoteDisabled();
    b->setText(translated(QLatin1String(disabled ? kRemoteOn : kRemoteOff)));
    QString style;
    if (m_noDevice)
        style = QStringLiteral("background-color:rgb(215, 215, 215);color:rgb(255, 255, 255)");
    else if (disabled)
        style = QStringLiteral("background-color:rgb(255, 255, 255);color:rgb(2, 167, 240)");
    else
        style = QStringLiteral("background-color:rgb(255, 255, 255);color:rgb(229, 0, 18)");
    if (b->styleSheet() != style)
        b->setStyleSheet(style);
}

void RemoteController::SlotsComBoxUpper(const QString& text)
{
    if (!m_remote)
        return;
    const QString upper = text.toUpper();
    if (upper != text) {
        const int cursor = m_remote->partnerSerial->cursorPosition();
        m_remote->partnerSerial->setText(upper);
        m_remote->partnerSerial->setCursorPosition(cursor);
    }
}

// ---- Repaint --------------------------------------------------------------

void RemoteController::repaint(int currentPage)
{
    m_currentPage = currentPage;
    if (currentPage != kP2PPageIndex && currentPage != kSessionPageIndex && currentPage != kRemotePageIndex)
        return;
    refreshPages();
}

void RemoteController::setLabel(QLabel* label, const QString& text)
{
    if (label->text() != text)
        label->setText(text);
}

void RemoteController::refreshPages()
{
    refreshCodeArea();
    refreshSessionPage();
}

void RemoteController::refreshCodeArea()
{
    if (!m_remote)
        return;
    const remote::DeviceView device = m_env.device();
    const remote::RemoteSnapshot s = m_engine->state().snapshot();
    setLabel(m_remote->serialLabel, device.sn.isEmpty() ? QStringLiteral("--") : device.sn);
    const remote::CodeAreaView view = remote::codeAreaView(s, device);
    const QString text = view.translatable ? translated(view.text) : view.text;
    // The user may be typing a persistent code into the field.
    const bool typing = m_remote->codeField->hasFocus() && m_remote->codeField->isModified();
    if (!typing && m_remote->codeField->text() != text)
        m_remote->codeField->setText(text);
    m_remote->codeField->setReadOnly(!view.buttonsVisible);
    m_remote->copyCode->setVisible(view.buttonsVisible);
    m_remote->showCode->setVisible(view.buttonsVisible);
    m_remote->copySerial->setVisible(device.present());
    m_remote->codeMode->setVisible(device.present());
    m_remote->remoteSwitch->setEnabled(device.present());
    const QString mode = translated(QLatin1String(m_nextPersistent ? kPersistent : kTemporary));
    if (m_remote->codeMode->text() != mode)
        m_remote->codeMode->setText(mode);
    styleRemoteSwitch();
    // C-end: a B-end drives this adapter's buses; the user can end it at once.
    const bool controlled = !s.controlledBy.isEmpty();
    if (controlled) {
        QString notice = RemotePage::tr("This device is under device control by %1").arg(s.controlledBy);
        // Frames the bridge had to drop (this end / the partner), while there are any.
        if (!s.controlDrops.isEmpty())
            notice += QLatin1Char(' ') + RemotePage::tr("(frames dropped here/at the partner: %1)").arg(s.controlDrops);
        setLabel(m_remote->controlledText, notice);
    }
    m_remote->controlled->setVisible(controlled);
    m_remote->endControl->setEnabled(controlled);
}

void RemoteController::refreshSessionPage()
{
    if (!m_session)
        return;
    const remote::RemoteSnapshot s = m_engine->state().snapshot();
    // A session that ended by itself takes its pending confirmation along:
    // a modal window asking about it would block the program for nothing.
    if (!s.remoteActive && m_session->confirm->isVisible())
        m_session->confirm->hide();
    const remote::DeviceView device = m_env.device();
    const remote::Role role = remote::sessionRole(s.hasListener, s.hasClient, s.hasRegistration);
    setLabel(m_session->role,
        role == remote::Role::Server ? translated(QStringLiteral(QT_TRANSLATE_NOOP("Remote", "Remote server")))
                                     : translated(QStringLiteral(QT_TRANSLATE_NOOP("Remote", "Remote client"))));
    const QString number
        = s.hasActiveSession ? s.figures.partnerSerial : (device.present() ? device.sn : s.figures.partnerSerial);
    setLabel(m_session->deviceNumber, remote::deviceNumberText(number));
    const bool started = s.figures.start.isValid();
    setLabel(m_session->startTime, started ? remote::clockText(s.figures.start) : QStringLiteral("--"));
    setLabel(m_session->duration,
        started ? remote::durationText(s.figures.start.secsTo(QDateTime::currentDateTime())) : QStringLiteral("--"));
    setLabel(m_session->location, s.figures.location.isEmpty() ? QStringLiteral("--") : translated(s.figures.location));
    setLabel(m_session->delayB, remote::delayText(s.figures.delayB, true));
    setLabel(m_session->delayC, remote::delayText(s.figures.delayC, false));
    for (auto [label, ms] : {std::pair<QLabel*, std::int32_t>{m_session->delayB, s.figures.delayB},
             std::pair<QLabel*, std::int32_t>{m_session->delayC, s.figures.delayC}}) {
        const QString style = remote::delayStyle(ms);
        if (label->styleSheet() != style)
            label->setStyleSheet(style);
    }
    setLabel(m_session->bytesB, remote::byteText(s.figures.bytesB));
    setLabel(m_session->bytesC, remote::byteText(s.figures.bytesC));
    // A device-control bridge adds the frames it dropped (here/at the partner) to the partner's text.
    const remote::PeerDrops peer = remote::splitDrops(s.figures.peerText);
    QString peerText = peer.partner.isEmpty() ? QStringLiteral("--") : peer.partner;
    if (!peer.drops.isEmpty())
        peerText += QLatin1Char(' ') + RemotePage::tr("(frames dropped here/at the partner: %1)").arg(peer.drops);
    setLabel(m_session->peer, peerText);
}
