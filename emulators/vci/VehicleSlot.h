// The simulated vehicle behind one emulated adapter, created on first need
// (a pass-thru channel, a vehicle control command, the dump) so that a
// thousand idle adapters cost no vehicle simulation. Scheduler thread only,
// except where said.
#pragma once

#include "vehicle/Scheduler.h"
#include "vehicle/VehicleWorld.h"

#include <memory>
#include <string>

namespace vciemu {

class VehicleSlot {
public:
    // `file`: the vehicle description, empty for the default vehicle.
    VehicleSlot(vehicle::Scheduler& scheduler, std::string file);
    ~VehicleSlot();

    vehicle::Scheduler& scheduler() { return m_scheduler; }

    // The vehicle, created now if it was not; nullptr with *error when its
    // file is unusable.
    vehicle::VehicleWorld* world(std::string* error);
    // The vehicle if it exists, without creating it.
    vehicle::VehicleWorld* existing() { return m_world.get(); }
    // Replaces the vehicle with the one described by `file` (nothing may be
    // attached to the old one's buses); false with *error, keeping the old one.
    bool load(const std::string& file, std::string* error);
    // Drops the vehicle (before the scheduler stops).
    void reset();

private:
    vehicle::Scheduler& m_scheduler;
    std::string m_file;
    std::unique_ptr<vehicle::VehicleWorld> m_world;
};

} // namespace vciemu
