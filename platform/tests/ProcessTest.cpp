// Processes: the list, the program's own path and command line, detached
// starts (with arguments that need quoting) and termination by name.
#include "TestHarness.h"

#include "platform/OsConventions.h"
#include "platform/Process.h"
#include "platform/ScriptStart.h"
#include "platform/ServiceControl.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace platform;

namespace {

std::string selfName()
{
    const std::string path = modulePath();
    return path.substr(path.find_last_of("/\\") + 1);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool pidListed(long pid)
{
    const auto list = listProcesses();
    return std::any_of(list.begin(), list.end(), [pid](const ProcessEntry& e) { return e.pid == pid; });
}

// Child mode: write the arguments after the output file, one per line, and
// the working directory; written to a temporary name first so the parent
// never reads half of it.
int writeArguments(int argc, char** argv)
{
    const std::string out = argv[2];
    {
        std::ofstream file(out + ".part", std::ios::binary);
        file << std::filesystem::current_path().string() << "\n";
        for (int i = 3; i < argc; ++i)
            file << argv[i] << "\n";
    }
    std::filesystem::rename(out + ".part", out);
    return 0;
}

} // namespace

TEST_CASE(own_process_is_listed_with_its_path_and_command_line)
{
    const std::string name = selfName();
#ifdef _WIN32
    CHECK_EQ(name, std::string("platform_ProcessTest.exe"));
#else
    CHECK_EQ(name, std::string("platform_ProcessTest"));
    CHECK(isProcessRunning("platform_ProcessTest.exe")); // Windows spelling of the same program
#endif
    CHECK(isProcessRunning(name));
    CHECK(serviceRunning(name));
    CHECK(!isProcessRunning("NoSuchProgram_" + th::uniqueSuffix()));
    CHECK(!isProcessRunning(""));
    const auto list = listProcesses();
    CHECK(list.size() > 1);
    CHECK(std::any_of(list.begin(), list.end(), [&](const ProcessEntry& e) { return e.name == name; }));
    const long self = currentProcessId();
    CHECK(self > 0);
    CHECK(
        std::any_of(list.begin(), list.end(), [&](const ProcessEntry& e) { return e.pid == self && e.name == name; }));
    const std::string line = rawCommandLine();
    CHECK(line.find("platform_ProcessTest") != std::string::npos);
}

TEST_CASE(program_names_follow_the_system)
{
    CHECK_EQ(selfName(), std::string("platform_ProcessTest") + programSuffix());
#ifdef _WIN32
    CHECK_EQ(nativeProgramName("Server.exe"), std::string("Server.exe"));
#else
    CHECK_EQ(nativeProgramName("Server.exe"), std::string("Server"));
    // Only a whole ".exe" ending goes; nothing is left empty.
    CHECK_EQ(nativeProgramName(".exe"), std::string(".exe"));
    CHECK_EQ(nativeProgramName("Server.EXE"), std::string("Server.EXE"));
    CHECK_EQ(nativeProgramName("Serverexe"), std::string("Serverexe"));

    // A program unpacked without its execute bit gets it; a folder is left alone.
    th::TempDir dir;
    std::ofstream(dir.file("server")) << "#!/bin/sh\n";
    ::chmod(dir.file("server").c_str(), 0600);
    makeExecutable(dir.file("server"));
    struct stat st { };
    CHECK(::stat(dir.file("server").c_str(), &st) == 0 && (st.st_mode & 0777) == 0700);
    ::chmod(dir.path().c_str(), 0600);
    makeExecutable(dir.path());
    CHECK(::stat(dir.path().c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
    ::chmod(dir.path().c_str(), 0700);
    makeExecutable(dir.file("missing")); // nothing to do, no crash
#endif
}

TEST_CASE(command_line_keeps_the_switches)
{
    const std::string line = rawCommandLine();
    if (line.find(" -z") == std::string::npos && line.find("two words") == std::string::npos)
        SKIP("started without arguments; the ctest entry platform_ProcessTest passes \"-z\"");
    CHECK(line.find(" -z") != std::string::npos);
    CHECK(line.find("two words") != std::string::npos);
}

TEST_CASE(detached_start_passes_arguments_intact)
{
    th::TempDir dir;
    const std::string out = dir.file("args.txt");
    const std::vector<std::string> args
        = {"--write-args", out, "plain", "with blank", "quote\"inside", "trailing\\", "back\\\\slash \"mix\"", ""};
    const long pid = startDetached(modulePath(), args, dir.path());
    CHECK(pid > 0);
    CHECK(th::waitFor([&] { return std::filesystem::exists(out); }));
    const std::string text = readFile(out);
    std::string expected = std::filesystem::canonical(dir.path()).string() + "\n";
    for (std::size_t i = 2; i < args.size(); ++i)
        expected += args[i] + "\n";
    std::string got = text;
    std::string firstLine = got.substr(0, got.find('\n'));
    // The child reports its working directory in its own spelling.
    CHECK(std::filesystem::equivalent(firstLine, dir.path()));
    CHECK_EQ(got.substr(got.find('\n') + 1), expected.substr(expected.find('\n') + 1));
}

TEST_CASE(failed_starts_return_zero)
{
    CHECK_EQ(startDetached("/no/such/program_" + th::uniqueSuffix(), {}), 0L);
    CHECK_EQ(startDetached("", {}), 0L);
    th::TempDir dir;
    CHECK_EQ(startDetached(modulePath(), {"--sleep"}, dir.file("missing-folder")), 0L);
}

TEST_CASE(termination_by_name_stops_others_but_not_the_caller)
{
    // A copy under a name of its own, so that no other test run is touched,
    // in a folder whose name needs quoting.
    th::TempDir dir;
    std::filesystem::create_directories(dir.file("with blank"));
    const std::string unique = "bwsleeper" + th::uniqueSuffix();
#ifdef _WIN32
    const std::string copy = dir.file("with blank/" + unique + ".exe");
#else
    const std::string copy = dir.file("with blank/" + unique);
#endif
    std::filesystem::copy_file(modulePath(), copy);
    const long pid = startDetached(copy, {"--sleep"});
    CHECK(pid > 0);
    CHECK(th::waitFor([&] { return pidListed(pid); }));
    CHECK(isProcessRunning(copy.substr(copy.find_last_of("/\\") + 1)));
    CHECK(serviceRunning(unique + ".exe"));
    CHECK_EQ(terminateProcesses(copy.substr(copy.find_last_of("/\\") + 1)), 1);
    CHECK(th::waitFor([&] { return !pidListed(pid); }));
    CHECK(!isProcessRunning(unique));
    // The caller is never among the terminated.
    CHECK_EQ(terminateProcesses(selfName()), 0);
    CHECK(isProcessRunning(selfName()));
}

TEST_CASE(runs_are_waited_for_with_exit_code_arguments_and_folder)
{
    th::TempDir dir;
    int code = -5;
    CHECK(runAndWait(modulePath(), {"--exit", "7"}, std::string(), 30000, &code) == RunStatus::Exited);
    CHECK_EQ(code, 7);
    const std::string out = dir.file("args.txt");
    const std::vector<std::string> args = {"--write-args", out, "with blank", "quote\"inside", "trailing\\", ""};
    CHECK(runAndWait(modulePath(), args, dir.path(), 30000, &code) == RunStatus::Exited);
    CHECK_EQ(code, 0);
    // Waited for: the file is there at once, not some time later.
    const std::string text = readFile(out);
    CHECK(std::filesystem::equivalent(text.substr(0, text.find('\n')), dir.path()));
    CHECK_EQ(text.substr(text.find('\n') + 1), std::string("with blank\nquote\"inside\ntrailing\\\n\n"));
    CHECK(runAndWait("/no/such/program_" + th::uniqueSuffix(), {}, std::string(), 1000, &code)
        == RunStatus::CouldNotStart);
    CHECK(runAndWait(modulePath(), {"--exit", "0"}, dir.file("missing-folder"), 1000) == RunStatus::CouldNotStart);
    CHECK_EQ(std::string(runStatusText(RunStatus::TimedOut)), std::string("timed out"));
}

TEST_CASE(a_run_past_its_time_is_killed)
{
    // A copy under a unique name, so the check below sees only this run.
    th::TempDir dir;
    const std::string unique = "bwrunner" + th::uniqueSuffix();
#ifdef _WIN32
    const std::string copy = dir.file(unique + ".exe");
#else
    const std::string copy = dir.file(unique);
#endif
    std::filesystem::copy_file(modulePath(), copy);
    const auto start = std::chrono::steady_clock::now();
    CHECK(runAndWait(copy, {"--sleep"}, std::string(), 300) == RunStatus::TimedOut);
    CHECK(std::chrono::steady_clock::now() - start < std::chrono::seconds(30));
    CHECK(th::waitFor([&] { return !isProcessRunning(unique); }));
}

TEST_CASE(scripts_of_the_systems_kind_start_detached_in_the_given_folder)
{
    th::TempDir dir;
    const std::string marker = dir.file("ran.txt");
    const std::string work = dir.file("work folder");
    std::filesystem::create_directories(work);
    const std::string script = dir.file(std::string("where") + scriptSuffix(scriptKind()));
    // The script leaves a file in its current folder: found in `work`, it
    // started there (comparing printed paths trips over drive-letter forms).
    if (scriptKind() == ScriptKind::Batch)
        std::ofstream(script) << "@echo here> here.txt\r\n@echo done> \"" << marker << ".part\"\r\n@move /y \""
                              << marker << ".part\" \"" << marker << "\" >nul\r\n";
    else
        std::ofstream(script) << "echo here > here.txt\necho done > '" << marker << ".part'\nmv '" << marker
                              << ".part' '" << marker << "'\n";
    CHECK(startDetachedScript(script, work) > 0);
    CHECK(th::waitFor([&] { return std::filesystem::exists(marker); }, 30000));
    CHECK(std::filesystem::exists(std::filesystem::path(work) / "here.txt"));
    CHECK(!std::filesystem::exists(std::filesystem::path(dir.file("here.txt"))));
    CHECK_EQ(startDetachedScript(""), 0L);
#ifdef _WIN32
    CHECK(scriptKind() == ScriptKind::Batch);
#else
    CHECK(scriptKind() == ScriptKind::Shell);
#endif
}

TEST_CASE(script_folder_is_per_user_and_private)
{
    th::TempDir dir;
    setScriptDirectory(std::string());
#ifdef _WIN32
    CHECK(::_putenv_s("LOCALAPPDATA", dir.path().c_str()) == 0);
    const std::string expected = dir.path() + "\\Brindlewick\\Scripts";
    CHECK_EQ(scriptDirectory(), expected);
    CHECK(std::filesystem::is_directory(expected));
#else
    ::setenv("XDG_RUNTIME_DIR", (dir.path() + "/run").c_str(), 1);
    CHECK_EQ(scriptDirectory(), dir.path() + "/run/Brindlewick");
    struct stat st { };
    CHECK(::stat((dir.path() + "/run/Brindlewick").c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 077, 0u);
    // Without a runtime folder: the cache folder; relative values do not count.
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_CACHE_HOME", (dir.path() + "/cache").c_str(), 1);
    CHECK_EQ(scriptDirectory(), dir.path() + "/cache/Brindlewick");
    ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
    ::setenv("XDG_CACHE_HOME", "relative/cache", 1);
    ::setenv("HOME", dir.path().c_str(), 1);
    CHECK_EQ(scriptDirectory(), dir.path() + "/.cache/Brindlewick");
#endif
    setScriptDirectory(dir.file("override/scripts"));
    CHECK_EQ(scriptDirectory(), dir.file("override/scripts"));
    CHECK(std::filesystem::is_directory(dir.file("override/scripts")));
    // A folder that cannot be made (a file is in the way) gives no folder.
    std::ofstream(dir.file("plain-file")) << "x";
    setScriptDirectory(dir.file("plain-file/scripts"));
    CHECK_EQ(scriptDirectory(), std::string());
    setScriptDirectory(std::string());
}

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "--write-args")
        return writeArguments(argc, argv);
    if (argc >= 3 && std::string(argv[1]) == "--exit")
        return std::atoi(argv[2]);
    if (argc >= 2 && std::string(argv[1]) == "--sleep") {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    return th::runAll();
}
