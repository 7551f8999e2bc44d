// The 36 directory variables and where each value comes from. A value is a chain of
// sources tried in turn; the chains are pure functions over the facts a caller hands
// in, so that the Windows layer only gathers facts and tests can hand in any system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "package/install_settings.h"

namespace halvard {

// In the order in which expansion replaces them.
enum class Variable : std::uint8_t {
  AppDataAllDir, AppDataDir, Bits, BootDrive, CommonDir, DesktopAllDir, DesktopDir,
  DeviceDir, DocumentAllDir, DocumentDir, FavoritesAllDir, FavoritesDir, FontDir,
  Inetpub, InstallDir, InstallDrive, InstallerDir, InstallerDrive, InstallerFilename,
  InstallerFilepath, MediaDir, OldVersion, ProductName, ProgramsDir, SharedDir,
  SMProgramsAllDir, SMProgramsDir, StartMenuAllDir, StartMenuDir, StartupAllDir,
  StartupDir, SystemDir, Temp, UninstallDir, Version, WinDir,
};

inline constexpr std::size_t variable_count = 36;

// Names as written in package texts, percent signs included, indexed by Variable.
inline constexpr std::array<std::string_view, variable_count> variable_names = {
    "%AppDataAllDir%", "%AppDataDir%", "%Bits%", "%BootDrive%", "%CommonDir%",
    "%DesktopAllDir%", "%DesktopDir%", "%DeviceDir%", "%DocumentAllDir%", "%DocumentDir%",
    "%FavoritesAllDir%", "%FavoritesDir%", "%FontDir%", "%Inetpub%", "%InstallDir%",
    "%InstallDrive%", "%InstallerDir%", "%InstallerDrive%", "%InstallerFilename%",
    "%InstallerFilepath%", "%MediaDir%", "%OldVersion%", "%ProductName%", "%ProgramsDir%",
    "%SharedDir%", "%SMProgramsAllDir%", "%SMProgramsDir%", "%StartMenuAllDir%",
    "%StartMenuDir%", "%StartupAllDir%", "%StartupDir%", "%SystemDir%", "%Temp%",
    "%UninstallDir%", "%Version%", "%WinDir%",
};

inline std::string_view variable_name(Variable v) { return variable_names[static_cast<std::size_t>(v)]; }

// Shell special-folder identifiers (CSIDL numbers) the chains ask for.
namespace csidl {
inline constexpr int programs = 2;
inline constexpr int personal = 5;
inline constexpr int favorites = 6;
inline constexpr int startup = 7;
inline constexpr int start_menu = 11;
inline constexpr int desktop_directory = 16;
inline constexpr int fonts = 20;
inline constexpr int common_start_menu = 22;
inline constexpr int common_programs = 23;
inline constexpr int common_startup = 24;
inline constexpr int common_desktop_directory = 25;
inline constexpr int appdata = 26;
inline constexpr int common_favorites = 31;
inline constexpr int common_appdata = 35;
inline constexpr int program_files = 38;
inline constexpr int program_files_common = 43;
inline constexpr int common_documents = 46;
}  // namespace csidl

enum class ShellFoldersKey { PerUser, AllUsers };

// What the system says, one question per source. Every answer is read afresh; an empty
// text means the source has nothing. Texts are returned as stored: the chains apply
// the trimming rules.
class VariableFacts {
 public:
  virtual ~VariableFacts() = default;
  // The shell's special folder, asked without creating it.
  virtual std::string shell_folder(int csidl) const = 0;
  // A value of "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
  // under HKEY_CURRENT_USER (per user) or HKEY_LOCAL_MACHINE (all users).
  virtual std::string shell_folders_value(ShellFoldersKey key, const std::string& name) const = 0;
  // A value of HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion".
  virtual std::string current_version_value(const std::string& name) const = 0;
  // "BootDir" of HKEY_LOCAL_MACHINE "Software\Microsoft\Windows\CurrentVersion\Setup".
  virtual std::string boot_dir() const = 0;
  // "PathWWWRoot" of HKEY_LOCAL_MACHINE "SOFTWARE\Microsoft\INetStp", environment
  // variables expanded.
  virtual std::string web_root() const = 0;
  // nullopt when the process has no such environment variable.
  virtual std::optional<std::string> environment_variable(const std::string& name) const = 0;
  // wProcessorArchitecture as the system reports it natively.
  virtual std::uint16_t native_processor_architecture() const = 0;
  // Full path of the running executable.
  virtual std::string module_path() const = 0;
  virtual std::string system_directory() const = 0;
  virtual bool nt_platform() const = 0;
  // The process's temporary-files path, as returned (usually with a trailing backslash).
  virtual std::string temp_path() const = 0;
  virtual std::string windows_directory() const = 0;
};

// What the installation itself says. Views into strings that outlive the expansion.
struct ProductValues {
  std::string_view install_dir;
  std::string_view product_name;
  std::string_view shared_dir;
  std::string_view uninstall_subdir;
  std::string_view version;
  std::string_view old_version;  // the installed version found by upgrade detection
};

ProductValues product_values(const InstallSettings& settings, std::string_view old_version);

// The value of one variable, its chain run in full.
std::string variable_value(Variable v, const VariableFacts& facts, const ProductValues& product);

// Path helpers of the chains, exposed for the batch-file text and for tests.
// Exactly one backslash between the parts; an empty part yields the other unchanged.
std::string join_path(std::string_view first, std::string_view second);
// Drops one trailing backslash from a text longer than three characters ("C:\" stays).
std::string trim_long_backslash(std::string_view path);

}  // namespace halvard
