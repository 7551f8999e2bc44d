// Running batch files: "SETUPBAT.BAT" in the installation directory, run through the
// command interpreter while the windows stay responsive, and "delunins.bat", which
// outlives the uninstaller to delete it. The texts come from batch_file.h.
#pragma once

#include <windows.h>

#include <span>
#include <string>
#include <string_view>

#include "package/install_settings.h"
#include "records/install_log.h"
#include "ui/user_interface_win.h"
#include "variables/batch_file.h"

namespace halvard {

// Writes "SETUPBAT.BAT" into settings.InstallDir with the SET lines of the directory
// variables (`old_version` is the installed version upgrade detection found, for
// %OldVersion%) and `commands`, runs it (window hidden when `hidden`), waits for it while
// pumping messages, and deletes it. With a `label`, the output goes to "hv_batch.log"
// and, when not blank, into `log` under the label. Pause lines are dropped in automatic
// mode and in hidden runs.
// True when the commands are blank (nothing is written or run) or the batch ran. False
// when the file could not be written or the interpreter not started; then, unless in
// automatic mode, a message box has told the user.
bool run_batch(std::string_view commands, std::string_view label, bool hidden, const UserInterface& ui, InstallLog& log,
               std::string_view old_version = {});

// run_batch for one kind of batch as the settings describe it; `addition` is the
// command line's text for the kinds that take one.
bool run_batch(BatchKind kind, const UserInterface& ui, InstallLog& log, std::string_view addition = {},
               std::string_view old_version = {});

// Writes "delunins.bat" into the temporary folder for the running executable, the
// installation directory and the uninstall data folder of `settings`, and the product's
// own folders around the installation directory (deepest first), and starts it hidden
// without waiting. Called as the last thing of a successful uninstallation.
bool write_self_delete_batch(const InstallSettings& settings, std::span<const std::string> outer_folders = {});

// The same with every path given. The batch runs in the folder that holds it, so that
// its own working directory never keeps a folder it removes.
bool start_self_delete_batch(const std::string& batch_path, const std::string& executable,
                             const std::string& install_dir, const std::string& uninstall_subdir,
                             std::span<const std::string> outer_folders = {});

// Writes "utrri.bat" (must_uninstall_batch_text) as `batch_path` and starts it hidden
// without waiting: the earlier installation is removed, then the installer runs again.
bool start_must_uninstall_batch(const std::string& batch_path, const std::string& uninstall_command,
                                const std::string& installer_command);

}  // namespace halvard
