// The diagnosis component's shared rules (PubFunctional): DTC names and
// status bits, the DTC text tables, OBD-II value units, the decoding of UDS
// and OBD-II answers, the component's versions, and the registry where a
// make's Diag library leaves its ECU list and functions for the display
// library. Qt-free; one instance per process (the manager loads it first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(VEHDIAG_PUB_BUILD)
#define VEHDIAG_PUB_API __declspec(dllexport)
#else
#define VEHDIAG_PUB_API __declspec(dllimport)
#endif
#else
#define VEHDIAG_PUB_API __attribute__((visibility("default")))
#endif

namespace vehdiag {

using Bytes = std::vector<std::uint8_t>;

// ---- Trouble codes --------------------------------------------------------------------

// "P0301" from the two code bytes (SAE J2012 letter and digits); a non-zero
// failure type byte is appended as "-87" when `withFailureType`.
VEHDIAG_PUB_API std::string dtcName(std::uint8_t high, std::uint8_t low);
VEHDIAG_PUB_API std::string dtcName(std::uint8_t high, std::uint8_t low, std::uint8_t failureType);
// The two bytes of a "P0301"-style name; false for anything else.
VEHDIAG_PUB_API bool dtcCode(const std::string& name, std::uint8_t* high, std::uint8_t* low);

// ISO 14229 status bits of a DTC.
enum DtcStatusBit : std::uint8_t {
    kTestFailed = 0x01,
    kTestFailedThisCycle = 0x02,
    kPending = 0x04,
    kConfirmed = 0x08,
    kNotCompletedSinceClear = 0x10,
    kFailedSinceClear = 0x20,
    kNotCompletedThisCycle = 0x40,
    kWarningIndicator = 0x80,
};

struct Dtc {
    std::string code; // "P0301" (no failure type)
    std::uint8_t failureType = 0;
    std::uint8_t status = 0;
};

// ---- DTC text tables ------------------------------------------------------------------
// A table is UTF-8 text, one entry per line: CODE "=" TEXT, e.g.
//   P0301 = Cylinder 1 misfire detected
// CODE is a letter P, C, B or U, a digit 0-3 and three hex digits. Lines
// "[en]" or "[es]" start the entries of that language (English before any);
// lines starting with "#" and blank lines are ignored; CR LF is accepted.
// A bad line is reported with its number and skipped; the good ones stay.
class VEHDIAG_PUB_API DtcTable {
public:
    static constexpr std::size_t kMaxBytes = std::size_t(4) << 20;
    static constexpr std::size_t kMaxLine = 1024;
    static constexpr std::size_t kMaxText = 256;
    static constexpr std::size_t kMaxEntries = 50000;

    // Replaces the entries by those of `text`; problems ("line 7: ...") in
    // `problems`. False when nothing could be read at all (too large).
    bool parse(const std::string& text, std::vector<std::string>* problems);
    bool load(const std::string& path, std::vector<std::string>* problems);

