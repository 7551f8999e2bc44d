#pragma once
// The halvard-build command line: build, inspect, new, schema, reference, --version,
// and --help on each.

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "project_loader.h"

namespace halvard::builder {

struct CliContext {
  std::filesystem::path builder_exe;  // for the engine search
  Environment environment = process_environment;
  bool terminal = false;              // stderr is a terminal: show a progress line
  // Seconds on a steady clock; tests give their own.
  std::function<double()> seconds = steady_seconds;
  static double steady_seconds();
};

struct BuildOutcome;

// The line a build ends with, for one file as for 10,000:
// "wrote setup.exe: 84,480 bytes; 2 files of 1,234 bytes, packed into 812 (66%)".
std::string summary_line(const BuildOutcome& outcome);

// `args` excludes the program name. Returns the process's exit code (exit_code::*).
int run_cli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const CliContext& context);

}  // namespace halvard::builder
