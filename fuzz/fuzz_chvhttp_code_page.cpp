// CHvHttp::CharToWchar on any bytes in a few code pages (docs/http-clients.md):
// code pages 0 and 65001 are UTF-8, where well-formed text converts exactly
// and every byte that starts no well-formed sequence becomes one U+FFFD; a
// single-byte code page gives one character per byte and keeps ASCII; no
// conversion ever gives more characters than bytes or a value that is not
// a Unicode scalar value.
#include "FuzzSupport.h"

#include <http/CHvHttp.h>

namespace {

constexpr unsigned kCodePages[] = {0, 65001, 1252, 1251, 936, 437, 850};

bool isScalar(wchar_t c)
{
    const auto v = static_cast<std::uint32_t>(c);
    return v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t selector = in.byte();
    // Mostly the pages the product uses, sometimes any number at all.
    const unsigned codePage = selector < 224 ? kCodePages[selector % std::size(kCodePages)] : in.u16();
    const std::string text = in.rest();

    const std::wstring wide = CHvHttp::CharToWchar(text, codePage);
    BW_FUZZ_CHECK(wide.size() <= text.size());
    for (wchar_t c : wide)
        BW_FUZZ_CHECK(isScalar(c));

    if (codePage == 0 || codePage == 65001) {
        const std::u32string expected = fuzz::decodeUtf8(text);
        BW_FUZZ_CHECK(wide.size() == expected.size());
        for (std::size_t i = 0; i < wide.size(); ++i)
            BW_FUZZ_CHECK(static_cast<char32_t>(wide[i]) == expected[i]);
    } else if (codePage == 1252 || codePage == 1251 || codePage == 437 || codePage == 850) {
        BW_FUZZ_CHECK(wide.size() == text.size());
        for (std::size_t i = 0; i < text.size(); ++i)
            if (static_cast<unsigned char>(text[i]) < 0x80)
                BW_FUZZ_CHECK(wide[i] == static_cast<wchar_t>(text[i]));
    }
    return 0;
}
