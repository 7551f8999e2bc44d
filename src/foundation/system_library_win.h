#pragma once
// DLL hardening. An installer is typically started from a Downloads folder that holds
// whatever else the browser saved there; a DLL planted beside it must never load.
// So the engine imports at load time only DLLs that Windows keeps as known DLLs, the
// first thing it does is to restrict the DLL search to the system folder, and every
// other system DLL is loaded by name from the system folder through this module.

#include <windows.h>

namespace halvard {

// Restricts the default DLL search to the system folder and keeps the current folder
// out of it. Works on systems without SetDefaultDllDirectories (the call is looked up
// at run time); returns whether the restriction is in force.
bool harden_dll_search();

// Loads a system DLL from the system folder only; null when it is not there.
HMODULE load_system_library(const char* name);

}  // namespace halvard
