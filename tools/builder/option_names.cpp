#include "option_names.h"

#include <array>
#include <cstdio>
#include <vector>

#include "installer/windows_release.h"

namespace halvard::builder {
namespace {

constexpr NamedBit file_flag_bits[] = {
    {"desktop_shortcut", 0x1, "shortcut choice 1 (desktop)"},
    {"start_menu_shortcut", 0x2, "shortcut choice 2 (start menu)"},
    {"keep_at_uninstall", 0x20, "not removed at uninstallation"},
    {"uninstall_dir", 0x40, "placed in the uninstall data folder"},
    {"msi_list", 0x80, "the MSI package joins the list of installed MSI packages"},
};

constexpr NamedBit attribute_bits[] = {
    {"read_only", 0x1, ""}, {"hidden", 0x2, ""},      {"system", 0x4, ""},
    {"archive", 0x20, ""},  {"temporary", 0x100, ""}, {"offline", 0x1000, ""},
};

constexpr NamedValue kinds[] = {
    {"plain", 0},         {"shared", 1},     {"font", 4},        {"shortcut", 5},
    {"system", 6},        {"com_server", 7}, {"type_library", 8}, {"versioned", 9},
    {"inf_driver", 10},   {"msi_package", 11}, {"control_panel", 12},
};

constexpr NamedValue overwrite_modes[] = {
    {"always", 0x00},        // no mode: overwrite
    {"never", 0x04},         // skip the file
    {"existing_only", 0x08}, // only where the file already exists
    {"missing_only", 0x0C},  // only where it does not exist yet
    {"unless_newer", 0x10},  // not over a newer file
};

// Windows Installer user-interface levels (INSTALLUILEVEL), the MsiValue of kind 11.
constexpr NamedValue msi_ui_levels[] = {
    {"no_change", 0}, {"default", 1}, {"none", 2}, {"basic", 3}, {"reduced", 4}, {"full", 5},
};

}  // namespace

// The option words' names are the engine's own table.
std::span<const NamedBit> product_flag_low_names() { return product_flag_low_bits; }
std::span<const NamedBit> product_flag_high_names() { return product_flag_high_bits; }
std::span<const NamedBit> setup_option_names() { return setup_option_bits; }
std::span<const NamedBit> excluded_system_names() {
  static const std::vector<NamedBit> names = [] {
    std::vector<NamedBit> bits;
    uint32_t mask = 1;
    for (const WindowsRelease& release : windows_releases()) {
      bits.push_back({release.key, mask, release.name});
      mask <<= 1;
    }
    return bits;
  }();
  return names;
}
std::span<const NamedBit> file_flag_names() { return file_flag_bits; }
std::span<const NamedBit> file_attribute_names() { return attribute_bits; }
std::span<const NamedValue> file_kind_names() { return kinds; }
std::span<const NamedValue> overwrite_mode_names() { return overwrite_modes; }
std::span<const NamedValue> msi_ui_level_names() { return msi_ui_levels; }

std::optional<uint32_t> find_bit(std::span<const NamedBit> table, std::string_view name) {
  for (const NamedBit& b : table)
    if (b.name == name) return b.mask;
  return std::nullopt;
}

std::optional<uint32_t> find_value(std::span<const NamedValue> table, std::string_view name) {
  for (const NamedValue& v : table)
    if (v.name == name) return v.value;
  return std::nullopt;
}

std::string describe_bits(std::span<const NamedBit> table, uint32_t value) {
  std::string out;
  uint32_t rest = value;
  for (const NamedBit& b : table) {
    if ((value & b.mask) != b.mask) continue;
    if (!out.empty()) out += ", ";
    out += b.name;
    rest &= ~b.mask;
  }
  if (rest) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", unsigned(rest));
    if (!out.empty()) out += ", ";
    out += hex;
  }
  return out;
}

std::string describe_value(std::span<const NamedValue> table, uint32_t value) {
  for (const NamedValue& v : table)
    if (v.value == value) return std::string(v.name);
  return std::to_string(value);
}

std::string list_names(std::span<const NamedBit> table) {
  std::string out;
  for (const NamedBit& b : table) out += (out.empty() ? "" : ", ") + std::string(b.name);
  return out;
}

std::string list_names(std::span<const NamedValue> table) {
  std::string out;
  for (const NamedValue& v : table) out += (out.empty() ? "" : ", ") + std::string(v.name);
  return out;
}

}  // namespace halvard::builder
