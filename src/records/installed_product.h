#pragma once
// What the uninstaller reads back from the product's Uninstall key: the values the
// installation registered (their names and formats are the registration's), put into
// the settings the rest of the run works with.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "package/install_settings.h"

namespace halvard {

// Reads one value of the key: text values as stored, numbers as DWORDs. nullopt when the
// value is missing or has the other kind.
struct RegistrationSource {
  std::function<std::optional<std::string>(std::string_view)> text;
  std::function<std::optional<uint32_t>(std::string_view)> number;
};

// The system colours that stand in for missing title and top colours.
struct RegistrationDefaults {
  uint32_t window_text_colour = 0;
  uint32_t window_colour = 0xFFFFFF;
};

// The values that have no place in the settings.
struct InstalledProduct {
  std::string product_fonts;  // "ProductFonts"
  std::string shared_files;   // "SharedFiles"
  std::string start_menu;     // "ProductStartMenu", relative to the Programs folder
  // "InstallDirHeldFiles": the folder held files before the product came, so it is
  // never deleted whole.
  bool install_dir_held_files = false;
};

// ProductFlags low bit 9: the uninstallation asks nothing.
// ProductFlags low bit 15: the background bitmap values were registered.

// Fills the settings from the key in the registration's order. `name` is the name the
// uninstaller was started with, the product name when "DisplayName" is blank. False when
// "InstallLocation" is blank: the registration is corrupt. "SharedPath" is left to the
// caller, which reads it only after the user confirmed.
bool read_installed_product(const RegistrationSource& source, std::string_view name,
                            const RegistrationDefaults& defaults, InstallSettings& settings,
                            InstalledProduct& product);

// The failure texts of the uninstaller's first steps.
std::string no_product_text(std::string_view name);
std::string inaccessible_registration_text(std::string_view product);
std::string corrupt_registration_text(std::string_view product);
inline constexpr char permission_denied_text[] =
    "Permission denied.  Please login with an administrator account before uninstalling.";

}  // namespace halvard
