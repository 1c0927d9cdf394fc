// The pass-thru codec (wire/passthru) on bytes from the network, as the J2534
// library reads an adapter's stream and the adapter reads the library's.
// Checks docs/passthru-protocol.md: the reader yields the same frames however
// the stream is cut, none with a length out of range or an unknown type, and
// nothing once it failed; a frame a decoder takes keeps every limit (counts,
// data sizes, texts of UTF-8 within 256 bytes, intervals, states) and encodes
// back to the very bytes it came from.
#include "FuzzSupport.h"

#include "passthru/PassThruWire.h"

#include <vector>

namespace {

using namespace passthru;

std::vector<std::uint8_t> whole(const Frame& f)
{
    const auto n = static_cast<std::uint32_t>(f.payload.size() + 5);
    std::vector<std::uint8_t> out{std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n),
        f.type, std::uint8_t(f.tag >> 24), std::uint8_t(f.tag >> 16), std::uint8_t(f.tag >> 8), std::uint8_t(f.tag)};
    out.insert(out.end(), f.payload.begin(), f.payload.end());
    return out;
}

bool messagesOk(const std::vector<Message>& ms)
{
    if (ms.empty() || ms.size() > kMaxMessagesPerFrame)
        return false;
    for (const Message& m : ms)
        if (m.data.size() > kMaxData)
            return false;
    return true;
}

void checkFrame(const Frame& f)
{
    const std::vector<std::uint8_t> bytes = whole(f);
    BW_FUZZ_CHECK(knownType(f.type));
    BW_FUZZ_CHECK(f.payload.size() + 5 <= kMaxLength);
    OpenRequest open;
    if (decodeOpen(f, &open, nullptr))
        BW_FUZZ_CHECK(
            open.client.size() <= kMaxText && wellFormedUtf8(open.client) && encodeOpen(f.tag, open) == bytes);
    ConnectRequest connect;
    if (decodeConnect(f, &connect, nullptr))
        BW_FUZZ_CHECK(encodeConnect(f.tag, connect) == bytes);
    ChannelRequest channel;
    if (decodeDisconnect(f, &channel, nullptr))
        BW_FUZZ_CHECK(encodeDisconnect(f.tag, channel) == bytes);
    WriteRequest write;
    if (decodeWrite(f, &write, nullptr))
        BW_FUZZ_CHECK(messagesOk(write.messages) && encodeWrite(f.tag, write) == bytes);
    StartPeriodicRequest periodic;
    if (decodeStartPeriodic(f, &periodic, nullptr))
        BW_FUZZ_CHECK(periodic.intervalMs >= kMinPeriodMs && periodic.intervalMs <= kMaxPeriodMs
            && periodic.message.data.size() <= kMaxData && encodeStartPeriodic(f.tag, periodic) == bytes);
    StopRequest stop;
    if (decodeStop(f, &stop, nullptr))
        BW_FUZZ_CHECK(encodeStop(static_cast<Type>(f.type), f.tag, stop) == bytes);
    StartFilterRequest filter;
    if (decodeStartFilter(f, &filter, nullptr))
        BW_FUZZ_CHECK(encodeStartFilter(f.tag, filter) == bytes);
    IoctlRequest ioctl;
    if (decodeIoctl(f, &ioctl, nullptr))
        BW_FUZZ_CHECK(ioctl.pairs.size() <= kMaxIoctlPairs && encodeIoctl(f.tag, ioctl) == bytes);
    if (decodeVersion(f, nullptr))
        BW_FUZZ_CHECK(encodeVersion(f.tag) == bytes);
    Reply reply;
    std::string error;
    if (decodeReply(f, &reply, &error)) {
        BW_FUZZ_CHECK((f.type & kReplyBit) && static_cast<std::uint8_t>(reply.request) == (f.type & ~kReplyBit));
        BW_FUZZ_CHECK(reply.text.size() <= kMaxText && wellFormedUtf8(reply.text) && wellFormedUtf8(reply.serial)
            && wellFormedUtf8(reply.firmwareVersion) && reply.pairs.size() <= kMaxIoctlPairs);
        BW_FUZZ_CHECK(reply.status != 0 || reply.text.empty());
        BW_FUZZ_CHECK(encodeReply(f.tag, reply) == bytes);
    } else {
        BW_FUZZ_CHECK(!error.empty());
    }
    RxEvent rx;
    if (decodeRx(f, &rx, nullptr))
        BW_FUZZ_CHECK(messagesOk(rx.messages) && encodeRx(rx) == bytes);
    LostEvent lost;
    if (decodeLost(f, &lost, nullptr))
        BW_FUZZ_CHECK(encodeLost(lost) == bytes);
    BusEvent bus;
    if (decodeBus(f, &bus, nullptr))
        BW_FUZZ_CHECK(bus.state <= kBusOff && encodeBus(bus) == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk size the stream arrives in.
    const std::size_t chunk = 1 + data[0] % 64;
    const std::uint8_t* bytes = data + 1;
    const std::size_t n = size - 1;

    FrameReader once;
    once.feed(bytes, n);
    std::vector<Frame> all;
    while (auto f = once.next()) {
        all.push_back(*f);
        checkFrame(*f);
    }
    if (once.broken()) {
        BW_FUZZ_CHECK(!once.error().empty());
        const auto more = encodeVersion(1);
        once.feed(more.data(), more.size());
        BW_FUZZ_CHECK(!once.next());
    } else {
        // What is left is the start of one frame.
        BW_FUZZ_CHECK(once.buffered() < 4 + kMaxLength);
    }

    FrameReader pieces;
    std::size_t taken = 0;
    for (std::size_t pos = 0; pos < n && !pieces.broken(); pos += chunk) {
        pieces.feed(bytes + pos, pos + chunk <= n ? chunk : n - pos);
        while (auto f = pieces.next()) {
            BW_FUZZ_CHECK(taken < all.size());
            BW_FUZZ_CHECK(f->type == all[taken].type && f->tag == all[taken].tag && f->payload == all[taken].payload);
            ++taken;
        }
    }
    BW_FUZZ_CHECK(taken == all.size());
    BW_FUZZ_CHECK(pieces.broken() == once.broken());
    return 0;
}
