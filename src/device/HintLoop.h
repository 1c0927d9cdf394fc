// The start-up hint: watches the USB-to-Ethernet adapter, remembers which
// adapter serial was last recognised through it in "VCIINFO.ini" (section =
// the adapter's MAC as twelve lower-case hex digits, key "SN"), and asks the
// user to connect 12 V power while the adapter reports no voltage.
//
// The loop runs on a worker of its owner's group. stop() returns only once
// the loop can no longer call any hook, so the owner may be destroyed right
// after it; the group's stop calls it and joins the worker.
#pragma once

#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class WorkerGroup;

enum class HintTimer { PowerDialog, HintWindow };

class HintLoop {
public:
    struct Hooks {
        std::function<bool(std::string& macText)> adapterPresent;
        std::function<QString()> currentSerial;    // SN of the current status record
        std::function<QString()> rememberedSerial; // serial of the last adapter seen
        std::function<QString()> voltageText;      // what the voltage label shows
        std::function<void()> showInitHint;        // the 12 V hint toast, 1100 ms
        std::function<void(HintTimer, bool on)> setTimer;
        std::function<bool(HintTimer)> timerActive;
    };

    // What the loop does after one step.
    enum class Next { End, Sleep2000, Sleep500, Sleep50, WaitForWake };

    HintLoop(Hooks hooks, QString iniPath);
    ~HintLoop();
    HintLoop(const HintLoop&) = delete;
    HintLoop& operator=(const HintLoop&) = delete;

    void setIniPath(const QString& path);
    void start(WorkerGroup& workers);
    void stop();
    // Lets a loop that waits for a wake-up run its next step.
    void wake();

    // One step on the calling thread (tests; the thread runs the same).
    Next step();

    bool armed() const;
    bool poweredSeen() const;
    QString macText() const;

private:
    struct State;
    static void run(std::shared_ptr<State> state);
    std::shared_ptr<State> m_state;
    bool m_started = false;
};
