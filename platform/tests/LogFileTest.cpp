// The rotating log writer: lines, rotation, several writers, the folder and
// its permissions, where logs go by default, thread names.
#include "TestHarness.h"

#include "platform/LogFile.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace platform;

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool exists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::u8path(path));
}

std::uint64_t sizeOf(const std::string& path)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path), ec);
    return ec ? 0 : size;
}

void setEnv(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    if (value.empty())
        ::unsetenv(name);
    else
        ::setenv(name, value.c_str(), 1);
#endif
}

std::string numbered(int i)
{
    std::string text = std::to_string(i);
    return "line " + std::string(6 - text.size(), '0') + text;
}

} // namespace

TEST_CASE(lines_are_readable_at_once_and_never_split)
{
    th::TempDir dir;
    LogFile log(dir.path(), "app");
    CHECK(log.write("first"));
    CHECK(log.write("second line"));
    // Visible without closing or destroying the writer: each line is flushed.
    CHECK_EQ(readFile(log.path()), std::string("first\nsecond line\n"));

    CHECK(log.write("forged\n2024-01-01 00:00:00.000 info fake: line\r\x1b[31m\tend"));
    const std::vector<std::string> lines = linesOf(log.path());
    CHECK_EQ(lines.size(), std::size_t(3));
    if (lines.size() == 3)
        CHECK_EQ(lines[2], std::string("forged\\n2024-01-01 00:00:00.000 info fake: line\\r\\x1b[31m\tend"));
}

TEST_CASE(rotation_keeps_the_newest_lines_in_a_bounded_number_of_files)
{
    th::TempDir dir;
    LogFileLimits limits;
    limits.maxBytes = 120;
    limits.keep = 2;
    LogFile log(dir.path(), "svc", limits);
    const int total = 40; // 12 bytes a line: 10 lines a file, four rotations
    for (int i = 0; i < total; ++i)
        CHECK(log.write(numbered(i)));

    CHECK(exists(log.rotatedPath(1)));
    CHECK(exists(log.rotatedPath(2)));
    CHECK(!exists(log.rotatedPath(3)));
    for (const std::string& p : {log.path(), log.rotatedPath(1), log.rotatedPath(2)})
        CHECK(sizeOf(p) <= limits.maxBytes);

    // Oldest kept file first: the kept lines are the last ones, none missing.
    std::vector<std::string> kept;
    for (const std::string& p : {log.rotatedPath(2), log.rotatedPath(1), log.path()})
        for (const std::string& line : linesOf(p))
            kept.push_back(line);
    CHECK_EQ(kept.size(), std::size_t(30));
    for (std::size_t i = 0; i < kept.size(); ++i)
        CHECK_EQ(kept[i], numbered(total - 30 + int(i)));
}

TEST_CASE(a_line_longer_than_the_cap_is_cut_and_no_file_grows_past_it)
{
    th::TempDir dir;
    LogFileLimits limits;
    limits.maxBytes = 64;
    limits.keep = 1;
    LogFile log(dir.path(), "big", limits);
    CHECK(log.write("short"));
    // "é" is two bytes: the cut must not leave half of one behind.
    std::string huge;
    for (int i = 0; i < 100; ++i)
        huge += "\xc3\xa9";
    CHECK(log.write(huge));
    const std::string current = readFile(log.path());
    CHECK(current.size() <= limits.maxBytes);
    CHECK(current.find(" [cut]\n") != std::string::npos);
    CHECK_EQ(current.find("\xc3\xa9 [cut]") + 8, current.size() - 1);
    CHECK_EQ(readFile(log.rotatedPath(1)), std::string("short\n"));
}

