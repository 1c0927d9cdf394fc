#include "remote/RemoteEngine.h"

#include "remote/RemoteCode.h"
#include "remote/RemoteLog.h"

#include <remote/RemoteApi.h>
#include <remote/RemoteProApi.h>

#include <QCoreApplication>

namespace remote {

namespace {

bool isRefusedClientStatus(int status)
{
    return status == BW_CLIENT_REFUSED || status == BW_CLIENT_UNREACHABLE || status == BW_CLIENT_DISCONNECTED
        || status == BW_CLIENT_FAILED;
}

// The relay's registration port: the libraries tell a registration from a P2P
// link by it, and test and development runs move it with BRINDLEWICK_RELAY_PORT.
std::uint16_t relayPort()
{
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("BRINDLEWICK_RELAY_PORT", &ok);
    return ok && port > 0 && port <= 65535 ? static_cast<std::uint16_t>(port)
                                           : static_cast<std::uint16_t>(BW_REMOTE_RELAY_PORT);
}

} // namespace

RemoteEngine::RemoteEngine(RemoteLibrary& library, Hooks hooks, Timing timing)
    : m_library(library)
    , m_hooks(std::move(hooks))
    , m_timing(timing)
{
    if (!m_hooks.clock)
        m_hooks.clock = [] { return std::chrono::steady_clock::now(); };
    if (!m_hooks.wallClock)
        m_hooks.wallClock = [] { return QDateTime::currentDateTime(); };
    if (!m_hooks.currentPage)
        m_hooks.currentPage = [] { return 0; };
    if (!m_hooks.listenEnded)
        m_hooks.listenEnded = [] {};
    if (!m_hooks.immobile)
        m_hooks.immobile = [](bool) {};
}

void RemoteEngine::toast(const char* text, int ms)
{
    m_hooks.toast(QString::fromLatin1(text), ms);
}

void RemoteEngine::failAttempt(const char* text)
{
    toast(text);
    m_hooks.adapterTool(false);
}

bool RemoteEngine::due(std::chrono::steady_clock::time_point& last, int periodMs)
{
    const auto now = m_hooks.clock();
    if (last != std::chrono::steady_clock::time_point() && now - last < std::chrono::milliseconds(periodMs))
        return false;
    last = now;
    return true;
}

std::int32_t RemoteEngine::codeFromAnswer(const std::string& answer) const
{
    if (answer == kNotSupported)
        return -1;
    bool ok = false;
    const int value = QString::fromStdString(answer).toInt(&ok);
    return ok && value > 0 && value <= 999999 ? value : 0;
}

bool RemoteEngine::waitForAdapter()
{
    bool adapter = m_hooks.remoteAdapterPresent();
    for (int waited = 0; !adapter && waited < m_timing.adapterWait; waited += m_timing.adapterPoll) {
        if (!wait(m_timing.adapterPoll))
            break;
        adapter = m_hooks.remoteAdapterPresent();
    }
    return adapter;
}

// ---- Relay attempt (B-end) ------------------------------------------------

void RemoteEngine::relayAttempt(const QString& sn, int code, int doipIndex)
{
    const std::string serial = sn.toStdString();
    qCInfo(lcRemote) << "relay attempt for" << sn;
    m_hooks.adapterTool(true);

    std::string relay;
    m_library.lookup(serial, std::to_string(code), relay);
    if (relay.empty()) {
        failAttempt(QT_TRANSLATE_NOOP("Remote", "VCI is not online"));
        return;
    }

    if (!waitForAdapter()) {
        failAttempt(QT_TRANSLATE_NOOP("Remote", "enable netcard failure"));
        return;
    }

    std::shared_ptr<RemoteHandle> session = m_library.connectRelay(relay, serial, "--", code);
    m_state.setRemoteSession(session);
    int status = session ? session->status() : BW_RELAY_PENDING;
    for (int waited = 0; session && status != BW_RELAY_CONNECTED && waited < m_timing.connectWait;
         waited += m_timing.connectPoll) {
        if (status == BW_RELAY_WRONG_CODE)
            break;
        if (!wait(m_timing.connectPoll))
            break;
        status = session->status();
    }
    if (!session) {
        failAttempt(QT_TRANSLATE_NOOP("Remote", "connect server timeout"));
        return;
    }

    session->setDoIpMode(doipIndex);
    m_hooks.postMode(kLocalMode);
    if (status == BW_RELAY_CONNECTED) {
        m_hooks.postMode(kRemoteMode);
        toast(QT_TRANSLATE_NOOP("Remote", "connection established successfully"));
        qCInfo(lcRemote) << "relay session with" << sn << "established";
        return;
    }
    const char* text = QT_TRANSLATE_NOOP("Remote", "The server response timed out");
    switch (status) {
    case BW_RELAY_UNREACHABLE:
        text = QT_TRANSLATE_NOOP("Remote", "Failed to connect to the server");
        break;
    case BW_RELAY_VCI_OFFLINE:
        text = QT_TRANSLATE_NOOP("Remote", "VCI is not online");
        break;
    case BW_RELAY_WRONG_CODE:
        text = QT_TRANSLATE_NOOP("Remote", "Password error");
        break;
    case BW_RELAY_DISCONNECTED:
        text = QT_TRANSLATE_NOOP("Remote", "The server is disconnected");
        break;
    case BW_RELAY_BUSY:
        text = QT_TRANSLATE_NOOP("Remote", "The VCI is in a session with another technician");
        break;
    default:
        break;
    }
    qCInfo(lcRemote) << "relay attempt for" << sn << "failed with status" << status;
    session.reset();
    m_state.setRemoteSession(nullptr);
    failAttempt(text);
}

// ---- Device-control attempt (B-end) -----------------------------------------

void RemoteEngine::deviceControlAttempt(const QString& sn, int code, const RemoteProRates& rates)
{
    const std::string serial = sn.toStdString();
    qCInfo(lcRemote) << "device-control attempt for" << sn;
    std::string relay;
    m_library.lookup(serial, std::to_string(code), relay);
    if (relay.empty()) {
        failAttempt(QT_TRANSLATE_NOOP("Remote", "VCI is not online"));
        return;
    }
    IRemotePro* pro = m_hooks.remotePro ? m_hooks.remotePro() : nullptr;
    if (!pro) {
        toast(QT_TRANSLATE_NOOP("Remote", "Failed to load RemotePro.dll"));
        return;
    }
    auto control = std::make_shared<ControlRemotePro>(*pro);
    const int result = pro->connect(relay, serial, "--", code);
    m_state.setRemoteSession(control);
    m_state.setRelayRegistration(nullptr);
    const DeviceControlOutcome outcome = deviceControlOutcome(result);
    if (outcome.connected) {
        struct Bus {
            std::uint32_t pins[2];
            std::uint32_t can;
            std::uint32_t canFd;
        };
        const Bus buses[2] = {{{6, 14}, rates.can1, rates.canFd1}, {{3, 11}, rates.can2, rates.canFd2}};
        for (const Bus& bus : buses) {
            std::uint32_t id = 0;
            const int rc = pro->openCanChannel(BW_PRO_PROTOCOL_CAN, bus.pins, 2, bus.can, bus.canFd, &id);
            if (rc != 0)
                qCWarning(lcRemote) << "device control: bus on pins" << bus.pins[0] << bus.pins[1]
                                    << "not opened:" << rc;
            control->addChannel(id);
        }
        pro->start(1);
        qCInfo(lcRemote) << "device-control session with" << sn << "established";
    } else {
        qCInfo(lcRemote) << "device-control attempt for" << sn << "ended with" << result;
        if (!outcome.keepSession) {
            control.reset();
            m_state.setRemoteSession(nullptr);
        }
    }
    toast(outcome.text);
}

void RemoteEngine::disconnectDeviceControl(const std::shared_ptr<RemoteHandle>& session)
{
    if (session && session->kind() == RemoteHandle::Kind::DeviceControl)
        static_cast<ControlRemotePro&>(*session).pro().disconnect();
}

bool RemoteEngine::attemptFinished(const QString& sn)
{
    std::shared_ptr<RemoteHandle> session = m_state.remoteSession();
    if (!session)
        return false;
    m_state.setActiveSession(session);
    m_state.setCodeArea(CodeArea::SessionRunning);
    m_state.setRemoteActive(true);
    m_state.setRelayRegistration(nullptr);
    m_state.startSession(m_hooks.wallClock(), QStringLiteral(QT_TRANSLATE_NOOP("Remote", "Guangzhou")), sn);
    m_hooks.sendRecord(RecordEvent::Start, sn);
    return true;
}

// ---- Ending a session -----------------------------------------------------

int RemoteEngine::endSession(const QString& snFieldText)
{
    // Not at the same time as a refresh, whose watch may be ending it too.
    std::lock_guard<std::mutex> lock(m_refreshMutex);
    int page = PageRemote;
    const bool p2p = m_state.p2pListener() || m_state.p2pClient();
    if (!p2p) {
        if (m_state.deviceControlRole())
            disconnectDeviceControl(m_state.remoteSession());
        m_state.setDeviceControlRole(false);
        const bool hadSession = m_state.setActiveSession(nullptr) != nullptr;
        if (hadSession) {
            m_hooks.adapterTool(false);
            m_state.setRemoteSession(nullptr);
        }
        m_state.setRelayRegistration(nullptr);
        // Once per session: a watch that saw the session end has sent it already.
        if (hadSession)
            m_hooks.sendRecord(RecordEvent::End, snFieldText);
    } else {
        m_hooks.adapterTool(false);
        if (m_state.p2pListener()) {
            m_hooks.listenEnded();
            m_state.setP2pListener(nullptr);
        } else {
            m_state.setP2pClient(nullptr);
        }
        page = PageP2P;
    }
    m_state.setRemoteActive(false);
    m_state.forgetDelays();
    m_state.setCodeArea(CodeArea::NoDevice);
    m_hooks.postMode(kLocalMode);
    m_hooks.immobile(true);
    qCInfo(lcRemote) << "session ended by the user";
    return page;
}

// ---- P2P ------------------------------------------------------------------

bool RemoteEngine::p2pListen(int port, int doipIndex)
{
    m_hooks.adapterTool(true);
    m_hooks.postMode(kRemoteMode);
    m_state.setPendingDoIpMode(doipIndex);
    if (m_state.p2pListener())
        return true;
    // The tool runs detached: the listener needs its adapter first.
    if (!waitForAdapter())
        qCWarning(lcRemote) << "the virtual adapter did not appear for the P2P listener";
    int status = BW_LISTEN_FAILED;
    std::shared_ptr<RemoteHandle> listener;
    for (int attempt = 0; attempt < m_timing.listenTries && !listener; ++attempt) {
        if (attempt > 0 && !wait(m_timing.listenRetryDelay))
            break;
        listener = m_library.listen(std::string(), static_cast<std::uint16_t>(port), status);
    }
    if (!listener || status == BW_LISTEN_BIND_FAILED || status == BW_LISTEN_NO_ADAPTER || status == BW_LISTEN_FAILED) {
        qCInfo(lcRemote) << "P2P listen on port" << port << "failed with status" << status;
        return false;
    }
    m_state.setP2pListener(listener);
    qCInfo(lcRemote) << "P2P listening on port" << port;
    return true;
}

void RemoteEngine::p2pCloseListen()
{
    m_hooks.adapterTool(false);
    m_hooks.postMode(kLocalMode);
    m_hooks.immobile(true);
    m_state.setP2pListener(nullptr);
}

int RemoteEngine::waitClientStatus(RemoteHandle& handle)
{
    int status = handle.status();
    for (int waited = 0; status == BW_CLIENT_PENDING && waited < m_timing.clientWait; waited += m_timing.clientPoll) {
        if (!wait(m_timing.clientPoll))
            break;
        status = handle.status();
    }
    return status;
}

bool RemoteEngine::p2pConnect(const std::string& address, int port)
{
    if (m_state.p2pClient())
        return true;
    const std::int32_t code = m_state.remoteCode();
    if (code == 0 || code == -1) {
        toast(QT_TRANSLATE_NOOP("Remote", "Remote verification code not obtained"));
        return false;
    }
    const DeviceView device = m_hooks.device();
    std::shared_ptr<RemoteHandle> client = m_library.connectClient(
        address, static_cast<std::uint16_t>(port), device.sn.toStdString(), std::string(), code, device.key);
    const int status = client ? waitClientStatus(*client) : BW_CLIENT_FAILED;
    if (status == BW_CLIENT_CONNECTED || status == BW_CLIENT_LINKED) {
        m_state.setP2pClient(client);
        m_state.setRelayRegistration(nullptr);
        m_state.startSession(m_hooks.wallClock(), QString(), device.sn);
        m_state.setRemoteActive(true);
        m_hooks.immobile(false);
        m_hooks.showPage(PageSession);
        qCInfo(lcRemote) << "P2P linked to" << QString::fromStdString(address) << "port" << port;
        return true;
    }
    qCInfo(lcRemote) << "P2P connect to" << QString::fromStdString(address) << "port" << port << "failed with status"
                     << status;
    toast(QT_TRANSLATE_NOOP("Remote", "Connection failed, please try again"), 2000);
    return false;
}

// ---- Registration ---------------------------------------------------------

void RemoteEngine::registrationRound()
{
    // While this PC is a B-end (a relay session, or a P2P listener) its
    // status record shows the partner's adapter through the tunnel, which is
    // not this PC's to register.
    const RemoteSnapshot before = m_state.snapshot();
    if (before.remoteDisabled || before.hasActiveSession || before.hasRemoteSession || before.hasListener
        || before.remoteActive)
        return;
    // A registration the relay dropped is made again.
    if (std::shared_ptr<RemoteHandle> registration = m_state.relayRegistration()) {
        if (isRefusedClientStatus(registration->status())) {
            qCInfo(lcRemote) << "relay registration lost; registering again";
            m_state.setRelayRegistration(nullptr);
        }
    }
    const RemoteSnapshot s = m_state.snapshot();
    if (s.relayAddress.empty() || s.remoteCode == 0 || s.remoteCode == -1 || (s.hasRegistration && !s.codeRefreshed))
        return;
    const DeviceView device = m_hooks.device();
    if (!s.hasClient && !s.deviceControlRole && device.present() && device.internetOk) {
        std::shared_ptr<RemoteHandle> registration = m_library.connectClient(
            s.relayAddress, relayPort(), device.sn.toStdString(), std::string(), s.remoteCode, device.key);
        const int status = registration ? waitClientStatus(*registration) : BW_CLIENT_FAILED;
        if (!registration || isRefusedClientStatus(status)) {
            if (status != m_loggedRefusal)
                qCInfo(lcRemote) << "registration of" << device.sn << "refused with status" << status
                                 << "(retried every round; logged again when the answer changes)";
            m_loggedRefusal = status;
            registration.reset();
        } else {
            qCInfo(lcRemote) << "registered" << device.sn << "at the relay" << QString::fromStdString(s.relayAddress);
            m_loggedRefusal = 0;
        }
        // Switched off while the relay was answering: the new registration goes too.
        if (m_state.keepRegistrationUnlessDisabled(registration) == registration && registration)
            qCInfo(lcRemote) << "remote assistance was switched off; registration of" << device.sn << "ended";
    }
    m_state.setCodeRefreshed(false);
}

bool RemoteEngine::controlWatch()
{
    QString by;
    QString drops;
    if (std::shared_ptr<RemoteHandle> registration = m_state.relayRegistration()) {
        // "device control by SERIAL", then " dropped HERE/THERE" once frames were dropped.
        static const std::string kPrefix = "device control by ";
        const SessionReading r = registration->poll();
        if (r.state == 1 && r.peerText.compare(0, kPrefix.size(), kPrefix) == 0) {
            const QString rest = QString::fromStdString(r.peerText.substr(kPrefix.size()));
            by = rest.section(QLatin1Char(' '), 0, 0);
            static const QString kDropped = QStringLiteral("dropped ");
            const QString tail = rest.section(QLatin1Char(' '), 1);
            if (tail.startsWith(kDropped))
                drops = tail.mid(kDropped.size());
        }
    }
    const bool changedBy = by != m_state.controlledBy();
    if (!changedBy && drops == m_state.controlDrops())
        return false;
    if (changedBy)
        qCInfo(lcRemote) << (by.isEmpty() ? "device control of this adapter ended" : "adapter under device control");
    // The B-end ended it, or its link, the relay or an adapter is gone: the
    // notice goes, and the user is told why it went.
    if (changedBy && by.isEmpty())
        toast(QT_TRANSLATE_NOOP("Remote", "Device control of this device has ended"));
    m_state.setControlledBy(by);
    m_state.setControlDrops(by.isEmpty() ? QString() : drops);
    return true;
}

void RemoteEngine::endDeviceControl()
{
    std::lock_guard<std::mutex> lock(m_refreshMutex);
    if (m_state.controlledBy().isEmpty())
        return;
    m_state.setRelayRegistration(nullptr);
    m_state.setControlledBy(QString());
    qCInfo(lcRemote) << "device control of this adapter ended by the user";
}

void RemoteEngine::setRemoteDisabled(bool disabled)
{
    if (m_state.setRemoteDisabled(disabled))
        qCInfo(lcRemote) << "remote assistance switched off; relay registration ended";
}

// ---- Verification code ----------------------------------------------------

void RemoteEngine::applyCode(bool persistent, const QString& fieldText)
{
    const DeviceView device = m_hooks.device();
    if (!device.present())
        return;
    QString code;
    if (persistent) {
        code = persistentCodeFor(fieldText);
        if (code == fieldText)
            CodeFile(m_hooks.codeFilePath).write(device.sn, code);
        m_state.setPersistentCode(code);
    }
    std::int32_t result = 0;
    for (int round = 0; round < m_timing.applyTries && result == 0; ++round) {
        if (!persistent)
            code = temporaryCode();
        m_hooks.setRemoteKey(device, code.toStdString());
        std::string answer;
        m_hooks.getRemoteKey(device, answer);
        result = codeFromAnswer(answer);
    }
    m_state.setRemoteCode(result);
    if (result != -1)
        m_state.setCodeRefreshed(true);
    toast(QT_TRANSLATE_NOOP("Remote", "Successfully modified"));
}

bool RemoteEngine::codeUpkeep(const DeviceView& device)
{
    bool changed = false;
    if (device.sn != m_lastSerial) {
        // Another adapter: its code and registration are not the last one's.
        m_lastSerial = device.sn;
        m_state.setRemoteCode(0);
        m_state.setRelayRegistration(nullptr);
        changed = true;
    }
    const RemoteSnapshot s = m_state.snapshot();
    if (!device.present() || s.remoteDisabled || s.hasActiveSession || s.hasRemoteSession || s.hasListener
        || s.remoteActive)
        return changed;

    if (due(m_lastKeyQuery, m_timing.keyQueryPeriod)) {
        if (s.remoteCode == 0) {
            const QString stored = CodeFile(m_hooks.codeFilePath).read(device.sn);
            if (!stored.isEmpty())
                m_hooks.setRemoteKey(device, stored.toStdString());
        }
        std::string answer;
        // An adapter that did not answer at all (rebooting, a reply lost)
        // keeps the code it had and the registration made with it: dropping
        // them would end a partner's live session over one missed question.
        // The next query, 2 s later, sees a code that really changed.
        const bool answered = m_hooks.getRemoteKey(device, answer);
        if (answered || s.remoteCode == 0) {
            // USB or cable: an adapter without a code gets a fresh temporary one
            // (never a fixed default, which anyone knowing a serial could use).
            const bool directLink = device.connType == 0 || device.connType == 1;
            const bool askable
                = device.portNumber != QLatin1String("M3aK") && device.portNumber != QLatin1String("M37C");
            if (answer.empty() && s.remoteCode == 0 && directLink && askable) {
                m_hooks.setRemoteKey(device, temporaryCode().toStdString());
                m_hooks.getRemoteKey(device, answer);
            }
            const std::int32_t code = codeFromAnswer(answer);
            if (code != s.remoteCode) {
                m_state.setRemoteCode(code);
                changed = true;
            }
            if (code == 0)
                m_state.setRelayRegistration(nullptr);
        }
    }
    if (m_state.relayAddress().empty() && device.internetOk) {
        const std::string relay = m_library.relayAddress();
        if (!relay.empty())
            m_state.setRelayAddress(relay);
    }
    return changed;
}

// ---- Watches --------------------------------------------------------------

void RemoteEngine::dropSession()
{
    m_state.setActiveSession(nullptr);
    m_state.setRemoteSession(nullptr);
}

bool RemoteEngine::sessionWatch()
{
    std::shared_ptr<RemoteHandle> session = m_state.activeSession();
    if (!session || !due(m_lastSessionPoll, m_timing.watchPeriod))
        return false;
    const SessionReading reading = session->poll();
    if (reading.state == 0) {
        m_state.updateFigures(reading, true);
        return true;
    }
    qCInfo(lcRemote) << "relay session lost with state" << reading.state;
    const QString partner = m_state.figures().partnerSerial;
    m_state.setDeviceControlRole(false);
    // Only the one who takes the session object ends it.
    if (!m_state.takeActiveSession(session))
        return true;
    // A bridge that ended on an adapter fault says which one.
    if (session->kind() == RemoteHandle::Kind::DeviceControl) {
        if (const char* why = deviceControlEndText(reading.state))
            toast(why, 3000);
    }
    // A lost bridge stops at once: the library closes the local channels.
    disconnectDeviceControl(session);
    session.reset();
    dropSession();
    m_state.forgetDelays();
    m_state.setRemoteActive(false);
    m_state.setCodeArea(CodeArea::NoDevice);
    if (m_hooks.currentPage() == PageSession)
        m_hooks.showPage(PageRemote);
    m_hooks.adapterTool(false);
    m_hooks.postMode(kLocalMode);
    m_hooks.sendRecord(RecordEvent::End, partner);
    return true;
}

bool RemoteEngine::listenerWatch()
{
    std::shared_ptr<RemoteHandle> listener = m_state.p2pListener();
    if (!listener || !due(m_lastListenerPoll, m_timing.watchPeriod))
        return false;
    const SessionReading reading = listener->poll();
    if (reading.state == 0) {
        const int page = m_hooks.currentPage();
        if (!m_state.remoteActive() || page == PageRemote || page == PageP2P) {
            int mode = 0;
            if (m_state.takePendingDoIpMode(mode))
                listener->setDoIpMode(mode);
            if (!m_state.remoteActive()) {
                m_state.startSession(m_hooks.wallClock(), QString(), QString::fromStdString(reading.serial));
                m_state.setRemoteActive(true);
                qCInfo(lcRemote) << "P2P client linked:" << QString::fromStdString(reading.serial);
            }
            if (page == PageRemote || page == PageP2P)
                m_hooks.showPage(PageSession);
        }
        m_state.updateFigures(reading, true);
        return true;
    }
    if (reading.state == 1)
        return false;
    qCInfo(lcRemote) << "P2P listener ended with state" << reading.state;
    m_state.forgetDelays();
    listener.reset();
    m_state.setP2pListener(nullptr);
    m_state.setRemoteActive(false);
    m_hooks.showPage(PageP2P);
    m_hooks.listenEnded();
    m_hooks.adapterTool(false);
    m_hooks.postMode(kLocalMode);
    return true;
}

bool RemoteEngine::clientWatch()
{
    std::shared_ptr<RemoteHandle> client = m_state.p2pClient();
    if (!client || !due(m_lastClientPoll, m_timing.watchPeriod))
        return false;
    const SessionReading reading = client->poll();
    if (reading.state == 1) {
        m_state.updateFigures(reading, true);
        return true;
    }
    if (reading.state == 2)
        return false;
    qCInfo(lcRemote) << "P2P link ended with state" << reading.state;
    client.reset();
    m_state.setP2pClient(nullptr);
    m_state.forgetDelays();
    m_state.setRemoteActive(false);
    m_hooks.immobile(true);
    if (m_hooks.currentPage() == PageSession)
        m_hooks.showPage(PageP2P);
    return true;
}

bool RemoteEngine::refresh()
{
    std::lock_guard<std::mutex> lock(m_refreshMutex);
    const DeviceView device = m_hooks.device();
    bool changed = codeUpkeep(device);
    const CodeArea area = m_state.codeArea();
    const CodeArea next
        = area == CodeArea::SessionRunning && m_state.activeSession() ? area : nextCodeArea(area, device.present());
    if (next != area) {
        m_state.setCodeArea(next);
        changed = true;
    }
    changed = sessionWatch() || changed;
    changed = listenerWatch() || changed;
    changed = clientWatch() || changed;
    changed = controlWatch() || changed;
    return changed;
}

// ---- Code area ------------------------------------------------------------

CodeArea nextCodeArea(CodeArea current, bool devicePresent)
{
    if (!devicePresent)
        return CodeArea::NoDevice;
    if (current == CodeArea::DevicePresent || current == CodeArea::CodeShown)
        return current;
    return CodeArea::DevicePresent;
}

CodeAreaView codeAreaView(const RemoteSnapshot& state, const DeviceView& device)
{
    CodeAreaView view;
    auto source = [&view](const char* text) {
        view.text = QString::fromLatin1(text);
        view.translatable = true;
    };
    if (!device.present()) {
        view.text = QStringLiteral("--");
        return view;
    }
    if (state.remoteDisabled) {
        source(QT_TRANSLATE_NOOP("Remote", "Remote assistance has been disabled"));
        return view;
    }
    if (device.connType == 3) {
        source(QT_TRANSLATE_NOOP("Remote", "LAN verification codes disabled"));
        return view;
    }
    if (device.connType == 2) {
        source(QT_TRANSLATE_NOOP("Remote", "Verification codes disabled"));
        return view;
    }
    if (state.remoteCode == 0) {
        view.text = QStringLiteral("--");
        return view;
    }
    if (state.remoteCode == -1) {
        source(QT_TRANSLATE_NOOP("Remote", "Remote is not supported"));
        return view;
    }
    // Six digits: a persistent code starting with 0 keeps its leading zero.
    view.text = QStringLiteral("%1").arg(state.remoteCode, 6, 10, QLatin1Char('0'));
    view.buttonsVisible = true;
    return view;
}

} // namespace remote
