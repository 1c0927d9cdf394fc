#include "EcuLogic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace vehicle {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Negative response codes (ISO 14229-1).
enum : std::uint8_t {
    GeneralReject = 0x10,
    ServiceNotSupported = 0x11,
    SubFunctionNotSupported = 0x12,
    IncorrectLength = 0x13,
    ResponseTooLong = 0x14,
    BusyRepeatRequest = 0x21,
    ConditionsNotCorrect = 0x22,
    RequestSequenceError = 0x24,
    RequestOutOfRange = 0x31,
    SecurityAccessDenied = 0x33,
    InvalidKey = 0x35,
    ExceededAttempts = 0x36,
    DelayNotExpired = 0x37,
    ResponsePending = 0x78,
    SubFunctionNotSupportedInSession = 0x7E,
    ServiceNotSupportedInSession = 0x7F,
};

constexpr std::uint8_t kDtcAvailabilityMask = 0xFF;
constexpr std::uint8_t kStatusPending = 0x04;
constexpr std::uint8_t kStatusConfirmed = 0x08;
constexpr std::size_t kMaxDidsPerRequest = 16;
constexpr std::size_t kMaxAnswer = 4095;

std::uint32_t hash32(std::uint64_t x)
{
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return std::uint32_t(x);
}

// Smooth noise in -1..1: random values at whole numbers, eased in between.
double noise(double x, std::uint64_t salt)
{
    const double i = std::floor(x);
    const double f = x - i;
    const auto at = [salt](double n) {
        return hash32(std::uint64_t(std::int64_t(n)) * 2654435761ULL + salt) / 2147483647.5 - 1.0;
    };
    const double s = f * f * (3 - 2 * f);
    return at(i) * (1 - s) + at(i + 1) * s;
}

Bytes negative(std::uint8_t sid, std::uint8_t code)
{
    return {0x7F, sid, code};
}

EcuLogic::Reply only(Bytes answer)
{
    EcuLogic::Reply r;
    r.answer = std::move(answer);
    return r;
}

void put16(Bytes& b, unsigned v)
{
    b.push_back(std::uint8_t(v >> 8));
    b.push_back(std::uint8_t(v));
}

std::uint8_t clampByte(double v)
{
    return std::uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
}

unsigned clamp16(double v)
{
    return unsigned(std::lround(std::clamp(v, 0.0, 65535.0)));
}

Bytes fixedText(const std::string& s, std::size_t length)
{
    Bytes b(s.begin(), s.end());
    b.resize(length, 0);
    return b;
}

} // namespace

LiveModel::LiveModel(bool diesel, double ambientC, Micros origin)
    : m_diesel(diesel)
    , m_ambient(ambientC)
    , m_origin(origin)
{
}

bool LiveModel::known(const std::string& name)
{
    static const char* names[] = {"rpm", "speed", "coolant", "load", "maf", "throttle", "intake", "map", "timing",
        "fuel", "voltage", "baro", "ambient", "runtime"};
    return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return name == n; });
}

// 0..1: how far into a blip of the throttle the engine is. Every 45 s window
// holds at most one, at a place and height its number decides.
double LiveModel::revBump(double t) const
{
    constexpr double window = 45.0, length = 2.5;
    const double k = std::floor(t / window);
    const std::uint32_t h = hash32(std::uint64_t(std::int64_t(k)) + 0x5eed);
    if (h % 3 == 0)
        return 0.0; // a quiet window
    const double start = k * window + 5.0 + (h >> 8) % 30;
    if (t < start || t > start + length)
        return 0.0;
    const double s = std::sin(kPi * (t - start) / length);
    return s * s * (0.6 + 0.4 * ((h >> 16) % 100) / 100.0);
}

