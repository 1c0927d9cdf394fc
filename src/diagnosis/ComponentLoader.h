// Loading the diagnosis component into the manager: the component's shared
// libraries from "VehDiag/DLL" and a make's "Diag" library, each checked
// before it is loaded (looksLoadable) and refused unless every export the
// manager calls resolves, so a damaged or foreign file gives a message and
// nothing is called. Loaded libraries stay loaded until the process ends: the
// component's widgets and threads live in them, and unloading code that may
// still run is not safe. A folder's libraries are therefore loaded once per
// run; replacements take effect at the next start.
#pragma once

#include "diagnosis/ComponentFolder.h"

#include <vehdiag/Exports.h>

#include <QString>
#include <QStringList>

namespace diagnosis {

// The display library's entry points, all resolved.
struct DisplayEntries {
    VehDiagSetLanguage setLanguage = nullptr;
    VehDiagSetVehiclePath setVehiclePath = nullptr;
    VehDiagSetGloableWidget setGloableWidget = nullptr;
    VehDiagMakeStackWid makeStackWid = nullptr;
    VehDiagSetVeh setVeh = nullptr;
};

struct LoadOutcome {
    const DisplayEntries* entries = nullptr; // null when a library was refused
    QString failedLibrary;                   // its base name ("StdComm"), empty on success
    QString detail;                          // why, for the log
    bool loadedBefore = false;               // already loaded earlier in this run
    SwapResult swap = SwapResult::NothingWaiting;
    QStringList skipped; // component Qt libraries left alone
};

// The loading steps before the component is called, on the GUI thread:
// the preload (the component's "IHttp"; Qt libraries in the folder are never
// loaded, the process has its Qt already), the installed versions read, the
// swap of waiting replacements, then "PubFunctional", "StdComm" and
// "StdDispQt" with the display's five exports resolved. Nothing is swapped
// once the folder's libraries are loaded in this run.
LoadOutcome loadComponent(const ComponentFolder& folder);

// Calls the display: language ("en" for English, else "cn"), the VehDiag
// folder with a trailing separator, the host widget, the page stack (built
// once per run), the make. GUI thread.
void startDisplay(
    const DisplayEntries& entries, const ComponentFolder& folder, bool english, QWidget* host, const QString& make);

struct MakeOutcome {
    bool ok = false;
    bool enteredBefore = false; // the make's entry already ran in this run
    int code = 0;               // DiagEntry's result
    QString detail;
};

// Loads the make's "Diag" library and runs "DiagEntry" with the make folder
// (with a trailing separator). Blocks for as long as the entry runs: call it
// on a worker thread. Runs the entry once per library per run.
MakeOutcome enterMake(const ComponentFolder& folder, const QString& make);

} // namespace diagnosis
