// The registry through its public surface: both views, case rules, odd bytes,
// deletion, and (on POSIX) what the file-backed store does with bad roots and
// damaged files.
#include "TestHarness.h"

#include "platform/Registry.h"

#include <cctype>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

namespace {

const RegistryHive HKLM = RegistryHive::LocalMachine;
const RegistryHive HKCU = RegistryHive::CurrentUser;

// Each run uses its own key; on POSIX the store also gets a private root.
struct Fixture {
    th::TempDir dir;
    std::string key = "SOFTWARE\\BrindlewickTest" + th::uniqueSuffix();
    Fixture()
    {
#ifndef _WIN32
        Registry::setRootDirectory(dir.path());
        Registry::setDefaultView(RegistryView::Force64);
#endif
    }
    ~Fixture()
    {
        Registry::deleteKey(HKLM, key, RegistryView::Force64);
        Registry::deleteKey(HKLM, key, RegistryView::Force32);
        Registry::deleteKey(HKCU, key);
    }
};

} // namespace

TEST_CASE(strings_and_numbers_round_trip)
{
    Fixture f;
    CHECK(!Registry::readString(HKLM, f.key, "InstallPath").has_value());
    CHECK(!Registry::keyExists(HKLM, f.key));
    CHECK(Registry::writeString(HKLM, f.key + "\\DrivceApp", "InstallPath", "C:\\Kestrix\\x"));
    CHECK(Registry::writeDword(HKLM, f.key + "\\DrivceApp", "IsDisable", 0xFFFFFFFFul));
    CHECK(Registry::keyExists(HKLM, f.key + "\\DrivceApp"));
    CHECK_EQ(
        Registry::readString(HKLM, f.key + "\\DrivceApp", "InstallPath").value_or("-"), std::string("C:\\Kestrix\\x"));
    CHECK_EQ(Registry::readDword(HKLM, f.key + "\\DrivceApp", "IsDisable").value_or(1), 0xFFFFFFFFul);
    // Types are not converted into each other.
    CHECK(!Registry::readDword(HKLM, f.key + "\\DrivceApp", "InstallPath").has_value());
    CHECK(!Registry::readString(HKLM, f.key + "\\DrivceApp", "IsDisable").has_value());
    // Overwriting keeps one value and changes its type.
    CHECK(Registry::writeString(HKLM, f.key + "\\DrivceApp", "IsDisable", "no"));
    CHECK_EQ(Registry::readString(HKLM, f.key + "\\DrivceApp", "IsDisable").value_or("-"), std::string("no"));
    CHECK_EQ(Registry::valueNames(HKLM, f.key + "\\DrivceApp").size(), std::size_t(2));
    // Empty strings and the unnamed default value are values like any other.
    CHECK(Registry::writeString(HKLM, f.key, "", ""));
    CHECK_EQ(Registry::readString(HKLM, f.key, "").value_or("-"), std::string());
}

TEST_CASE(views_are_separate_and_the_default_view_follows_its_setting)
{
    Fixture f;
    CHECK(Registry::writeString(HKLM, f.key, "Only32", "thirty-two", RegistryView::Force32));
    CHECK(Registry::writeString(HKLM, f.key, "Only64", "sixty-four", RegistryView::Force64));
    CHECK_EQ(
        Registry::readString(HKLM, f.key, "Only32", RegistryView::Force32).value_or("-"), std::string("thirty-two"));
    CHECK(!Registry::readString(HKLM, f.key, "Only32", RegistryView::Force64).has_value());
    CHECK(!Registry::readString(HKLM, f.key, "Only64", RegistryView::Force32).has_value());
    // The 32-bit view lives below WOW6432Node, where it can be reached explicitly too.
    const std::string wowKey = "SOFTWARE\\WOW6432Node\\" + f.key.substr(f.key.find('\\') + 1);
    CHECK_EQ(
        Registry::readString(HKLM, wowKey, "Only32", RegistryView::Force64).value_or("-"), std::string("thirty-two"));
#ifndef _WIN32
    CHECK_EQ(Registry::readString(HKLM, f.key, "Only64").value_or("-"), std::string("sixty-four"));
    Registry::setDefaultView(RegistryView::Force32);
    CHECK_EQ(Registry::readString(HKLM, f.key, "Only32").value_or("-"), std::string("thirty-two"));
    CHECK(!Registry::readString(HKLM, f.key, "Only64").has_value());
    Registry::setDefaultView(RegistryView::Force64);
    struct stat st { };
    CHECK(::stat((f.dir.path() + "/HKEY_LOCAL_MACHINE/SOFTWARE/WOW6432Node/" + f.key.substr(9)).c_str(), &st) == 0);
#else
    // A 64-bit process's own view is the 64-bit one.
    if (sizeof(void*) == 8)
        CHECK_EQ(Registry::readString(HKLM, f.key, "Only64").value_or("-"), std::string("sixty-four"));
#endif
    // HKEY_CURRENT_USER\SOFTWARE is shared between the views.
    CHECK(Registry::writeString(HKCU, f.key, "Shared", "both", RegistryView::Force32));
    CHECK_EQ(Registry::readString(HKCU, f.key, "Shared", RegistryView::Force64).value_or("-"), std::string("both"));
}