double LiveModel::value(const std::string& name, Micros now) const
{
    const double t = std::max<double>(0.0, double(now - m_origin) / 1e6);
    const double rev = revBump(t);
    const double warm = 1.0 - std::exp(-t / 300.0); // about 15 minutes to operating temperature
    const double idle = 800.0 + 12.0 * std::sin(2 * kPi * t / 4.1) + 6.0 * std::sin(2 * kPi * t / 1.7 + 1.3)
        + 4.0 * noise(t * 3.0, 1);
    const double peak = m_diesel ? 2000.0 : 3000.0;
    if (name == "rpm")
        return idle + (peak - 800.0) * rev;
    if (name == "speed")
        return 0.0;
    if (name == "coolant")
        return 90.0 - (90.0 - m_ambient) * (1.0 - warm) + 1.2 * warm * std::sin(2 * kPi * t / 90.0);
    if (name == "load")
        return 19.0 + 2.0 * noise(t * 2.0, 2) + 24.0 * rev;
    if (name == "maf") {
        const double rpm = value("rpm", now);
        return (m_diesel ? 7.5 : 2.9) * rpm / 800.0 * (1.0 + 1.5 * rev) + 0.1 * noise(t * 2.0, 3);
    }
    if (name == "throttle")
        return m_diesel ? 0.0 + 35.0 * rev : 14.1 + 0.4 * noise(t, 4) + 22.0 * rev;
    if (name == "intake")
        return m_ambient + 4.0 + 14.0 * (1.0 - std::exp(-t / 600.0));
    if (name == "map")
        return (m_diesel ? 101.0 + 60.0 * rev : 33.0 + 35.0 * rev) + noise(t * 2.0, 5);
    if (name == "timing")
        return 10.0 + 2.0 * noise(t * 2.0, 6) + 14.0 * rev;
    if (name == "fuel")
        return 62.0;
    if (name == "voltage")
        return 14.15 + 0.05 * noise(t, 7);
    if (name == "baro")
        return 101.0;
    if (name == "ambient")
        return m_ambient;
    if (name == "runtime")
        return t;
    return std::numeric_limits<double>::quiet_NaN();
}

EcuLogic::EcuLogic(const EcuDescription& description, const VehicleDescription& vehicle, Micros origin)
    : m_description(description)
    , m_vin(vehicle.vin)
    , m_diesel(vehicle.diesel)
    , m_live(vehicle.diesel, vehicle.ambientC, origin)
    , m_dtcs(description.dtcs)
    , m_seedState(hash32(description.requestId ^ description.securityConstant))
{
}

std::uint32_t EcuLogic::keyFor(std::uint32_t seed, std::uint32_t constant)
{
    const std::uint32_t x = seed ^ constant;
    return (x << 3) | (x >> 29);
}

void EcuLogic::addDtc(std::uint32_t code, std::uint8_t status)
{
    for (DtcEntry& d : m_dtcs) {
        if (d.code == code) {
            d.status = status;
            return;
        }
    }
    if (m_dtcs.size() < 255)
        m_dtcs.push_back({code, status});
}

void EcuLogic::clearDtcs()
{
    m_dtcs.clear();
}

double EcuLogic::live(const std::string& name, Micros now) const
{
    auto it = m_overrides.find(name);
    return it != m_overrides.end() ? it->second : m_live.value(name, now);
}

bool EcuLogic::setValue(const std::string& name, const std::string& value, std::string* error)
{
    const auto bad = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (LiveModel::known(name)) {
        if (value == "auto") {
            m_overrides.erase(name);
            return true;
        }
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end || !std::isfinite(v) || v < -1000 || v > 100000)
            return bad("not a number: " + value.substr(0, 32));
        m_overrides[name] = v;
        return true;
    }
    if (name.size() == 4 && name.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
        const std::uint16_t id = std::uint16_t(std::strtoul(name.c_str(), nullptr, 16));
        if (value == "auto") {
            m_didOverrides.erase(id);
            return true;
        }
        Bytes bytes;
        if (value.rfind("hex:", 0) == 0) {
            const std::string digits = value.substr(4);
            if (digits.empty() || digits.size() % 2 || digits.size() > 2048
                || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return bad("hex: wants pairs of hexadecimal digits");
            for (std::size_t i = 0; i < digits.size(); i += 2)
                bytes.push_back(std::uint8_t(std::strtoul(digits.substr(i, 2).c_str(), nullptr, 16)));
        } else {
            if (value.empty() || value.size() > 1024)
                return bad("a value has 1..1024 characters");
            bytes.assign(value.begin(), value.end());
        }
        m_didOverrides[id] = bytes;
        return true;
    }
    return bad("unknown value " + name.substr(0, 32)
        + " (rpm, speed, coolant, load, maf, throttle, intake, map, timing, fuel, voltage, baro, ambient, runtime, or "
          "a DID such as F190)");
}

std::uint8_t EcuLogic::session(Micros now)
{
    if (m_session != Default && now - m_lastRequest > kS3) {
        m_session = Default;
        m_unlocked = false;
        m_seedIssued = false;
    }
    return m_session;
}

void EcuLogic::resetState()
{
    m_session = Default;
    m_unlocked = false;
    m_seedIssued = false;
    m_routineEnd = -1;
}

