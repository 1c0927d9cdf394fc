// Bytes from the bus into a simulated ECU: ISO-TP frames into the ECU's
// link and whole requests into its UDS / OBD-II logic, in any order and at
// any time; and control commands into the vehicle. Every answer is nothing, a positive answer to the service or a
// negative response with its code; a functional request never gets a "not
// supported" answer; reassembled messages have the announced length within
// 4095 bytes; a control command answers one line, OK or ERR
// (docs/vehicle-simulation.md).
#include "FuzzSupport.h"

#include <CanBus.h>
#include <EcuLogic.h>
#include <IsoTp.h>
#include <Scheduler.h>
#include <VehicleWorld.h>

using namespace vehicle;

namespace {

VehicleDescription vehicleUnderTest()
{
    VehicleDescription v;
    v.name = "fuzz";
    v.vin = "WBWHB71J7P5123456";
    EcuDescription e;
    e.name = "engine";
    e.requestId = 0x7E0;
    e.responseId = 0x7E8;
    e.functionalId = 0x7DF;
    e.obd = true;
    e.partNumber = "04E906027JT";
    e.ecuName = "ECM-EngineControl";
    e.calibrationId = "CAL1";
    e.routineMs = 100;
    e.dids[0x0100] = {1, 2, 3};
    e.dtcs = {{0x030100, 0x2F}, {0x042000, 0x24}};
    v.ecus.push_back(e);
    return v;
}

struct Sink : CanListener {
    void received(const CanFrame&, Micros) override { }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const VehicleDescription vehicle = vehicleUnderTest();
    EcuLogic logic(vehicle.ecus[0], vehicle, 0);

    // The scheduler is never started: timers are only recorded.
    Scheduler scheduler;
    CanBus bus(scheduler, "6-14", BusRate{500000, 0});
    Sink sink;
    const CanBus::NodeId node = bus.attach(&sink, bus.rate());
    std::size_t announced = 0;
    std::vector<Bytes> messages;
    IsoTpConfig c;
    c.txId = 0x7E8;
    c.rxId = 0x7E0;
    c.blockSize = 2;
    IsoTpLink::Callbacks cb;
    cb.firstFrame = [&](std::uint32_t length, Micros) { announced = length; };
    cb.received = [&](const Bytes& m, Micros) { messages.push_back(m); };
    IsoTpLink link(scheduler, bus, node, c, cb);
    std::unique_ptr<VehicleWorld> world;

    Micros now = 0;
    while (!in.empty()) {
        const std::uint8_t op = in.byte();
        now += Micros(in.byte()) * 50000; // up to 12.75 s later
        const std::size_t length = in.byte() % 65;
        Bytes bytes;
        for (std::size_t i = 0; i < length && !in.empty(); ++i)
            bytes.push_back(in.byte());
        if (op & 4) {
            // A control command: one answer line, "OK ..." or "ERR ...".
            if (!world)
                world = VehicleWorld::create(scheduler, vehicle);
            std::vector<std::string> words;
            std::string word;
            for (std::uint8_t b : bytes) {
                if (b == ' ') {
                    if (!word.empty())
                        words.push_back(word);
                    word.clear();
                } else {
                    word += char(b);
                }
            }
            if (!word.empty())
                words.push_back(word);
            const std::string answer = world->control(words);
            BW_FUZZ_CHECK(answer.rfind("OK ", 0) == 0 || answer.rfind("ERR ", 0) == 0);
            BW_FUZZ_CHECK(answer.find('\n') == std::string::npos);
            continue;
        }
        if (op & 1) {
            // A CAN frame heard by the ECU's ISO-TP link.
            CanFrame f;
            f.id = (op & 2) ? 0x7E0 : 0x7DF;
            f.fd = bytes.size() > 8;
            f.length = f.fd ? fdLengthFor(bytes.size()) : std::uint8_t(bytes.size());
            std::copy(bytes.begin(), bytes.end(), f.data.begin());
            const std::size_t before = messages.size();
            link.onFrame(f, now);
            if (messages.size() > before) {
                const Bytes& m = messages.back();
                BW_FUZZ_CHECK(!m.empty() && m.size() <= IsoTpLink::kMaxClassicMessage);
                // A multi-frame message has the length its first frame announced.
                if (m.size() > 7 && !f.fd)
                    BW_FUZZ_CHECK(m.size() == announced);
                messages.clear();
            }
            continue;
        }
        const bool functional = op & 2;
        if (bytes.empty())
            continue;
        const EcuLogic::Reply r = logic.handle(bytes, functional, now);
        BW_FUZZ_CHECK(r.answer.size() <= 4095 && r.later.size() <= 4095);
        if (r.answer.empty()) {
            BW_FUZZ_CHECK(r.later.empty());
            continue;
        }
        const std::uint8_t sid = bytes[0];
        if (r.answer[0] == 0x7F) {
            BW_FUZZ_CHECK(r.answer.size() == 3 && r.answer[1] == sid);
            const std::uint8_t code = r.answer[2];
            if (functional)
                BW_FUZZ_CHECK(code != 0x11 && code != 0x12 && code != 0x31 && code != 0x7E && code != 0x7F);
            // Only a pending answer is followed by another.
            BW_FUZZ_CHECK(r.later.empty() || (code == 0x78 && r.laterAfter > 0 && r.later[0] == sid + 0x40));
        } else {
            BW_FUZZ_CHECK(r.answer[0] == std::uint8_t(sid + 0x40));
            BW_FUZZ_CHECK(r.later.empty());
        }
    }
    return 0;
}
