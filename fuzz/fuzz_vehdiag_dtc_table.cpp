// The diagnosis component's DTC text tables (components/VehDiag/PubFunctional)
// and its answer decoders: any bytes give a table whose texts are non-empty,
// clean UTF-8 within the length limit, the same on a second reading, and
// refused whole only above the size limit; an answer of any bytes decodes to
// records within the answer's own length.
#include "FuzzSupport.h"

#include <Pub.h>

#include <string>
#include <vector>

using namespace vehdiag;

namespace {

std::string fuzzUpper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    DtcTable table, again;
    std::vector<std::string> problems;
    const bool ok = table.parse(text, &problems);
    BW_FUZZ_CHECK(ok == (size <= DtcTable::kMaxBytes));
    BW_FUZZ_CHECK(problems.size() <= 100);
    BW_FUZZ_CHECK(again.parse(text, nullptr) == ok);
    BW_FUZZ_CHECK(table.size() == again.size());

    // Every code named at a line's start: its texts follow the rules.
    std::size_t pos = 0;
    while (pos + 5 <= text.size()) {
        std::uint8_t hi = 0, lo = 0;
        const std::string code = text.substr(pos, 5);
        if (dtcCode(code, &hi, &lo)) {
            BW_FUZZ_CHECK(dtcName(hi, lo) == std::string(1, code[0]) + fuzzUpper(code.substr(1)));
            for (const char* language : {"en", "es"}) {
                const std::string t = table.text(code, language);
                BW_FUZZ_CHECK(t.size() <= DtcTable::kMaxText);
                BW_FUZZ_CHECK(fuzz::isUtf8(t));
                for (char c : t)
                    BW_FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
                BW_FUZZ_CHECK(t == again.text(code, language));
            }
        }
        const auto next = text.find('\n', pos);
        if (next == std::string::npos)
            break;
        pos = next + 1;
    }

    // The same bytes as an answer to a few services.
    const Bytes bytes(data, data + std::min<std::size_t>(size, kMaxAnswer + 1));
    for (std::uint8_t service : {0x01, 0x03, 0x09, 0x19, 0x22}) {
        const Answer a = classify(service, bytes);
        BW_FUZZ_CHECK(a.kind != AnswerKind::Positive || a.data.size() + 1 == bytes.size());
        if (const auto list = dtcList(a))
            BW_FUZZ_CHECK(list->size() * 4 + 2 == a.data.size());
        if (const auto codes = obdCodes(a))
            BW_FUZZ_CHECK(codes->size() * 2 <= a.data.size());
        if (const auto vin = obdVin(a))
            BW_FUZZ_CHECK(vin->size() == 17);
        if (const auto values = obdValues(a))
            BW_FUZZ_CHECK(values->size() <= a.data.size());
        if (const auto record = didRecord(a, 0xF190))
            BW_FUZZ_CHECK(recordText(*record).size() <= record->size());
    }
    return 0;
}
