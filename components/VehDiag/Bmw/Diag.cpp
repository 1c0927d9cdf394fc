// The "Bmw" make library: its ECU list (both buses of the OBD connector),
// its routine, its live values, its SecurityAccess key and its trouble-code
// texts (DtcText.txt in the make folder), left in the component's registry.
#include "Pub.h"
#include "vehdiag/Exports.h"

#include <string>

namespace {

using vehdiag::Bus;

struct EcuKey {
    const char* ecu;
    std::uint32_t constant;
};

// The per-ECU constants of the key algorithm.
const EcuKey kKeys[] = {{"engine", 0x5A3C96E1}, {"transmission", 0x1F2E3D4C}, {"abs", 0x600DF00D}, {"body", 0x0BADCAFE},
    {"gateway", 0x5A3C96E1}};

// key = ROL32(seed XOR constant, 3), both 4 bytes big-endian.
vehdiag::Bytes keyFromSeed(const std::string& ecu, const vehdiag::Bytes& seed)
{
    if (seed.size() != 4)
        return {};
    for (const EcuKey& k : kKeys) {
        if (ecu != k.ecu)
            continue;
        std::uint32_t s
            = (std::uint32_t(seed[0]) << 24) | (std::uint32_t(seed[1]) << 16) | (std::uint32_t(seed[2]) << 8) | seed[3];
        s ^= k.constant;
        const std::uint32_t key = (s << 3) | (s >> 29);
        return {std::uint8_t(key >> 24), std::uint8_t(key >> 16), std::uint8_t(key >> 8), std::uint8_t(key)};
    }
    return {};
}

} // namespace

extern "C" __attribute__((visibility("default"))) int VEHDIAG_CALL DiagEntry(const char* makeFolder)
{
    if (!makeFolder)
        return 1;
    vehdiag::MakeDefinition make;
    make.make = "Bmw";
    make.ecus = {
        {"engine", "Engine", Bus::Obd, 0x7E0, 0x7E8, true},
        {"transmission", "Transmission", Bus::Obd, 0x7E1, 0x7E9, false},
        {"abs", "ABS / ESC", Bus::Obd, 0x7E2, 0x7EA, false},
        {"body", "Body", Bus::Body, 0x740, 0x748, false},
        {"gateway", "Gateway", Bus::Body, 0x710, 0x77A, false},
    };
    make.routines = {{"engine", "Engine self test", 0x0201, 3000, 1}};
    make.live = {{0x0C, "Engine speed"}, {0x0D, "Vehicle speed"}, {0x05, "Coolant temperature"}, {0x04, "Engine load"},
        {0x11, "Throttle position"}, {0x10, "Air mass flow"}, {0x0F, "Intake air temperature"},
        {0x42, "Module voltage"}};
    make.key = keyFromSeed;
    std::string folder = makeFolder;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    std::vector<std::string> problems;
    // Texts are a help, not a condition: codes without a text still show.
    make.dtcTexts.load(folder + "DtcText.txt", &problems);
    vehdiag::Registry::instance().registerMake(std::move(make));
    return 0;
}