EcuLogic::Reply EcuLogic::handle(const Bytes& request, bool functional, Micros now)
{
    if (request.empty())
        return {};
    const std::uint8_t sid = request[0];
    if (sid >= 0x01 && sid <= 0x0A) {
        if (!m_description.obd)
            return functional ? Reply{} : only(negative(sid, ServiceNotSupported));
        return obd(request, functional, now);
    }
    // Answers (bit 6) and negative responses are not requests.
    if ((sid & 0x40) || sid == 0x7F)
        return {};
    Reply r = uds(request, now);
    // ISO 14229-1: no "not supported" or "out of range" answers to functional requests.
    if (functional && r.answer.size() == 3 && r.answer[0] == 0x7F) {
        const std::uint8_t code = r.answer[2];
        if (code == ServiceNotSupported || code == SubFunctionNotSupported || code == RequestOutOfRange
            || code == SubFunctionNotSupportedInSession || code == ServiceNotSupportedInSession)
            return {};
    }
    return r;
}

EcuLogic::Reply EcuLogic::uds(const Bytes& req, Micros now)
{
    const std::uint8_t sid = req[0];
    const std::uint8_t current = session(now);
    m_lastRequest = now;
    const std::size_t n = req.size();
    const std::uint8_t sub = n > 1 ? std::uint8_t(req[1] & 0x7F) : 0;
    const bool suppress = n > 1 && (req[1] & 0x80);
    Reply r;
    switch (sid) {
    case 0x10: { // DiagnosticSessionControl
        if (n != 2)
            return only(negative(sid, IncorrectLength));
        if (sub != Default && sub != Programming && sub != Extended)
            return only(negative(sid, SubFunctionNotSupported));
        if (sub == Programming && current == Default)
            return only(negative(sid, ConditionsNotCorrect)); // programming only from the extended session
        if (sub != current) {
            m_unlocked = false;
            m_seedIssued = false;
        }
        m_session = sub;
        if (suppress)
            return {};
        r.answer = {0x50, sub};
        put16(r.answer, kP2Ms);
        put16(r.answer, kP2StarMs / 10);
        return r;
    }
    case 0x3E: // TesterPresent
        if (n != 2)
            return only(negative(sid, IncorrectLength));
        if (sub != 0)
            return only(negative(sid, SubFunctionNotSupported));
        if (suppress)
            return {};
        return only({0x7E, 0x00});
    case 0x11: // ECUReset
        if (n != 2)
            return only(negative(sid, IncorrectLength));
        if (sub < 1 || sub > 3)
            return only(negative(sid, SubFunctionNotSupported));
        resetState();
        r.reset = true;
        if (!suppress)
            r.answer = {0x51, sub};
        return r;
    case 0x22: { // ReadDataByIdentifier
        if (n < 3 || (n - 1) % 2 || (n - 1) / 2 > kMaxDidsPerRequest)
            return only(negative(sid, IncorrectLength));
        r.answer = {0x62};
        bool any = false;
        for (std::size_t i = 1; i < n; i += 2) {
            const std::uint16_t id = std::uint16_t(req[i] << 8 | req[i + 1]);
            Bytes data;
            if (!did(id, now, &data))
                continue;
            any = true;
            put16(r.answer, id);
            r.answer.insert(r.answer.end(), data.begin(), data.end());
        }
        if (!any)
            return only(negative(sid, RequestOutOfRange));
        if (r.answer.size() > kMaxAnswer)
            return only(negative(sid, ResponseTooLong));
        return r;
    }
    case 0x19: { // ReadDTCInformation
        if (current == Programming)
            return only(negative(sid, ServiceNotSupportedInSession));
        if (n < 2)
            return only(negative(sid, IncorrectLength));
        const std::uint8_t report = req[1];
        if (report == 0x01 || report == 0x02) {
            if (n != 3)
                return only(negative(sid, IncorrectLength));
            const std::uint8_t mask = req[2];
            if (report == 0x01) {
                unsigned count = 0;
                for (const DtcEntry& d : m_dtcs)
                    count += (d.status & mask & kDtcAvailabilityMask) ? 1 : 0;
                r.answer = {0x59, 0x01, kDtcAvailabilityMask, 0x01}; // ISO 14229-1 DTC format
                put16(r.answer, count);
                return r;
            }
            r.answer = {0x59, 0x02, kDtcAvailabilityMask};
            for (const DtcEntry& d : m_dtcs) {
                if (!(d.status & mask & kDtcAvailabilityMask))
                    continue;
                r.answer.push_back(std::uint8_t(d.code >> 16));
                r.answer.push_back(std::uint8_t(d.code >> 8));
                r.answer.push_back(std::uint8_t(d.code));
                r.answer.push_back(d.status & kDtcAvailabilityMask);
            }
            return r;
        }
        if (report == 0x0A) { // every supported DTC
            if (n != 2)
                return only(negative(sid, IncorrectLength));
            r.answer = {0x59, 0x0A, kDtcAvailabilityMask};
            for (const DtcEntry& d : m_dtcs) {
                r.answer.push_back(std::uint8_t(d.code >> 16));
                r.answer.push_back(std::uint8_t(d.code >> 8));
                r.answer.push_back(std::uint8_t(d.code));
                r.answer.push_back(d.status);
            }
            return r;
        }
        return only(negative(sid, SubFunctionNotSupported));
    }
    case 0x14: { // ClearDiagnosticInformation
        if (current == Programming)
            return only(negative(sid, ServiceNotSupportedInSession));
        if (n != 4)
            return only(negative(sid, IncorrectLength));
        const std::uint32_t group = std::uint32_t(req[1]) << 16 | std::uint32_t(req[2]) << 8 | req[3];
        if (group == 0xFFFFFF) {
            m_dtcs.clear();
        } else {
            const auto it
                = std::find_if(m_dtcs.begin(), m_dtcs.end(), [group](const DtcEntry& d) { return d.code == group; });
            if (it == m_dtcs.end())
                return only(negative(sid, RequestOutOfRange));
            m_dtcs.erase(it);
        }
        return only({0x54});
    }
    case 0x27: { // SecurityAccess, level 1 (seed 0x01, key 0x02)
        if (current == Default)
            return only(negative(sid, ServiceNotSupportedInSession));
        if (n < 2)
            return only(negative(sid, IncorrectLength));
        if (sub != 0x01 && sub != 0x02)
            return only(negative(sid, SubFunctionNotSupported));
        if (sub == 0x01) {
            if (n != 2)
                return only(negative(sid, IncorrectLength));
            if (now < m_lockedUntil)
                return only(negative(sid, DelayNotExpired));
            r.answer = {0x67, 0x01};
            if (m_unlocked) {
                r.answer.insert(r.answer.end(), 4, 0); // already unlocked: a zero seed
                return r;
            }
            m_seedState = hash32((std::uint64_t(m_seedState) << 32) ^ std::uint64_t(now));
            m_seed = m_seedState ? m_seedState : 0x1234567u;
            m_seedIssued = true;
            for (int shift = 24; shift >= 0; shift -= 8)
                r.answer.push_back(std::uint8_t(m_seed >> shift));
            return r;
        }
        if (n != 6)
            return only(negative(sid, IncorrectLength));
        if (!m_seedIssued)
            return only(negative(sid, RequestSequenceError));
        m_seedIssued = false;
        const std::uint32_t key
            = std::uint32_t(req[2]) << 24 | std::uint32_t(req[3]) << 16 | std::uint32_t(req[4]) << 8 | req[5];
        if (key != keyFor(m_seed, m_description.securityConstant)) {
            if (++m_badKeys >= kMaxKeyAttempts) {
                m_badKeys = 0;
                m_lockedUntil = now + kLockout;
                return only(negative(sid, ExceededAttempts));
            }
            return only(negative(sid, InvalidKey));
        }
        m_badKeys = 0;
        m_unlocked = true;
        return only({0x67, 0x02});
    }
    case 0x31: { // RoutineControl on the ECU's one routine
        if (n < 4)
            return only(negative(sid, IncorrectLength));
        if (sub < 1 || sub > 3)
            return only(negative(sid, SubFunctionNotSupported));
        const std::uint16_t id = std::uint16_t(req[2] << 8 | req[3]);
        if (id != m_description.routineId)
            return only(negative(sid, RequestOutOfRange));
        if (current == Default)
            return only(negative(sid, ServiceNotSupportedInSession));
        if (!m_unlocked)
            return only(negative(sid, SecurityAccessDenied));
        const Bytes head = {0x71, sub, req[2], req[3]};
        if (sub == 0x01) {
            if (n != 4)
                return only(negative(sid, IncorrectLength));
            if (live("speed", now) > 0.5)
                return only(negative(sid, ConditionsNotCorrect)); // only with the vehicle standing
            if (m_routineEnd > now)
                return only(negative(sid, ConditionsNotCorrect)); // already running
            m_routineEnd = now + m_description.routineMs * 1000;
            r.later = head;
            r.later.push_back(0x00); // routine info: completed
            if (m_description.routineMs * 1000 <= 0) {
                r.answer = r.later;
                r.later.clear();
                return r;
            }
            // Slow: responsePending now, the result when the routine ends.
            r.answer = negative(sid, ResponsePending);
            r.laterAfter = m_description.routineMs * 1000;
            return r;
        }
        if (sub == 0x02)
            return only(negative(sid, SubFunctionNotSupported)); // it cannot be stopped
        if (n != 4)
            return only(negative(sid, IncorrectLength));
        if (m_routineEnd < 0)
            return only(negative(sid, RequestSequenceError));
        if (now < m_routineEnd)
            return only(negative(sid, BusyRepeatRequest));
        r.answer = head;
        r.answer.push_back(0x00);                              // passed
        put16(r.answer, clamp16(live("voltage", now) * 1000)); // supply voltage measured by the test, mV
        return r;
    }
    default:
        return only(negative(sid, ServiceNotSupported));
    }
}

