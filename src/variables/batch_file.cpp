#include "variables/batch_file.h"

#include <array>
#include <cctype>

#include "foundation/text.h"

namespace halvard {
namespace {

// Characters that end a command, redirect, group or escape outside double quotes.
constexpr std::string_view interpreter_specials = "&|^()<>";
// What makes a path on the command line need quotes: the specials, the token
// delimiters, and the quote itself.
constexpr std::string_view command_line_specials = "&|^()<>\" \t,;=%";

// The directory variables of the SET lines after InstallDir and InstallDrive, in order.
constexpr std::array<Variable, 32> batch_variable_order = {
    Variable::Bits,           Variable::UninstallDir,     Variable::SharedDir,
    Variable::InstallerFilepath, Variable::InstallerDir,  Variable::InstallerFilename,
    Variable::InstallerDrive, Variable::SystemDir,        Variable::DeviceDir,
    Variable::MediaDir,       Variable::FavoritesDir,     Variable::FavoritesAllDir,
    Variable::FontDir,        Variable::DesktopDir,       Variable::DesktopAllDir,
    Variable::DocumentDir,    Variable::DocumentAllDir,   Variable::ProductName,
    Variable::ProgramsDir,    Variable::StartMenuDir,     Variable::StartMenuAllDir,
    Variable::SMProgramsDir,  Variable::SMProgramsAllDir, Variable::StartupDir,
    Variable::StartupAllDir,  Variable::BootDrive,        Variable::CommonDir,
    Variable::Inetpub,        Variable::AppDataDir,       Variable::AppDataAllDir,
    Variable::Version,        Variable::OldVersion,
};

struct KindRow {
  std::string InstallSettings::*text;
  std::string_view label;
  bool high_word;        // the hidden bit is in ProductFlags' high word
  std::uint32_t hidden;  // ProductFlags bit
  std::uint32_t capture; // SetupOptions bit; 0: never captured
  bool takes_addition;
};

// Indexed by BatchKind.
constexpr std::array<KindRow, 7> kind_rows = {{
    {&InstallSettings::PreInstallBatch, "Pre-Installation Batch", false, 1u << 23, 1u << 6, true},
    {&InstallSettings::UpgradeBatch, "Upgrade Batch", true, 1u << 28, 1u << 8, false},
    {&InstallSettings::ReinstallBatch, "Reinstall Batch", true, 1u << 29, 1u << 9, false},
    {&InstallSettings::PostInstallBatch, "Post-Installation Batch", false, 1u << 24, 1u << 7, true},
    {&InstallSettings::ExitBatch, "", false, 1u << 25, 0, true},
    {&InstallSettings::UninstallBatch1, "", false, 1u << 26, 0, false},
    {&InstallSettings::UninstallBatch2, "", false, 1u << 27, 0, false},
}};

bool is_space_or_tab(char c) { return c == ' ' || c == '\t'; }
bool is_line_break(char c) { return c == '\r' || c == '\n'; }

std::string_view trim_spaces_and_tabs(std::string_view text) {
  while (!text.empty() && is_space_or_tab(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space_or_tab(text.back())) text.remove_suffix(1);
  return text;
}

// Inside a batch file "%%" is one percent sign; a lone one would be swallowed or
// start a variable reference.
std::string double_percent(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

// A path inside a batch file, between double quotes (a path cannot hold one).
std::string batch_quoted(std::string_view path) { return "\"" + double_percent(path) + "\""; }

std::string drive_of(std::string_view path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
    return std::string(path.substr(0, 2));
  }
  return {};
}

// The relative path without its last element and the backslashes around it.
void drop_last_element(std::string& path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  size_t slash = path.rfind('\\');
  path.resize(slash == std::string::npos ? 0 : slash);
  if (!path.empty() && path.back() == '\\') path.pop_back();
}

std::string interpreter_command(std::string_view interpreter, std::string_view switches,
                                std::string_view batch_path, std::string_view output_path) {
  auto needs_quotes = [](std::string_view path) {
    return path.find_first_of(command_line_specials) != std::string_view::npos;
  };
  bool quote = needs_quotes(batch_path) || needs_quotes(output_path);
  auto piece = [quote](std::string_view path) { return quote ? "\"" + std::string(path) + "\"" : std::string(path); };
  std::string command = piece(batch_path);
  if (!output_path.empty()) command += " > " + piece(output_path);
  // With quotes inside, "/c" strips the first and the last quote of the line; the
  // extra pair keeps the inner ones.
  if (quote) command = "\"" + command + "\"";
  std::string line = "\"";
  line += interpreter;
  line += "\" ";
  line += switches;
  line += command;
  return line;
}

}  // namespace

BatchRequest batch_request(BatchKind kind, const InstallSettings& settings, std::string_view addition) {
  const KindRow& row = kind_rows[static_cast<size_t>(kind)];
  BatchRequest request;
  const std::string& text = settings.*row.text;
  request.commands = row.takes_addition ? append_batch_commands(text, addition) : text;
  std::uint32_t word = row.high_word ? settings.ProductFlags.high : settings.ProductFlags.low;
  request.hidden = (word & row.hidden) != 0;
  if (row.capture != 0 && (settings.SetupOptions & row.capture)) request.label = row.label;
  return request;
}

std::string append_batch_commands(std::string_view package_text, std::string_view addition) {
  std::string commands(package_text);
  if (addition.empty()) return commands;
  if (commands.empty() || !is_line_break(commands.back())) commands += "\r\n";
  commands += addition;
  return commands;
}

bool blank_batch_commands(std::string_view commands) { return trim_blanks(commands).empty(); }

std::string batch_set_line(std::string_view name, std::string_view value) {
  bool quote = value.find_first_of("&|^()<>\"") != std::string_view::npos;
  std::string line = quote ? "SET \"" : "SET ";
  line += name;
  line += '=';
  // An embedded quote toggles the interpreter's quoting: what follows it up to the
  // next one is outside quotes and needs carets.
  bool inside_quotes = true;
  for (char c : value) {
    // A line break would end the SET line and run the rest as a command.
    if (c == '\r' || c == '\n' || c == '\0') continue;
    if (c == '%') {
      line += "%%";
      continue;
    }
    if (c == '"') {
      inside_quotes = !inside_quotes;
    } else if (quote && !inside_quotes && interpreter_specials.find(c) != std::string_view::npos) {
      line += '^';
    }
    line += c;
  }
  // SET "NAME=value" takes the value up to the last quote of the line.
  if (quote) line += '"';
  line += "\r\n";
  return line;
}

std::vector<BatchVariable> batch_variables(std::string_view directory,
                                           const std::function<std::string(Variable)>& value) {
  std::vector<BatchVariable> variables;
  if (!directory.empty()) {
    variables.push_back({"InstallDir", std::string(directory)});
    variables.push_back({"InstallDrive", drive_of(directory)});
  }
  for (Variable v : batch_variable_order) {
    std::string_view name = variable_name(v);
    name = name.substr(1, name.size() - 2);
    std::string text = value(v);
    if (v == Variable::InstallerDrive && !text.empty()) text += ':';
    variables.push_back({name, std::move(text)});
  }
  return variables;
}

std::string normalize_batch_lines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!is_line_break(c)) {
      out += c;
      continue;
    }
    // CR LF and LF CR are one break each.
    if (i + 1 < text.size() && is_line_break(text[i + 1]) && text[i + 1] != c) ++i;
    out += "\r\n";
  }
  if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
  return out;
}

