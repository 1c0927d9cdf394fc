// The diagnosis component's folder "VehDiag" next to the program: the shared
// libraries in "DLL", one folder per make holding that make's "Diag" library,
// the version files, the replacements waiting as "<name>_Down". Library file
// names carry the platform's suffix (".dll", ".so"); the file server's names
// keep ".dll" (ComponentFolder::serverPath).
#pragma once

#include <QString>
#include <QStringList>

namespace diagnosis {

// The component's libraries, by base name.
inline constexpr const char* kIHttp = "IHttp";
inline constexpr const char* kPubFunctional = "PubFunctional";
inline constexpr const char* kStdComm = "StdComm";
inline constexpr const char* kStdDispQt = "StdDispQt";
inline constexpr const char* kMakeLibrary = "Diag";
// The file-server folder of the two shared libraries kept current.
inline constexpr const char* kDisplayServerFolder = "MARROWET_DISPQT";

class ComponentFolder {
public:
    // `vehDiagFolder`: the "VehDiag" folder (no trailing separator).
    explicit ComponentFolder(QString vehDiagFolder);
    // "<program folder>/VehDiag".
    static ComponentFolder besideProgram();

    const QString& root() const { return m_root; }
    QString dllFolder() const;
    QString library(const char* base) const;     // DLL/<base><suffix>
    QString replacement(const char* base) const; // DLL/<base>_Down<suffix>
    QString installedVersions() const;           // DLL/VehVersion.ini
    QString newestVersions() const;              // DLL/VehNewestVersion.ini
    QString downloadedVersion() const;           // DLL/Tmp.ini
    QString makeFolder(const QString& make) const;
    QString makeLibrary(const QString& make) const; // <make>/Diag<suffix>

    // The make folders present, sorted: every folder but "DLL" whose name is a
    // plain make name (letters, digits, "_" and "-", at most 32).
    QStringList makes() const;
    static bool validMakeName(const QString& make);

    // File-server paths below the file server's base.
    static QString serverLibraryPath(const char* base);        // q3lux/MARROWET_DISPQT/Release/<base>.dll
    static QString serverVersionPath(const QString& folder);   // q3lux/<folder>/Version.ini
    static QString serverMakeLibraryPath(const QString& make); // q3lux/<make>/Diag.dll

private:
    QString m_root;
};

// Whether a file looks like a shared library this process can load (on Linux
// an ELF shared object of this machine's class and architecture, on Windows a
// PE image), checked before anything is loaded or swapped in, so a damaged or
// foreign file is refused with a reason instead of being handed to the loader.
bool looksLoadable(const QString& path, QString* why = nullptr);

// What the swap of the waiting replacements did.
enum class SwapResult {
    NothingWaiting, // no "_Down" file
    OneMissing,     // only one of the two: nothing swapped
    Swapped,        // both replaced the libraries in use
    Refused,        // a replacement is damaged: it was removed, the libraries stay
    Failed          // a rename failed (why says which)
};

// Puts "StdComm_Down" and "StdDispQt_Down" in place of "StdComm" and
// "StdDispQt", only when both are there and both look loadable. Each rename
// replaces the old file in one step. GUI thread, before any component library
// is loaded.
SwapResult swapReplacements(const ComponentFolder& folder, QString* why = nullptr);

} // namespace diagnosis