bool EcuLogic::did(std::uint16_t id, Micros now, Bytes* out)
{
    if (auto it = m_didOverrides.find(id); it != m_didOverrides.end()) {
        *out = it->second;
        return true;
    }
    const auto textDid = [out](const std::string& s) {
        if (s.empty())
            return false;
        out->assign(s.begin(), s.end());
        return true;
    };
    switch (id) {
    case 0xF186:
        *out = {session(now)};
        return true;
    case 0xF187:
        return textDid(m_description.partNumber);
    case 0xF188:
        return textDid(m_description.softwareNumber);
    case 0xF189:
        return textDid(m_description.softwareVersion);
    case 0xF18A:
        return textDid(m_description.supplier);
    case 0xF18B:
        return textDid(m_description.manufacturingDate);
    case 0xF18C:
        return textDid(m_description.serialNumber);
    case 0xF190:
        return textDid(m_vin);
    case 0xF191:
        return textDid(m_description.hardwareNumber);
    case 0xF197:
        return textDid(m_description.systemName);
    default:
        break;
    }
    if (auto it = m_description.dids.find(id); it != m_description.dids.end()) {
        *out = it->second;
        return true;
    }
    // An OBD ECU mirrors its mode 01 PIDs at F400-F4FF.
    if (m_description.obd && (id >> 8) == 0xF4) {
        Bytes data;
        if (!pid(std::uint8_t(id), now, &data))
            return false;
        *out = data;
        return true;
    }
    return false;
}

