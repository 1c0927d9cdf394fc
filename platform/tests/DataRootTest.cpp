// Mapping of "C:\ProgramData\..." paths to the data root.
#include "TestHarness.h"

#include "platform/DataRoot.h"

#include <cstdlib>

using namespace platform;

#ifndef _WIN32
TEST_CASE(program_data_paths_map_below_the_root)
{
    setDataRoot("/tmp/bwroot");
    CHECK_EQ(mapDataPath("C:\\ProgramData\\passThru4log"), std::string("/tmp/bwroot/passThru4log"));
    CHECK_EQ(mapDataPath("C:/ProgramData/passThru5log"), std::string("/tmp/bwroot/passThru5log"));
    CHECK_EQ(mapDataPath("c:\\programdata\\Kestrix\\"), std::string("/tmp/bwroot/Kestrix/"));
    CHECK_EQ(mapDataPath("C:\\PROGRAMDATA/PDULogger\\sub"), std::string("/tmp/bwroot/PDULogger/sub"));
    CHECK_EQ(mapDataPath("C:/ProgramData"), std::string("/tmp/bwroot"));
    CHECK_EQ(mapDataPath("C:/ProgramData/"), std::string("/tmp/bwroot/"));
    CHECK_EQ(mapDataPath("C:\\\\ProgramData"), std::string("C://ProgramData"));
    setDataRoot("/tmp/bwroot/");
    CHECK_EQ(mapDataPath("C:/ProgramData/RemoteDiag"), std::string("/tmp/bwroot/RemoteDiag"));
}

TEST_CASE(other_paths_only_get_forward_slashes)
{
    setDataRoot("/tmp/bwroot");
    CHECK_EQ(mapDataPath("C:/ProgramDataX/log"), std::string("C:/ProgramDataX/log"));
    CHECK_EQ(mapDataPath("D:\\ProgramData\\log"), std::string("D:/ProgramData/log"));
    CHECK_EQ(mapDataPath("\\VehDiag\\DLL\\VehVersion.ini"), std::string("/VehDiag/DLL/VehVersion.ini"));
    CHECK_EQ(mapDataPath("/var/log/x"), std::string("/var/log/x"));
    CHECK_EQ(mapDataPath(""), std::string());
    CHECK_EQ(mapDataPath("C:"), std::string("C:"));
}

TEST_CASE(root_comes_from_environment_then_xdg)
{
    setDataRoot(std::string());
    ::setenv("BRINDLEWICK_DATA_ROOT", "/srv/bw", 1);
    CHECK_EQ(dataRoot(), std::string("/srv/bw"));
    CHECK_EQ(mapDataPath("C:\\ProgramData\\passThru4log"), std::string("/srv/bw/passThru4log"));
    ::unsetenv("BRINDLEWICK_DATA_ROOT");
    ::setenv("XDG_DATA_HOME", "/home/u/.data", 1);
    CHECK_EQ(dataRoot(), std::string("/home/u/.data/brindlewick/ProgramData"));
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/u", 1);
    CHECK_EQ(dataRoot(), std::string("/home/u/.local/share/brindlewick/ProgramData"));
    setDataRoot("/tmp/override");
    CHECK_EQ(dataRoot(), std::string("/tmp/override"));
}
#else
TEST_CASE(paths_stay_windows_paths)
{
    setDataRoot(std::string());
    CHECK_EQ(mapDataPath("C:\\ProgramData\\passThru4log"), std::string("C:\\ProgramData\\passThru4log"));
    CHECK_EQ(mapDataPath("C:/ProgramData/PDULogger"), std::string("C:/ProgramData/PDULogger"));
    CHECK(!dataRoot().empty());
}

TEST_CASE(an_explicit_root_redirects_program_data)
{
    setDataRoot("C:\\temp\\bwroot");
    CHECK_EQ(mapDataPath("c:/programdata/Kestrix/"), std::string("C:\\temp\\bwroot\\Kestrix\\"));
    CHECK_EQ(mapDataPath("D:\\ProgramData\\x"), std::string("D:\\ProgramData\\x"));
    setDataRoot(std::string());
}
#endif

int main()
{
    return th::runAll();
}
