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

std::string format_message(std::string_view text, std::initializer_list<std::string_view> values) {
  std::string out;
  out.reserve(text.size());
  const std::string_view* next = values.begin();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    char kind = i + 1 < text.size() ? text[i + 1] : 0;
    if (c != '%' || (kind != '%' && kind != 's' && kind != 'c' && kind != 'd' && kind != 'u')) {
      out += c;
      continue;
    }
    ++i;
    if (kind == '%') {
      out += '%';
    } else if (next != values.end()) {
      out += *next++;
    }
  }
  return out;
}

}  // namespace halvard
