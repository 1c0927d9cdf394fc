// Last access times of files and of links themselves, and the huge-page hint
// for large buffers.
#include "TestHarness.h"

#include "platform/FileTimes.h"
#include "platform/MemoryHint.h"

#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace platform;

namespace {

// Sets the entry's own access time (a link is not followed) to `seconds` after 1970.
bool setAccessTime(const std::string& path, std::int64_t seconds)
{
#ifdef _WIN32
    HANDLE h = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const std::uint64_t ticks = (static_cast<std::uint64_t>(seconds) + 11644473600ull) * 10000000ull;
    FILETIME ft{static_cast<DWORD>(ticks & 0xffffffffu), static_cast<DWORD>(ticks >> 32)};
    const bool ok = ::SetFileTime(h, nullptr, &ft, nullptr) != 0;
    ::CloseHandle(h);
    return ok;
#else
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {0, UTIME_OMIT}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

} // namespace

TEST_CASE(last_access_of_files_and_missing_entries)
{
    th::TempDir dir;
    const std::string file = dir.file("trace.log");
    std::ofstream(file) << "x";
    CHECK(setAccessTime(file, 1000000000));
    CHECK_EQ(lastAccessTime(file), std::int64_t(1000000000));
    CHECK(setAccessTime(file, 1700000000));
    CHECK_EQ(lastAccessTime(file), std::int64_t(1700000000));
    CHECK_EQ(lastAccessTime(dir.file("missing")), std::int64_t(-1));
    CHECK_EQ(lastAccessTime(""), std::int64_t(-1));
}

#ifndef _WIN32
TEST_CASE(a_link_reports_its_own_access_not_its_targets)
{
    th::TempDir dir;
    const std::string target = dir.file("target.log");
    const std::string link = dir.file("link.log");
    std::ofstream(target) << "x";
    CHECK(::symlink(target.c_str(), link.c_str()) == 0);
    CHECK(setAccessTime(target, 1000000000));
    CHECK(setAccessTime(link, 1100000000));
    CHECK_EQ(lastAccessTime(link), std::int64_t(1100000000));
    CHECK_EQ(lastAccessTime(target), std::int64_t(1000000000));
    // A dangling link is still an entry with a time of its own.
    std::filesystem::remove(target);
    CHECK_EQ(lastAccessTime(link), std::int64_t(1100000000));
}
#endif

TEST_CASE(only_large_buffers_get_the_hint_and_their_bytes_stay)
{
    std::vector<unsigned char> small(64 * 1024);
    CHECK(!adviseLargeBuffer(small.data(), small.size()));
    CHECK(!adviseLargeBuffer(nullptr, kLargeBufferBytes * 2));

    // An odd start and length: only whole pages inside the buffer are advised.
    std::vector<unsigned char> big(kLargeBufferBytes * 2 + 123);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<unsigned char>(i * 7);
    unsigned char* start = big.data() + 1;
    const bool advised = adviseLargeBuffer(start, big.size() - 1);
    bool intact = true;
    for (std::size_t i = 0; i < big.size(); ++i)
        intact = intact && big[i] == static_cast<unsigned char>(i * 7);
    CHECK(intact);
#ifdef _WIN32
    CHECK(!advised);
#else
    if (!advised)
        SKIP("this kernel has no transparent huge pages (madvise refused the hint)");
    // The kernel marks the advised range "hg" in the mapping's flags.
    std::ifstream smaps("/proc/self/smaps");
    const auto middle = reinterpret_cast<std::uintptr_t>(start) + big.size() / 2;
    std::string line;
    bool inRange = false;
    bool flagged = false;
    while (std::getline(smaps, line)) {
        unsigned long long lo = 0, hi = 0;
        // Mapping lines start "lo-hi "; field lines "Name: value".
        if (std::sscanf(line.c_str(), "%llx-%llx ", &lo, &hi) == 2) {
            inRange = middle >= lo && middle < hi;
            continue;
        }
        if (inRange && line.rfind("VmFlags:", 0) == 0)
            flagged = (line + " ").find(" hg ") != std::string::npos;
    }
    CHECK(flagged);
#endif
}

int main()
{
    return th::runAll();
}
