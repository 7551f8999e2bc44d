#include "records/uninstall_registration.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "package/message_numbers.h"
#include "package/settings_stream.h"

namespace halvard {
namespace {

constexpr uint64_t dword_limit = 0xFFFFFFFFull;

// Written, or deleted when empty so that a value an earlier version left does not stay.
RegistryOperation text_or_delete(std::string name, const std::string& text) {
  return text.empty() ? delete_value(std::move(name)) : set_string(std::move(name), text);
}

uint32_t saturating_digits(std::string_view text, size_t& at) {
  uint64_t number = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    number = number * 10 + uint64_t(text[at] - '0');
    if (number > dword_limit) number = dword_limit + 1;  // stays above the limit
    ++at;
  }
  return number > dword_limit ? uint32_t(dword_limit) : uint32_t(number);
}

RegistryOperation registration_operation(const RegistrationValue& entry, const UninstallFacts& facts) {
  std::string value = entry.value;
  if (facts.expand) facts.expand(value);
  RegistryOperation op;
  if (value.empty()) {
    op.kind = RegistryOperationKind::delete_value;
  } else if (entry.type == 2) {
    op.kind = RegistryOperationKind::set_expand_string;
    op.text = std::move(value);
  } else if (entry.type == 4) {
    op.kind = RegistryOperationKind::set_dword;
    op.number = registration_number(value);
  } else {
    op.text = std::move(value);
  }
  op.entry = entry.name;
  if (entry.name.find('\\') == std::string::npos) {
    op.name = entry.name;
  } else if (std::optional<RegistryValuePath> path = parse_registry_value_path(entry.name)) {
    op.target = ValueTarget::registry_path;
    op.key = std::move(path->key);
    op.name = std::move(path->value_name);
  } else {
    op.target = ValueTarget::invalid_path;
  }
  return op;
}

}  // namespace

RegistryOperation set_string(std::string name, std::string text) {
  RegistryOperation op;
  op.name = std::move(name);
  op.text = std::move(text);
  return op;
}

RegistryOperation set_dword(std::string name, uint32_t number) {
  RegistryOperation op;
  op.kind = RegistryOperationKind::set_dword;
  op.name = std::move(name);
  op.number = number;
  return op;
}

RegistryOperation delete_value(std::string name) {
  RegistryOperation op;
  op.kind = RegistryOperationKind::delete_value;
  op.name = std::move(name);
  return op;
}

std::string uninstall_key_name(const InstallSettings& settings) {
  return settings.UninstallKeyName.empty() ? settings.ProductName : settings.UninstallKeyName;
}

std::string uninstall_arguments(const InstallSettings& settings) {
  return "/u:\"" + uninstall_key_name(settings) + "\"";
}

std::optional<std::pair<uint32_t, uint32_t>> version_numbers(std::string_view version) {
  size_t point = version.find('.');
  if (point == std::string_view::npos) return std::nullopt;
  size_t at = 0;
  uint32_t major = saturating_digits(version, at);
  at = point + 1;
  uint32_t minor = saturating_digits(version, at);
  return std::pair{major, minor};
}

std::string product_flags_text(const ProductFlagWords& flags) {
  int64_t number = int64_t(uint64_t(flags.high) << 32 | flags.low);
  return std::to_string(number);
}

std::string colour_text(uint32_t colour) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
  return text;
}

// The fewest significant digits that read back as the same number, in plain notation
// where that is reasonable. (std::to_chars would do it too, but its tables would
// double the engine's size.)
std::string real_text(double value) {
  char text[64];
  int digits = 1;
  for (; digits <= 17; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, value);
    if (std::strtod(text, nullptr) == value) break;
  }
  if (char* e = std::strchr(text, 'e')) {
    int exponent = std::atoi(e + 1);
    if (exponent >= -5 && exponent < 17) {
      std::snprintf(text, sizeof text, "%.*f", std::max(0, digits - 1 - exponent), value);
    } else {
      // Two exponent digits at least, as C has it; the system's runtime writes three.
      std::snprintf(e + 1, sizeof text - size_t(e + 1 - text), "%c%02d", exponent < 0 ? '-' : '+',
                    exponent < 0 ? -exponent : exponent);
    }
  }
  return text;
}

uint32_t registration_number(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  uint32_t magnitude = saturating_digits(text, at);
  return negative ? uint32_t(0u - magnitude) : magnitude;
}

std::string product_fonts_text(const std::vector<InstalledFont>& fonts) {
  std::string text;
  for (const InstalledFont& font : fonts) text += "\"" + font.name + "\" \"" + font.file_name + "\" ";
  return text;
}

bool add_shared_file(std::string& list, std::string_view path, std::string_view mark) {
  std::string entry = "\"" + std::string(path) + std::string(mark) + "\"";
  if (list.find(entry) != std::string::npos) return false;
  if (!list.empty()) list += ";";
  list += entry;
  return true;
}

std::string registration_value_failure_text(std::string_view entry, std::string_view error_text) {
  return "Failed to save data in registry key \"" + std::string(entry) + "\": " + std::string(error_text) + "\r\n";
}

std::string registration_failure_text(std::string_view error_text) {
  std::string text;
  size_t first = error_text.find_first_not_of(" \t\r\n");
  if (first != std::string_view::npos) text = "System error: " + std::string(error_text) + "\r\n\r\n";
  return text + "Unable to save the uninstall information to the registry.  Uninstall will not work properly.\r\n\r\n";
}

