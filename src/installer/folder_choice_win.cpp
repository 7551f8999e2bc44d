#include "installer/folder_choice_win.h"

#include <shlobj.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "foundation/byte_size.h"
#include "foundation/disk.h"
#include "foundation/file_functions.h"
#include "foundation/orderly_exit_win.h"
#include "foundation/product_view_win.h"
#include "foundation/registry_access_win.h"
#include "foundation/registry_path.h"
#include "foundation/text.h"
#include "foundation/windows_error.h"
#include "installer/earlier_installation.h"
#include "installer/folder_checks.h"
#include "package/file_table.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "records/uninstall_registration.h"
#include "ui/wizard_pages_win.h"
#include "variables/batch_file_win.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

namespace msg = message_number;

bool low(const InstallSettings& s, uint32_t bit) { return s.ProductFlags.low & bit; }
bool high(const InstallSettings& s, uint32_t bit) { return s.ProductFlags.high & bit; }

std::optional<std::string> read_value_at(const RegistryValuePath& path, REGSAM view) {
  if (path.key.root == RegistryRoot::all_users) return std::nullopt;
  RegistryKey key;
  if (key.open(root_key(path.key.root), path.key.key, KEY_READ | view) != ERROR_SUCCESS) return std::nullopt;
  return read_registry_text(key.get(), path.value_name);
}

REGSAM product_view(const InstallSettings& settings) {
  return product_registry_view(high(settings, product_flag::high_product_64bit));
}

