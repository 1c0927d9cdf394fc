// The instance lock: one holder at a time, released when the holder ends.
#include "TestHarness.h"

#include "platform/InstanceLock.h"
#include "platform/Process.h"

#include <cstdlib>
#include <fstream>
#include <memory>

using namespace platform;

TEST_CASE(a_second_holder_is_refused_until_the_first_ends)
{
    th::TempDir dir;
    const std::string path = dir.file("Tool.lock");
    std::string error;
    const auto holder = [&path] {
        std::string pid;
        std::ifstream(path) >> pid;
        return pid;
    };
    auto first = std::make_unique<InstanceLock>();
    CHECK(first->acquire(path, &error) == InstanceLock::Result::Acquired);
#ifndef _WIN32
    CHECK_EQ(holder(), std::to_string(currentProcessId())); // the file names its holder
#endif

    InstanceLock second;
    CHECK(second.acquire(path, &error) == InstanceLock::Result::HeldByAnother);
    CHECK(error.find(path) != std::string::npos);

    first.reset();
#ifdef _WIN32
    // Opened without sharing while held; the file stays after the holder ends.
    CHECK_EQ(holder(), std::to_string(currentProcessId()));
#endif
    CHECK(second.acquire(path, &error) == InstanceLock::Result::Acquired);
}

TEST_CASE(a_missing_folder_is_unavailable_not_held)
{
    th::TempDir dir;
    std::string error;
    InstanceLock lock;
    CHECK(lock.acquire(dir.file("missing/Tool.lock"), &error) == InstanceLock::Result::Unavailable);
    CHECK(error.find("missing") != std::string::npos);
}

TEST_CASE(default_path_carries_the_name_and_the_block_prefix)
{
    // ctest sets BRINDLEWICK_SHM_PREFIX=bwtest_; separators in it become '_'.
    const char* prefix = std::getenv("BRINDLEWICK_SHM_PREFIX");
    if (!prefix || std::string(prefix) != "bwtest_")
        SKIP("run outside ctest: BRINDLEWICK_SHM_PREFIX is not bwtest_");
    const std::string path = InstanceLock::defaultPath("Tool");
    const std::string end = "bwtest_.lock";
    CHECK(path.size() > end.size() && path.compare(path.size() - end.size(), end.size(), end) == 0);
    CHECK(path.find("Tool") != std::string::npos);
}

int main()
{
    return th::runAll();
}
