#include "foundation/own_path.h"

#include "foundation/text.h"

namespace halvard {

std::string_view file_name_part(std::string_view path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string own_path_from_command_line(std::string_view full_command_line) {
  std::string_view text = trim_blanks(full_command_line);
  if (text.empty()) return {};
  std::string_view path;
  if (text.front() == '"') {
    text.remove_prefix(1);
    path = text.substr(0, text.find('"'));
  } else {
    path = text.substr(0, text.find(' '));
  }
  std::string result(path);
  if (file_name_part(result).find('.') == std::string_view::npos) result += ".EXE";
  return result;
}

}  // namespace halvard