Bytes EcuLogic::pidSupport(std::uint8_t base, Micros now)
{
    std::uint32_t bits = 0;
    for (int i = 1; i <= 32; ++i) {
        Bytes ignored;
        const int p = base + i;
        if (p <= 0xFF && p != 0 && (p % 0x20 != 0 || p == base + 0x20) && pid(std::uint8_t(p), now, &ignored))
            bits |= 1u << (32 - i);
    }
    return {std::uint8_t(bits >> 24), std::uint8_t(bits >> 16), std::uint8_t(bits >> 8), std::uint8_t(bits)};
}

bool EcuLogic::pid(std::uint8_t id, Micros now, Bytes* out)
{
    const auto v = [&](const char* name) { return live(name, now); };
    switch (id) {
    case 0x00:
    case 0x20:
    case 0x40: {
        // A range's bitmap; the last bit says the next range exists.
        if (id == 0x40) {
            *out = pidSupport(0x40, now);
            (*out)[3] &= 0xFE;
            return true;
        }
        *out = pidSupport(id, now);
        return true;
    }
    case 0x01: {
        std::uint8_t confirmed = 0;
        for (const DtcEntry& d : m_dtcs)
            confirmed += (d.status & kStatusConfirmed) && confirmed < 0x7F ? 1 : 0;
        const bool mil = std::any_of(m_dtcs.begin(), m_dtcs.end(), [](const DtcEntry& d) { return d.status & 0x80; });
        *out = {std::uint8_t((mil ? 0x80 : 0) | confirmed), std::uint8_t(m_diesel ? 0x0F : 0x07), 0x65, 0x00};
        return true;
    }
    case 0x04:
        *out = {clampByte(v("load") * 255.0 / 100.0)};
        return true;
    case 0x05:
        *out = {clampByte(v("coolant") + 40.0)};
        return true;
    case 0x0B:
        *out = {clampByte(v("map"))};
        return true;
    case 0x0C:
        out->clear();
        put16(*out, clamp16(v("rpm") * 4.0));
        return true;
    case 0x0D:
        *out = {clampByte(v("speed"))};
        return true;
    case 0x0E:
        if (m_diesel)
            return false;
        *out = {clampByte((v("timing") + 64.0) * 2.0)};
        return true;
    case 0x0F:
        *out = {clampByte(v("intake") + 40.0)};
        return true;
    case 0x10:
        out->clear();
        put16(*out, clamp16(v("maf") * 100.0));
        return true;
    case 0x11:
        *out = {clampByte(v("throttle") * 255.0 / 100.0)};
        return true;
    case 0x1C:
        *out = {0x06};
        return true; // EOBD
    case 0x1F:
        out->clear();
        put16(*out, clamp16(v("runtime")));
        return true;
    case 0x21:
        *out = {0x00, 0x00};
        return true; // distance with the lamp on
    case 0x2F:
        *out = {clampByte(v("fuel") * 255.0 / 100.0)};
        return true;
    case 0x33:
        *out = {clampByte(v("baro"))};
        return true;
    case 0x42:
        out->clear();
        put16(*out, clamp16(v("voltage") * 1000.0));
        return true;
    case 0x46:
        *out = {clampByte(v("ambient") + 40.0)};
        return true;
    case 0x51:
        *out = {std::uint8_t(m_diesel ? 0x04 : 0x01)};
        return true;
    default:
        return false;
    }
}

