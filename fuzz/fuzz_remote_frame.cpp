// The remote-session frame codec (wire/remote), as the relay and the session
// libraries use it on bytes from the network. Checks docs/remote-protocol.md:
// the reader yields the same frames however the stream is cut, never a frame
// with a length of 0 or over the cap, nothing once it failed; a message its
// parser takes has fields within their rules and encodes back to the very
// bytes it came from.
#include "FuzzSupport.h"

#include "remote/Frame.h"

#include <string>
#include <vector>

namespace {

using namespace remote;

std::string whole(const Frame& f)
{
    const std::uint32_t n = static_cast<std::uint32_t>(f.payload.size() + 1);
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
        static_cast<char>(n), static_cast<char>(f.type)};
    return out + f.payload;
}

bool printableText(const std::string& s, bool blanks)
{
    for (const char c : s)
        if (c < (blanks ? 0x20 : 0x21) || c > 0x7E)
            return false;
    return true;
}

void checkMessage(const Frame& f)
{
    const std::string bytes = whole(f);
    RegisterMsg reg;
    if (parseRegister(f, reg, nullptr)) {
        BW_FUZZ_CHECK(validSerial(reg.serial) && validKey(reg.key) && reg.code <= kMaxCode);
        BW_FUZZ_CHECK(encodeRegister(reg) == bytes);
    }
    LookupMsg lookup;
    if (parseLookup(f, lookup, nullptr))
        BW_FUZZ_CHECK(validSerial(lookup.serial) && encodeLookup(lookup) == bytes);
    ConnectMsg connect;
    if (parseConnect(f, connect, nullptr))
        BW_FUZZ_CHECK(validSerial(connect.serial) && connect.code <= kMaxCode && encodeConnect(connect) == bytes);
    AckMsg ack;
    if (parseAck(f, ack, nullptr))
        BW_FUZZ_CHECK(printableText(ack.text, true) && ack.text.size() <= kMaxText && encodeAck(f.type, ack) == bytes);
    std::string peer;
    if (parseSession(f, peer, nullptr))
        BW_FUZZ_CHECK(printableText(peer, true) && encodeSession(peer) == bytes);
    StreamMsg stream;
    if (parseStream(f, stream, nullptr)) {
        if (f.type == Type::Data) {
            BW_FUZZ_CHECK(!stream.data.empty() && stream.data.size() <= kMaxData);
            std::string again;
            appendData(again, stream.stream, stream.data.data(), stream.data.size());
            BW_FUZZ_CHECK(again == bytes);
        } else {
            BW_FUZZ_CHECK(f.type == Type::Open || !stream.targetGiven);
            const std::string again = f.type != Type::Open ? encodeClose(stream.stream)
                : stream.targetGiven                       ? encodeOpen(stream.stream, stream.target)
                                                           : encodeOpen(stream.stream);
            BW_FUZZ_CHECK(again == bytes);
        }
    }
    PingMsg ping;
    if (parsePing(f, ping, nullptr))
        BW_FUZZ_CHECK(ping.delay >= -1 && encodePing(f.type, ping) == bytes);
    EndMsg end;
    if (parseEnd(f, end, nullptr))
        BW_FUZZ_CHECK(printableText(end.text, true) && encodeEnd(end) == bytes);
    ChallengeMsg challenge;
    if (parseChallenge(f, challenge, nullptr))
        BW_FUZZ_CHECK(challenge.nonce.size() == kNonceSize && encodeChallenge(challenge) == bytes);
    ProofMsg proof;
    if (parseProof(f, proof, nullptr))
        BW_FUZZ_CHECK(validSerial(proof.serial) && validKey(proof.key) && proof.proof.size() == kProofSize
            && encodeProof(proof) == bytes);
    BW_FUZZ_CHECK(printableText(std::string(typeName(f.type)), false));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk size the stream arrives in.
    const std::size_t chunk = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t n = size - 1;

    FrameReader once;
    once.feed(bytes, n);
    std::vector<Frame> all;
    Frame f;
    FrameReader::Result last;
    while ((last = once.next(f)) == FrameReader::Result::Frame) {
        BW_FUZZ_CHECK(f.payload.size() + 1 <= kMaxBody);
        all.push_back(f);
        checkMessage(f);
    }
    if (last == FrameReader::Result::Error) {
        BW_FUZZ_CHECK(!once.error().empty());
        const std::string more = encodeOpen(1);
        once.feed(more.data(), more.size());
        BW_FUZZ_CHECK(once.next(f) == FrameReader::Result::Error);
    }

    FrameReader pieces;
    std::size_t taken = 0;
    bool failed = false;
    for (std::size_t pos = 0; pos < n && !failed; pos += chunk) {
        pieces.feed(bytes + pos, pos + chunk <= n ? chunk : n - pos);
        for (;;) {
            const auto r = pieces.next(f);
            if (r == FrameReader::Result::NeedMore)
                break;
            if (r == FrameReader::Result::Error) {
                failed = true;
                break;
            }
            BW_FUZZ_CHECK(taken < all.size());
            BW_FUZZ_CHECK(f.type == all[taken].type && f.payload == all[taken].payload);
            ++taken;
        }
    }
    BW_FUZZ_CHECK(taken == all.size());
    BW_FUZZ_CHECK(failed == (last == FrameReader::Result::Error));
    return 0;
}
