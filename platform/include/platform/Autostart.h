// The log-on autostart entry "Brindlewick": the HKLM Run value on Windows,
// an XDG autostart file $XDG_CONFIG_HOME/autostart/Brindlewick.desktop on POSIX
// whose Exec line is the value.
#pragma once

#include <string>

namespace platform {

// The value text, or empty when it cannot be read (Windows: the 64-bit view
// first, then the 32-bit view).
std::string readAutostartEntry();
// True when the value was set. Fails quietly without rights.
bool writeAutostartEntry(const std::string& value);
// Missing entries are not reported.
void removeAutostartEntry();

// POSIX only: the folder that holds the autostart file (tests point it elsewhere).
void setAutostartDirectory(const std::string& dir);
std::string autostartDirectory();

} // namespace platform