bool folder_exists(const std::string& folder) {
  DWORD attributes = GetFileAttributesA(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string shell_folder(int csidl) {
  char path[MAX_PATH] = "";
  return SUCCEEDED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : "";
}

std::string environment_text(const char* name) {
  char value[MAX_PATH] = "";
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? value : "";
}

FolderRules folder_rules(const InstallSettings& settings) {
  FolderRules rules;
  rules.refuse_network = high(settings, product_flag::high_refuse_network_directory);
  rules.refuse_removable = high(settings, product_flag::high_refuse_removable_drives);
  // Both Program Files folders, whichever of them this process and the product see.
  rules.program_files = {shell_folder(CSIDL_PROGRAM_FILES), shell_folder(CSIDL_PROGRAM_FILESX86),
                         environment_text("ProgramW6432"), environment_text("ProgramFiles"),
                         environment_text("ProgramFiles(x86)")};
  return rules;
}

FolderVolume examine_volume(std::string_view folder) {
  FolderVolume volume;
  std::string root = folder_volume_root(folder);
  if (root.empty()) return volume;
  // An empty removable drive must not bring up the system's "insert a disk" box.
  UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  UINT type = GetDriveTypeA(root.c_str());
  volume.exists = type != DRIVE_NO_ROOT_DIR;
  volume.remote = type == DRIVE_REMOTE;
  volume.removable = type == DRIVE_REMOVABLE;
  DWORD flags = 0;
  if (volume.exists) {
    volume.unusable = !GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
                      (flags & FILE_READ_ONLY_VOLUME) || type == DRIVE_CDROM;
  }
  SetErrorMode(previous_mode);
  return volume;
}

// A recorded folder is another program's text as much as ours: it becomes the folder
// for the new files only when the directory page would take it, and is not the Windows
// or the system folder.
bool acceptable_earlier_folder(const InstallSettings& settings, const std::string& folder) {
  FolderRules rules = folder_rules(settings);
  rules.program_files.push_back(shell_folder(CSIDL_WINDOWS));
  rules.program_files.push_back(shell_folder(CSIDL_SYSTEM));
  rules.program_files.push_back(product_system_folder());
  return check_folder(folder, examine_volume(folder), rules) == FolderProblem::none;
}

[[noreturn]] void refuse(const UserInterface& ui, const std::string& text) {
  ui.error_box(text);
  exit_installer(1);
}

[[noreturn]] void cancel(const UserInterface& ui) {
  ui.cancelled_notice();
  exit_installer(1);
}

// ---- Over an earlier installation ----

// The earlier installation goes first: through "utrri.bat", which runs its uninstaller
// and then this installer again with its own command line. The run ends either way.
[[noreturn]] void uninstall_earlier_first(UserInterface& ui, const RunState& state) {
  InstallSettings& settings = ui.settings();
  settings.AutomaticMode = false;
  if (state.previous_uninstall_command.empty()) refuse(ui, ui.text(msg::must_uninstall_first));
  if (must_uninstall_page(ui)) {
    std::string batch = variable_value(Variable::Temp, settings) + "\\" + std::string(must_uninstall_batch_name);
    if (!start_must_uninstall_batch(batch, state.previous_uninstall_command, GetCommandLineA()))
      ui.error_box("Failed to start \"" + batch + "\": " + last_windows_error_text());
  }
  exit_installer(1);
}

void ask_about_earlier_installation(UserInterface& ui, RunState& state) {
  const InstallSettings& settings = ui.settings();
  EarlierQuestion question = earlier_installation_question(state.installed_version, settings.DisplayVersion,
                                                           high(settings, product_flag::high_compare_versions));
  std::string text =
      earlier_installation_text(ui.text(question.message), state.previous_dir, ui.text(msg::install_over_it));
  if (!ui.ask_yes_no(text, ui.text(msg::earlier_installation_title))) cancel(ui);
  state.same_version = question.kind == InstallKind::same_version;
  state.upgrade = question.kind == InstallKind::upgrade;
  state.downgrade = question.kind == InstallKind::downgrade;

  if (high(settings, product_flag::high_minimum_upgrade_warning) && !state.installed_version.empty() &&
      below_minimum_upgrade_version(state.installed_version, settings.MinimumUpgradeVersion) &&
      !ui.ask_ok_cancel(ui.text(msg::below_minimum_upgrade_version), ui.text(msg::question_title))) {
    exit_installer(1);
  }
}

void install_over_earlier(UserInterface& ui, RunState& state) {
  InstallSettings& settings = ui.settings();
  if (low(settings, product_flag::low_must_uninstall_first) &&
      must_uninstall_first(state.installed_version, settings.MustUninstallBelow)) {
    uninstall_earlier_first(ui, state);
  }
  if (!settings.AutomaticMode && !low(settings, product_flag::low_no_overwrite_question))
    ask_about_earlier_installation(ui, state);
  settings.InstallDir = state.previous_dir;
}

// ---- The directory page and its checks ----

// Folders that a check made and a later check refused are taken away again.
void remove_created(const std::vector<std::string>& created) {
  for (auto folder = created.rbegin(); folder != created.rend(); ++folder) RemoveDirectoryA(folder->c_str());
}

std::string refusal_text(const UserInterface& ui, FolderProblem problem, const std::string& folder,
                         const FolderRules& rules) {
  std::string letter(1, folder_drive_letter(folder).value_or(' '));
  switch (problem) {
    case FolderProblem::invalid:
      return ui.text(msg::invalid_folder) + "\r\n\r\n" + folder;
    case FolderProblem::drive_missing:
      return format_message(ui.text(msg::drive_missing), {letter});
    case FolderProblem::network:
      return ui.text(msg::network_folder_refused);
    case FolderProblem::too_short:
      return ui.text(msg::drive_root_refused);
    case FolderProblem::program_files:
      return format_message(ui.text(msg::program_files_refused), {matching_folder(folder, rules.program_files)});
    case FolderProblem::unsuitable_drive:
      return format_message(ui.text(msg::removable_drive_refused), {letter});
    case FolderProblem::none:
      break;
  }
  return {};
}

// One pass of the checks over the folder the page gave; true when it is taken. Folders
// it creates go on the removal list.
bool folder_passes(UserInterface& ui, RunState& state, std::span<const int32_t> file_sizes) {
  const InstallSettings& settings = ui.settings();
  const std::string folder = settings.InstallDir;
  const FolderRules rules = folder_rules(settings);
  const FolderProblem problem = check_folder(folder, examine_volume(folder), rules);
  if (problem != FolderProblem::none) {
    ui.error_box(refusal_text(ui, problem, folder, rules));
    return false;
  }

  std::optional<char> letter = folder_drive_letter(folder);
  uint64_t free = 0, total = 0;
  if (!state.previously_installed && letter && free_space(*letter, free, total)) {
    int64_t needed = required_space(settings, file_sizes, cluster_size(*letter));
    if (uint64_t(needed) > free) {
      std::string text =
          format_message(ui.text(msg::low_disk_space),
                         {format_byte_size(needed), std::string(1, *letter), format_byte_size(int64_t(free))});
      if (!ui.ask_yes_no(text, ui.text(msg::question_title))) return false;
    }
  }

  const bool exists = folder_exists(folder);
  if (low(settings, product_flag::low_confirm_directory)) {
    std::string text = format_message(ui.text(exists ? msg::folder_exists : msg::folder_will_be_created), {folder});
    if (!ui.ask_yes_no(text, ui.text(msg::directory_title))) return false;
  }

  std::vector<std::string> created;
  if (!exists) {
    FolderTreeOutcome made = create_folder_tree(folder);
    created = made.created;
    if (made.error) {
      remove_created(created);
      ui.error_box(ui.text(msg::folder_not_created) + "\r\n" + folder + "\r\n\r\n" + windows_error_text(made.error));
      return false;
    }
  }

  // Wine reports a number also when it could not create the file: only the file tells.
  char probe[MAX_PATH + 14] = "";
  if (folder.size() >= MAX_PATH - 14 || !GetTempFileNameA(folder.c_str(), "FKT", 0, probe) ||
      GetFileAttributesA(probe) == INVALID_FILE_ATTRIBUTES) {
    remove_created(created);
    ui.error_box(format_message(ui.text(msg::folder_not_writable), {folder}));
    return false;
  }
  DeleteFileA(probe);
  for (const std::string& made : created) state.removal.record(made, RemovalKind::Folder);
  return true;
}

void choose_on_directory_page(UserInterface& ui, RunState& state, std::span<const int32_t> file_sizes) {
  while (true) {
    if (!directory_page(ui, file_sizes)) cancel(ui);
    if (folder_passes(ui, state, file_sizes)) return;
  }
}

// "HKLM\Key\Value" or "HKCU\Key\Value": the folder is that value's text, which must name
// an existing folder.
void take_directory_from_registry(UserInterface& ui) {
  InstallSettings& settings = ui.settings();
  const std::string source = settings.DefaultInstallDir;
  std::optional<std::string> folder;
  if (std::optional<RegistryValuePath> path = parse_registry_value_path("\\" + source))
    folder = read_value_at(*path, product_view(settings));
  if (!folder || is_blank_text(*folder)) refuse(ui, "Failed to obtain installation directory from \"" + source + "\"");
  std::string expanded = *folder;
  expand_variables(expanded, settings);
  if (!folder_exists(expanded))
    refuse(ui, "Installation directory \"" + expanded + "\" obtained from \"" + source + "\" does not exist.");
  settings.InstallDir = expanded;
}

}  // namespace

void find_earlier_installation(const InstallSettings& settings, RunState& state) {
  if (!state.uninstall_support) return;
  RegistryKey key;
  std::string key_path = std::string(uninstall_key_parent) + "\\" + uninstall_key_name(settings);
  if (key.open(HKEY_LOCAL_MACHINE, key_path, KEY_READ | registry_32bit_view) == ERROR_SUCCESS) {
    auto text = [&key](const char* name) { return read_registry_text(key.get(), name).value_or(std::string()); };
    state.previous_dir = text("InstallLocation");
    state.installed_version = text("DisplayVersion");
    state.shared_files_value = text("SharedFiles");
    state.previous_start_menu = text("ProductStartMenu");
    state.previous_uninstall_command = text("QuietUninstallString");
    if (state.previous_uninstall_command.empty()) state.previous_uninstall_command = text("UninstallString");
  }
  if (state.previous_dir.empty() && !settings.InstallDirValue.empty()) {
    if (std::optional<RegistryValuePath> path = parse_registry_value_path(settings.InstallDirValue))
      state.previous_dir = read_value_at(*path, product_view(settings)).value_or(std::string());
  }
  state.previous_dir = std::string(trim_blanks(state.previous_dir));
  if (state.previous_dir.empty() || !folder_exists(state.previous_dir)) return;
  if (!acceptable_earlier_folder(settings, state.previous_dir)) {
    state.log.write("The earlier installation's folder \"" + state.previous_dir +
                    "\" cannot take the installation; it is chosen anew.\r\n");
    return;
  }
  state.previously_installed = true;
}

void choose_installation_directory(UserInterface& ui, RunState& state, std::span<const int32_t> file_sizes) {
  InstallSettings& settings = ui.settings();
  if (settings.DefaultInstallDir.starts_with("HKLM\\") || settings.DefaultInstallDir.starts_with("HKCU\\")) {
    take_directory_from_registry(ui);
    return;
  }
  if (state.previously_installed) {
    install_over_earlier(ui, state);
    return;
  }
  if (settings.InstallDir.empty()) settings.InstallDir = settings.DefaultInstallDir;
  expand_variables(settings.InstallDir, settings);
  if (!settings.AutomaticMode && low(settings, product_flag::low_directory_page))
    choose_on_directory_page(ui, state, file_sizes);
}

bool choose_start_menu_folder(UserInterface& ui, const RunState& state) {
  InstallSettings& settings = ui.settings();
  if (state.previously_installed) {
    if (!state.previous_start_menu.empty()) settings.ProductStartMenu = state.previous_start_menu;
    return true;
  }
  return settings.AutomaticMode || !high(settings, product_flag::high_start_menu_page) || start_menu_page(ui);
}

}  // namespace halvard
