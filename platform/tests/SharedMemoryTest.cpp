// Named shared memory blocks: creation, opening, sharing between mappings and
// processes, and recovery after the creating process was killed.
#include "TestHarness.h"

#include "platform/Process.h"
#include "platform/SharedMemory.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using platform::SharedMemory;

namespace {

std::string blockName(const char* what)
{
    return std::string("Global\\BrindlewickTest_") + what + "_" + th::uniqueSuffix();
}

const char kMarker[] = "SN = M5E00000XJ7001\r\n";

// Child mode: create the block, write the marker, then wait to be killed.
int holdBlock(const std::string& name)
{
    SharedMemory block;
    if (!block.create(name, 1024))
        return 2;
    if (!block.holdOwnership())
        return 3;
    std::memcpy(block.data(), kMarker, sizeof kMarker);
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

} // namespace

TEST_CASE(create_then_open_share_the_same_bytes)
{
    const std::string name = blockName("share");
    SharedMemory a, b;
    CHECK(a.create(name, 1024));
    CHECK_EQ(a.size(), std::size_t(1024));
    if (!a.isOpen())
        return;
    // A fresh block is zero-filled.
    bool zero = true;
    for (std::size_t i = 0; i < 1024; ++i)
        zero = zero && a.data()[i] == 0;
    CHECK(zero);
    CHECK(b.open(name, 1024));
    if (!b.isOpen())
        return;
    CHECK(a.data() != b.data());
    std::memcpy(a.data(), kMarker, sizeof kMarker);
    CHECK_EQ(std::string(reinterpret_cast<char*>(b.data())), std::string(kMarker));
    b.data()[1023] = 0x5a;
    CHECK_EQ(int(a.data()[1023]), 0x5a);
    // Moving a mapping keeps it; the source becomes empty.
    SharedMemory moved(std::move(b));
    CHECK(moved.isOpen());
    CHECK(!b.isOpen());
    CHECK_EQ(int(moved.data()[1023]), 0x5a);
    moved.close();
    CHECK(!moved.isOpen());
    CHECK_EQ(int(a.data()[1023]), 0x5a);
    a.close();
    SharedMemory::remove(name);
}

TEST_CASE(opening_a_missing_block_fails_with_a_message)
{
    SharedMemory block;
    CHECK(!block.open(blockName("missing"), 1024));
    CHECK(!block.isOpen());
    CHECK(block.data() == nullptr);
    CHECK(!block.error().empty());
    CHECK(!block.create(blockName("empty"), 0));
}

TEST_CASE(create_reuses_an_existing_block)
{
    const std::string name = blockName("reuse");
    SharedMemory first, second;
    CHECK(first.create(name, 1024));
    if (!first.isOpen())
        return;
    first.data()[0] = 'x';
    CHECK(second.create(name, 1024));
    if (second.isOpen())
        CHECK_EQ(second.data()[0], static_cast<unsigned char>('x'));
    first.close();
    second.close();
    SharedMemory::remove(name);
}

TEST_CASE(block_outlives_a_killed_creator)
{
    const std::string name = blockName("killed");
#ifdef _WIN32
    const long pid = platform::startDetached(platform::modulePath(), {"--hold-block", name});
    CHECK(pid > 0);
    SharedMemory reader;
    CHECK(th::waitFor([&] { return reader.open(name, 1024) && reader.data()[0] == kMarker[0]; }));
    // The writer's lock is what tells a live block from a left one.
    CHECK(reader.ownerAlive());
    SharedMemory rival;
    CHECK(rival.open(name, 1024) && !rival.holdOwnership());
    rival.close();
    HANDLE child = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    CHECK(child != nullptr);
    if (child) {
        ::TerminateProcess(child, 9);
        ::WaitForSingleObject(child, 10000);
        ::CloseHandle(child);
    }
    CHECK(!reader.ownerAlive());
    reader.close();
    // The object went with its last handle; a new owner starts afresh.
    SharedMemory again;
    CHECK(again.create(name, 1024));
    SharedMemory opener;
    CHECK(opener.open(name, 1024));
#else
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(holdBlock(name));
    SharedMemory reader;
    CHECK(th::waitFor([&] { return reader.open(name, 1024) && reader.data()[0] == kMarker[0]; }));
    // The writer's lock is what tells a live block from a left one.
    CHECK(reader.ownerAlive());
    SharedMemory rival;
    CHECK(rival.open(name, 1024) && !rival.holdOwnership());
    rival.close();
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    CHECK(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    CHECK(!reader.ownerAlive());
    reader.close();
    // The POSIX object survives its creator: a restarted owner gets it back
    // with the old bytes, readers still open it.
    SharedMemory again;
    CHECK(again.create(name, 1024));
    if (again.isOpen())
        CHECK_EQ(std::string(reinterpret_cast<char*>(again.data())), std::string(kMarker));
    SharedMemory opener;
    CHECK(opener.open(name, 1024));
    again.close();
    opener.close();
    CHECK(SharedMemory::remove(name));
    CHECK(!opener.open(name, 1024));
#endif
}

#ifndef _WIN32
TEST_CASE(names_map_to_private_posix_objects)
{
    // One namespace for all users: each user's objects carry the user id.
    const std::string uid = "-" + std::to_string(::getuid());
    ::setenv("BRINDLEWICK_SHM_PREFIX", "", 1);
    CHECK_EQ(SharedMemory::nativeName("Global\\KestrixVciShareMemory"), "/KestrixVciShareMemory" + uid);
    CHECK_EQ(SharedMemory::nativeName("KestrixAppShowWindowShareMemory"), "/KestrixAppShowWindowShareMemory" + uid);
    CHECK_EQ(SharedMemory::nativeName("Local\\a/b\\c"), "/a_b_c" + uid);
    ::setenv("BRINDLEWICK_SHM_PREFIX", "run7_", 1);
    CHECK_EQ(SharedMemory::nativeName("Global\\KestrixVciShareMemoryFunc"), "/run7_KestrixVciShareMemoryFunc" + uid);
    // The object is readable and writable by its owner only.
    const std::string name = blockName("mode");
    SharedMemory block;
    CHECK(block.create(name, 64));
    struct stat st { };
    const int fd = ::shm_open(SharedMemory::nativeName(name).c_str(), O_RDONLY, 0);
    CHECK(fd >= 0 && ::fstat(fd, &st) == 0);
    CHECK_EQ(st.st_mode & 0777, 0600u);
    if (fd >= 0)
        ::close(fd);
    block.close();
    SharedMemory::remove(name);
}

// Another process of the user shrinks a block that we keep mapped: touching
// it must not end the process, and the holder must be able to tell.
TEST_CASE(a_block_shrunk_behind_our_back_faults_into_zeros_not_a_crash)
{
    const std::string name = blockName("shrunk");
    SharedMemory block;
    CHECK(block.create(name, 1024));
    if (!block.isOpen())
        return;
    std::memset(block.data(), 'x', 1024);
    CHECK(block.intact());
    CHECK(block.stillNamed());
    const int fd = ::shm_open(SharedMemory::nativeName(name).c_str(), O_RDWR, 0);
    CHECK(fd >= 0 && ::ftruncate(fd, 0) == 0);
    CHECK(!block.intact());
    volatile unsigned char* p = block.data();
    CHECK_EQ(int(p[700]), 0); // SIGBUS without the guard
    p[10] = 'y';              // a write lands in the private zero pages
    CHECK_EQ(int(p[10]), int('y'));
    CHECK(!block.intact());
    if (fd >= 0)
        ::close(fd);
    // Removed and created anew by someone else: the name leads elsewhere.
    CHECK(SharedMemory::remove(name));
    CHECK(!block.stillNamed());
    SharedMemory other;
    CHECK(other.create(name, 1024));
    CHECK(!block.stillNamed());
    CHECK(other.stillNamed());
    block.close();
    other.close();
    SharedMemory::remove(name);
}

TEST_CASE(opening_a_block_smaller_than_asked_fails_instead_of_faulting)
{
    const std::string name = blockName("small");
    SharedMemory small;
    CHECK(small.create(name, 16));
    SharedMemory big;
    CHECK(!big.open(name, 1024));
    CHECK(big.error().find("1024") != std::string::npos);
    // Creating with the larger size grows the block for everyone.
    CHECK(big.create(name, 1024));
    if (big.isOpen())
        big.data()[1023] = 1;
    SharedMemory reader;
    CHECK(reader.open(name, 1024));
    small.close();
    big.close();
    reader.close();
    SharedMemory::remove(name);
}
#endif

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--hold-block")
        return holdBlock(argv[2]);
    return th::runAll();
}