UninstallPlan plan_uninstall_registration(const InstallSettings& s, const UninstallFacts& facts) {
  UninstallPlan plan;
  // With no name the path would be the Uninstall key itself, every product's parent.
  if (!uninstall_key_name(s).empty()) plan.key_path = std::string(uninstall_key_parent) + "\\" + uninstall_key_name(s);
  // Quoted, so that a folder with blanks ("C:\Program Files\...") cannot make Windows
  // start "C:\Program.exe" instead.
  const std::string quoted = "\"" + facts.uninstaller_path + "\"";
  plan.uninstall_string = quoted + " " + uninstall_arguments(s);

  std::vector<RegistryOperation>& v = plan.values;
  v.push_back(set_string("UninstallString", plan.uninstall_string));
  v.push_back(set_string("QuietUninstallString", quoted + " /a " + uninstall_arguments(s)));
  v.push_back(set_string("DisplayName", s.ProductName));
  v.push_back(set_string("InstallSource", facts.install_source));
  v.push_back(text_or_delete("DisplayVersion", s.DisplayVersion));
  v.push_back(text_or_delete("Publisher", s.Publisher));
  if (std::optional<std::pair<uint32_t, uint32_t>> version = version_numbers(s.DisplayVersion)) {
    v.push_back(set_dword("VersionMajor", version->first));
    v.push_back(set_dword("VersionMinor", version->second));
  } else {
    // An earlier version's numbers would otherwise stay beside a version without them.
    v.push_back(delete_value("VersionMajor"));
    v.push_back(delete_value("VersionMinor"));
  }
  v.push_back(text_or_delete("ProductRegistry", s.ProductRegistry));
  v.push_back(text_or_delete("ProductStartMenu", facts.start_menu_folder));
  v.push_back(text_or_delete("SharedPath", s.SharedPath));
  v.push_back(text_or_delete("ProductFonts", facts.product_fonts));
  v.push_back(set_string("ProductFlags", product_flags_text(s.ProductFlags)));
  v.push_back(text_or_delete("UninstallBatch1", s.UninstallBatch1));
  v.push_back(text_or_delete("UninstallBatch2", s.UninstallBatch2));
  v.push_back(text_or_delete("SharedFiles", facts.shared_files));
  v.push_back(text_or_delete("UninstallSubdir", s.UninstallSubdir));
  v.push_back(s.ShortcutMode ? set_dword("ShortcutMode", s.ShortcutMode) : delete_value("ShortcutMode"));
  v.push_back(text_or_delete("NotifyURL", s.NotifyURL));
  int64_t kilobytes = facts.required_space / 1024;
  v.push_back(kilobytes > 0 && uint64_t(kilobytes) <= dword_limit ? set_dword("EstimatedSize", uint32_t(kilobytes))
                                                                  : delete_value("EstimatedSize"));
  v.push_back(
      set_string("DisplayTitle", s.DisplayTitle.empty() ? message(s, message_number::window_title) : s.DisplayTitle));
  v.push_back(set_dword("TitleColor", s.TitleColor));
  v.push_back(set_string("TitleSize", real_text(s.TitleSize)));
  v.push_back(set_dword("TopColor", s.TopColor));
  const bool mono = s.TopColor == s.BottomColor;
  v.push_back(mono ? delete_value("BottomColor") : set_dword("BottomColor", s.BottomColor));
  v.push_back(set_dword("MonoColor", mono ? 1 : 0));
  v.push_back(set_dword("TitleShadow", s.TitleShadow));
  v.push_back(set_dword("TitlePosition", s.TitlePosition));
  v.push_back(set_string("TitleFont", s.TitleFont));
  v.push_back(set_string("TaskbarText", s.TaskbarText));
  v.push_back(set_string("CopyrightText", s.CopyrightText));
  v.push_back(set_string("CopyrightFont", s.CopyrightFont));
  v.push_back(set_string("CopyrightSize", real_text(s.CopyrightSize)));
  v.push_back(set_string("CopyrightColor", colour_text(s.CopyrightColor)));
  v.push_back(set_dword("CopyrightPos", s.CopyrightPos));
  if ((s.ProductFlags.low & product_flag::low_keep_background_bitmap) && !s.BackgroundBitmap.empty()) {
    v.push_back(set_dword("BitmapSize", uint32_t(s.BitmapSize)));
    v.push_back(s.BitmapTPI == -1 ? delete_value("BitmapTPI") : set_dword("BitmapTPI", uint32_t(s.BitmapTPI)));
    v.push_back(set_dword("StretchMode", uint32_t(s.StretchMode)));
  } else {
    v.push_back(delete_value("BitmapSize"));
    v.push_back(delete_value("BitmapTPI"));
    v.push_back(delete_value("StretchMode"));
  }
  for (const RegistrationValue& entry : s.RegistrationValues) v.push_back(registration_operation(entry, facts));
  v.push_back(set_string("InstallLocation", s.InstallDir));
  v.push_back(set_string("InstallDate", facts.install_date));
  v.push_back(facts.install_dir_held_files ? set_dword("InstallDirHeldFiles", 1) : delete_value("InstallDirHeldFiles"));

  if (!s.InstallDirValue.empty()) {
    if (std::optional<RegistryValuePath> path = parse_registry_value_path(s.InstallDirValue)) {
      RegistryOperation op = set_string(std::move(path->value_name), s.InstallDir);
      op.target = ValueTarget::registry_path;
      op.key = std::move(path->key);
      plan.install_dir_value = std::move(op);
    }
  }
  return plan;
}

}  // namespace halvard