TEST_CASE(writers_in_several_threads_and_processes_lose_no_line)
{
    // Two writers on the same file stand for two processes; each has its own
    // handle, as separate processes would.
    th::TempDir dir;
    LogFileLimits limits;
    limits.maxBytes = 2000;
    limits.keep = 100; // enough that nothing falls off the end
    LogFile a(dir.path(), "shared", limits);
    LogFile b(dir.path(), "shared", limits);
    const int perThread = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            LogFile& log = t % 2 ? a : b;
            for (int i = 0; i < perThread; ++i)
                log.write(numbered(t * perThread + i));
        });
    for (std::thread& t : threads)
        t.join();

    std::set<std::string> seen;
    int files = 0;
    bool wellFormed = true;
    for (int n = 0; n <= limits.keep; ++n) {
        const std::string p = n == 0 ? a.path() : a.rotatedPath(n);
        if (!exists(p))
            continue;
        ++files;
        for (const std::string& line : linesOf(p)) {
            wellFormed = wellFormed && line.size() == numbered(0).size() && line.compare(0, 5, "line ") == 0;
            seen.insert(line);
        }
    }
    CHECK(wellFormed);
    CHECK_EQ(seen.size(), std::size_t(4 * perThread));
    CHECK(files >= 5); // 19 200 bytes under a 2 000-byte cap
}

TEST_CASE(a_writer_follows_a_rotation_done_by_another)
{
    th::TempDir dir;
    LogFileLimits limits;
    limits.maxBytes = 40;
    LogFile a(dir.path(), "both", limits);
    LogFile b(dir.path(), "both", limits);
    CHECK(b.write("b was here first"));
    CHECK(a.write("a fills the file up"));
    CHECK(a.write("a rotates"));
    CHECK(b.write("b next"));
    CHECK_EQ(readFile(a.path()), std::string("a rotates\nb next\n"));
    CHECK_EQ(readFile(a.rotatedPath(1)), std::string("b was here first\na fills the file up\n"));
}

TEST_CASE(the_folder_is_created_and_an_unusable_place_is_reported)
{
    th::TempDir dir;
    const std::string nested = dir.file("a/b/logs");
    LogFile log(nested, "app");
    CHECK(log.write("hello"));
    CHECK_EQ(readFile(log.path()), std::string("hello\n"));

    // The folder's place is taken by a file: a message, no crash, and a
    // retry once the place is free again.
    {
        std::ofstream(dir.file("blocked")) << "x";
    }
    LogFile blocked(dir.file("blocked/logs"), "app");
    CHECK(!blocked.write("lost"));
    CHECK(!blocked.error().empty());
    std::filesystem::remove(dir.file("blocked"));
    CHECK(blocked.write("kept"));
    CHECK_EQ(readFile(blocked.path()), std::string("kept\n"));
}

