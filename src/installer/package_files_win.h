#pragma once
// The file phase: the package's file-data region checked and walked, every file
// installed into its folder and gathered for the later phases.

#include <string>

#include "foundation/file.h"
#include "installer/run_state.h"
#include "package/install_settings.h"
#include "package/package_reader_win.h"
#include "ui/progress_window_win.h"

namespace halvard {

struct PackageFilesResult {
  int package_error = 0;
  std::string fatal_text;  // the "Error code 2" read failure
  bool cancelled = false;  // the user stopped the walk; the files so far are on the removal list
};

PackageFilesResult install_package_files(const OpenedPackage& package, File& own_file, InstallSettings& settings,
                                         RunState& state, ProgressWindow& progress);

}  // namespace halvard
