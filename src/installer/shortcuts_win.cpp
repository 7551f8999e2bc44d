#include "installer/shortcuts_win.h"

#include <shlobj.h>
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <optional>
#include <string>

#include "foundation/disk.h"
#include "foundation/file.h"
#include "foundation/file_functions.h"
#include "foundation/path_rules.h"
#include "foundation/text.h"
#include "foundation/unique_handle_win.h"
#include "foundation/windows_error.h"
#include "installer/shortcut_rules.h"
#include "installer/uninstall_registration_win.h"
#include "package/message_numbers.h"
#include "package/option_bits.h"
#include "records/uninstall_registration.h"
#include "variables/variable_values_win.h"

namespace halvard {
namespace {

template <typename T>
struct ComPointer {
  T* p = nullptr;
  ~ComPointer() {
    if (p) p->Release();
  }
};

std::string folder_of(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string joined(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::optional<int> storage_bus(char letter) {
  std::string device = std::string("\\\\.\\") + letter + ":";
  UniqueHandle volume(
      CreateFileA(device.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!volume) return std::nullopt;
  STORAGE_PROPERTY_QUERY query{};
  query.PropertyId = StorageDeviceProperty;
  query.QueryType = PropertyStandardQuery;
  STORAGE_DEVICE_DESCRIPTOR descriptor{};
  DWORD returned = 0;
  if (!DeviceIoControl(volume.get(), IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &descriptor, sizeof descriptor,
                       &returned, nullptr) ||
      returned < offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) + sizeof descriptor.BusType)
    return std::nullopt;
  return int(descriptor.BusType);
}

class ShortcutPhase {
 public:
  ShortcutPhase(const UserInterface& ui, RunState& state) : ui_(ui), s_(ui.settings()), state_(state) {}

  void run() {
    add_sequence_records();
    const bool all_users = s_.ShortcutMode == 1;
    if (!s_.ShortcutEntries.empty()) log("\r\n");
    for (const ShortcutEntry& entry : s_.ShortcutEntries) make(entry, all_users);
    uninstaller_shortcuts(all_users);
    root_shortcut();
  }

 private:
  const UserInterface& ui_;
  InstallSettings& s_;
  RunState& state_;
  bool logged_ = false;
  std::optional<std::string> desktop_folder_;  // prepared once, on the first desktop record

  bool detailed() const { return s_.ProductFlags.low & product_flag::low_detailed_log; }

  void log(const std::string& text) {
    if (!detailed()) return;
    state_.log.write(text);
    logged_ = true;
  }

  void log_link(const char* format, const std::string& name, const std::string& path) {
    char line[2048];
    std::snprintf(line, sizeof line, format, name.c_str(), path.c_str());
    log(line);
  }

  void record(const std::string& path, RemovalKind kind) {
    if (path.size() > 3) state_.removal.record(path, kind);
  }

  void failed(const std::string& path) {
    DWORD error = GetLastError();
    state_.failure_summary +=
        ui_.text(message_number::file_not_created) + " " + path + "\r\n" + windows_error_text(error) + "\r\n\r\n";
  }

  void add_sequence_records() {
    const bool uninstall_support = state_.uninstall_support;
    if (uninstall_support && (s_.ProductFlags.high & product_flag::high_uninstaller_desktop_shortcut)) {
      ShortcutEntry entry;
      entry.desktop = 1;
      entry.target = uninstaller_path(s_);
      entry.arguments = uninstall_arguments(s_);
      entry.name = ui_.text(message_number::uninstaller_shortcut_name);
      entry.expand_target = false;
      s_.ShortcutEntries.push_back(entry);
    }
    if (s_.ProductFlags.high & product_flag::high_log_start_menu_shortcut) {
      ShortcutEntry entry;
      entry.start_menu = 1;
      entry.target = uninstall_folder_file(s_.UninstallDir, install_log_file_name);
      entry.name = ui_.text(message_number::log_shortcut_name);
      entry.expand_target = false;
      s_.ShortcutEntries.push_back(entry);
    }
  }

  std::string desktop(bool all_users) const {
    return variable_value(all_users ? Variable::DesktopAllDir : Variable::DesktopDir, s_);
  }
  std::string programs(bool all_users) const {
    return variable_value(all_users ? Variable::SMProgramsAllDir : Variable::SMProgramsDir, s_);
  }

  // The desktop folder with its icon; empty when the package names none.
  const std::string& prepared_desktop_folder(bool all_users) {
    if (desktop_folder_) return *desktop_folder_;
    desktop_folder_ = std::string();
    if (s_.DesktopFolderName.empty()) return *desktop_folder_;
    const std::string folder = joined(desktop(all_users), s_.DesktopFolderName);
    *desktop_folder_ = folder;
    FolderTreeOutcome made = create_folder_tree(folder);
    if (made.error) {
      state_.failure_summary +=
          "Failed to create directory " + folder + ": " + windows_error_text(made.error) + "\r\n\r\n";
      return *desktop_folder_;
    }
    const std::string ini = folder + "\\Desktop.ini";
    record(ini, RemovalKind::File);
    record(folder, RemovalKind::Folder);
    if (s_.DesktopIconData.empty()) return *desktop_folder_;
    const std::string icon = uninstall_folder_file(s_.UninstallDir, "Desktop Icon.ico");
    if (save_file(icon, s_.DesktopIconData) != FileError::Success) {
      state_.failure_summary += "Failed to create Desktop shortcut folder icon \"" + icon + "\"\r\n";
      return *desktop_folder_;
    }
    WritePrivateProfileStringA(".ShellClassInfo", "IconFile", icon.c_str(), ini.c_str());
    WritePrivateProfileStringA(".ShellClassInfo", "IconIndex", "0", ini.c_str());
    record(icon, RemovalKind::File);
    SetFileAttributesA(folder.c_str(), GetFileAttributesA(folder.c_str()) | FILE_ATTRIBUTE_SYSTEM);
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return *desktop_folder_;
  }

  void make(const ShortcutEntry& entry, bool all_users) {
    std::string arguments = entry.arguments;
    expand_variables(arguments, s_);
    std::string working = entry.working_directory;
    expand_variables(working, s_);
    working = unquoted_folder(working);
    DWORD attributes = working.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(working.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) working = s_.InstallDir;
    std::string target = entry.target;
    if (std::optional<TildeArguments> split = split_tilde_arguments(arguments)) {
      target = split->target;
      arguments = split->arguments;
    }
    if (entry.expand_target) expand_variables(target, s_);
    if (target.find(':') == std::string::npos) target = joined(s_.InstallDir, target);
    std::string name = entry.name;
    if (name.empty()) {
      std::string file = target.substr(target.find_last_of('\\') + 1);
      name = format_message(ui_.text(message_number::default_shortcut_name), {file});
    }
    std::string icon = entry.icon_file;
    if (!icon.empty() && !is_absolute_path(icon)) icon = joined(s_.UninstallDir, icon);
    const unsigned flags = link_flags(entry.show_mode, all_users);
    const bool kept = entry.keep != 0;
    const bool nested = name.find('\\') != std::string::npos;

    auto link = [&](std::string path, const char* format, bool record_folder) {
      if (!write_link(path, target, arguments, working, icon, flags)) {
        failed(link_file_path(path));
        return;
      }
      log_link(format, name, path);
      if (kept) return;
      record(path, RemovalKind::File);
      if (record_folder) record(folder_of(path), RemovalKind::Folder);
    };
    if (entry.desktop) {
      const std::string& folder = prepared_desktop_folder(all_users);
      if (!folder.empty())
        link(joined(folder, name), "Desktop Folder Shortcut(%s) >>> %s\r\n", nested);
      else
        link(joined(desktop(all_users), name), "Desktop Shortcut(%s) >>> %s\r\n", nested);
    }
    if (entry.start_menu)
      link(joined(programs(all_users), joined(state_.start_menu_folder, name)), "Start Menu Shortcut(%s) >>> %s\r\n",
           nested);
    if (entry.startup)
      link(joined(variable_value(all_users ? Variable::StartupAllDir : Variable::StartupDir, s_), name),
           "Startup Shortcut(%s) >>> %s\r\n", false);
    if (!entry.custom_folder.empty()) {
      std::string folder = entry.custom_folder;
      expand_variables(folder, s_);
      link(joined(folder, name), "Shortcut(%s) >>> %s\r\n", true);
    }
  }

  void uninstaller_link(std::string path, unsigned flags) {
    if (!write_link(path, uninstaller_path(s_), uninstall_arguments(s_), "", "", flags)) {
      failed(link_file_path(path));
      return;
    }
    if (!logged_) log("\r\n");
    log("Uninstaller Shortcut >>> " + path + "\r\n");
    record(path, RemovalKind::File);
  }

  void uninstaller_shortcuts(bool all_users) {
    if (!state_.uninstall_support) return;
    const std::string name = ui_.text(message_number::uninstaller_shortcut_name);
    if (s_.ProductFlags.low & product_flag::low_uninstaller_start_menu_shortcut)
      uninstaller_link(joined(programs(all_users), joined(state_.start_menu_folder, name)),
                       all_users ? link_all_users : 0);
    if (s_.ProductFlags.high & product_flag::high_uninstaller_data_folder_shortcut)
      uninstaller_link(joined(s_.UninstallDir, name), 0);
  }

  void root_shortcut() {
    if (s_.RootShortcutTarget.empty() || s_.InstallDir.size() < 2 || s_.InstallDir[1] != ':') return;
    const char letter = ascii_upper(s_.InstallDir[0]);
    if (!usb_root_shortcut_allowed(drive_kind(letter), storage_bus(letter), letter)) return;
    std::string target = s_.RootShortcutTarget;
    expand_variables(target, s_);
    std::string name(trim_blanks(s_.RootShortcutName));
    expand_variables(name, s_);
    std::string path = std::string(1, letter) + ":\\" + name + ".lnk";
    if (!write_link(path, target, "", "", "", 0)) {
      failed(path);
      return;
    }
    log_link("Root Shortcut(%s) >>> %s\r\n", name, path);
    record(path, RemovalKind::File);
  }
};

}  // namespace

bool write_link(std::string& path, const std::string& target, const std::string& arguments,
                const std::string& working_folder, const std::string& icon_file, unsigned flags) {
  path = link_file_path(path);
  ComPointer<IShellLinkW> link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&link.p));
  if (FAILED(result) || !link.p) {
    SetLastError(DWORD(result));
    return false;
  }
  link.p->SetPath(name_to_wide(target).c_str());
  link.p->SetIconLocation(name_to_wide(icon_file.empty() ? target : icon_file).c_str(), 0);
  if (!arguments.empty()) link.p->SetArguments(name_to_wide(arguments).c_str());
  if (flags & link_minimised) link.p->SetShowCmd(SW_SHOWMINNOACTIVE);
  if (flags & link_maximised) link.p->SetShowCmd(SW_SHOWMAXIMIZED);
  const std::string working = link_working_folder(working_folder);
  if (!working.empty()) link.p->SetWorkingDirectory(name_to_wide(working).c_str());
  ComPointer<IPersistFile> file;
  result = link.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p));
  if (FAILED(result) || !file.p) {
    SetLastError(DWORD(result));
    return false;
  }
  if (FolderTreeOutcome made = create_folder_tree(folder_of(path)); made.error) {
    SetLastError(made.error);
    return false;
  }
  result = file.p->Save(name_to_wide(path).c_str(), TRUE);
  if (FAILED(result)) {
    SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? DWORD(HRESULT_CODE(result)) : DWORD(result));
    return false;
  }
  return true;
}

void install_shortcuts(const UserInterface& ui, RunState& state) { ShortcutPhase(ui, state).run(); }

}  // namespace halvard
