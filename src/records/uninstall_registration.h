// The uninstall registration as data: from the settings and the facts of this run, the
// ordered list of registry operations that registers the product with Windows and
// records what the uninstaller reads back. The uninstaller reads the same names, so the
// names, types and formats here bind both sides.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/registry_path.h"
#include "package/install_settings.h"

namespace halvard {

inline constexpr std::string_view uninstall_key_parent = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
// The system's lists that the installation adds to and the uninstaller takes from again.
inline constexpr char shared_counts_key[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
inline constexpr char fonts_key_nt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
inline constexpr char fonts_key_9x[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
inline constexpr char control_panel_key[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cpls";

enum class RegistryOperationKind { set_string, set_expand_string, set_dword, delete_value };

enum class ValueTarget {
  uninstall_key,  // the product's key under HKLM's Uninstall key
  registry_path,  // `key`, created when missing
  invalid_path,   // a registration value whose name holds a backslash but names no root
};

struct RegistryOperation {
  RegistryOperationKind kind = RegistryOperationKind::set_string;
  std::string name;
  std::string text;     // set_string, set_expand_string
  uint32_t number = 0;  // set_dword
  ValueTarget target = ValueTarget::uninstall_key;
  RegistryKeyPath key;  // registry_path only
  // Registration values: the entry's name as the package gave it. A failure of such an
  // operation is reported with it; failures of the product's own values are not.
  std::string entry;
  friend bool operator==(const RegistryOperation&, const RegistryOperation&) = default;
};

RegistryOperation set_string(std::string name, std::string text);
RegistryOperation set_dword(std::string name, uint32_t number);
RegistryOperation delete_value(std::string name);

struct UninstallFacts {
  std::string uninstaller_path;   // uninstall data folder + UninstallerName
  std::string install_source;     // the installer's own path as found at start
  std::string start_menu_folder;  // relative
  std::string product_fonts;      // product_fonts_text of this run's fonts
  std::string shared_files;       // the earlier value with this run's entries added
  int64_t required_space = 0;     // bytes
  std::string install_date;       // now, in the default date-and-time format
  // The installation folder held files before this product's first installation: the
  // uninstaller then never deletes it whole, whatever the package asks.
  bool install_dir_held_files = false;
  // Expands the variables in a registration value's text; null leaves texts as they are.
  std::function<void(std::string&)> expand;
};

struct UninstallPlan {
  std::string key_path;          // under HKEY_LOCAL_MACHINE; empty when the key has no name
  std::string uninstall_string;  // written first, read back after the last value
  std::vector<RegistryOperation> values;  // in writing order
  // InstallDirValue, written after the uninstall key is closed; its failure is not reported.
  std::optional<RegistryOperation> install_dir_value;
};

UninstallPlan plan_uninstall_registration(const InstallSettings& settings, const UninstallFacts& facts);

// The key name under the Uninstall key: the package's, ProductName when that is empty.
std::string uninstall_key_name(const InstallSettings& settings);
// "/u:\"name\"", the arguments that start the uninstaller for this product.
std::string uninstall_arguments(const InstallSettings& settings);

// "VersionMajor" and "VersionMinor": the number at the start and the one after the
// first "."; nullopt when the text holds no ".". Numbers too large saturate.
std::optional<std::pair<uint32_t, uint32_t>> version_numbers(std::string_view version);
// The 64-bit flags as a signed decimal number.
std::string product_flags_text(const ProductFlagWords& flags);
// A Windows colour value as "RRGGBB" in upper-case hexadecimal.
std::string colour_text(uint32_t colour);
// The shortest decimal text that reads back as the same number ("1.5", "2").
std::string real_text(double value);
// A type-4 registration value's number: decimal with an optional sign, blanks before it
// skipped, reading stopping at the first other character; negatives wrap as 32-bit.
uint32_t registration_number(std::string_view text);

struct InstalledFont {
  std::string name;       // the font's name
  std::string file_name;  // its file's name
};
// "\"name\" \"file\" " for each font.
std::string product_fonts_text(const std::vector<InstalledFont>& fonts);

// Kind marks after a shared file's path, inside its quotes.
namespace shared_mark {
inline constexpr std::string_view none = "";        // a file of the shared folder
inline constexpr std::string_view system = " ";     // system file of kind 6, or Flags bit 5
inline constexpr std::string_view com_server = "^";
inline constexpr std::string_view type_library = "\xA9";
}  // namespace shared_mark

// Appends "\"path<mark>\"" to the ";"-separated list unless the list already holds that
// entry; false when it did (the file must not be counted again either).
bool add_shared_file(std::string& list, std::string_view path, std::string_view mark);

// Failure-summary texts.
std::string registration_value_failure_text(std::string_view entry, std::string_view error_text);
// The report of a failed registration; `error_text` is the remembered system error.
std::string registration_failure_text(std::string_view error_text);

}  // namespace halvard
