// The registry. On Windows the real registry; on POSIX a file-backed store
// under one root directory that mirrors the Windows layout, including the
// 32-bit view below "WOW6432Node". Every caller uses this one implementation.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class RegistryHive { LocalMachine, CurrentUser };
// Default: the process's own view (a 32-bit process sees the 32-bit view).
enum class RegistryView { Default, Force64, Force32 };

class Registry {
public:
    // Values are strings (REG_SZ) or 32-bit numbers (REG_DWORD).
    static std::optional<std::string> readString(
        RegistryHive hive, const std::string& key, const std::string& name, RegistryView view = RegistryView::Default);
    static bool writeString(RegistryHive hive, const std::string& key, const std::string& name,
        const std::string& value, RegistryView view = RegistryView::Default);
    static std::optional<unsigned long> readDword(
        RegistryHive hive, const std::string& key, const std::string& name, RegistryView view = RegistryView::Default);
    static bool writeDword(RegistryHive hive, const std::string& key, const std::string& name, unsigned long value,
        RegistryView view = RegistryView::Default);
    static bool deleteValue(
        RegistryHive hive, const std::string& key, const std::string& name, RegistryView view = RegistryView::Default);
    static bool keyExists(RegistryHive hive, const std::string& key, RegistryView view = RegistryView::Default);
    // Deletes the key with all its sub-keys and values.
    static bool deleteKey(RegistryHive hive, const std::string& key, RegistryView view = RegistryView::Default);
    static std::vector<std::string> valueNames(
        RegistryHive hive, const std::string& key, RegistryView view = RegistryView::Default);
    // Names of the key's direct sub-keys, sorted without regard to ASCII case
    // (the order Windows enumerates them in); empty when the key is absent.
    static std::vector<std::string> subKeyNames(
        RegistryHive hive, const std::string& key, RegistryView view = RegistryView::Default);

    // POSIX only: the store's root folder. Default $BRINDLEWICK_REGISTRY_ROOT,
    // else $XDG_CONFIG_HOME/brindlewick/registry. Tests point it elsewhere.
    static void setRootDirectory(const std::string& dir);
    static std::string rootDirectory();
    // POSIX only: the view that Default stands for (Force64 unless set; the
    // Windows build of the manager is a 32-bit process and sees Force32).
    static void setDefaultView(RegistryView view);
};

} // namespace platform
