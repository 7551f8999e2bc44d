#pragma once
// The installer's main line, from the read package to the orderly exit.

#include <string>

#include "foundation/file.h"
#include "installer/command_line.h"
#include "package/install_settings.h"
#include "package/package_reader_win.h"
#include "ui/user_interface_win.h"

namespace halvard {

struct InstallationInputs {
  UserInterface& ui;  // and through it the settings
  const OpenedPackage& package;
  File& own_file;               // the executable: the region when the data is on disk
  const CommandLine& options;   // batch additions and the launch command
  std::string install_source;   // the executable's path
};

// Runs every phase in order; every path ends in exit_installer.
[[noreturn]] void run_installation_sequence(InstallationInputs inputs);

}  // namespace halvard
