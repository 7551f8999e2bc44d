#pragma once
// The halvard-build command line: build, inspect, new, and --help on each.

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "project_loader.h"

namespace halvard::builder {

struct CliContext {
  std::filesystem::path builder_exe;  // for the engine search
  Environment environment = process_environment;
  bool terminal = false;              // stderr is a terminal: show a progress line
};

// `args` excludes the program name. Returns the process's exit code (exit_code::*).
int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context);

}  // namespace halvard::builder
