#include "foundation/restart_operations.h"

#include "foundation/text.h"

namespace halvard {

// ---- "wininit.ini" ----

namespace {

constexpr std::string_view rename_section = "[rename]";

// Where the section header begins a line (after blanks); npos when there is none.
std::size_t find_rename_section(std::string_view text) {
  std::size_t line = 0;
  while (line < text.size()) {
    std::size_t at = line;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (equal_ignoring_case(text.substr(at, rename_section.size()), rename_section)) return at;
    std::size_t end = text.find('\n', line);
    if (end == std::string_view::npos) break;
    line = end + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::string add_wininit_entry(std::string_view text, std::string_view name, std::string_view value) {
  std::string entry;
  entry.append(name).append("=").append(value);
  std::string result(text);
  const std::size_t section = find_rename_section(text);
  if (section == std::string_view::npos) {
    if (!result.empty() && result.back() != '\n') result.append("\r\n");
    result.append(rename_section).append("\r\n").append(entry);
  } else {
    result.insert(section + rename_section.size(), "\r\n" + entry);
  }
  return result;
}

}  // namespace halvard
