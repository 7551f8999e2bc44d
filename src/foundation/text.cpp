#include "foundation/text.h"

namespace halvard {

std::string ascii_lowered(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = ascii_lower(c);
  return result;
}

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && starts_ignoring_case(a, b);
}

bool starts_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (ascii_lower(text[i]) != ascii_lower(prefix[i])) return false;
  }
  return true;
}

}  // namespace halvard
