#include "installer/command_line.h"

#include <cstdio>

#include "foundation/text.h"

namespace halvard {
namespace {

bool is_command_line_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Removes `prefix` from the front of `atom` when it is there, in any letter case.
bool take_prefix(std::string_view& atom, std::string_view prefix) {
  if (atom.size() < prefix.size() || !equal_ignoring_case(atom.substr(0, prefix.size()), prefix)) return false;
  atom.remove_prefix(prefix.size());
  return true;
}

std::string without_enclosing_quotes(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return std::string(value);
}

// /r:"..." and /b1:"...": the opening quote was part of the prefix; backquotes stand for
// the double quotes that the outer command line cannot carry.
std::string quoted_command(std::string_view value) {
  if (!value.empty() && value.back() == '"') value.remove_suffix(1);
  std::string command(value);
  for (char& c : command) {
    if (c == '`') c = '"';
  }
  return command;
}

std::string with_line_breaks(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '~' && i + 1 < text.size() && text[i + 1] == '~') {
      out += "\r\n";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<std::string> split_command_line_atoms(std::string_view text) {
  std::vector<std::string> atoms;
  size_t pos = 0;
  for (;;) {
    while (pos < text.size() && is_command_line_space(text[pos])) ++pos;
    std::string atom;
    while (pos < text.size()) {
      char c = text[pos];
      if (c == '"') {
        size_t close = text.find('"', pos + 1);
        if (close == std::string_view::npos) {
          atom.append(text.substr(pos));
          pos = text.size();
        } else {
          atom.append(text.substr(pos, close - pos + 1));
          pos = close + 1;
        }
      } else {
        ++pos;
        if (is_command_line_space(c)) break;
        atom += c;
      }
    }
    if (atom.empty()) return atoms;
    atoms.push_back(std::move(atom));
  }
}

ParsedCommandLine parse_command_line(std::string_view text) {
  ParsedCommandLine parsed;
  CommandLine& options = parsed.options;
  std::vector<std::string> atoms = split_command_line_atoms(text);
  if (atoms.size() > max_command_line_atoms) atoms.resize(max_command_line_atoms);

  for (const std::string& whole : atoms) {
    if (whole[0] != '/' && whole[0] != '-') {
      parsed.usage_error = "Unexpected command line parameter:\n" + whole;
      return parsed;
    }
    std::string_view atom = std::string_view(whole).substr(1);
    static constexpr std::string_view batch_prefixes[3] = {"B1:\"", "B2:\"", "B3:\""};

    if (equal_ignoring_case(atom, "A")) {
      options.AutomaticMode = true;
    } else if (take_prefix(atom, "D:")) {
      options.InstallDir = without_enclosing_quotes(atom);
    } else if (take_prefix(atom, "N:")) {
      options.ProductName = without_enclosing_quotes(atom);
    } else if (take_prefix(atom, "U")) {
      options.UninstallMode = true;
      if (take_prefix(atom, ":")) options.uninstall_name = without_enclosing_quotes(atom);
    } else if (take_prefix(atom, "R:\"")) {
      options.run_after_install = quoted_command(atom);
    } else if (equal_ignoring_case(atom, "MIN")) {
      options.StartMinimized = true;
    } else {
      bool matched = false;
      for (int i = 0; i < 3 && !matched; ++i) {
        if (take_prefix(atom, batch_prefixes[i])) {
          options.batch_additions[i] = with_line_breaks(quoted_command(atom));
          matched = true;
        }
      }
      if (!matched && !atom.empty()) {
        parsed.usage_error = "Illegal command line atom:\n" + std::string(atom);
        return parsed;
      }
    }
  }
  return parsed;
}

std::string usage_text(std::string_view error, std::string_view program_file_name) {
  static constexpr char format[] =
      "%s\r\n\r\nUsage:\r\n%s [/a] [/b1:\"commands\"] [/b2:\"commands\"] [/b3:\"commands\"] [/d:\"dir\"] "
      "[/n:\"name\"] [/u:\"name\"] [/r:\"program\"]\r\n\r\n"
      "/a                  \tAutomatic mode.\r\n"
      "/d:\"dir\"        \tOverride installation directory.\r\n"
      "/b1:\"commands\"\tAdd commands to the end of the Pre-Installation Batch.\r\n"
      "/b2:\"commands\"\tAdd commands to the end of the Post-Installation Batch.\r\n"
      "/b3:\"commands\"\tAdd commands to the end of the Installation-Exit Batch.\r\n"
      "/n:\"name\"\tOverride product name.\r\n"
      "/u:\"name\"\tUninstall product by name.\r\n"
      "/r:\"program\"\tRun the specified program after a successful installation.";
  std::string error_text(error), program(program_file_name);
  int length = std::snprintf(nullptr, 0, format, error_text.c_str(), program.c_str());
  std::string text(size_t(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, error_text.c_str(), program.c_str());
  return text;
}

}  // namespace halvard
