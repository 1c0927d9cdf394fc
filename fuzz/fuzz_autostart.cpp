// The autostart entry (platform/posix/Autostart.cpp): any desktop file in its
// place, and any value written and read back. Checks docs/platform.md: the
// read value is the Exec value of the [Desktop Entry] group, without NUL and
// at most 1024 bytes, empty when the desktop switched the entry off; a value
// written reads back byte for byte (up to a NUL; longer than 1024 bytes reads
// as empty), whatever it holds: no value can add a line, a group or a key.
#include "FuzzSupport.h"

#include <platform/Autostart.h>

namespace {

const std::string& folder()
{
    static const std::string dir = [] {
        const std::string d = fuzz::scratchFolder() + "/autostart";
        platform::setAutostartDirectory(d);
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::string file = in.piece();
    const std::string value = in.rest();
    const std::string path = folder() + "/Brindlewick.desktop";

    // A file another program left.
    platform::writeAutostartEntry(""); // creates the folder
    fuzz::writeFile(path, file);
    const std::string read = platform::readAutostartEntry();
    BW_FUZZ_CHECK(read.size() <= 1024 && read.find('\0') == std::string::npos);
    if (file.find("[Desktop Entry]") == std::string::npos || file.find("Exec") == std::string::npos)
        BW_FUZZ_CHECK(read.empty());

    // Our own entry, with any value.
    BW_FUZZ_CHECK(platform::writeAutostartEntry(value));
    const std::string written = value.substr(0, value.find('\0'));
    BW_FUZZ_CHECK(platform::readAutostartEntry() == (written.size() <= 1024 ? written : std::string()));
    // One group, the same five lines whatever the value.
    const std::string content = fuzz::readFile(path);
    std::size_t lines = 0;
    for (char c : content)
        lines += c == '\n';
    BW_FUZZ_CHECK(lines == 5 && content.find('\r') == std::string::npos);
    BW_FUZZ_CHECK(content.find('[') == 0 && content.find("\n[") == std::string::npos);
    platform::removeAutostartEntry();
    BW_FUZZ_CHECK(platform::readAutostartEntry().empty());
    return 0;
}
