// A driver package's manifest.json, whatever bytes a package brings. Checks
// docs/drivers.md: an accepted manifest names a known make, a package of
// letters, digits and "_", a printable version of at most 32 characters, and a
// server that is a bare file name (nothing the package libraries could use
// to start a program outside the package's folder); parsing the same text
// again gives the same fields.
#include "FuzzSupport.h"

#include "Mt7628Protocol.h"

#include <driverpkg/Manifest.h>

namespace {

bool bareName(const std::string& s)
{
    return s.find_first_of("/\\:") == std::string::npos && (s.empty() || s[0] != '.') && s.size() <= 64;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    driverpkg::Manifest m;
    if (!driverpkg::parseManifest(text, m))
        return 0;
    BW_FUZZ_CHECK(mt7628::isMakeMode(m.make));
    BW_FUZZ_CHECK(!m.package.empty() && bareName(m.package) && m.package.find('.') == std::string::npos);
    BW_FUZZ_CHECK(!m.version.empty() && m.version.size() <= 32);
    for (unsigned char c : m.version)
        BW_FUZZ_CHECK(c >= 0x20 && c < 0x7f);
    BW_FUZZ_CHECK(bareName(m.server) && bareName(m.product));
    BW_FUZZ_CHECK(driverpkg::serverFile(m.server).find('/') == std::string::npos);
    driverpkg::Manifest again;
    BW_FUZZ_CHECK(driverpkg::parseManifest(text, again));
    BW_FUZZ_CHECK(again.make == m.make && again.package == m.package && again.version == m.version
        && again.server == m.server && again.product == m.product);
    return 0;
}
