// "C:\ProgramData\..." folders. On Windows the path itself; on POSIX the part
// after "ProgramData" below one data root ($BRINDLEWICK_DATA_ROOT, else
// $XDG_DATA_HOME/brindlewick/ProgramData). Tests point it at a temporary folder.
#pragma once

#include <string>

namespace platform {

std::string mapDataPath(const std::string& windowsPath);
void setDataRoot(const std::string& dir);
std::string dataRoot();

} // namespace platform
