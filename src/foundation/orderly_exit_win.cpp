#include "foundation/orderly_exit_win.h"

#include <windows.h>

namespace halvard {
namespace {

// Windows ends the process from wherever the run stops, outside any object that could
// carry this along.
ExitSteps exit_steps = nullptr;

}  // namespace

void set_exit_steps(ExitSteps steps) { exit_steps = steps; }

void exit_installer(int code) {
  if (exit_steps) exit_steps();
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace halvard
