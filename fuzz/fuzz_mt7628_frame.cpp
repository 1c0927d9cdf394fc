// The MT7628 frame codec (components/MT7628Config/protocol), as both the
// library and the adapter emulator use it on bytes from the network. Checks
// docs/mt7628-protocol.md: only one JSON object per line is accepted (no NUL,
// no nesting deeper than 64), whatever the encoder writes the decoder takes
// back unchanged, the line reader cuts a stream exactly at its line ends and
// gives up for good on an over-long line, typed members never convert, and
// copied fields stay terminated and never end inside a UTF-8 sequence.
#include "FuzzSupport.h"

#include <Mt7628Protocol.h>

#include <json/value.h>

#include <cstring>
#include <limits>
#include <vector>

namespace {

int depth(const Json::Value& v)
{
    int deepest = 0;
    if (v.isObject() || v.isArray())
        for (const Json::Value& child : v)
            deepest = std::max(deepest, depth(child));
    return (v.isObject() || v.isArray()) ? deepest + 1 : 0;
}

void checkMembers(const Json::Value& object)
{
    for (const std::string& name : object.getMemberNames()) {
        const Json::Value& v = object[name];
        std::string s;
        bool b = false;
        std::uint32_t u = 0;
        std::int32_t i = 0;
        BW_FUZZ_CHECK(
            mt7628::getString(object, name.c_str(), s) == v.isString() || name.find('\0') != std::string::npos);
        BW_FUZZ_CHECK(mt7628::getBool(object, name.c_str(), b) == v.isBool() || name.find('\0') != std::string::npos);
        if (mt7628::getUInt(object, name.c_str(), u))
            BW_FUZZ_CHECK(v.isNumeric() && v.isIntegral() && v.asDouble() >= 0 && v.asDouble() == double(u));
        if (mt7628::getInt(object, name.c_str(), i))
            BW_FUZZ_CHECK(v.isNumeric() && v.isIntegral() && v.asDouble() == double(i));
        if (v.isString() || v.isBool() || v.isNull() || v.isObject() || v.isArray())
            BW_FUZZ_CHECK(!mt7628::getUInt(object, name.c_str(), u) && !mt7628::getInt(object, name.c_str(), i));
        if (!v.isString())
            continue;
        // A text copied into a fixed field of any size.
        const std::string text = v.asString();
        for (std::size_t width : {std::size_t(1), std::size_t(5), std::size_t(17), std::size_t(33)}) {
            std::vector<char> field(width, 'x');
            mt7628::copyField(field.data(), width, text);
            BW_FUZZ_CHECK(field[width - 1] == '\0');
            const std::size_t n = std::min(text.size(), width - 1);
            BW_FUZZ_CHECK(std::memcmp(field.data(), text.data(), ::strnlen(field.data(), width)) == 0);
            if (text.size() <= width - 1)
                BW_FUZZ_CHECK(std::memcmp(field.data(), text.data(), n) == 0);
            if (fuzz::isUtf8(text) && text.find('\0') == std::string::npos)
                BW_FUZZ_CHECK(fuzz::isUtf8(std::string_view(field.data(), ::strnlen(field.data(), width))));
        }
    }
    bool ok = false;
    BW_FUZZ_CHECK(mt7628::replyOk(object) == (mt7628::getBool(object, "ok", ok) && ok));
}

// The upload frames: a begin request is taken only with a known image and a
// positive length, and what the request builder writes reads back the same;
// a module's line is a refusal only when "ok" is false, and the module's
// acknowledgement and result read back as they were written.
void checkUpload(const Json::Value& object)
{
    mt7628::ImageKind kind = mt7628::ImageKind::System;
    std::uint32_t length = 0;
    std::string why;
    if (mt7628::parseUploadBegin(object, kind, length, &why)) {
        BW_FUZZ_CHECK(length > 0 && why.empty());
        mt7628::ImageKind again = mt7628::ImageKind::System;
        std::uint32_t sameLength = 0;
        BW_FUZZ_CHECK(mt7628::parseUploadBegin(mt7628::uploadBeginRequest(kind, length), again, sameLength, nullptr));
        BW_FUZZ_CHECK(again == kind && sameLength == length);
    } else {
        BW_FUZZ_CHECK(!why.empty());
    }
    const mt7628::UploadLine line = mt7628::readUploadLine(object);
    bool ok = true;
    if (line.kind == mt7628::UploadLine::Refused)
        BW_FUZZ_CHECK(mt7628::getBool(object, "ok", ok) && !ok);
    if (line.kind == mt7628::UploadLine::Progress) {
        const mt7628::UploadLine back = mt7628::readUploadLine(mt7628::uploadProgressReply(line.received));
        BW_FUZZ_CHECK(back.kind == mt7628::UploadLine::Progress && back.received == line.received);
    }
    if (line.kind == mt7628::UploadLine::Written) {
        const mt7628::UploadLine back = mt7628::readUploadLine(mt7628::uploadWrittenReply(line.text));
        BW_FUZZ_CHECK(back.kind == mt7628::UploadLine::Written && back.text == line.text);
    }
}

// The line reader against the documented rule: lines in order, a CR before
// the LF dropped, until a line (or the unfinished rest) of `max` bytes or
// more, after which nothing comes.
void checkReader(const std::string& stream, std::size_t max, std::uint8_t seed)
{
    std::vector<std::string> expected;
    bool expectOverflow = false;
    std::size_t start = 0;
    while (start < stream.size()) {
        const std::size_t nl = stream.find('\n', start);
        const std::size_t length = (nl == std::string::npos ? stream.size() : nl) - start;
        if (length >= max) {
            expectOverflow = true;
            break;
        }
        if (nl == std::string::npos)
            break;
        std::string line = stream.substr(start, length);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        expected.push_back(line);
        start = nl + 1;
    }

    mt7628::FrameReader reader(max);
    std::vector<std::string> got;
    std::size_t pos = 0;
    unsigned state = seed | 1u;
    while (pos < stream.size()) {
        state = state * 1103515245u + 12345u;
        const std::size_t chunk = std::min<std::size_t>(stream.size() - pos, 1 + (state >> 16) % 97);
        reader.append(stream.data() + pos, chunk);
        pos += chunk;
        std::string line;
        while (reader.next(line))
            got.push_back(line);
    }
    BW_FUZZ_CHECK(reader.overflow() == expectOverflow);
    BW_FUZZ_CHECK(got == expected);
    if (reader.overflow())
        BW_FUZZ_CHECK(reader.buffered() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);

    Json::Value object;
    std::string error;
    if (mt7628::decodeFrame(line, object, &error)) {
        BW_FUZZ_CHECK(object.isObject() && error.empty());
        std::size_t end = line.size();
        if (end > 0 && line[end - 1] == '\n')
            --end;
        BW_FUZZ_CHECK(std::memchr(line.data(), '\0', end) == nullptr);
        BW_FUZZ_CHECK(depth(object) <= 64);
        checkMembers(object);
        checkUpload(object);
        // Whatever one side can encode, the other side decodes unchanged.
        const std::string encoded = mt7628::encodeFrame(object);
        if (!encoded.empty()) {
            BW_FUZZ_CHECK(encoded.size() <= mt7628::kMaxFrameBytes);
            BW_FUZZ_CHECK(encoded.find('\n') == encoded.size() - 1);
            BW_FUZZ_CHECK(encoded.find('\r') == std::string::npos);
            Json::Value back;
            std::string why;
            BW_FUZZ_CHECK(mt7628::decodeFrame(encoded, back, &why));
            BW_FUZZ_CHECK(back == object);
        }
    } else {
        BW_FUZZ_CHECK(object.isNull() && !error.empty());
    }

    const std::size_t max = size > 0 ? 1 + data[0] % 64 : mt7628::kMaxFrameBytes;
    checkReader(line, max, size > 1 ? data[1] : 0);
    checkReader(line, mt7628::kMaxFrameBytes, size > 2 ? data[2] : 0);
    return 0;
}
