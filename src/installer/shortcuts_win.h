#pragma once
// The shortcut phase: the package's and the files' shortcuts on the desktop (or in a
// desktop folder with its own icon), in the Start-menu folder, in Startup and in folders
// of the package's choice, then the uninstaller's and the USB-root shortcut. Each link
// is logged in the detailed log and, unless kept, recorded for removal.

#include <string>

#include "installer/run_state.h"
#include "ui/user_interface_win.h"

namespace halvard {

// Saves a shell link at `path` (".LNK" appended unless the path holds ".lnk"; `path`
// comes back with it), creating its folder. `flags` are the link flags of
// shortcut_rules.h. False, with the system's error as the last error, when it failed.
bool write_link(std::string& path, const std::string& target, const std::string& arguments,
                const std::string& working_folder, const std::string& icon_file, unsigned flags);

// The whole phase; failures go into the failure summary and the phase goes on.
void install_shortcuts(const UserInterface& ui, RunState& state);

}  // namespace halvard
