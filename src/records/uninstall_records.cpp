#include "records/uninstall_records.h"

#include <algorithm>
#include <array>
#include <limits>

#include "foundation/text.h"
#include "records/uninstall_data_csv.h"

namespace halvard {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_ascii_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view without_trailing_backslashes(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

// The texts between a double quote and the next one; an unclosed last quote is dropped.
std::vector<std::string_view> quoted_texts(std::string_view text) {
  std::vector<std::string_view> texts;
  size_t at = 0;
  while (true) {
    size_t open = text.find('"', at);
    if (open == std::string_view::npos) break;
    size_t close = text.find('"', open + 1);
    if (close == std::string_view::npos) break;
    texts.push_back(text.substr(open + 1, close - open - 1));
    at = close + 1;
  }
  return texts;
}

// A non-empty run of decimal digits no larger than `limit`.
std::optional<uint64_t> decimal_magnitude(std::string_view digits, uint64_t limit) {
  if (digits.empty()) return std::nullopt;
  uint64_t number = 0;
  for (char c : digits) {
    if (!is_digit(c)) return std::nullopt;
    uint64_t d = uint64_t(c - '0');
    if (number > (limit - d) / 10) return std::nullopt;
    number = number * 10 + d;
  }
  return number;
}

// A decimal number with an optional sign within [-max_negative, max_positive], as the
// number's two's-complement bits.
std::optional<uint64_t> signed_decimal(std::string_view text, uint64_t max_positive, uint64_t max_negative) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::optional<uint64_t> magnitude = decimal_magnitude(text, negative ? max_negative : max_positive);
  if (!magnitude) return std::nullopt;
  return negative ? 0 - *magnitude : *magnitude;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// 1e0 to 1e22, each exactly representable, so a product of two exact factors is
// correctly rounded.
constexpr std::array<double, 23> exact_powers_of_ten = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double scaled_by_power_of_ten(double value, int64_t exponent) {
  // Only texts far beyond any size a setting holds take these loops: close, not exact.
  while (exponent > 22 && value <= std::numeric_limits<double>::max()) {
    value *= 1e22;
    exponent -= 22;
  }
  while (exponent < -22 && value != 0) {
    value /= 1e22;
    exponent += 22;
  }
  if (exponent > 22 || exponent < -22) return value;  // already infinite or zero
  return exponent >= 0 ? value * exact_powers_of_ten[size_t(exponent)]
                       : value / exact_powers_of_ten[size_t(-exponent)];
}

// The length of a path's root without its last backslash: "C:" 2, "\\server\share" up
// to the share's end (the whole text when nothing follows); 0 otherwise.
size_t root_end(std::string_view path) {
  if (is_utf8_name(path))
    return 1 + root_end(path.substr(1));
  if (path.size() >= 2 && is_ascii_letter(path[0]) && path[1] == ':') return 2;
  if (path.substr(0, 2) == "\\\\") {
    size_t server_end = path.find('\\', 2);
    if (server_end == std::string_view::npos) return path.size();
    size_t share_end = path.find('\\', server_end + 1);
    return share_end == std::string_view::npos ? path.size() : share_end;
  }
  return 0;
}

// A name that names exactly itself: Windows drops trailing dots and blanks (and
// resolves "." and ".."), and the other characters cannot be part of a name.
bool plain_component(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

}  // namespace

std::vector<InstalledFont> parse_product_fonts(std::string_view text) {
  const std::vector<std::string_view> texts = quoted_texts(text);
  std::vector<InstalledFont> fonts;
  for (size_t i = 0; i + 1 < texts.size(); i += 2)
    fonts.push_back({std::string(texts[i]), std::string(texts[i + 1])});
  return fonts;
}

std::string_view shared_file_mark(SharedFileKind kind) {
  switch (kind) {
    case SharedFileKind::never_delete: return shared_mark::system;
    case SharedFileKind::com_server: return shared_mark::com_server;
    case SharedFileKind::type_library: return shared_mark::type_library;
    case SharedFileKind::plain: break;
  }
  return shared_mark::none;
}

std::vector<SharedFileEntry> parse_shared_files(std::string_view list) {
  std::vector<SharedFileEntry> entries;
  std::string rebuilt;
  for (std::string_view text : quoted_texts(list)) {
    SharedFileEntry entry;
    for (SharedFileKind kind : {SharedFileKind::never_delete, SharedFileKind::com_server, SharedFileKind::type_library}) {
      if (!text.empty() && text.back() == shared_file_mark(kind).front()) {
        entry.kind = kind;
        text.remove_suffix(1);
        break;
      }
    }
    if (text.empty()) break;
    entry.path = std::string(text);
    if (add_shared_file(rebuilt, entry.path, shared_file_mark(entry.kind))) entries.push_back(std::move(entry));
  }
  return entries;
}

std::string association_backup_name(std::string_view product_name) {
  std::string name;
  for (char c : product_name)
    if (c != '\\' && c != '\r' && c != '\n' && c != '\t') name.push_back(c);
  return name + " Backup";
}

std::optional<MsiRemoval> parse_msi_line(std::string_view line) {
  std::vector<std::string> fields = split_csv_record(line);
  if (fields.size() != 2 || fields[0].empty()) return std::nullopt;
  constexpr uint64_t int_max = uint64_t(std::numeric_limits<int>::max());
  std::optional<uint64_t> bits = signed_decimal(fields[1], int_max, int_max + 1);
  if (!bits) return std::nullopt;
  return MsiRemoval{std::move(fields[0]), int(int64_t(*bits))};
}

std::optional<FirewallRemoval> parse_firewall_line(std::string_view line) {
  std::array<std::string_view, 4> fields;
  for (size_t i = 0; i < 3; ++i) {
    size_t semicolon = line.find(';');
    if (semicolon == std::string_view::npos) return std::nullopt;
    fields[i] = line.substr(0, semicolon);
    line.remove_prefix(semicolon + 1);
  }
  if (line.find(';') != std::string_view::npos) return std::nullopt;
  fields[3] = line;

  FirewallRemoval removal;
  const std::string_view first = fields[0];
  if (!first.empty() && std::all_of(first.begin(), first.end(), is_digit)) {
    // Leading zeros are still a port; a number too long saturates out of range.
    uint64_t number = 0;
    for (char c : first) number = std::min<uint64_t>(number * 10 + uint64_t(c - '0'), 65536);
    std::optional<uint64_t> protocols = decimal_magnitude(trim_blanks(fields[2]), UINT64_MAX);
    if (number == 0 || number > 65535 || !protocols) return std::nullopt;
    removal.port = true;
    removal.number = uint16_t(number);
    removal.tcp = (*protocols & 1) != 0;
    removal.udp = (*protocols & 2) != 0;
    return removal;
  }
  if (first.empty()) return std::nullopt;
  removal.program = std::string(first);
  return removal;
}

std::vector<RegistryScriptRemoval> parse_registry_script_removals(std::string_view script) {
  std::vector<RegistryScriptRemoval> removals;
  while (!script.empty()) {
    size_t end = script.find('\n');
    std::string_view line = script.substr(0, end);
    script.remove_prefix(end == std::string_view::npos ? script.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::vector<std::string> fields = split_csv_record(line);
    if (fields.size() == 1 && std::count(fields[0].begin(), fields[0].end(), '\\') >= 2) {
      removals.push_back({true, std::move(fields[0]), {}, false});
    } else if (fields.size() == 6) {
      removals.push_back({false, std::move(fields[0]), std::move(fields[1]), fields[5] == "1"});
    }
  }
  return removals;
}

std::optional<ProductFlagWords> parse_product_flags(std::string_view text) {
  constexpr uint64_t int64_max = uint64_t(std::numeric_limits<int64_t>::max());
  std::optional<uint64_t> bits = signed_decimal(trim_blanks(text), int64_max, int64_max + 1);
  if (!bits) return std::nullopt;
  return ProductFlagWords{uint32_t(*bits), uint32_t(*bits >> 32)};
}

std::optional<uint32_t> parse_colour_text(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  uint32_t colour = 0;
  for (size_t i = 0; i < 6; i += 2) {
    int high = hex_value(text[i]);
    int low = hex_value(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    colour |= uint32_t(high * 16 + low) << (4 * i);  // red, green, blue from the low byte up
  }
  return colour;
}

std::optional<double> parse_real_text(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  auto digits_only = [](std::string_view part) {
    return !part.empty() && std::all_of(part.begin(), part.end(), is_digit);
  };
  if (!digits_only(whole) || (point != std::string_view::npos && !digits_only(fraction))) return std::nullopt;

  // The first 19 significant digits (they fit in 64 bits) and the power of ten that
  // scales them; later digits are dropped.
  uint64_t mantissa = 0;
  int significant = 0;
  int64_t exponent = 0;
  auto take = [&](char c, bool after_point) {
    if (significant < 19) {
      mantissa = mantissa * 10 + uint64_t(c - '0');
      if (mantissa != 0) ++significant;
      if (after_point) --exponent;
    } else if (!after_point) {
      ++exponent;
    }
  };
  for (char c : whole) take(c, false);
  for (char c : fraction) take(c, true);

  double value = scaled_by_power_of_ten(double(mantissa), exponent);
  if (!(value <= std::numeric_limits<double>::max())) return std::nullopt;
  return negative ? -value : value;
}

std::vector<std::string> folder_removal_order(std::vector<std::string> folders) {
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  return folders;
}

std::string parent_folder(std::string_view path) {
  path = without_trailing_backslashes(path);
  size_t last = path.rfind('\\');
  size_t root = root_end(path);
  if (last == std::string_view::npos || last <= root) return {};
  std::string_view parent = without_trailing_backslashes(path.substr(0, last));
  if (parent.size() <= root) return {};
  return std::string(parent);
}

bool same_folder(std::string_view a, std::string_view b) {
  if (!a.empty() && a.back() == '\\') a.remove_suffix(1);
  if (!b.empty() && b.back() == '\\') b.remove_suffix(1);
  return equal_ignoring_case(a, b);
}

std::string FolderSet::key(std::string_view folder) {
  if (is_utf8_name(folder)) folder.remove_prefix(1);
  if (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
  return ascii_lowered(folder);
}

std::vector<std::string> product_folders_on_the_way(std::string_view path, std::string_view install_dir,
                                                    const FolderSet& recorded_folders) {
  const bool utf8 = is_utf8_name(path);
  if (utf8) path.remove_prefix(1);
  if (is_utf8_name(install_dir)) install_dir.remove_prefix(1);
  install_dir = without_trailing_backslashes(install_dir);
  auto inside_install_dir = [&](std::string_view folder) {
    return !install_dir.empty() && folder.size() > install_dir.size() && folder[install_dir.size()] == '\\' &&
           equal_ignoring_case(folder.substr(0, install_dir.size()), install_dir);
  };
  std::vector<std::string> folders;
  for (std::string folder = parent_folder(path); !folder.empty(); folder = parent_folder(folder)) {
    if (inside_install_dir(folder) || recorded_folders.contains(folder))
      folders.push_back(utf8 ? "|" + folder : folder);
  }
  return folders;
}

bool whole_directory_deletion_allowed(std::string_view dir, const std::vector<std::string>& protected_folders) {
  dir = without_trailing_backslashes(dir);
  std::string_view below_root;
  if (dir.size() >= 3 && is_ascii_letter(dir[0]) && dir[1] == ':' && dir[2] == '\\') {
    below_root = dir.substr(3);
  } else if (dir.substr(0, 2) == "\\\\") {
    size_t server_end = dir.find('\\', 2);
    if (server_end == std::string_view::npos) return false;
    size_t share_end = dir.find('\\', server_end + 1);
    if (share_end == std::string_view::npos) return false;  // a share root
    if (!plain_component(dir.substr(2, server_end - 2)) ||
        !plain_component(dir.substr(server_end + 1, share_end - server_end - 1)))
      return false;
    below_root = dir.substr(share_end + 1);
  } else {
    return false;
  }
  if (below_root.empty()) return false;  // a drive root
  while (true) {
    size_t end = below_root.find('\\');
    if (!plain_component(below_root.substr(0, end))) return false;
    if (end == std::string_view::npos) break;
    below_root.remove_prefix(end + 1);
  }

  for (const std::string& entry : protected_folders) {
    std::string_view guarded = without_trailing_backslashes(entry);
    if (guarded.empty()) continue;
    if (equal_ignoring_case(guarded, dir)) return false;
    if (guarded.size() > dir.size() && guarded[dir.size()] == '\\' &&
        equal_ignoring_case(guarded.substr(0, dir.size()), dir))
      return false;
  }
  return true;
}

}  // namespace halvard
