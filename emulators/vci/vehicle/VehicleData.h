// The description of a simulated vehicle, read from a JSON file
// (docs/vehicle-simulation.md): its buses, its ECUs with identifiers,
// numbers, data identifiers and stored trouble codes.
#pragma once

#include "CanBus.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vehicle {

using Bytes = std::vector<std::uint8_t>;

struct DtcEntry {
    std::uint32_t code = 0;  // 3 bytes: two of the SAE code and a failure type
    std::uint8_t status = 0; // ISO 14229 status bits
};

struct EcuDescription {
    std::string name; // control commands address the ECU by it
    int pins = 0;     // 0: pins 6/14, 1: pins 3/11
    std::uint32_t requestId = 0;
    std::uint32_t responseId = 0;
    std::uint32_t functionalId = 0; // 0: no functional address
    bool extended = false;          // 29-bit identifiers
    bool fd = false;                // ISO-TP over CAN FD frames
    bool obd = false;               // answers OBD-II (modes 01, 03, 04, 07, 09)
    bool pad = true;
    std::uint8_t padValue = 0xCC;
    std::uint8_t blockSize = 0;
    std::uint8_t stMin = 0;
    std::int64_t answerDelayUs = 1000;
    std::int64_t resetMs = 500;
    std::uint32_t securityConstant = 0x5A3C96E1;
    std::uint16_t routineId = 0x0201;
    std::int64_t routineMs = 3000;
    std::string partNumber;              // F187
    std::string softwareNumber;          // F188
    std::string softwareVersion;         // F189
    std::string supplier;                // F18A
    std::string manufacturingDate;       // F18B
    std::string serialNumber;            // F18C
    std::string hardwareNumber;          // F191
    std::string systemName;              // F197
    std::string ecuName;                 // OBD mode 09 PID 0A
    std::string calibrationId;           // OBD mode 09 PID 04
    std::map<std::uint16_t, Bytes> dids; // further data identifiers
    std::vector<DtcEntry> dtcs;
};

struct VehicleDescription {
    std::string name;
    std::string description;
    std::string vin;
    bool diesel = false;
    double ambientC = 20.0;
    BusRate rates[2];
    std::vector<EcuDescription> ecus;
    std::string file; // where it was read from
};

// Bounds of a vehicle file.
constexpr std::size_t kMaxVehicleFileBytes = 256 * 1024;
constexpr int kMaxVehicleJsonDepth = 8;

// Parses a vehicle description; false with *error naming the problem (and
// where it is) when the text breaks the rules.
bool parseVehicle(const std::string& text, VehicleDescription* description, std::string* error);
bool loadVehicleFile(const std::string& path, VehicleDescription* description, std::string* error);

// The folder of the shipped vehicles: $BW_VEHICLE_DIR, else "vehicles" next
// to the running program.
std::string vehicleDataDir();
// A vehicle file from a name ("default", "diesel-van": a file NAME.json in
// vehicleDataDir()) or a path (anything with a '/' or ending ".json"). Empty
// with *error when there is no such file.
std::string resolveVehicleFile(const std::string& nameOrPath, std::string* error);
// Names of the shipped vehicles.
std::vector<std::string> shippedVehicles();

// "P0301" / "U0121" (+ optional two hex digits of failure type) <-> 3 bytes.
bool parseDtcCode(const std::string& text, std::uint32_t* code);
std::string formatDtcCode(std::uint32_t code);
bool validVin(const std::string& vin);

} // namespace vehicle
