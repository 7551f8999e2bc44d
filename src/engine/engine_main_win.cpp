// The engine's entry point: harden the process, then hand over to the driver.
#include <windows.h>

#include <cstdlib>

#include "foundation/system_library_win.h"
#include "engine/engine_win.h"
#include "ui/fatal_display_win.h"

// The library's default terminate handler prints demangled type names to a console
// that a GUI program does not have; replacing it keeps the demangler (about 75 KB)
// out of the executable.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_text, int) {
  // Before anything can load a DLL by name.
  halvard::harden_dll_search();
  halvard::install_fatal_display();
  halvard::run_engine(instance, command_text);
}