bool is_pause_line(std::string_view line) {
  line = trim_spaces_and_tabs(line);
  if (!line.empty() && line.front() == '@') line = trim_spaces_and_tabs(line.substr(1));
  if (line.size() < 5 || !equal_ignoring_case(line.substr(0, 5), "pause")) return false;
  std::string_view rest = trim_spaces_and_tabs(line.substr(5));
  if (rest.empty() || rest.front() == '>' || rest.front() == '<') return true;
  // "pause 1>nul", "pause 2>&1 >nul"
  return rest.size() >= 2 && std::isdigit(static_cast<unsigned char>(rest[0])) && rest[1] == '>';
}

std::string batch_file_text(const std::vector<BatchVariable>& variables, std::string_view commands,
                            bool drop_pauses) {
  std::string text = "@echo off\r\n";
  for (const BatchVariable& variable : variables) text += batch_set_line(variable.name, variable.value);
  std::string lines = normalize_batch_lines(commands);
  if (!drop_pauses) return text + lines;
  for (size_t start = 0; start < lines.size();) {
    size_t end = lines.find("\r\n", start);
    std::string_view line(lines.data() + start, end - start);
    if (!is_pause_line(line)) {
      text += line;
      text += "\r\n";
    }
    start = end + 2;
  }
  return text;
}

std::string batch_interpreter(const std::optional<std::string>& comspec) {
  if (comspec && !trim_blanks(*comspec).empty()) return *comspec;
  return "cmd.exe";
}

std::string batch_command_line(std::string_view interpreter, std::string_view batch_path,
                               std::string_view output_path) {
  std::string switches = "/e:" + std::to_string(batch_environment_size) + " /c ";
  return interpreter_command(interpreter, switches, batch_path, output_path);
}

std::string self_delete_command_line(std::string_view interpreter, std::string_view batch_path) {
  return interpreter_command(interpreter, "/c ", batch_path, {});
}

std::string batch_log_section(std::string_view label, std::string_view output) {
  std::string_view trimmed = trim_blanks(output);
  if (trimmed.empty()) return {};
  std::string section = "\r\nRunning ";
  section += label;
  section += "...\r\n";
  section += trimmed;
  section += "\r\n\r\n";
  return section;
}

std::string self_delete_batch_text(std::string_view executable, std::string_view install_dir,
                                   std::string_view uninstall_subdir, std::string_view batch_path,
                                   std::span<const std::string> outer_folders) {
  std::string exe = batch_quoted(executable);
  std::string text = ":Repeat\r\ndel " + exe + "\r\nif exist " + exe + " goto Repeat\r\n";
  text += "CHOICE /T 3 /D Y\r\n";
  std::string relative(uninstall_subdir);
  for (int n = 0; n < self_delete_max_folders && !relative.empty(); ++n) {
    text += "rd " + batch_quoted(join_path(install_dir, relative)) + "\r\n";
    drop_last_element(relative);
  }
  text += "rd " + batch_quoted(install_dir) + "\r\n";
  for (size_t n = 0; n < outer_folders.size() && n < size_t(self_delete_max_folders); ++n)
    text += "rd " + batch_quoted(outer_folders[n]) + "\r\n";
  text += "del " + batch_quoted(batch_path) + "\r\n";
  return text;
}

std::string batch_command_text(std::string_view command) {
  std::string line;
  bool inside_quotes = false;
  for (char c : command) {
    if (c == '\r' || c == '\n' || c == '\0') continue;
    if (c == '"') inside_quotes = !inside_quotes;
    if (c == '%')
      line += '%';
    else if (!inside_quotes && interpreter_specials.find(c) != std::string_view::npos)
      line += '^';
    line += c;
  }
  return line;
}

std::string must_uninstall_batch_text(std::string_view uninstall_command, std::string_view installer_command,
                                      std::string_view batch_path) {
  return batch_command_text(uninstall_command) + "\r\n" + batch_command_text(installer_command) + "\r\ndel " +
         batch_quoted(batch_path) + "\r\n";
}

}  // namespace halvard
