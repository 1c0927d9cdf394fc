// Finding the process that serves a block, and watching it end. The test
// program starts copies of itself under a name of its own that create a
// block and hold it until a stop file appears.
#include "TestHarness.h"

#include "platform/Process.h"
#include "platform/ProcessWatch.h"
#include "platform/SharedMemory.h"

#include <fstream>

using namespace platform;

namespace {

// Child mode: create the block, hold it until the stop file exists.
int holdBlock(const std::string& block, const std::string& stopFile)
{
    SharedMemory memory;
    if (!memory.create(block, 64))
        return 2;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(stopFile) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}

// A copy of this program, so that no other test run's processes are touched.
struct Holder {
    const th::TempDir& dir;
    std::string name;
    std::string stopFile;
    long pid = 0;

    Holder(const th::TempDir& d, const std::string& programName, const std::string& block, const std::string& tag)
        : dir(d)
        , name(programName)
        , stopFile(d.file("stop-" + tag))
    {
#ifdef _WIN32
        const std::string copy = d.file(name + ".exe");
#else
        const std::string copy = d.file(name);
#endif
        std::error_code ec;
        std::filesystem::copy_file(modulePath(), copy, std::filesystem::copy_options::skip_existing, ec);
        pid = startDetached(copy, {"--hold", block, stopFile});
    }
    void stop() const
    {
        std::ofstream(stopFile) << "stop";
    }
};

} // namespace

TEST_CASE(watches_the_block_owner_until_it_ends)
{
    th::TempDir dir;
    const std::string suffix = th::uniqueSuffix();
    const std::string block = "Global\\bwwatch" + suffix;
    const std::string name = "bwholder" + suffix;
    ProcessWatch watch;
    CHECK(!watch.running());
    CHECK(!watch.attach(name, block)); // neither block nor process yet

    Holder holder(dir, name, block, "a");
    CHECK(holder.pid > 0);
    CHECK(th::waitFor([&] { return watch.attach(name, block); }));
    CHECK_EQ(watch.pid(), holder.pid);
    CHECK(watch.running());
    CHECK(watch.attach(name + ".exe", block)); // the Windows spelling names the same program
    CHECK_EQ(watch.pid(), holder.pid);

    // Another name, or another block, is not this process.
    CHECK(!watch.attach("bwnobody" + suffix, block));
    CHECK_EQ(watch.pid(), 0L);
    CHECK(!watch.running());
    CHECK(!watch.attach(name, block + "Other"));

    CHECK(watch.attach(name, block));
    holder.stop();
    CHECK(th::waitFor([&] { return !watch.running(); }));
    // What is left of the block depends on the system; its owner is gone either way.
    CHECK(th::waitFor([&] { return SharedMemory::exists(block) == blocksOutliveTheirOwner(); }));
    CHECK(!watch.attach(name, block));
    SharedMemory::remove(block);
}

TEST_CASE(of_two_processes_with_one_name_the_one_mapping_the_block_is_taken)
{
    if (!blocksOutliveTheirOwner())
        SKIP("Windows cannot tell cheaply which process holds a mapping; the first of the name counts there");
    th::TempDir dir;
    const std::string suffix = th::uniqueSuffix();
    const std::string name = "bwholder" + suffix;
    const std::string blockA = "Global\\bwwatchA" + suffix;
    const std::string blockB = "Global\\bwwatchB" + suffix;
    Holder a(dir, name, blockA, "a");
    Holder b(dir, name, blockB, "b");
    ProcessWatch watch;
    CHECK(th::waitFor([&] { return watch.attach(name, blockB); }));
    CHECK_EQ(watch.pid(), b.pid);
    CHECK(th::waitFor([&] { return watch.attach(name, blockA); }));
    CHECK_EQ(watch.pid(), a.pid);
    b.stop();
    // The watched one is still there while the other ended.
    CHECK(th::waitFor([&] { return !ProcessWatch().attach(name, blockB); }));
    CHECK(watch.running());
    a.stop();
    CHECK(th::waitFor([&] { return !watch.running(); }));
    SharedMemory::remove(blockA);
    SharedMemory::remove(blockB);
}

TEST_CASE(block_existence_needs_no_mapping)
{
    const std::string block = "Global\\bwexists" + th::uniqueSuffix();
    CHECK(!SharedMemory::exists(block));
    {
        SharedMemory memory;
        CHECK(memory.create(block, 128));
        CHECK(SharedMemory::exists(block));
    }
    SharedMemory::remove(block);
    CHECK(!SharedMemory::exists(block));
}

int main(int argc, char** argv)
{
    if (argc >= 4 && std::string(argv[1]) == "--hold")
        return holdBlock(argv[2], argv[3]);
    return th::runAll();
}
