// Firmware images (wire/firmware) as a flasher reads a downloaded file: the
// header reader and the whole check never read outside the bytes, an image
// passes only with a header, a marker of the type, the stated length and
// CRC-32, and a passing image's header written again is the same bytes.
#include "FuzzSupport.h"

#include <firmware/FirmwareImage.h>

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<firmware::Header> header = firmware::readHeader(data, size);
    if (header) {
        BW_FUZZ_CHECK(size >= 64);
        const std::optional<std::string> text = firmware::headerText(*header);
        BW_FUZZ_CHECK(text.has_value() && text->size() < 64);
        firmware::versionNumber(header->version);
    }
    for (const char* type : {"KestrixMT7628_NEWFirmware", "KestrixMT7628_NEWApp", "M5093K_E508FirmWare"}) {
        const firmware::Check check = firmware::checkImage(data, size, type);
        BW_FUZZ_CHECK(std::strlen(firmware::checkText(check)) > 0);
        if (check != firmware::Check::Ok)
            continue;
        BW_FUZZ_CHECK(header && header->length == size - 64);
        BW_FUZZ_CHECK(firmware::crc32(data + 64, size - 64) == header->crc32);
        // Built again from what was read, the image is what came in, up to
        // the header's padding.
        const std::vector<unsigned char> payload(data + 64, data + size);
        const std::vector<unsigned char> rebuilt = firmware::buildImage(header->marker, header->version, payload);
        BW_FUZZ_CHECK(rebuilt.size() == size);
        BW_FUZZ_CHECK(std::memcmp(rebuilt.data() + 64, data + 64, size - 64) == 0);
        BW_FUZZ_CHECK(firmware::readHeader(rebuilt.data(), rebuilt.size())->crc32 == header->crc32);
    }
    return 0;
}
