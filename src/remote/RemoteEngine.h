// The remote-diagnosis work without widgets: the relay attempt (B-end), the
// P2P listen and connect, the registration round of the local adapter, the
// verification-code upkeep, and the session and P2P watches of the refresh.
//
// Every operation blocks its caller and bounds every wait, so the controller
// runs them on its worker threads, never on the GUI thread. Results leave
// through the hooks (toasts, page requests, records), which the controller
// turns into queued signals.
#pragma once

#include "kit/Pages.h"
#include "remote/RemoteLibrary.h"
#include "remote/RemotePro.h"
#include "remote/RemoteState.h"
#include "remote/SessionRecord.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace remote {

// The local adapter as the status record describes it.
struct DeviceView {
    QString sn;
    std::string vciIP;
    std::string key;
    QString portNumber;
    QString testIP;
    int connType = -1; // ConnType: USB 0, RJ45 1, WIFI 2, ROUTE 3
    // The internet state the status pass recorded: the relay is not asked while offline.
    bool internetOk = true;
    bool present() const { return !sn.isEmpty(); }
};

// Page indexes of the main window used here.
enum PageIndex { PageRemote = Pages::Remote, PageSession = Pages::RemoteInfo, PageP2P = Pages::P2PConn };

// Mode bytes of the command block.
constexpr std::uint8_t kRemoteMode = 0x10;
constexpr std::uint8_t kLocalMode = 0x11;

// Answers of the adapter's key query.
constexpr const char* kNotSupported = "NotSupported";

// Bounds of the waits (milliseconds).
struct Timing {
    int adapterWait = 6000; // the virtual adapter appearing
    int adapterPoll = 100;
    int connectWait = 8000; // a relay session's status
    int connectPoll = 10;
    int clientWait = 5000; // a registration or P2P link's first answer
    int clientPoll = 20;
    int watchPeriod = 2000; // session and P2P polls, at most one per period
    int listenTries = 5;    // listener construction attempts
    int listenRetryDelay = 200;
    int applyTries = 3;        // set/read-back rounds of the verification code
    int keyQueryPeriod = 2000; // the code upkeep's key query
};

class RemoteEngine {
public:
    struct Hooks {
        // A toast: English source text of the "Remote" context, and its time.
        std::function<void(const QString& text, int ms)> toast;
        // The virtual adapter tool with "-e" (true) or "-d" (false), not waited for.
        std::function<void(bool enable)> adapterTool;
        std::function<void(std::uint8_t mode)> postMode;
        // Whether the "Brindlewick remoteDiag" adapter is there.
        std::function<bool()> remoteAdapterPresent;
        // Waits; false when the owner is stopping (the wait then ends at once).
        std::function<bool(std::chrono::milliseconds)> sleep;
        std::function<void(RecordEvent event, const QString& sn)> sendRecord;
        std::function<void(int page)> showPage;
        std::function<int()> currentPage;
        std::function<DeviceView()> device;
        std::function<bool(const DeviceView& device, std::string& key)> getRemoteKey;
        std::function<bool(const DeviceView& device, const std::string& key)> setRemoteKey;
        std::function<void()> listenEnded;  // the listening panel goes
        std::function<void(bool)> immobile; // SignalImmobileInterface
        std::function<std::chrono::steady_clock::time_point()> clock;
        std::function<QDateTime()> wallClock;
        QString codeFilePath; // "longTimeCode.ini"
        // The process's device-control object, created on first need; null
        // when its library cannot be loaded.
        std::function<IRemotePro*()> remotePro;
    };

    RemoteEngine(RemoteLibrary& library, Hooks hooks, Timing timing = Timing());

    RemoteState& state() { return m_state; }
    const RemoteState& state() const { return m_state; }
    RemoteLibrary& library() { return m_library; }

    // B-end relay attempt for `sn` and `code` (checked by the caller), with
    // the remote page's DoIP index. Leaves the session in remoteSession when
    // it connected.
    void relayAttempt(const QString& sn, int code, int doipIndex);
    // The attempt's end on the GUI side: a session object makes the session
    // active (start record, figures); true when a session now runs.
    bool attemptFinished(const QString& sn);
    // B-end device-control attempt: the local adapter's two CAN buses bridged
    // to the adapter `sn` with `rates`. Leaves the ControlRemotePro in
    // remoteSession when connected (and when the pass-thru library failed).
    void deviceControlAttempt(const QString& sn, int code, const RemoteProRates& rates);

    // Ends the running session (the confirmation's OK); returns the page to show.
    int endSession(const QString& snFieldText);

    // P2P, B-end: listens on `port`; true when listening (the panel shows).
    bool p2pListen(int port, int doipIndex);
    void p2pCloseListen();
    // P2P, C-end: links the local adapter to a listener; true when linked.
    bool p2pConnect(const std::string& address, int port);

    // One registration round of the local adapter at the relay.
    void registrationRound();

    // The verification-code toggle: a persistent code (the code field's text)
    // or a new temporary one; set on the adapter and read back.
    void applyCode(bool persistent, const QString& fieldText);

    // One refresh: code upkeep, session watch, P2P watch. True when the pages
    // need a repaint.
    bool refresh();

    // C-end: ends a device-control session of the local adapter at once (the
    // registration goes, so the adapter's channels close; the next
    // registration round registers it again).
    void endDeviceControl();

    // The remote switch. Off also ends the relay registration at once, so no
    // B-end reaches the adapter until it is switched on again.
    void setRemoteDisabled(bool disabled);

private:
    bool wait(int ms) { return m_hooks.sleep(std::chrono::milliseconds(ms)); }
    void toast(const char* text, int ms = 1200);
    void failAttempt(const char* text);
    // Waits for the "Brindlewick remoteDiag" adapter (bounded); true when it is there.
    bool waitForAdapter();
    bool due(std::chrono::steady_clock::time_point& last, int periodMs);
    int waitClientStatus(RemoteHandle& handle);
    std::int32_t codeFromAnswer(const std::string& answer) const;
    bool codeUpkeep(const DeviceView& device);
    bool sessionWatch();
    bool listenerWatch();
    bool clientWatch();
    // C-end: whether a device-control session drives the adapter, and by whom.
    bool controlWatch();
    void dropSession();
    // Ends the device-control bridge of `session` when it is one.
    void disconnectDeviceControl(const std::shared_ptr<RemoteHandle>& session);

    RemoteLibrary& m_library;
    Hooks m_hooks;
    Timing m_timing;
    RemoteState m_state;

    // The registration rounds' last refusal logged (their thread only): a relay
    // that stays unreachable is logged once, not at every round.
    int m_loggedRefusal = 0;

    std::mutex m_refreshMutex; // one refresh at a time; guards the members below
    std::chrono::steady_clock::time_point m_lastSessionPoll;
    std::chrono::steady_clock::time_point m_lastListenerPoll;
    std::chrono::steady_clock::time_point m_lastClientPoll;
    std::chrono::steady_clock::time_point m_lastKeyQuery;
    QString m_lastSerial;
};

// What the code field shows and whether the copy and show buttons are shown,
// for the code-area state and the device. `text` is either digits or an
// English source text of the "Remote" context.
struct CodeAreaView {
    QString text;
    bool translatable = false;
    bool buttonsVisible = false;
};
CodeAreaView codeAreaView(const RemoteSnapshot& state, const DeviceView& device);
// The code-area state after a refresh for the device (present or not).
CodeArea nextCodeArea(CodeArea current, bool devicePresent);

} // namespace remote
