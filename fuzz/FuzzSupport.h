// Helpers of the fuzz targets: a reader that takes typed pieces from the
// fuzzer's bytes, the check that turns a broken property into a crash that
// libFuzzer records, a strict UTF-8 decoder to compare against, and a private
// scratch folder for the file-backed stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// A property from our documentation that does not hold: print where and
// abort, so libFuzzer saves the input as a crash.
#define BW_FUZZ_CHECK(cond)                                                                                            \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #cond);                    \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace fuzz {

// Consumes the fuzzer's bytes front to back. Exhausted reads give zeros and
// empty pieces, so every input is a complete case.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool empty() const { return m_pos >= m_size; }
    std::uint8_t byte();
    std::uint16_t u16();
    std::uint32_t u32();
    // The bytes up to the next 0xFF (dropped) or the end. 0xFF never occurs
    // in UTF-8, so the seed files stay readable text with 0xFF between fields.
    std::string piece();
    // Everything not read yet.
    std::string rest();

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Code points of a byte string; every byte that does not start a well-formed
// sequence (overlong forms, surrogates and values above U+10FFFF are not
// well-formed) gives one U+FFFD. `valid` says whether there was none.
std::u32string decodeUtf8(std::string_view text, bool* valid = nullptr);
bool isUtf8(std::string_view text);

// A folder of this process on a memory file system when one is writable
// (/dev/shm), else below $TMPDIR or /tmp; removed at exit.
const std::string& scratchFolder();
void writeFile(const std::string& path, std::string_view content);
std::string readFile(const std::string& path);

} // namespace fuzz
