// One pass of the device status loop, without widgets: reads the status
// record, keeps the previous copy, the voltage text and colour, the
// device-absent flag and the last serial, and says whether the page must be
// repainted. The main window's status thread calls runCycle() once per pass;
// the GUI thread reads snapshot() when it repaints.
#pragma once

#include "device/VciStatusRecord.h"

#include <QString>

#include <functional>
#include <mutex>

struct DeviceStatusSnapshot {
    VciStatusRecord record;
    QString voltageText;  // "0V", "12.34V"
    QString voltageColor; // "rgb(255, 0, 0)" or "rgb(52, 199, 89)"
    bool deviceAbsent = true;
    QString lastSerial;      // serial of the last adapter seen, kept while absent
    bool internetOk = false; // the account library's internet state of the last pass
};

class DeviceStatusLoop {
public:
    struct Hooks {
        std::function<bool(VciStatusRecord&)> read; // default readVciStatus
        std::function<bool()> adapterPresent;       // USB-to-Ethernet adapter present
        std::function<void()> clearSelectedSerial;  // command block offset 9..24
        std::function<void()> wakeHintLoop;
        std::function<void(bool noDevice)> setDisableRemoteStatus;
        // The account library's internet state (HttpsServer::InternetOk);
        // none means offline.
        std::function<bool()> internetOk;
    };

    DeviceStatusLoop();
    explicit DeviceStatusLoop(Hooks hooks);

    // Steps 2 to 7 of a pass (step 7 records the internet state, which the
    // remote checks read from the snapshot). `changed` says whether the shown
    // page or a show request changed; the result says whether the page must
    // be repainted.
    // Plugging an adapter back in yields exactly one repaint for that pass.
    bool runCycle(bool changed);

    DeviceStatusSnapshot snapshot() const;
    QString voltageText() const;
    bool internetOk() const;
    // Set before the loop runs.
    void setInternetProbe(std::function<bool()> probe) { m_hooks.internetOk = std::move(probe); }

    static QString voltageTextFor(std::uint32_t millivolts);
    static QString voltageColorFor(std::uint32_t millivolts);

    static constexpr const char* kRed = "rgb(255, 0, 0)";
    static constexpr const char* kGreen = "rgb(52, 199, 89)";

private:
    Hooks m_hooks;
    mutable std::mutex m_mutex;
    VciStatusRecord m_current;
    VciStatusRecord m_previous;
    QString m_voltageText;
    QString m_voltageColor;
    bool m_deviceAbsent = false;
    QString m_lastSerial;
    bool m_internetOk = false;
};