EcuLogic::Reply EcuLogic::obd(const Bytes& req, bool functional, Micros now)
{
    const std::uint8_t mode = req[0];
    const std::size_t n = req.size();
    Reply r;
    const auto codes = [&](std::uint8_t answer, std::uint8_t statusBit) {
        r.answer = {answer, 0};
        std::uint8_t count = 0;
        for (const DtcEntry& d : m_dtcs) {
            if (!(d.status & statusBit) || count == 0xFF)
                continue;
            ++count;
            r.answer.push_back(std::uint8_t(d.code >> 16));
            r.answer.push_back(std::uint8_t(d.code >> 8));
        }
        r.answer[1] = count;
    };
    switch (mode) {
    case 0x01: {
        if (n < 2 || n > 7)
            return {};
        r.answer = {0x41};
        for (std::size_t i = 1; i < n; ++i) {
            Bytes data;
            if (!pid(req[i], now, &data))
                continue;
            r.answer.push_back(req[i]);
            r.answer.insert(r.answer.end(), data.begin(), data.end());
        }
        if (r.answer.size() == 1)
            return {}; // nothing supported: no answer
        return r;
    }
    case 0x03:
        if (n != 1)
            return {};
        codes(0x43, kStatusConfirmed);
        return r;
    case 0x07:
        if (n != 1)
            return {};
        codes(0x47, kStatusPending);
        return r;
    case 0x04:
        if (n != 1)
            return {};
        m_dtcs.clear();
        return only({0x44});
    case 0x09: {
        if (n != 2)
            return {};
        switch (req[1]) {
        case 0x00: {
            std::uint32_t bits = (1u << (32 - 0x02)) | (1u << (32 - 0x0A));
            if (!m_description.calibrationId.empty())
                bits |= 1u << (32 - 0x04);
            r.answer = {0x49, 0x00, std::uint8_t(bits >> 24), std::uint8_t(bits >> 16), std::uint8_t(bits >> 8),
                std::uint8_t(bits)};
            return r;
        }
        case 0x02:
            r.answer = {0x49, 0x02, 0x01};
            r.answer.insert(r.answer.end(), m_vin.begin(), m_vin.end());
            return r;
        case 0x04: {
            if (m_description.calibrationId.empty())
                return {};
            r.answer = {0x49, 0x04, 0x01};
            const Bytes cal = fixedText(m_description.calibrationId, 16);
            r.answer.insert(r.answer.end(), cal.begin(), cal.end());
            return r;
        }
        case 0x0A: {
            r.answer = {0x49, 0x0A, 0x01};
            const Bytes name
                = fixedText(m_description.ecuName.empty() ? m_description.name : m_description.ecuName, 20);
            r.answer.insert(r.answer.end(), name.begin(), name.end());
            return r;
        }
        default:
            return {};
        }
    }
    default:
        return functional ? Reply{} : only(negative(mode, ServiceNotSupported));
    }
}

} // namespace vehicle
