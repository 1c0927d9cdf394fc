// What one simulated ECU answers: UDS (ISO 14229) diagnostic services and,
// on an engine ECU, OBD-II (SAE J1979) modes, from the ECU's description and
// its state (session, security, trouble codes, overrides). Pure request in,
// answer out: the bus side (EcuNode in VehicleWorld.cpp) adds the ISO-TP
// transport, the answer delay and the reset's silence.
#pragma once

#include "Scheduler.h"
#include "VehicleData.h"

#include <map>
#include <string>

namespace vehicle {

// Live engine values as pure functions of simulated time: an idling engine
// that warms up and now and then revs. Nothing ticks; a value is computed
// when asked for.
class LiveModel {
public:
    LiveModel(bool diesel, double ambientC, Micros origin);
    // rpm, speed, coolant, load, maf, throttle, intake, map, timing, fuel,
    // voltage, baro, ambient, runtime. NaN for an unknown name.
    double value(const std::string& name, Micros now) const;
    static bool known(const std::string& name);

private:
    double revBump(double t) const;
    bool m_diesel;
    double m_ambient;
    Micros m_origin;
};

class EcuLogic {
public:
    struct Reply {
        Bytes answer;          // sent after the ECU's answer delay; empty: nothing
        Micros laterAfter = 0; // with `later`: the final answer this long after `answer` (responsePending)
        Bytes later;
        bool reset = false; // the ECU resets once `answer` has left
    };

    enum Session : std::uint8_t { Default = 0x01, Programming = 0x02, Extended = 0x03 };

    EcuLogic(const EcuDescription& description, const VehicleDescription& vehicle, Micros origin);

    Reply handle(const Bytes& request, bool functional, Micros now);

    // The key SecurityAccess expects for `seed` (docs/vehicle-simulation.md).
    static std::uint32_t keyFor(std::uint32_t seed, std::uint32_t constant);

    // Control: trouble codes, overrides of live values and data identifiers.
    void addDtc(std::uint32_t code, std::uint8_t status);
    void clearDtcs();
    const std::vector<DtcEntry>& dtcs() const { return m_dtcs; }
    // "auto" removes the override. false with *error for an unknown name or bad value.
    bool setValue(const std::string& name, const std::string& value, std::string* error);
    const std::map<std::string, double>& overrides() const { return m_overrides; }
    double live(const std::string& name, Micros now) const;

    const EcuDescription& description() const { return m_description; }
    std::uint8_t session(Micros now);
    bool unlocked() const { return m_unlocked; }
    // What a reset does to the state: default session, locked.
    void resetState();

    static constexpr Micros kS3 = 5000000;       // non-default session time-out without requests
    static constexpr Micros kLockout = 10000000; // after too many wrong keys
    static constexpr int kMaxKeyAttempts = 3;
    static constexpr std::uint16_t kP2Ms = 50;
    static constexpr std::uint16_t kP2StarMs = 5000;

private:
    Reply uds(const Bytes& req, Micros now);
    Reply obd(const Bytes& req, bool functional, Micros now);
    bool did(std::uint16_t id, Micros now, Bytes* out);
    bool pid(std::uint8_t id, Micros now, Bytes* out);
    Bytes pidSupport(std::uint8_t base, Micros now);

    EcuDescription m_description;
    std::string m_vin;
    bool m_diesel;
    LiveModel m_live;
    std::vector<DtcEntry> m_dtcs;
    std::map<std::string, double> m_overrides;
    std::map<std::uint16_t, Bytes> m_didOverrides;

    std::uint8_t m_session = Default;
    Micros m_lastRequest = 0;
    bool m_unlocked = false;
    bool m_seedIssued = false;
    std::uint32_t m_seed = 0;
    int m_badKeys = 0;
    Micros m_lockedUntil = 0;
    std::uint32_t m_seedState;
    Micros m_routineEnd = -1; // -1: never started
};

} // namespace vehicle
