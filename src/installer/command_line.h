#pragma once
// The engine's command-line grammar: atoms split from the raw text that Windows hands
// to the entry point, matched against the options. Pure: the Windows layer turns a
// usage error into the usage box.

#include <string>
#include <string_view>
#include <vector>

namespace halvard {

inline constexpr int max_command_line_atoms = 19;

struct CommandLine {
  bool AutomaticMode = false;
  bool UninstallMode = false;
  bool StartMinimized = false;
  std::string InstallDir;
  std::string ProductName;
  std::string uninstall_name;
  std::string run_after_install;
  // Lines appended to the Pre-Installation, Post-Installation and Installation-Exit
  // batches (/b1:, /b2:, /b3:).
  std::string batch_additions[3];
};

struct ParsedCommandLine {
  CommandLine options;
  // Empty when the text is valid; otherwise the first line of the usage box.
  std::string usage_error;
  bool ok() const { return usage_error.empty(); }
};

// Splits the text into atoms; a double-quoted stretch keeps its spaces and its quotes.
std::vector<std::string> split_command_line_atoms(std::string_view text);

ParsedCommandLine parse_command_line(std::string_view text);

// The usage box text: the error first, then the grammar with the program's file name.
std::string usage_text(std::string_view error, std::string_view program_file_name);

}  // namespace halvard
