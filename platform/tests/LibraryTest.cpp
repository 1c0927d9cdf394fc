// Run-time libraries: a real library's exports are called, a missing export,
// a missing file and a file that is no library give errors, and unloading
// really drops the library (its state starts over on the next load).
#include "TestHarness.h"

#include "platform/Library.h"
#include "platform/Process.h"

#include <fstream>

using platform::Library;

namespace {

std::string pluginPath()
{
    const std::string self = platform::modulePath();
    return self.substr(0, self.find_last_of("/\\") + 1) + BW_TEST_PLUGIN_NAME;
}

} // namespace

TEST_CASE(exports_are_called_and_unloading_drops_the_library)
{
    Library library;
    CHECK(library.load(pluginPath()));
    CHECK(library.loaded());
    auto answer = library.resolveFunction<int (*)()>("bw_plugin_answer");
    CHECK(answer != nullptr);
    if (answer)
        CHECK_EQ(answer(), 42);
    auto calls = library.resolveFunction<int (*)()>("bw_plugin_calls");
    if (calls) {
        CHECK_EQ(calls(), 1);
        CHECK_EQ(calls(), 2);
    }
    // Moved, the library stays loaded once.
    Library moved = std::move(library);
    CHECK(!library.loaded());
    CHECK(moved.loaded());
    moved.unload();
    CHECK(!moved.loaded());
    CHECK(moved.load(pluginPath()));
    calls = moved.resolveFunction<int (*)()>("bw_plugin_calls");
    if (calls)
        CHECK_EQ(calls(), 1);
}

TEST_CASE(module_folder_is_the_folder_of_the_code_asked_about)
{
    const std::string self = platform::modulePath();
    const std::string folder = self.substr(0, self.find_last_of("\\/"));
    CHECK_EQ(platform::moduleFolder(reinterpret_cast<const void*>(&pluginPath)), folder);
    Library library;
    CHECK(library.load(pluginPath()));
    void* answer = library.resolve("bw_plugin_answer");
    const std::string plugin = pluginPath();
    if (answer)
        CHECK_EQ(platform::moduleFolder(answer), plugin.substr(0, plugin.find_last_of("\\/")));
}

TEST_CASE(missing_exports_and_files_give_errors)
{
    Library library;
    CHECK(library.load(pluginPath()));
    CHECK(library.resolve("SetModeHalvern") == nullptr);
    CHECK(library.errorString().find("SetModeHalvern") != std::string::npos);
    CHECK(library.loaded()); // still usable after a failed lookup

    th::TempDir dir;
    CHECK(!library.load(dir.file("VciSwitch.dll")));
    CHECK(!library.loaded());
    CHECK(library.errorString().find("VciSwitch.dll") != std::string::npos);
    CHECK(library.resolve("start") == nullptr);

    std::ofstream(dir.file("vciServer.dll"), std::ios::binary) << "MZ but no library at all";
    CHECK(!library.load(dir.file("vciServer.dll")));
    CHECK(!library.errorString().empty());

    // Relative names would go through the loader's search path.
    CHECK(!library.load(BW_TEST_PLUGIN_NAME));
    CHECK(library.errorString().find("absolute") != std::string::npos);
}

int main()
{
    return th::runAll();
}
