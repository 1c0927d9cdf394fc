#include "driverpkg/OemSoftware.h"

#include <platform/Registry.h>

#include <cctype>

namespace driverpkg {

namespace {

bool sameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Registry value names compare without regard to letter case.
bool hasValue(const std::string& key, const std::string& name, platform::RegistryView view)
{
    for (const std::string& present : platform::Registry::valueNames(platform::RegistryHive::LocalMachine, key, view))
        if (sameName(present, name))
            return true;
    return false;
}

} // namespace

const std::vector<OemProbe>& oemSoftwareTable()
{
    static const std::vector<OemProbe> table = {
        {"SOFTWARE\\Mercedes-Benz\\Installation Framework", "INSTALLDIR", "BENZ"},
        {"SOFTWARE\\Softing\\DTS8\\Setup", "Recent", "BENZ"},
        {"SOFTWARE\\Vediamo", "Installer", "BENZ"},
        {"SOFTWARE\\BMWGroup\\ISPI\\ISTA", "DataVersion", "BMW"},
        {"SOFTWARE\\BMW\\ISPI\\TRIC\\ISTALauncher", "BMW.TricTools.IstaLauncher.InstallationStatus", "BMW"},
        {"SOFTWARE\\Ford Motor Company\\IDS", "VerInfo", "Ford"},
        {"SOFTWARE\\Ford Motor Company\\FDRS", "FDRSVersion", "Ford"},
        {"SOFTWARE\\GM\\Tech2Win", "Root", "GM"},
        {"SOFTWARE\\MAHLE Test Systems\\SERVICELOGIQ", "INSTALL_DIRECTORY", "GM"},
        {"SOFTWARE\\Microsoft\\Tracing\\RDS3_RASAPI32", "FileDirectory", "GM"},
        {"SOFTWARE\\Honda\\HDS\\i-HDS\\Common", "installDirectory", "Honda"},
        {"SOFTWARE\\JLR\\IDS", "\n\nDataPath", "JLR"},
        {"SOFTWARE\\Bosch\\VTX-VCI\\JLR", "DLLLocation", "JLR"},
        {"SOFTWARE\\Volkswagen\\OffboardDiagnosticInformationSystem\\Service", "installLocation", "VW"},
        {"SOFTWARE\\Volkswagen\\OffboardDiagnosticInformationSystem\\Engineering", "installLocation", "VW"},
        {"SOFTWARE\\PIWIS\\Basis", "Version", "Porsche"},
        {"SOFTWARE\\Mazda Motor Corporation\\IDS", "VerInfo", "Mazda"},
        {"SOFTWARE\\SAICMOTOR\\VDS2", "FunctionLibrary", "SAIC"},
    };
    return table;
}

bool probeSucceeds(const OemProbe& probe)
{
    return hasValue(probe.key, probe.value, platform::RegistryView::Force64)
        || hasValue(probe.key, probe.value, platform::RegistryView::Force32);
}

std::string detectOemMake()
{
    for (const OemProbe& probe : oemSoftwareTable())
        if (probeSucceeds(probe))
            return probe.make;
    return {};
}

bool makeHasOemProbe(const std::string& make)
{
    for (const OemProbe& probe : oemSoftwareTable())
        if (make == probe.make)
            return true;
    return false;
}

bool oemSoftwareInstalled(const std::string& make)
{
    for (const OemProbe& probe : oemSoftwareTable())
        if (make == probe.make && probeSucceeds(probe))
            return true;
    return false;
}

} // namespace driverpkg
