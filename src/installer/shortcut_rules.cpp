#include "installer/shortcut_rules.h"

#include "foundation/disk.h"
#include "foundation/text.h"

namespace halvard {

unsigned link_flags(unsigned show_mode, bool all_users) {
  return (all_users ? link_all_users : 0) | (show_mode == 1 ? link_minimised : 0) |
         (show_mode == 2 ? link_maximised : 0);
}

std::string link_file_path(std::string_view path) {
  std::string out(path);
  if (ascii_lowered(path).find(".lnk") == std::string::npos) out += ".LNK";
  return out;
}

std::string link_working_folder(std::string_view text) {
  std::string folder(trim_blanks(text));
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string unquoted_folder(std::string_view text) {
  text = trim_blanks(text);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    text = trim_blanks(text.substr(1, text.size() - 2));
  return std::string(text);
}

std::optional<TildeArguments> split_tilde_arguments(std::string_view arguments) {
  if (!arguments.starts_with("~\"")) return std::nullopt;
  size_t close = arguments.find('"', 2);
  if (close == std::string_view::npos) return std::nullopt;
  TildeArguments split;
  split.target = std::string(arguments.substr(2, close - 2));
  split.arguments = std::string(trim_blanks(arguments.substr(close + 1)));
  return split;
}

bool usb_root_shortcut_allowed(unsigned drive_kind_bits, std::optional<int> bus_type, char letter) {
  if (!(drive_kind_bits & drive_removable)) return false;
  if (drive_kind_bits & (drive_fixed | drive_read_only_media | drive_remote)) return false;
  if (bus_type) return *bus_type == 7;
  char upper = ascii_upper(letter);
  return upper != 'A' && upper != 'B';
}

}  // namespace halvard
