// The file-backed registry store (platform/posix/Registry.cpp) on any
// ".values" file and any key and value names. Checks docs/platform.md: a
// damaged file is read as far as it is intact and nothing readable is lost by
// the next write (the damaged file is kept as ".values.bad"); any name and
// data without NUL read back as written (a REG_SZ up to its first NUL); the
// 32-bit view of HKLM\SOFTWARE\X is HKLM\SOFTWARE\WOW6432Node\X; no key name
// reaches outside the store's root.
#include "FuzzSupport.h"

#include <platform/Registry.h>

#include <dirent.h>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace {

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

namespace fs = std::filesystem;

struct Store {
    std::string sandbox; // holds only the root
    std::string root;
    std::string fuzzKey; // the folder of HKCU\Fuzz
    Store()
        : sandbox(fuzz::scratchFolder() + "/registry")
        , root(sandbox + "/root")
        , fuzzKey(root + "/HKEY_CURRENT_USER/Fuzz")
    {
        Registry::setRootDirectory(root);
    }
};

const Store& store()
{
    static const Store s;
    return s;
}

std::set<std::string> entries(const std::string& dir)
{
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

bool sameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::vector<std::string> keyParts(const std::string& key)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : key + '\\') {
        if (c != '\\') {
            current += c;
        } else if (!current.empty()) {
            parts.push_back(current);
            current.clear();
        }
    }
    return parts;
}

struct Read {
    std::optional<std::string> text;
    std::optional<unsigned long> number;
    bool operator==(const Read& o) const { return text == o.text && number == o.number; }
};

Read readValue(const std::string& name)
{
    return {Registry::readString(RegistryHive::CurrentUser, "Fuzz", name),
        Registry::readDword(RegistryHive::CurrentUser, "Fuzz", name)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Store& s = store();
    fuzz::Input in(data, size);
    const std::string file = in.piece();
    const std::string key = in.piece();
    const std::string name = in.piece();
    const std::string text = in.piece();
    const std::uint32_t number = in.u32();
    const std::uint8_t where = in.byte();

    // A values file someone else wrote.
    std::error_code ec;
    fs::create_directories(s.fuzzKey, ec);
    fs::remove(s.fuzzKey + "/.values.bad", ec);
    fuzz::writeFile(s.fuzzKey + "/.values", file);

    const std::vector<std::string> names = Registry::valueNames(RegistryHive::CurrentUser, "Fuzz");
    std::map<std::string, Read> before;
    for (const std::string& n : names) {
        const Read r = readValue(n);
        BW_FUZZ_CHECK(!(r.text && r.number)); // one type per value
        if (!before.count(n))
            before[n] = r;
    }

    // The next write keeps everything that could be read.
    const std::string added = "bw-fuzz-added";
    BW_FUZZ_CHECK(Registry::writeString(RegistryHive::CurrentUser, "Fuzz", added, "value"));
    BW_FUZZ_CHECK(readValue(added).text == std::optional<std::string>("value"));
    for (const auto& [n, r] : before)
        if (!sameIgnoringCase(n, added))
            BW_FUZZ_CHECK(readValue(n) == r);
    if (fs::exists(s.fuzzKey + "/.values.bad")) {
        BW_FUZZ_CHECK(fuzz::readFile(s.fuzzKey + "/.values.bad") == file);
    } else {
        std::vector<std::string> expected = names;
        bool present = false;
        for (const std::string& n : names)
            present = present || sameIgnoringCase(n, added);
        if (!present)
            expected.push_back(added);
        BW_FUZZ_CHECK(Registry::valueNames(RegistryHive::CurrentUser, "Fuzz") == expected);
    }

    // Any name and data.
    const bool written = Registry::writeString(RegistryHive::CurrentUser, "Fuzz", name, text);
    BW_FUZZ_CHECK(written == (name.find('\0') == std::string::npos));
    if (written) {
        BW_FUZZ_CHECK(readValue(name).text == std::optional<std::string>(text.substr(0, text.find('\0'))));
        BW_FUZZ_CHECK(Registry::writeDword(RegistryHive::CurrentUser, "Fuzz", name, number));
        BW_FUZZ_CHECK(readValue(name).number == std::optional<unsigned long>(number));
    }

    // Any key, in either hive and view, stays below the root.
    const RegistryHive hive = where & 1 ? RegistryHive::LocalMachine : RegistryHive::CurrentUser;
    const RegistryView view = where & 2 ? RegistryView::Force32 : RegistryView::Force64;
    const std::vector<std::string> parts = keyParts(key);
    // Names of up to 85 bytes fit a folder name even when every byte is
    // escaped; longer ones may be refused, never misplaced.
    bool storable = key.size() <= 1000;
    for (const std::string& p : parts)
        storable = storable && p.size() <= 85;
    const bool keyWritten = Registry::writeString(hive, key, "v", "x", view);
    BW_FUZZ_CHECK(keyWritten || !storable);
    if (keyWritten) {
        BW_FUZZ_CHECK(Registry::keyExists(hive, key, view));
        BW_FUZZ_CHECK(Registry::readString(hive, key, "v", view) == std::optional<std::string>("x"));
    }
    if (keyWritten && hive == RegistryHive::LocalMachine && view == RegistryView::Force32 && !parts.empty()
        && sameIgnoringCase(parts[0], "SOFTWARE") && !(parts.size() > 1 && sameIgnoringCase(parts[1], "WOW6432Node"))) {
        std::string redirected = "SOFTWARE\\WOW6432Node";
        for (std::size_t i = 1; i < parts.size(); ++i)
            redirected += "\\" + parts[i];
        BW_FUZZ_CHECK(
            Registry::readString(hive, redirected, "v", RegistryView::Force64) == std::optional<std::string>("x"));
    }
    BW_FUZZ_CHECK(entries(s.sandbox) == std::set<std::string>{"root"});
    for (const std::string& e : entries(s.root))
        BW_FUZZ_CHECK(e == "HKEY_LOCAL_MACHINE" || e == "HKEY_CURRENT_USER");
    if (keyWritten && !parts.empty()) {
        BW_FUZZ_CHECK(Registry::deleteKey(hive, key, view));
        BW_FUZZ_CHECK(!Registry::keyExists(hive, key, view));
    }
    return 0;
}
