// The log-on autostart entry: round trip, absence, and refusal without rights.
#include "TestHarness.h"

#include "platform/Autostart.h"
#include "platform/Registry.h"

#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace platform;

namespace {

#ifndef _WIN32
std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
#endif

struct Fixture {
    th::TempDir dir;
    Fixture()
    {
        setAutostartDirectory(dir.path() + "/autostart");
        removeAutostartEntry();
    }
    ~Fixture() { removeAutostartEntry(); }
};

} // namespace

TEST_CASE(write_read_remove_round_trip)
{
    Fixture f;
    CHECK_EQ(readAutostartEntry(), std::string());
    const std::string value = "/opt/Brindlewick Manager/brindlewick -z";
    CHECK(writeAutostartEntry(value));
    CHECK_EQ(readAutostartEntry(), value);
    CHECK(writeAutostartEntry("/usr/bin/other -z"));
    CHECK_EQ(readAutostartEntry(), std::string("/usr/bin/other -z"));
    removeAutostartEntry();
    CHECK_EQ(readAutostartEntry(), std::string());
    removeAutostartEntry(); // a missing entry is no error
    CHECK_EQ(readAutostartEntry(), std::string());
}

TEST_CASE(text_with_special_characters_reads_back_unchanged)
{
    Fixture f;
    for (const std::string& value : {std::string("C:\\Program Files\\Kestrix\\Kestrix.exe -z"),
             std::string("/a/b%20c/%%d -z"), std::string("  lead and\ttab"), std::string("quote\"s and = signs")}) {
        CHECK(writeAutostartEntry(value));
        CHECK_EQ(readAutostartEntry(), value);
    }
    // Text after a NUL is not part of the value.
    CHECK(writeAutostartEntry(std::string("/bin/x\0tail", 11)));
    CHECK_EQ(readAutostartEntry(), std::string("/bin/x"));
}

TEST_CASE(values_longer_than_the_read_buffer_are_not_returned)
{
    Fixture f;
    CHECK(writeAutostartEntry(std::string(1000, 'a')));
    CHECK_EQ(readAutostartEntry(), std::string(1000, 'a'));
    CHECK(writeAutostartEntry(std::string(1500, 'b')));
    CHECK_EQ(readAutostartEntry(), std::string());
}

#ifndef _WIN32
TEST_CASE(file_is_a_valid_desktop_entry)
{
    Fixture f;
    CHECK(writeAutostartEntry("/usr/bin/brindlewick -z"));
    const std::string text = readFile(f.dir.path() + "/autostart/Brindlewick.desktop");
    CHECK_EQ(text.rfind("[Desktop Entry]\n", 0), std::size_t(0));
    for (const char* line : {"\nType=Application\n", "\nName=Brindlewick Manager\n", "\nExec=/usr/bin/brindlewick -z\n",
             "\nX-GNOME-Autostart-enabled=true\n"})
        CHECK(text.find(line) != std::string::npos);
    // An entry the desktop has switched off does not count as present.
    std::ofstream(f.dir.path() + "/autostart/Brindlewick.desktop")
        << "[Desktop Entry]\nType=Application\nExec=/usr/bin/brindlewick -z\nX-GNOME-Autostart-enabled=false\n";
    CHECK_EQ(readAutostartEntry(), std::string());
    // Exec outside the [Desktop Entry] group is not the entry's.
    std::ofstream(f.dir.path() + "/autostart/Brindlewick.desktop") << "[Desktop Action x]\nExec=/bin/false\n";
    CHECK_EQ(readAutostartEntry(), std::string());
}

TEST_CASE(unwritable_places_give_false_and_reads_show_the_truth)
{
    Fixture f;
    CHECK(writeAutostartEntry("/old -z"));
    // A folder path that is a regular file.
    const std::string file = f.dir.file("plain-file");
    std::ofstream(file) << "x";
    setAutostartDirectory(file + "/autostart");
    CHECK(!writeAutostartEntry("/new -z"));
    CHECK_EQ(readAutostartEntry(), std::string());
    // A read-only folder keeps the old entry.
    setAutostartDirectory(f.dir.path() + "/autostart");
    ::chmod((f.dir.path() + "/autostart").c_str(), 0500);
    const bool wrote = writeAutostartEntry("/new -z");
    const std::string after = readAutostartEntry();
    ::chmod((f.dir.path() + "/autostart").c_str(), 0700);
    if (::geteuid() == 0)
        SKIP("running as root: a read-only folder does not stop the write (the regular-file case above was checked)");
    CHECK(!wrote);
    CHECK_EQ(after, std::string("/old -z"));
}

TEST_CASE(default_folder_follows_xdg_config_home)
{
    th::TempDir dir;
    setAutostartDirectory(std::string());
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    CHECK_EQ(autostartDirectory(), dir.path() + "/autostart");
    ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
    ::setenv("HOME", dir.path().c_str(), 1);
    CHECK_EQ(autostartDirectory(), dir.path() + "/.config/autostart");
}
#else
TEST_CASE(entry_is_the_run_value_in_both_views)
{
    Fixture f;
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    CHECK(writeAutostartEntry("C:\\Kestrix\\Kestrix.exe -z"));
    CHECK_EQ(Registry::readString(RegistryHive::LocalMachine, run, "Brindlewick").value_or("-"),
        std::string("C:\\Kestrix\\Kestrix.exe -z"));
    removeAutostartEntry();
    CHECK(!Registry::readString(RegistryHive::LocalMachine, run, "Brindlewick").has_value());
    // A value that exists only in the 32-bit view (a 32-bit installer's) is
    // found by the second look, whatever the build's own view is.
    CHECK(Registry::writeString(
        RegistryHive::LocalMachine, run, "Brindlewick", "C:\\x86\\K.exe -z", RegistryView::Force32));
    CHECK(!Registry::readString(RegistryHive::LocalMachine, run, "Brindlewick", RegistryView::Force64).has_value());
    CHECK_EQ(readAutostartEntry(), std::string("C:\\x86\\K.exe -z"));
    // The 64-bit view wins when both hold a value.
    CHECK(writeAutostartEntry("C:\\x64\\K.exe -z"));
    CHECK_EQ(readAutostartEntry(), std::string("C:\\x64\\K.exe -z"));
    Registry::deleteValue(RegistryHive::LocalMachine, run, "Brindlewick", RegistryView::Force32);
}
#endif

int main()
{
    return th::runAll();
}
