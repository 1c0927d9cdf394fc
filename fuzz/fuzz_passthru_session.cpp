// The adapter emulator's pass-thru session (emulators/vci/passthru) on
// request frames from a client: the stream is split by the codec's reader
// and every frame that decodes as a request is run by an opened session on
// the connector's two buses. Checks docs/vci-emulator.md, "Pass-thru": every
// request is answered once with its own tag (a WRITE that waits for the bus
// at most once), a session never holds more than 4 channels, and ending it
// leaves none of its frames queued on a bus.
#include "FuzzSupport.h"

#include "passthru/PassThruOutbox.h"
#include "passthru/PassThruSession.h"

#include <map>
#include <memory>

using namespace vciemu;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Not started: timers are set but never run, so the case is deterministic.
    vehicle::Scheduler scheduler;
    vehicle::CanBus bus614(scheduler, "6/14", vehicle::BusRate{500000, 2000000});
    vehicle::CanBus bus311(scheduler, "3/11", vehicle::BusRate{500000, 0});
    PassThruOutbox outbox;
    std::map<std::uint32_t, int> asked;  // tag -> requests with it
    std::map<std::uint32_t, int> writes; // tag -> WRITEs that may wait
    {
        PassThruSession session(
            scheduler, [&](vehicle::Pins p, std::string*) { return p == vehicle::Pins::P6_14 ? &bus614 : &bus311; },
            outbox);
        const PassThruSession::Device device{"MT7628 V2.0.1", "M5EA0001XJ7B0001", 12340};
        PassThruRequest open;
        open.type = passthru::Type::Open;
        open.tag = 0xFFFFFFFF;
        session.handle(open, device);
        ++asked[open.tag];

        passthru::FrameReader reader;
        reader.feed(data, size);
        while (auto frame = reader.next()) {
            PassThruRequest rq;
            std::string error;
            if (!decodePassThruRequest(*frame, &rq, &error))
                continue; // the endpoint closes the connection here
            session.handle(rq, device);
            ++asked[rq.tag];
            if (rq.type == passthru::Type::Write && rq.write.timeoutMs > 0)
                ++writes[rq.tag];
            BW_FUZZ_CHECK(session.channelCount() <= passthru::kMaxChannels);
        }
        BW_FUZZ_CHECK(session.opened());
    }
    for (const vehicle::CanBus* bus : {&bus614, &bus311})
        for (vehicle::CanBus::NodeId node = 1; node < 64; ++node)
            BW_FUZZ_CHECK(bus->queued(node) == 0);
    std::map<std::uint32_t, int> answered;
    PassThruOutbox::Item item;
    while (outbox.take(&item))
        if (item.isReply)
            ++answered[item.tag];
    for (const auto& [tag, n] : answered)
        BW_FUZZ_CHECK(asked.count(tag) && n <= asked[tag]);
    for (const auto& [tag, n] : asked)
        BW_FUZZ_CHECK(answered[tag] + writes[tag] >= n);
    return 0;
}
