#include "VciSwitch.h"

#include "MT7628Config.h"
#include "Mt7628Protocol.h"

#include <blocks/PublishedAdapter.h>
#include <driverpkg/Manifest.h>
#include <driverpkg/OemSoftware.h>

#include <cstring>
#include <string>

namespace {

// A plain buffer: a thread-local with a destructor would keep the library
// loaded after its user unloads it, until the calling thread ends.
thread_local char t_message[512];

bool refuse(const std::string& why)
{
    mt7628::copyField(t_message, sizeof t_message, why);
    return false;
}

bool succeed()
{
    t_message[0] = '\0';
    return true;
}

std::string packageFolder()
{
    return driverpkg::moduleFolder(reinterpret_cast<const void*>(&packageFolder));
}

// The selected adapter's address from the status block, "" when there is none.
std::string adapterAddress()
{
    return blocks::readPublishedAdapter().address;
}

} // namespace

extern "C" {

bool SetModeHalvern()
{
    driverpkg::Manifest manifest;
    std::string why;
    if (!driverpkg::readManifest(packageFolder(), manifest, &why))
        return refuse("The driver package is damaged: " + why);
    if (driverpkg::makeHasOemProbe(manifest.make) && !driverpkg::oemSoftwareInstalled(manifest.make))
        return refuse("The " + manifest.make + " diagnostic software is not installed.");
    const std::string ip = adapterAddress();
    if (ip.empty())
        return refuse("No adapter is connected.");
    MT7628Config module;
    if (!module.SetMode(ip, manifest.make))
        return refuse("The adapter at " + ip + " did not switch to the " + manifest.make + " mode.");
    return succeed();
}

bool SetModeOriginal()
{
    const std::string ip = adapterAddress();
    if (ip.empty())
        return succeed();
    MT7628Config module;
    if (module.SetMode(ip, mt7628::kModeOriginal) || module.GetMode(ip).empty())
        return succeed(); // switched, or the adapter is not there to switch
    return refuse("The adapter at " + ip + " refused to go back to its own mode.");
}

const char* LastMessage()
{
    return t_message;
}
}
