#include "VehicleSlot.h"

#include <utility>

namespace vciemu {

VehicleSlot::VehicleSlot(vehicle::Scheduler& scheduler, std::string file)
    : m_scheduler(scheduler)
    , m_file(std::move(file))
{
}

VehicleSlot::~VehicleSlot() = default;

vehicle::VehicleWorld* VehicleSlot::world(std::string* error)
{
    if (!m_world) {
        std::string why;
        m_world = vehicle::VehicleWorld::create(m_scheduler, m_file, &why);
        if (!m_world && error)
            *error = "the vehicle cannot be set up: " + why;
    }
    return m_world.get();
}

bool VehicleSlot::load(const std::string& file, std::string* error)
{
    std::string why;
    auto next = vehicle::VehicleWorld::create(m_scheduler, file, &why);
    if (!next) {
        *error = why;
        return false;
    }
    m_world = std::move(next);
    m_file = file;
    return true;
}

void VehicleSlot::reset()
{
    m_world.reset();
}

} // namespace vciemu
