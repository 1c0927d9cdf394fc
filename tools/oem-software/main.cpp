// Plays a make's own diagnostic software on this machine, so the driver that
// needs it can be enabled and the manager's "No driver is detected" prompt
// shown without that software:
//   oem-software list                       the probes and which succeed
//   oem-software install MAKE [--32]        writes the make's first probe value
//                                           (in the 32-bit view with --32)
//   oem-software remove MAKE                removes every probe value of the make
//   oem-software detect                     the make the manager would detect
// Uses the registry store the manager uses (on Linux the folder
// $BRINDLEWICK_REGISTRY_ROOT, see docs/platform.md).
#include <driverpkg/OemSoftware.h>
#include <platform/Registry.h>

#include <cstdio>
#include <string>

namespace {

using platform::Registry;
using platform::RegistryHive;
using platform::RegistryView;

// A value name as a shell shows it (JLR's starts with two line feeds).
std::string shown(const char* name)
{
    std::string out;
    for (const char* p = name; *p; ++p)
        out += *p == '\n' ? std::string("\\n") : std::string(1, *p);
    return out;
}

int usage()
{
    std::fprintf(stderr, "usage: oem-software list | detect | install MAKE [--32] | remove MAKE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    const std::string make = argc > 2 ? argv[2] : "";
    if (command == "list" && argc == 2) {
        for (const driverpkg::OemProbe& p : driverpkg::oemSoftwareTable())
            std::printf("%-8s %-3s HKLM\\%s : %s\n", p.make, driverpkg::probeSucceeds(p) ? "yes" : "no", p.key,
                shown(p.value).c_str());
        return 0;
    }
    if (command == "detect" && argc == 2) {
        const std::string found = driverpkg::detectOemMake();
        std::printf("%s\n", found.empty() ? "none" : found.c_str());
        return 0;
    }
    const bool install = command == "install" && (argc == 3 || (argc == 4 && std::string(argv[3]) == "--32"));
    if (!install && !(command == "remove" && argc == 3))
        return usage();
    if (!driverpkg::makeHasOemProbe(make)) {
        std::fprintf(stderr,
            "oem-software: no probe for the make \"%s\" (makes with probes: BENZ, BMW, Ford, GM, "
            "Honda, JLR, VW, Porsche, Mazda, SAIC)\n",
            make.c_str());
        return 1;
    }
    for (const driverpkg::OemProbe& p : driverpkg::oemSoftwareTable()) {
        if (make != p.make)
            continue;
        if (install) {
            const RegistryView view = argc == 4 ? RegistryView::Force32 : RegistryView::Force64;
            const std::string data = "C:\\Program Files\\" + make + " diagnostic software (stand-in)";
            if (!Registry::writeString(RegistryHive::LocalMachine, p.key, p.value, data, view)) {
                std::fprintf(stderr, "oem-software: cannot write HKLM\\%s (registry store %s)\n", p.key,
                    Registry::rootDirectory().c_str());
                return 1;
            }
            std::printf("installed %s: HKLM\\%s : %s\n", p.make, p.key, shown(p.value).c_str());
            return 0;
        }
        for (RegistryView view : {RegistryView::Force64, RegistryView::Force32})
            Registry::deleteValue(RegistryHive::LocalMachine, p.key, p.value, view);
    }
    std::printf("removed %s\n", make.c_str());
    return 0;
}
