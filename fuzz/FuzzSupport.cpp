#include "FuzzSupport.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fuzz {

std::uint8_t Input::byte()
{
    return m_pos < m_size ? m_data[m_pos++] : 0;
}

std::uint16_t Input::u16()
{
    const std::uint16_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
}

std::uint32_t Input::u32()
{
    const std::uint32_t low = u16();
    return low | (std::uint32_t(u16()) << 16);
}

std::string Input::piece()
{
    std::string out;
    while (m_pos < m_size) {
        const std::uint8_t c = m_data[m_pos++];
        if (c == 0xFF)
            break;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::string Input::rest()
{
    std::string out(reinterpret_cast<const char*>(m_data) + m_pos, m_size - m_pos);
    m_pos = m_size;
    return out;
}

std::u32string decodeUtf8(std::string_view text, bool* valid)
{
    std::u32string out;
    bool ok = true;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            length = 1;
            cp = b0;
        } else if (b0 >= 0xC0 && b0 < 0xE0) {
            length = 2;
            cp = b0 & 0x1F;
            min = 0x80;
        } else if (b0 >= 0xE0 && b0 < 0xF0) {
            length = 3;
            cp = b0 & 0x0F;
            min = 0x800;
        } else if (b0 >= 0xF0 && b0 < 0xF5) {
            length = 4;
            cp = b0 & 0x07;
            min = 0x10000;
        }
        bool wellFormed = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; wellFormed && k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xC0) != 0x80)
                wellFormed = false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (wellFormed && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            wellFormed = false;
        if (wellFormed) {
            out.push_back(cp);
            i += length;
        } else {
            out.push_back(0xFFFD);
            ok = false;
            ++i;
        }
    }
    if (valid)
        *valid = ok;
    return out;
}

bool isUtf8(std::string_view text)
{
    bool valid = false;
    decodeUtf8(text, &valid);
    return valid;
}

namespace {

struct Scratch {
    std::string path;
    Scratch()
    {
        std::string base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/bw-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::fprintf(stderr, "cannot create a scratch folder below %s\n", base.c_str());
            std::abort();
        }
        path = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

} // namespace

const std::string& scratchFolder()
{
    static Scratch scratch;
    return scratch.path;
}

void writeFile(const std::string& path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace fuzz