TEST_CASE(key_and_value_names_ignore_case)
{
    Fixture f;
    CHECK(Registry::writeString(HKLM, f.key + "\\Kestrix\\DrivceApp", "InstallVersion", "1.0"));
    std::string upper = f.key + "\\KESTRIX\\drivceapp";
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    CHECK(Registry::keyExists(HKLM, upper));
    CHECK_EQ(Registry::readString(HKLM, upper, "installversion").value_or("-"), std::string("1.0"));
    CHECK(Registry::writeString(HKLM, upper, "INSTALLVERSION", "2.0"));
    const auto names = Registry::valueNames(HKLM, f.key + "\\Kestrix\\DrivceApp");
    CHECK_EQ(names.size(), std::size_t(1));
    if (!names.empty())
        CHECK_EQ(names[0], std::string("InstallVersion")); // the name keeps its first spelling
    CHECK_EQ(
        Registry::readString(HKLM, f.key + "\\Kestrix\\DrivceApp", "InstallVersion").value_or("-"), std::string("2.0"));
}

TEST_CASE(odd_bytes_in_names_and_values_survive)
{
    Fixture f;
    const std::string oddValue = std::string("line1\nline2\r\n= \\ / % \x01\x7f\xff end") + "\xc3\xb1";
    const std::string oddName = "name with = and \n and / and %41 and \xe2\x82\xac";
    CHECK(Registry::writeString(HKLM, f.key, oddName, oddValue));
    CHECK(Registry::writeString(HKLM, f.key, "plain", "x"));
    CHECK_EQ(Registry::readString(HKLM, f.key, oddName).value_or("-"), oddValue);
    CHECK_EQ(Registry::readString(HKLM, f.key, "plain").value_or("-"), std::string("x"));
    // Key names with '/', '%' and a leading dot are single keys, not paths.
    const std::string oddKey = f.key + "\\.hidden/with%slash\\..";
    CHECK(Registry::writeString(HKLM, oddKey, "v", "deep"));
    CHECK_EQ(Registry::readString(HKLM, oddKey, "v").value_or("-"), std::string("deep"));
    CHECK(!Registry::keyExists(HKLM, f.key + "\\.hidden"));
    // A string ends at its first NUL, as a REG_SZ does.
    CHECK(Registry::writeString(HKLM, f.key, "nul", std::string("abc\0def", 7)));
    CHECK_EQ(Registry::readString(HKLM, f.key, "nul").value_or("-"), std::string("abc"));
}

TEST_CASE(values_and_keys_are_deleted)
{
    Fixture f;
    CHECK(Registry::writeString(HKLM, f.key + "\\Sub\\Deeper", "a", "1"));
    CHECK(Registry::writeString(HKLM, f.key, "b", "2"));
    CHECK(Registry::deleteValue(HKLM, f.key, "B"));
    CHECK(!Registry::deleteValue(HKLM, f.key, "b"));
    CHECK(!Registry::readString(HKLM, f.key, "b").has_value());
    CHECK(!Registry::deleteValue(HKLM, f.key + "\\Missing", "b"));
    CHECK(Registry::deleteKey(HKLM, f.key + "\\sub"));
    CHECK(!Registry::keyExists(HKLM, f.key + "\\Sub\\Deeper"));
    CHECK(!Registry::keyExists(HKLM, f.key + "\\Sub"));
    CHECK(Registry::keyExists(HKLM, f.key));
    CHECK(!Registry::deleteKey(HKLM, f.key + "\\Sub"));
    CHECK(Registry::valueNames(HKLM, f.key + "\\Sub").empty());
}

TEST_CASE(sub_keys_are_listed_by_view_in_case_blind_order)
{
    Fixture f;
    for (const char* name : {"Zeta", "alpha", ".hidden/with%slash", "Mid\\Deeper"})
        CHECK(Registry::writeString(HKLM, f.key + "\\" + name, "InstallPath", "x", RegistryView::Force64));
    CHECK(Registry::writeString(HKLM, f.key, "value", "not a key", RegistryView::Force64));
    CHECK(Registry::writeString(HKLM, f.key + "\\Only32", "v", "x", RegistryView::Force32));
    const std::vector<std::string> expected = {".hidden/with%slash", "alpha", "Mid", "Zeta"};
    CHECK(Registry::subKeyNames(HKLM, f.key, RegistryView::Force64) == expected);
    CHECK(Registry::subKeyNames(HKLM, f.key, RegistryView::Force32) == std::vector<std::string>{"Only32"});
    CHECK(Registry::deleteKey(HKLM, f.key + "\\mid", RegistryView::Force64));
    CHECK_EQ(Registry::subKeyNames(HKLM, f.key, RegistryView::Force64).size(), std::size_t(3));
    CHECK(Registry::subKeyNames(HKLM, f.key + "\\Missing").empty());
}

