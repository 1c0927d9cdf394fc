// The diagnosis component's entry points, looked up by name at run time by
// the manager (never linked). File names: "StdDispQt.dll", "StdComm.dll",
// "PubFunctional.dll", "IHttp.dll" in VehDiag/DLL and one "Diag.dll" per make
// folder; on Linux the same names with ".so" (platform::sharedLibrarySuffix()).
// Every text argument is UTF-8 and copied by the callee; none may be null.
#pragma once

#ifdef _WIN32
#define VEHDIAG_CALL __cdecl
#else
#define VEHDIAG_CALL
#endif

class QWidget;

extern "C" {

// StdDispQt: "en" for English; any other code ("cn", as the manager sends for
// its other interface language) selects the manager's other language, Spanish.
typedef void(VEHDIAG_CALL* VehDiagSetLanguage)(const char* language);
// StdDispQt: the VehDiag folder, ending in a separator.
typedef void(VEHDIAG_CALL* VehDiagSetVehiclePath)(const char* vehDiagFolder);
// StdDispQt: the page widget the component builds inside (GUI thread only;
// the component never deletes it).
typedef void(VEHDIAG_CALL* VehDiagSetGloableWidget)(QWidget* host);
// StdDispQt: builds the component's page stack inside the host widget (GUI thread).
typedef void(VEHDIAG_CALL* VehDiagMakeStackWid)();
// StdDispQt: selects the make (its folder name, e.g. "Bmw").
typedef void(VEHDIAG_CALL* VehDiagSetVeh)(const char* make);
// A make's Diag library, run on a worker thread: adds the make's ECU list and
// functions to the component. Returns 0 on success, else a non-zero code.
typedef int(VEHDIAG_CALL* VehDiagDiagEntry)(const char* makeFolder);
}
