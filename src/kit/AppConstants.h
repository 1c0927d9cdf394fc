// Process-wide constants of the manager: version, language codes, the places
// the program keeps state in, and the exit code that asks for a restart.
#pragma once

#include "BuildConfig.h"

namespace AppConstants {

// The one version of the program is the project's (CMakeLists.txt).
inline constexpr const char* kApplicationVersion = BuildConfig::kApplicationVersion;

inline constexpr const char* kLanguageEnglish = "en";
inline constexpr const char* kLanguageSpanish = "es";
inline constexpr const char* kDefaultLanguage = kLanguageSpanish;

// Driver install records (values "InstallPath", "IsDisable", "InstallVersion").
inline constexpr const char* kRegistryBasePath = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrix\\DrivceApp\\";
// The same key without its hive, as the platform registry addresses it.
inline constexpr const char* kRegistryBaseKey = "SOFTWARE\\Kestrix\\DrivceApp";

// Downloaded driver packages and other machine-wide data.
inline constexpr const char* kDataDirectory = "C:\\ProgramData\\Kestrix\\";

// Log-on autostart: the Run key of HKEY_LOCAL_MACHINE, value "Brindlewick",
// holding the executable path followed by the tray switch.
inline constexpr const char* kAutostartKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kAutostartValueName = "Brindlewick";
inline constexpr const char* kTraySwitch = "-z";

// Marker file next to the executable, read when a language is applied.
inline constexpr const char* kLanguageMarkerFile = "SaveLanguageSetting.ini";

// Exit code of the event loop that makes the program start itself again
// (language change); 0 is a normal exit, -1 a second instance.
inline constexpr int restartExitCode = 100;
inline constexpr int secondInstanceExitCode = -1;

} // namespace AppConstants
