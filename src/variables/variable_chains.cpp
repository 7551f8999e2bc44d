#include "variables/variable_chains.h"

#include <functional>

#include "variables/variable_expansion.h"

namespace halvard {
namespace {

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view without_trailing_backslash(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// Cuts the text at its last backslash: "a\b\c" gives "a\b"; nothing without one.
std::string_view without_last_element(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
}

// Runs the sources in turn; the first non-empty answer ends the chain, and the later
// sources are never asked.
template <class... Sources>
std::string first_found(const Sources&... sources) {
  std::string value;
  (void)((value = sources(), !value.empty()) || ...);
  return value;
}

class Chains {
 public:
  Chains(const VariableFacts& facts, const ProductValues& product) : facts_(facts), product_(product) {}

  std::string value(Variable v) const {
    using Key = ShellFoldersKey;
    switch (v) {
      case Variable::AppDataAllDir:
        return first_found(shell(csidl::common_appdata), key(Key::AllUsers, "Common AppData"),
                           variable(Variable::CommonDir));
      case Variable::AppDataDir:
        return first_found(shell(csidl::appdata), key(Key::PerUser, "AppData"), variable(Variable::CommonDir));
      case Variable::Bits: {
        std::uint16_t architecture = facts_.native_processor_architecture();
        return architecture == 9 || architecture == 6 ? "64" : "32";
      }
      case Variable::BootDrive: return boot_drive();
      case Variable::CommonDir:
        return first_found(shell(csidl::program_files_common), machine("CommonFilesDir"),
                           joined(Variable::ProgramsDir, "Common Files"));
      case Variable::DesktopAllDir:
        return first_found(shell(csidl::common_desktop_directory), key(Key::AllUsers, "Common Desktop"),
                           variable(Variable::DesktopDir));
      case Variable::DesktopDir:
        return first_found(shell(csidl::desktop_directory), key(Key::PerUser, "Desktop"),
                           joined(Variable::WinDir, "Desktop"));
      case Variable::DeviceDir: return device_dir();
      case Variable::DocumentAllDir:
        return first_found(shell(csidl::common_documents), key(Key::AllUsers, "Common Documents"),
                           variable(Variable::DocumentDir));
      case Variable::DocumentDir:
        return first_found(shell(csidl::personal), key(Key::PerUser, "Personal"), constant("c:\\My Documents"));
      case Variable::FavoritesAllDir:
        return first_found(shell(csidl::common_favorites), key(Key::AllUsers, "Common Favorites"),
                           variable(Variable::FavoritesDir));
      case Variable::FavoritesDir:
        return first_found(shell(csidl::favorites), key(Key::PerUser, "Favorites"),
                           joined(Variable::WinDir, "Favorites"));
      case Variable::FontDir:
        return first_found(shell(csidl::fonts), key(Key::PerUser, "Fonts"), joined(Variable::WinDir, "Fonts"));
      case Variable::Inetpub: return inetpub();
      case Variable::InstallDir: return std::string(product_.install_dir);
      case Variable::InstallDrive: {
        std::string_view dir = product_.install_dir;
        return has_drive_letter(dir) ? std::string(dir.substr(0, 2)) : std::string();
      }
      case Variable::InstallerDir: return installer_dir();
      case Variable::InstallerDrive: {
        std::string path = facts_.module_path();
        return has_drive_letter(path) ? std::string(1, ascii_upper(path[0])) : std::string();
      }
      case Variable::InstallerFilename: {
        std::string path = facts_.module_path();
        std::size_t slash = path.rfind('\\');
        return slash == std::string::npos ? path : path.substr(slash + 1);
      }
      case Variable::InstallerFilepath: return facts_.module_path();
      case Variable::MediaDir: return first_found(machine("MediaPath"), joined(Variable::WinDir, "Media"));
      case Variable::OldVersion: return std::string(product_.old_version);
      case Variable::ProductName: return std::string(product_.product_name);
      case Variable::ProgramsDir:
        return first_found(shell(csidl::program_files), machine("ProgramFilesDir"), constant("c:\\Program Files"));
      case Variable::SharedDir: return std::string(product_.shared_dir);
      case Variable::SMProgramsAllDir:
        return first_found(shell(csidl::common_programs), key(Key::AllUsers, "Common Programs"),
                           common_startup_ancestor(1), variable(Variable::SMProgramsDir));
      case Variable::SMProgramsDir:
        return first_found(shell(csidl::programs), key(Key::PerUser, "Programs"),
                           joined(Variable::StartMenuDir, "Programs"));
      case Variable::StartMenuAllDir:
        return first_found(shell(csidl::common_start_menu), key(Key::AllUsers, "Common Start Menu"),
                           common_startup_ancestor(2), variable(Variable::StartMenuDir));
      case Variable::StartMenuDir:
        return first_found(shell(csidl::start_menu), key(Key::PerUser, "Start Menu"),
                           joined(Variable::WinDir, "Start Menu"));
      case Variable::StartupAllDir:
        return first_found(shell(csidl::common_startup), key(Key::AllUsers, "Common Startup"),
                           variable(Variable::StartupDir));
      case Variable::StartupDir:
        return first_found(shell(csidl::startup), key(Key::PerUser, "Startup"),
                           joined(Variable::SMProgramsDir, "StartUp"));
      case Variable::SystemDir:
        return first_found([this] { return facts_.system_directory(); },
                           [this] {
                             const char* name = facts_.nt_platform() ? "System32" : "System";
                             return join_path(value(Variable::WinDir), name);
                           });
      case Variable::Temp: {
        std::string temp = facts_.temp_path();
        return temp.empty() ? "c:\\temp" : std::string(without_trailing_backslash(temp));
      }
      case Variable::UninstallDir: return join_path(product_.install_dir, product_.uninstall_subdir);
      case Variable::Version: return std::string(product_.version);
      case Variable::WinDir: return facts_.windows_directory();
    }
    return {};
  }

 private:
  // Sources, each asked only when the chain reaches it.
  using Source = std::function<std::string()>;
  Source shell(int id) const {
    return [this, id] { return facts_.shell_folder(id); };
  }
  Source key(ShellFoldersKey which, const char* name) const {
    return [this, which, name] { return trim_long_backslash(facts_.shell_folders_value(which, name)); };
  }
  Source machine(const char* name) const {
    return [this, name] { return trim_long_backslash(facts_.current_version_value(name)); };
  }
  Source variable(Variable other) const {
    return [this, other] { return value(other); };
  }
  Source joined(Variable other, const char* subfolder) const {
    return [this, other, subfolder] { return join_path(value(other), subfolder); };
  }
  static Source constant(const char* text) {
    return [text] { return std::string(text); };
  }

  // The parent (1) or grandparent (2) of the all-users "Common Startup" value.
  Source common_startup_ancestor(int levels) const {
    return [this, levels] {
      std::string startup =
          trim_long_backslash(facts_.shell_folders_value(ShellFoldersKey::AllUsers, "Common Startup"));
      std::string_view path = startup;
      for (int i = 0; i < levels; ++i) path = without_trailing_backslash(without_last_element(path));
      return std::string(path);
    };
  }

  static bool has_drive_letter(std::string_view path) {
    return path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == ':';
  }

  std::string boot_drive() const {
    // Always a letter and a colon: "C" alone would make "%BootDrive%\x" a relative path.
    std::string boot = facts_.boot_dir();
    return std::string{has_drive_letter(boot) ? ascii_upper(boot[0]) : 'C', ':'};
  }

  std::string device_dir() const {
    std::string path = facts_.current_version_value("DevicePath");
    path = trim_long_backslash(std::string_view(path).substr(0, path.find(';')));
    if (path.empty()) return join_path(value(Variable::WinDir), "INF");
    if (std::optional<std::string> root = facts_.environment_variable("SystemRoot")) {
      replace_variable(path, "%SystemRoot%", *root);
    }
    return path;
  }

  std::string inetpub() const {
    std::string root = facts_.web_root();
    if (root.empty()) root = "c:\\Inetpub\\wwwroot";
    std::string_view path = without_trailing_backslash(root);
    path = without_trailing_backslash(without_last_element(path));
    return std::string(path);
  }

  std::string installer_dir() const {
    std::string path = facts_.module_path();
    std::string_view folder = without_last_element(path);
    // A drive root keeps its backslash.
    if (folder.size() == 2 && folder[1] == ':') return std::string(folder) + '\\';
    return std::string(folder);
  }

  const VariableFacts& facts_;
  const ProductValues& product_;
};

}  // namespace

ProductValues product_values(const InstallSettings& settings, std::string_view old_version) {
  return ProductValues{settings.InstallDir,      settings.ProductName,    settings.SharedPath,
                       settings.UninstallSubdir, settings.DisplayVersion, old_version};
}

std::string variable_value(Variable v, const VariableFacts& facts, const ProductValues& product) {
  return Chains(facts, product).value(v);
}

std::string join_path(std::string_view first, std::string_view second) {
  if (first.empty()) return std::string(second);
  if (second.empty()) return std::string(first);
  while (!first.empty() && first.back() == '\\') first.remove_suffix(1);
  while (!second.empty() && second.front() == '\\') second.remove_prefix(1);
  std::string joined(first);
  joined += '\\';
  joined += second;
  return joined;
}

std::string trim_long_backslash(std::string_view path) {
  if (path.size() > 3 && path.back() == '\\') path.remove_suffix(1);
  return std::string(path);
}

}  // namespace halvard
