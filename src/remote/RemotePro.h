// Device control as the manager uses it: the device-control library's object
// (IRemotePro), the session object of a device-control attempt
// (ControlRemotePro), the rates picked in "Config Select", and what each
// connect result tells the technician.
#pragma once

#include "remote/RemoteLibrary.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace remote {

// The device-control library's object, slot by slot (see RemoteProApi.h).
class IRemotePro {
public:
    virtual ~IRemotePro() = default;
    virtual int connect(const std::string& relay, const std::string& sn, const std::string& tag, int code) = 0; // 1
    virtual void disconnect() = 0;                                                                              // 2
    virtual int openCanChannel(std::uint32_t protocol, const std::uint32_t* pins, std::uint32_t pinCount,
        std::uint32_t canBaud, std::uint32_t canFdBaud, std::uint32_t* channelId)
        = 0;                                                               // 3
    virtual void start(int on) = 0;                                        // 5
    virtual void state(std::int32_t* state, char* text1, char* text2) = 0; // 6
    virtual void bytesB(std::uint64_t* bytes) = 0;                         // 7
    virtual void bytesC(std::uint64_t* bytes) = 0;                         // 8
    virtual void delays(std::int32_t* delayB, std::int32_t* delayC) = 0;   // 9
};

// The process's IRemotePro: loads "RemotePro" from `folder` and calls
// CreateRemotePro on first need; once created it is kept (and its library
// stays loaded) until the process ends. Null while it cannot be loaded; a
// later call tries again.
IRemotePro* processRemotePro(const std::string& folder);

// The session object of one device-control attempt. Slots 0 to 3 (state,
// bytes B, bytes C, delays) forward unchanged to the IRemotePro's 6 to 9;
// slots 4 and 5 do nothing.
class ControlRemotePro final : public RemoteHandle {
public:
    explicit ControlRemotePro(IRemotePro& pro)
        : m_pro(pro)
    {
    }

    void queryState(std::int32_t* state, char* text1, char* text2) { m_pro.state(state, text1, text2); } // 0
    void bytesB(std::uint64_t* bytes) { m_pro.bytesB(bytes); }                                           // 1
    void bytesC(std::uint64_t* bytes) { m_pro.bytesC(bytes); }                                           // 2
    void delays(std::int32_t* delayB, std::int32_t* delayC) { m_pro.delays(delayB, delayC); }            // 3
    void slot4(std::int32_t) { }                                                                         // 4
    void setDoIpMode(int) override { }                                                                   // 5

    Kind kind() const override { return Kind::DeviceControl; }
    int status() override { return 0; }
    SessionReading poll() override;

    IRemotePro& pro() { return m_pro; }
    void addChannel(std::uint32_t id);
    std::vector<std::uint32_t> channels() const;

private:
    IRemotePro& m_pro;
    mutable std::mutex m_mutex;
    std::vector<std::uint32_t> m_channels;
};

// The rates of the two buses picked in "Config Select".
struct RemoteProRates {
    std::uint32_t can1 = 500000; // pins 6/14
    std::uint32_t canFd1 = 0;
    std::uint32_t can2 = 125000; // pins 3/11
    std::uint32_t canFd2 = 0;
};

// The combo items (English source texts of the "Remote" context) and their values.
inline constexpr int kCanRateCount = 6;
inline constexpr int kCanFdRateCount = 5;
extern const char* const kCanRateItems[kCanRateCount];
extern const char* const kCanFdRateItems[kCanFdRateCount];
inline constexpr int kCan1StartIndex = 3; // "500 Kbps"
inline constexpr int kCan2StartIndex = 1; // "125 Kbps"
// The value of a combo index; an index outside the list gives 500000 / 0.
std::uint32_t canRateAt(int index);
std::uint32_t canFdRateAt(int index);

// What a connect result means: the toast (English source text of the
// "Remote" context), whether the session object is kept, and whether the
// buses are opened.
struct DeviceControlOutcome {
    const char* text = nullptr;
    bool keepSession = false;
    bool connected = false;
};
DeviceControlOutcome deviceControlOutcome(int result);

// The toast for a device-control session that ended with `state` (its
// state query), English source text of the "Remote" context; nullptr when
// the end needs no word (ended by either side, the link or the relay).
const char* deviceControlEndText(int state);

} // namespace remote
