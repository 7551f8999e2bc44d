#include "variables/batch_file_win.h"

#include <shellapi.h>

#include <optional>
#include <vector>

#include "foundation/file_functions.h"
#include "foundation/process_launch_win.h"
#include "foundation/product_view_win.h"
#include "foundation/windows_error.h"
#include "ui/message_pump_win.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

std::optional<std::string> environment_variable(const char* name) {
  std::vector<char> buffer(MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt : std::optional<std::string>("");
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length + 1);
  }
  return std::nullopt;
}

// "<what> \"<path>\".\r\n\r\n<system's reason>", not shown in automatic mode.
void report_failure(const UserInterface& ui, const char* what, const std::string& path) {
  std::string text = std::string(what) + " \"" + path + "\".\r\n\r\n" + last_windows_error_text();
  if (ui.automatic()) return;
  ui.message_box(text, "Error", MB_OK | MB_ICONERROR);
}

// Starts `command` and waits for it, looking at the process and the messages in turn.
bool run_and_wait(const std::string& command, const std::string& directory, bool hidden) {
  return run_process(command, {.directory = directory, .hidden = hidden}, pump_messages, batch_wait_interval_ms);
}

}  // namespace

bool run_batch(std::string_view commands, std::string_view label, bool hidden, const UserInterface& ui, InstallLog& log,
               std::string_view old_version) {
  if (blank_batch_commands(commands)) return true;
  const InstallSettings& settings = ui.settings();
  const std::string& directory = settings.InstallDir;
  auto variables = batch_variables(directory, [&](Variable v) { return variable_value(v, settings, old_version); });
  std::string text = batch_file_text(variables, commands, settings.AutomaticMode || hidden);

  std::string batch_path = join_path(directory, batch_file_name);
  if (save_file(batch_path, text) != FileError::Success) {
    report_failure(ui, "Unable to create batch file", batch_path);
    return false;
  }

  std::string output_path;
  std::string short_output;
  if (!label.empty()) {
    output_path = join_path(directory, batch_output_name);
    save_file(output_path, {});
    short_output = short_path(output_path);
  }
  std::string command =
      batch_command_line(product_program(batch_interpreter(environment_variable("COMSPEC"))), short_path(batch_path),
                         short_output);

  bool ran = run_and_wait(command, directory, hidden);
  if (!ran) report_failure(ui, "Unable to launch batch file", batch_path);
  if (!output_path.empty()) {
    std::string output;
    if (ran && load_file(output_path, output) == FileError::Success) log.write(batch_log_section(label, output));
    delete_file(output_path);
  }
  delete_file(batch_path);
  return ran;
}

bool run_batch(BatchKind kind, const UserInterface& ui, InstallLog& log, std::string_view addition,
               std::string_view old_version) {
  BatchRequest request = batch_request(kind, ui.settings(), addition);
  return run_batch(request.commands, request.label, request.hidden, ui, log, old_version);
}

bool write_self_delete_batch(const InstallSettings& settings, std::span<const std::string> outer_folders) {
  std::string temp = variable_value(Variable::Temp, settings);
  std::vector<char> module(MAX_PATH);
  DWORD length = 0;
  while ((length = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.size()))) >= module.size() - 1 &&
         module.size() < 32768) {
    module.resize(module.size() * 2);
  }
  if (length == 0) return false;
  // The batch repeats its "del" until the file is gone: a read-only uninstaller would
  // keep it going for ever.
  std::string executable(module.data(), length);
  DWORD attributes = GetFileAttributesA(executable.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesA(executable.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
  }
  return start_self_delete_batch(join_path(temp, self_delete_batch_name), executable, settings.InstallDir,
                                 settings.UninstallSubdir, outer_folders);
}

namespace {

// Writes `text` as `batch_path` and starts it hidden, in the folder that holds it, without
// waiting for it.
bool start_detached_batch(const std::string& batch_path, const std::string& text) {
  if (save_file(batch_path, text) != FileError::Success) return false;
  size_t slash = batch_path.find_last_of('\\');
  std::string folder = slash == std::string::npos ? std::string() : batch_path.substr(0, slash + 1);
  std::string command =
      self_delete_command_line(batch_interpreter(environment_variable("COMSPEC")), short_path(batch_path));
  if (start_process(command, {.directory = folder, .hidden = true, .new_console = true})) return true;
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", batch_path.c_str(), nullptr,
                                                        folder.empty() ? nullptr : folder.c_str(), SW_HIDE));
  return result > 32;
}

}  // namespace

bool start_self_delete_batch(const std::string& batch_path, const std::string& executable,
                             const std::string& install_dir, const std::string& uninstall_subdir,
                             std::span<const std::string> outer_folders) {
  return start_detached_batch(
      batch_path, self_delete_batch_text(executable, install_dir, uninstall_subdir, batch_path, outer_folders));
}

bool start_must_uninstall_batch(const std::string& batch_path, const std::string& uninstall_command,
                                const std::string& installer_command) {
  return start_detached_batch(batch_path, must_uninstall_batch_text(uninstall_command, installer_command, batch_path));
}

}  // namespace halvard
