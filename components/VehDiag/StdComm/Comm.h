// The diagnosis component's communication library (StdComm): the J2534
// library found through its registration, one adapter session, an ISO15765
// channel per bus (pins 6/14 and 3/11), and UDS / OBD-II requests on it.
// Qt-free; one Link per thread (the display library's worker owns one).
// Every call is bounded in time.
#pragma once

#include "Pub.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#if defined(VEHDIAG_COMM_BUILD)
#define VEHDIAG_COMM_API __declspec(dllexport)
#else
#define VEHDIAG_COMM_API __declspec(dllimport)
#endif
#else
#define VEHDIAG_COMM_API __attribute__((visibility("default")))
#endif

namespace vehdiag {

enum class Failure {
    None,
    NoLibrary,     // the J2534 library is not registered or does not load
    AdapterAbsent, // no adapter answers (unplugged, not selected)
    AdapterInUse,  // another program holds the adapter (ERR_DEVICE_IN_USE)
    AdapterLost,   // the adapter went away during the work
    NoAnswer,      // the ECU said nothing within the time
    Negative,      // the ECU refused (nrc)
    SessionLost,   // the ECU left the diagnostic session the request needs
    Malformed,     // an answer that cannot be read
    Failed,        // any other J2534 failure (detail)
};

struct Outcome {
    Failure failure = Failure::None;
    std::uint8_t nrc = 0;
    std::string detail; // the library's own words or what was malformed, for logs
    Answer answer;      // Positive when failure is None
    bool ok() const { return failure == Failure::None; }
};

class VEHDIAG_COMM_API Link {
public:
    // Time an ECU has for its first answer (P2 with margin), and after each
    // "response pending" (P2*).
    static constexpr unsigned kAnswerMs = 300;
    static constexpr unsigned kPendingMs = 5500;
    // Upper bound of one request, pending answers included.
    static constexpr unsigned kRequestLimitMs = 30000;

    // `fallbackFolder`: where the J2534 library is looked for when it is not
    // registered (the program's folder); `adapter`: PassThruOpen's name
    // (empty: the adapter the service selected).
    Link(std::string fallbackFolder, std::string adapter);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Loads the library and opens the adapter when not open yet.
    Outcome open();
    void close();
    bool isOpen() const;

    // One physical request to an ECU; pending answers are waited for.
    Outcome request(const EcuDefinition& ecu, const Bytes& data);
    // The same request to several ECUs of one bus at once; one outcome each
    // (keyed by response id) within `waitMs`.
    std::map<std::uint32_t, Outcome> requestMany(
        Bus bus, const std::vector<EcuDefinition>& ecus, const Bytes& data, unsigned waitMs = kAnswerMs + 700);
    // A functional request (OBD-II 0x7DF) answered by the ECUs in `ecus`.
    std::map<std::uint32_t, Outcome> functional(
        std::uint32_t functionalId, const std::vector<EcuDefinition>& ecus, const Bytes& data, unsigned waitMs = 1000);

    // Called each ~200 ms while a request waits (progress of long routines).
    void setWaitCallback(std::function<void(unsigned elapsedMs)> callback);
    // A flag another thread sets to end a waiting request early (Failed, "cancelled").
    void setCancelFlag(const std::atomic<bool>* flag);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vehdiag
