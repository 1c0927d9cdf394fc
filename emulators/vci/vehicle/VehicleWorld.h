// The vehicle side of one emulated adapter: the OBD connector's two CAN buses
// (pins 6/14 and pins 3/11) with the simulated vehicle's ECUs on them, and
// the control commands that change the vehicle. Created on the emulator's
// shared scheduler; scheduler thread only unless said otherwise.
#pragma once

#include "CanBus.h"
#include "Scheduler.h"
#include "VehicleData.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vehicle {

enum class Pins { P6_14 = 0, P3_11 = 1 };

class VehicleWorld {
public:
    // `vehicleFile`: a vehicle description (docs/vehicle-simulation.md); empty
    // for the default vehicle. false with *error on a file that breaks the rules.
    // A name of a shipped vehicle ("default", see resolveVehicleFile) works too.
    static std::unique_ptr<VehicleWorld> create(
        Scheduler& scheduler, const std::string& vehicleFile, std::string* error);
    // From a description already read.
    static std::unique_ptr<VehicleWorld> create(Scheduler& scheduler, const VehicleDescription& description);
    virtual ~VehicleWorld() = default;

    virtual CanBus& bus(Pins pins) = 0;

    // One control command's words (after "vehicle N"), one answer line:
    // "OK ..." or "ERR ...". docs/vci-emulator.md lists them.
    virtual std::string control(const std::vector<std::string>& words) = 0;
    // The same for a command whose answer comes later (the scripted tester's
    // "ask" waits for the ECU's answer): `done` runs exactly once on the
    // scheduler thread, at the latest when the command's bounded wait ends.
    // Other commands call `done` before returning.
    virtual void control(const std::vector<std::string>& words, std::function<void(const std::string&)> done) = 0;
    // Whether `words` name a command that answers later (see above).
    static bool answersLater(const std::vector<std::string>& words);
    // A JSON object describing the vehicle state, for "dump".
    virtual std::string dumpJson() const = 0;

    // The vehicle as described by its file.
    virtual const VehicleDescription& description() const = 0;
};

} // namespace vehicle
