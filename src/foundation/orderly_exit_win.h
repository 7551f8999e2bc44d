#pragma once
// The orderly exit that every path of a run ends in. What it must tidy up (the
// background window, the notification thread, the engine's own file, OLE) belongs to
// the entry point, which hands it over once at start-up; the installation and the
// uninstaller only say that the run is over.

namespace halvard {

using ExitSteps = void (*)();

// What runs before the process ends; none before it is set.
void set_exit_steps(ExitSteps steps);

// Runs the exit steps and ends the process with `code`.
[[noreturn]] void exit_installer(int code);

}  // namespace halvard