#ifndef _WIN32
TEST_CASE(files_and_new_folders_are_private_to_the_user)
{
    th::TempDir dir;
    const mode_t old = ::umask(0); // a permissive umask must not widen them
    LogFile log(dir.file("new/logs"), "app");
    CHECK(log.write("x"));
    ::umask(old);
    struct stat st { };
    CHECK(::stat(log.path().c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 0777, mode_t(0600));
    CHECK(::stat(dir.file("new/logs").c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 0777, mode_t(0700));
    CHECK(::stat(dir.file("new").c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 0777, mode_t(0700));

    // A file left readable by others is tightened when it is opened again.
    const std::string loose = dir.file("old.log");
    {
        std::ofstream(loose) << "before\n";
    }
    ::chmod(loose.c_str(), 0644);
    LogFile reopened(dir.path(), "old");
    CHECK(reopened.write("after"));
    CHECK(::stat(loose.c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 0777, mode_t(0600));
    CHECK_EQ(readFile(loose), std::string("before\nafter\n"));
    // Rotated files keep their mode.
    LogFileLimits limits;
    limits.maxBytes = 16;
    LogFile small(dir.path(), "small", limits);
    CHECK(small.write("0123456789"));
    CHECK(small.write("0123456789"));
    CHECK(::stat(small.rotatedPath(1).c_str(), &st) == 0);
    CHECK_EQ(st.st_mode & 0777, mode_t(0600));
}

TEST_CASE(a_link_in_place_of_the_log_is_not_followed)
{
    th::TempDir dir;
    const std::string target = dir.file("elsewhere");
    {
        std::ofstream(target) << "untouched\n";
    }
    std::filesystem::create_symlink(target, dir.file("app.log"));
    LogFile log(dir.path(), "app");
    CHECK(!log.write("misplaced"));
    CHECK(!log.error().empty());
    CHECK_EQ(readFile(target), std::string("untouched\n"));
}

TEST_CASE(log_folder_from_override_environment_then_xdg)
{
    setLogDir("/tmp/bwlogs-override");
    setEnv("BRINDLEWICK_LOG_DIR", "/srv/logs");
    CHECK_EQ(logDir(), std::string("/tmp/bwlogs-override"));
    setLogDir(std::string());
    CHECK_EQ(logDir(), std::string("/srv/logs"));
    setEnv("BRINDLEWICK_LOG_DIR", "");
    setEnv("XDG_DATA_HOME", "/home/u/.data");
    CHECK_EQ(logDir(), std::string("/home/u/.data/Brindlewick/logs"));
    setEnv("XDG_DATA_HOME", "relative/ignored");
    setEnv("HOME", "/home/u");
    CHECK_EQ(logDir(), std::string("/home/u/.local/share/Brindlewick/logs"));
    setEnv("XDG_DATA_HOME", "");
}
#else
TEST_CASE(log_folder_from_override_environment_then_local_app_data)
{
    setLogDir("C:\\temp\\bwlogs");
    setEnv("BRINDLEWICK_LOG_DIR", "D:\\logs");
    CHECK_EQ(logDir(), std::string("C:\\temp\\bwlogs"));
    setLogDir(std::string());
    CHECK_EQ(logDir(), std::string("D:\\logs"));
    setEnv("BRINDLEWICK_LOG_DIR", "");
    setEnv("LOCALAPPDATA", "C:\\Users\\u\\AppData\\Local");
    CHECK_EQ(logDir(), std::string("C:\\Users\\u\\AppData\\Local\\Brindlewick\\logs"));
}
#endif

TEST_CASE(the_process_log_is_one_object_per_name_in_the_log_folder)
{
    th::TempDir dir;
    setLogDir(dir.path());
    setEnv("BRINDLEWICK_LOG_STDERR", "1");
    LogFile& first = processLog("ProcessLogTest");
    CHECK(&first == &processLog("ProcessLogTest"));
    CHECK(&first != &processLog("OtherLogTest"));
    CHECK(first.echo());
    CHECK(first.write("from the process log"));
    CHECK_EQ(readFile(dir.file("ProcessLogTest.log")), std::string("from the process log\n"));
    setEnv("BRINDLEWICK_LOG_STDERR", "");
    setLogDir(std::string());
}

TEST_CASE(threads_carry_their_own_names)
{
    setThreadName("main");
    std::string named;
    std::string unnamed1;
    std::string unnamed2;
    std::thread([&] {
        setThreadName("status");
        named = threadName();
    }).join();
    std::thread a([&] { unnamed1 = threadName(); });
    std::thread b([&] { unnamed2 = threadName(); });
    a.join();
    b.join();
    CHECK_EQ(named, std::string("status"));
    CHECK_EQ(threadName(), std::string("main"));
    CHECK_EQ(unnamed1.compare(0, 7, "thread-"), 0);
    CHECK(unnamed1.size() > 7);
    CHECK(unnamed1 != unnamed2);
}

TEST_CASE(time_stamps_have_milliseconds)
{
    const std::string stamp = logTimestamp();
    CHECK_EQ(stamp.size(), std::size_t(23));
    CHECK(stamp.size() == 23 && stamp[4] == '-' && stamp[10] == ' ' && stamp[13] == ':' && stamp[19] == '.');
}

int main()
{
    return th::runAll();
}
