// The uninstaller file and the product's registration under the Uninstall key, carried
// out on the running system. Every failure is reported into the run state and the
// installation goes on.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "installer/run_state.h"
#include "records/uninstall_registration.h"
#include "package/install_settings.h"
#include "package/package_reader_win.h"

namespace halvard {

// The uninstall data folder joined with UninstallerName.
std::string uninstaller_path(const InstallSettings& settings);

// Writes the uninstaller: with SetupOptions bit 5 the engine copy (its date
// UninstallerDate, and `icon_file`, an icon file image, as its icon when not empty),
// else `install_source` copied. A file in use is replaced at the next restart
// (ProductFlags low bit 14 set). False when the uninstaller is not in place now.
bool place_uninstaller(InstallSettings& settings, const OpenedPackage& package, RunState& state,
                       const std::string& install_source, std::span<const uint8_t> icon_file = {});

// The facts of this run: the uninstaller's path, the required space, the start-menu
// folder, the earlier "SharedFiles" value, the date, variable expansion. The caller
// adds this run's fonts and shared files to them.
UninstallFacts gather_uninstall_facts(const InstallSettings& settings, const OpenedPackage& package,
                                      const RunState& state, const std::string& install_source);

// Writes the plan's values, reads "UninstallString" back, writes InstallDirValue and
// reports failures into state.failure_summary. False when the registration failed.
bool write_uninstall_registration(const InstallSettings& settings, const UninstallPlan& plan, RunState& state);

// Both steps, only with uninstall support (ProductFlags low bit 2). False when the
// registration failed; true without uninstall support.
bool register_uninstall(InstallSettings& settings, const OpenedPackage& package, RunState& state,
                        const std::string& install_source);

}  // namespace halvard
