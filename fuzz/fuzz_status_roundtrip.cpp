// The service -> manager round trip of the status block: the service writes
// whatever an adapter reported (composeStatusText), the manager reads the
// block (interpretStatusBlock). Every field must come back as the cleaned
// value (no control characters, no " = ", no surrounding blanks, cut on a
// UTF-8 boundary to its field), and no value can set another field.
#include "FuzzSupport.h"

#include <blocks/StatusBlock.h>
#include <device/VciStatusRecord.h>

#include <array>
#include <cstring>
#include <string>

namespace {

using blocks::StatusKey;

constexpr std::array<StatusKey, 8> kTextKeys{StatusKey::SN, StatusKey::testIP, StatusKey::vciIP, StatusKey::softVer,
    StatusKey::FirmwareVersion, StatusKey::portNumber, StatusKey::key, StatusKey::DllVersion};

std::string& member(blocks::StatusValues& v, StatusKey k)
{
    switch (k) {
    case StatusKey::SN:
        return v.SN;
    case StatusKey::testIP:
        return v.testIP;
    case StatusKey::vciIP:
        return v.vciIP;
    case StatusKey::softVer:
        return v.softVer;
    case StatusKey::FirmwareVersion:
        return v.FirmwareVersion;
    case StatusKey::portNumber:
        return v.portNumber;
    case StatusKey::key:
        return v.key;
    case StatusKey::DllVersion:
        return v.DllVersion;
    default:
        return v.connType;
    }
}

template <std::size_t N>
std::string fieldText(const char (&field)[N])
{
    return std::string(field, ::strnlen(field, N));
}

std::string recordField(const VciStatusRecord& r, StatusKey k)
{
    switch (k) {
    case StatusKey::SN:
        return fieldText(r.SN);
    case StatusKey::testIP:
        return fieldText(r.testIP);
    case StatusKey::vciIP:
        return fieldText(r.vciIP);
    case StatusKey::softVer:
        return fieldText(r.softVer);
    case StatusKey::FirmwareVersion:
        return fieldText(r.FirmwareVersion);
    case StatusKey::portNumber:
        return fieldText(r.portNumber);
    case StatusKey::key:
        return fieldText(r.key);
    default:
        return fieldText(r.DllVersion);
    }
}

// Writes the values as the service does and reads them as the manager does.
StatusReading roundTrip(const blocks::StatusValues& values)
{
    const std::string text = blocks::composeStatusText(values);
    BW_FUZZ_CHECK(text.size() < blocks::kStatusBlockSize); // the whole text always fits
    unsigned char block[blocks::kStatusBlockSize];
    std::memset(block, 0xAA, sizeof block);
    blocks::storeStatusText(block, sizeof block, text);
    BW_FUZZ_CHECK(blocks::blockText(block, sizeof block) == text);
    return interpretStatusBlock(block, sizeof block);
}

// What the reader may show of a value: the value without control characters
// and without surrounding blanks, or a prefix of that (on a UTF-8 boundary,
// no trailing blank) when it is longer than the field; nothing when it holds
// the separator.
void checkCleaned(const std::string& written, const std::string& read, std::size_t width)
{
    std::string cleaned;
    for (char c : written)
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            cleaned.push_back(c);
    if (cleaned.find(" = ") != std::string::npos) {
        BW_FUZZ_CHECK(read.empty());
        return;
    }
    const std::size_t b = cleaned.find_first_not_of(' ');
    cleaned = b == std::string::npos ? std::string() : cleaned.substr(b, cleaned.find_last_not_of(' ') - b + 1);
    BW_FUZZ_CHECK(read.size() <= width - 1);
    if (cleaned.size() <= width - 1) {
        BW_FUZZ_CHECK(read == cleaned);
        return;
    }
    BW_FUZZ_CHECK(cleaned.compare(0, read.size(), read) == 0);
    BW_FUZZ_CHECK(read.empty() || read.back() != ' ');
    if (fuzz::isUtf8(cleaned))
        BW_FUZZ_CHECK(fuzz::isUtf8(read));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    blocks::StatusValues values;
    for (StatusKey k : kTextKeys)
        member(values, k) = in.piece();
    values.connType = in.piece();
    values.status = in.u32();
    values.vbatt = in.u32();

    const StatusReading all = roundTrip(values);
    BW_FUZZ_CHECK(all.present);
    BW_FUZZ_CHECK(all.record.status == values.status);
    BW_FUZZ_CHECK(all.record.vbatt == values.vbatt);
    BW_FUZZ_CHECK(all.record.connType == connTypeFromText(values.connType));
    BW_FUZZ_CHECK(blocks::isConnTypeName(values.connType) == (all.record.connType != CONN_NONE));

    for (StatusKey k : kTextKeys) {
        const std::string read = recordField(all.record, k);
        checkCleaned(member(values, k), read, blocks::keyInfo(k).width);
        // The same value written alone reads back the same: what the other
        // fields hold cannot change it.
        blocks::StatusValues alone;
        member(alone, k) = member(values, k);
        const StatusReading single = roundTrip(alone);
        BW_FUZZ_CHECK(recordField(single.record, k) == read);
        // ... and it sets no other field.
        for (StatusKey other : kTextKeys)
            BW_FUZZ_CHECK(other == k || recordField(single.record, other).empty());
        BW_FUZZ_CHECK(single.record.status == 0 && single.record.vbatt == 0 && single.record.connType == CONN_NONE);
    }
    return 0;
}
