#pragma once
// Where a product's files and keys go, whatever the bitness of the engine's own process.
//
// The x86 engine on 64-bit Windows runs under WOW64 and gets the 32-bit registry view,
// the "(x86)" program folders and the 32-bit system folder without asking; for a 64-bit
// product it switches file-system redirection off and asks for the 64-bit registry
// view. The x64 engine asks for the same places by name. Code that touches the registry
// or a system folder asks this view, never the bitness of its own process, so that both
// engines put a product in the same place.
#include <windows.h>

#include <string>

namespace halvard {

inline constexpr bool engine_is_64bit = sizeof(void*) == 8;

// The registry view of keys that a 32-bit program reaches without naming one: 0 in the
// x86 engine (WOW64 chooses), the 32-bit view by name in the x64 engine. Every key the
// engine opens outside a 64-bit product's own keys is opened with it.
inline constexpr REGSAM registry_32bit_view = engine_is_64bit ? KEY_WOW64_32KEY : 0;

// The view of a product's own keys: the 64-bit one for a 64-bit product.
inline REGSAM product_registry_view(bool product_64bit) {
  return product_64bit ? KEY_WOW64_64KEY : registry_32bit_view;
}

// Puts the process into the product's view for the rest of the run, once its bitness
// is known. For a 64-bit product in the x86 engine: file-system redirection off (false
// when that fails). For a 32-bit product in the x64 engine: the environment WOW64 gives
// a 32-bit program (ProgramFiles, CommonProgramFiles, PROCESSOR_ARCHITECTURE), so that
// expanded texts and batch files see what they see under the x86 engine.
bool enter_product_view(bool product_64bit);

// Switches file-system redirection back on where `enter_product_view` switched it off.
void leave_product_view();

// A shell special folder (CSIDL number) as the x86 engine sees it: the x64 engine
// answers the program-files folders with their "(x86)" forms, as WOW64 does, and the
// system folder as `product_system_folder` does. Empty when the shell has none.
std::string product_special_folder(int csidl);

// The program as a 32-bit program would start it: a file named under the system folder
// is taken from the 32-bit one, where it has one, for a 32-bit product in the x64
// engine (the batch interpreter, say). Other paths stay as they are.
std::string product_program(const std::string& path);

// The system folder where the product's system files go: the 32-bit one ("SysWOW64")
// for a 32-bit product in the x64 engine, where the x86 engine's writes to the system
// folder land; otherwise the system folder.
std::string product_system_folder();

}  // namespace halvard
