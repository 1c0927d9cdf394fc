// The OS-version probe.
#include "TestHarness.h"

#include "platform/OsVersion.h"

#ifndef _WIN32
#include <sys/utsname.h>
#endif

using namespace platform;

TEST_CASE(system_version_is_reported)
{
    const OsVersion v = osVersion();
#ifdef _WIN32
    CHECK(v.isWindows);
    CHECK(v.major >= 5);
#else
    CHECK(!v.isWindows);
    utsname name{};
    CHECK(::uname(&name) == 0);
    const std::string expected = std::to_string(v.major) + "." + std::to_string(v.minor);
    CHECK_EQ(std::string(name.release).substr(0, expected.size()), expected);
    CHECK(v.major >= 2);
#endif
}

TEST_CASE(probe_replaces_and_restores)
{
    const OsVersion real = osVersion();
    setOsVersionProbe([] { return OsVersion{6, 1, true}; });
    const OsVersion seven = osVersion();
    CHECK(seven.isWindows);
    CHECK_EQ(seven.major, 6);
    CHECK_EQ(seven.minor, 1);
    setOsVersionProbe(nullptr);
    const OsVersion back = osVersion();
    CHECK_EQ(back.major, real.major);
    CHECK_EQ(back.minor, real.minor);
    CHECK_EQ(back.isWindows, real.isWindows);
}

int main()
{
    return th::runAll();
}
