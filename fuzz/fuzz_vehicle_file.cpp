// Vehicle description files (emulators/vci/vehicle/VehicleData): any bytes
// are refused with a message or accepted only as a vehicle within the
// documented limits (docs/vehicle-simulation.md), and reading the same text
// again gives the same vehicle.
#include "FuzzSupport.h"

#include <VehicleData.h>

#include <set>

using namespace vehicle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    VehicleDescription description;
    std::string error;
    const bool ok = parseVehicle(text, &description, &error);
    if (!ok) {
        BW_FUZZ_CHECK(!error.empty());
        return 0;
    }
    BW_FUZZ_CHECK(size <= kMaxVehicleFileBytes);
    BW_FUZZ_CHECK(validVin(description.vin));
    BW_FUZZ_CHECK(!description.name.empty());
    BW_FUZZ_CHECK(!description.ecus.empty() && description.ecus.size() <= 32);
    for (const BusRate& r : description.rates) {
        BW_FUZZ_CHECK(r.bitrate >= 100000 && r.bitrate <= 1000000);
        BW_FUZZ_CHECK(r.dataBitrate == 0 || (r.dataBitrate >= 1000000 && r.dataBitrate <= 5000000));
    }
    std::set<std::string> names;
    for (const EcuDescription& e : description.ecus) {
        BW_FUZZ_CHECK(names.insert(e.name).second);
        BW_FUZZ_CHECK(e.pins == 0 || e.pins == 1);
        const std::uint32_t maxId = e.extended ? 0x1FFFFFFF : 0x7FF;
        BW_FUZZ_CHECK(e.requestId <= maxId && e.responseId <= maxId && e.functionalId <= maxId);
        BW_FUZZ_CHECK(e.requestId != e.responseId);
        BW_FUZZ_CHECK(!e.fd || description.rates[e.pins].dataBitrate != 0);
        BW_FUZZ_CHECK(e.stMin <= 0x7F || (e.stMin >= 0xF1 && e.stMin <= 0xF9));
        BW_FUZZ_CHECK(e.ecuName.size() <= 20 && e.calibrationId.size() <= 16);
        BW_FUZZ_CHECK(e.dtcs.size() <= 255 && e.dids.size() <= 128);
        std::set<std::uint32_t> codes;
        for (const DtcEntry& d : e.dtcs) {
            BW_FUZZ_CHECK(codes.insert(d.code).second);
            // A code prints as it parses.
            std::uint32_t again = 0;
            BW_FUZZ_CHECK(parseDtcCode(formatDtcCode(d.code), &again) && again == d.code);
        }
        for (const auto& did : e.dids)
            BW_FUZZ_CHECK(!did.second.empty() && did.second.size() <= 1024);
    }
    VehicleDescription again;
    BW_FUZZ_CHECK(parseVehicle(text, &again, &error));
    BW_FUZZ_CHECK(again.vin == description.vin && again.ecus.size() == description.ecus.size());
    return 0;
}