    // The text of `code` ("P0301") in `language` ("en", "es"), else English,
    // else empty.
    std::string text(const std::string& code, const std::string& language) const;
    std::size_t size() const;

private:
    std::map<std::string, std::map<std::string, std::string>> m_byLanguage;
};

// ---- OBD-II values --------------------------------------------------------------------
// The physical value of a mode 01 PID from its data bytes (SAE J1979);
// nullopt for an unknown PID or too few bytes.
VEHDIAG_PUB_API std::optional<double> obdValue(std::uint8_t pid, const std::uint8_t* data, std::size_t size);
// Its unit ("rpm", "km/h", "°C", "%", "g/s", "kPa", "V"), empty when unknown.
VEHDIAG_PUB_API const char* obdUnit(std::uint8_t pid);
// Bytes of a PID's value; 0 when unknown.
VEHDIAG_PUB_API std::size_t obdValueSize(std::uint8_t pid);

// ---- Answers --------------------------------------------------------------------------
enum class AnswerKind { Positive, Negative, Pending, Malformed };

struct Answer {
    AnswerKind kind = AnswerKind::Malformed;
    std::uint8_t nrc = 0; // Negative: the code
    Bytes data;           // Positive: the bytes after the service byte
};

// Largest answer ISO-TP carries in classic CAN frames.
constexpr std::size_t kMaxAnswer = 4095;

// What an answer to a request of `service` is: positive (service + 0x40),
// negative (7F service NRC), pending (NRC 0x78), or malformed (empty,
// another service, a short negative, more than kMaxAnswer bytes).
VEHDIAG_PUB_API Answer classify(std::uint8_t service, const Bytes& answer);

// ReadDataByIdentifier of one identifier: the record's bytes; nullopt when
// the answer is not that identifier's.
VEHDIAG_PUB_API std::optional<Bytes> didRecord(const Answer& positive, std::uint16_t did);
// The printable text of an identification record (trailing NULs and spaces cut).
VEHDIAG_PUB_API std::string recordText(const Bytes& record);
// ReadDTCInformation 02: the codes; nullopt when truncated or not a 02 answer.
VEHDIAG_PUB_API std::optional<std::vector<Dtc>> dtcList(const Answer& positive);
// ReadDTCInformation 01: the count; nullopt when not a 01 answer.
VEHDIAG_PUB_API std::optional<unsigned> dtcCount(const Answer& positive);
// OBD-II mode 03 / 07: the codes (zero codes skipped); nullopt when malformed.
VEHDIAG_PUB_API std::optional<std::vector<std::string>> obdCodes(const Answer& positive);
// OBD-II mode 09 PID 02: the VIN; nullopt when not 17 printable characters.
VEHDIAG_PUB_API std::optional<std::string> obdVin(const Answer& positive);
// OBD-II mode 01: PID -> value for every PID of the answer; nullopt when a
// PID is unknown or its bytes are cut (the rest cannot be framed then).
VEHDIAG_PUB_API std::optional<std::map<std::uint8_t, double>> obdValues(const Answer& positive);

// ---- Makes ----------------------------------------------------------------------------
enum class Bus { Obd, Body }; // pins 6/14, pins 3/11

struct EcuDefinition {
    std::string name;  // one word, also the key of its texts ("engine")
    std::string title; // English title ("Engine"); the display translates known ones
    Bus bus = Bus::Obd;
    std::uint32_t requestId = 0;
    std::uint32_t responseId = 0;
    bool obd = false;
};

struct RoutineDefinition {
    std::string ecu;         // EcuDefinition::name
    std::string title;       // English title
    std::uint16_t id = 0;    // RoutineControl identifier
    unsigned expectedMs = 0; // how long it usually runs (progress)
    std::uint8_t securityLevel = 1;
};

struct LiveDefinition {
    std::uint8_t pid = 0; // OBD-II mode 01
    std::string title;    // English title
};

// SecurityAccess key from a seed, for one ECU; nullptr when the make has none.
using KeyFunction = Bytes (*)(const std::string& ecu, const Bytes& seed);

struct MakeDefinition {
    std::string make; // folder name, "Bmw"
    std::vector<EcuDefinition> ecus;
    std::vector<RoutineDefinition> routines;
    std::vector<LiveDefinition> live;
    std::uint32_t functionalId = 0x7DF;
    KeyFunction key = nullptr;
    DtcTable dtcTexts;
};

// Where a make's Diag library leaves its definition and the display library
// finds it. Thread-safe; listeners run on the registering thread.
class VEHDIAG_PUB_API Registry {
public:
    static Registry& instance();

    void registerMake(MakeDefinition definition);
    std::optional<MakeDefinition> make(const std::string& name) const;
    void forget(const std::string& name);

    // `listener(make)` after each registration; returns a token for unsubscribe.
    int subscribe(std::function<void(const std::string&)> listener);
    void unsubscribe(int token);

private:
    mutable std::mutex m_mutex;
    std::map<std::string, MakeDefinition> m_makes;
    std::map<int, std::function<void(const std::string&)>> m_listeners;
    int m_next = 1;
};

// ---- Versions -------------------------------------------------------------------------
// This build's version ("1.0.1.0"), the same for every library of the component.
VEHDIAG_PUB_API const char* componentVersion();

} // namespace vehdiag