#ifndef _WIN32
TEST_CASE(unusable_roots_fail_cleanly)
{
    th::TempDir dir;
    // A root that is a regular file.
    const std::string file = dir.file("not-a-folder");
    std::ofstream(file) << "x";
    Registry::setRootDirectory(file);
    CHECK(!Registry::writeString(HKLM, "SOFTWARE\\X", "a", "b"));
    CHECK(!Registry::readString(HKLM, "SOFTWARE\\X", "a").has_value());
    CHECK(!Registry::keyExists(HKLM, "SOFTWARE\\X"));
    // A read-only root: reads keep working, writes fail.
    const std::string root = dir.file("readonly");
    Registry::setRootDirectory(root);
    CHECK(Registry::writeString(HKLM, "SOFTWARE\\X", "a", "b"));
    ::chmod((root + "/HKEY_LOCAL_MACHINE/SOFTWARE/X").c_str(), 0500);
    ::chmod((root + "/HKEY_LOCAL_MACHINE/SOFTWARE").c_str(), 0500);
    const bool root_ = ::geteuid() == 0;
    const bool wrote = Registry::writeString(HKLM, "SOFTWARE\\X", "c", "d");
    const bool created = Registry::writeString(HKLM, "SOFTWARE\\Y", "c", "d");
    CHECK_EQ(Registry::readString(HKLM, "SOFTWARE\\X", "a").value_or("-"), std::string("b"));
    ::chmod((root + "/HKEY_LOCAL_MACHINE/SOFTWARE/X").c_str(), 0700);
    ::chmod((root + "/HKEY_LOCAL_MACHINE/SOFTWARE").c_str(), 0700);
    Registry::setRootDirectory(std::string());
    if (root_)
        SKIP("running as root: permission bits do not stop writes (the regular-file root above was checked)");
    CHECK(!wrote);
    CHECK(!created);
}

TEST_CASE(damaged_values_file_is_kept_aside)
{
    Fixture f;
    CHECK(Registry::writeString(HKLM, "SOFTWARE\\Damaged", "good", "1"));
    const std::string values = f.dir.path() + "/HKEY_LOCAL_MACHINE/SOFTWARE/Damaged/.values";
    {
        std::ofstream out(values, std::ios::binary | std::ios::app);
        out << "s 99999 1\ntruncated";
    }
    // What can be read still reads; nothing crashes on the damaged tail.
    CHECK_EQ(Registry::readString(HKLM, "SOFTWARE\\Damaged", "good").value_or("-"), std::string("1"));
    CHECK(Registry::writeString(HKLM, "SOFTWARE\\Damaged", "new", "2"));
    CHECK_EQ(Registry::readString(HKLM, "SOFTWARE\\Damaged", "new").value_or("-"), std::string("2"));
    CHECK_EQ(Registry::readString(HKLM, "SOFTWARE\\Damaged", "good").value_or("-"), std::string("1"));
    std::ifstream backup(values + ".bad", std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(backup)), std::istreambuf_iterator<char>());
    CHECK(saved.find("truncated") != std::string::npos);
    // A file that is no values file at all.
    std::ofstream(values, std::ios::binary | std::ios::trunc) << "garbage";
    CHECK(!Registry::readString(HKLM, "SOFTWARE\\Damaged", "good").has_value());
    CHECK(Registry::valueNames(HKLM, "SOFTWARE\\Damaged").empty());
}

TEST_CASE(concurrent_writers_lose_no_value)
{
    Fixture f;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 25; ++i)
                Registry::writeDword(HKLM, "SOFTWARE\\Busy", "v" + std::to_string(t) + "_" + std::to_string(i),
                    static_cast<unsigned long>(i));
        });
    for (auto& w : writers)
        w.join();
    CHECK_EQ(Registry::valueNames(HKLM, "SOFTWARE\\Busy").size(), std::size_t(100));
    CHECK_EQ(Registry::readDword(HKLM, "SOFTWARE\\Busy", "V3_24").value_or(0), 24ul);
}

TEST_CASE(root_comes_from_the_environment)
{
    th::TempDir dir;
    Registry::setRootDirectory(std::string());
    ::setenv("BRINDLEWICK_REGISTRY_ROOT", dir.path().c_str(), 1);
    CHECK_EQ(Registry::rootDirectory(), dir.path());
    CHECK(Registry::writeString(HKCU, "Software\\Settings\\Brindlewick", "language", "en"));
    struct stat st { };
    CHECK(::stat((dir.path() + "/HKEY_CURRENT_USER/Software/Settings/Brindlewick/.values").c_str(), &st) == 0);
    ::unsetenv("BRINDLEWICK_REGISTRY_ROOT");
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    CHECK_EQ(Registry::rootDirectory(), dir.path() + "/brindlewick/registry");
}
#endif

int main()
{
    return th::runAll();
}
