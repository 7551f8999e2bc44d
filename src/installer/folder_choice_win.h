#pragma once
// Where the product goes: the earlier installation found in its uninstall registration,
// the rules for installing over it, the installation directory (from the registry, the
// earlier installation, or the directory page and its checks) and the Start-menu
// folder. Each step ends the run itself where its rules say so.

#include <cstdint>
#include <span>

#include "installer/run_state.h"
#include "ui/user_interface_win.h"

namespace halvard {

// Fills the run state's previous-installation items; only with uninstall support.
void find_earlier_installation(const InstallSettings& settings, RunState& state);

// Settles InstallDir and the install type; `file_sizes` are the package's stored file
// sizes, for the space the installation needs.
void choose_installation_directory(UserInterface& ui, RunState& state, std::span<const int32_t> file_sizes);

// The earlier installation's Start-menu folder, or the Start-menu page: false when the
// page was cancelled (the caller ends the run with the notice).
bool choose_start_menu_folder(UserInterface& ui, const RunState& state);

}  // namespace halvard
