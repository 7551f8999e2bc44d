#include "foundation/path_rules.h"

#include "foundation/text.h"

namespace halvard {
namespace {

bool is_ascii_letter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool is_valid_path(std::string_view text, unsigned flags) {
  if (flags & path_trim) text = trim_blanks(text);
  if (text.empty()) return false;
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  }
  if (!text.empty() && text.front() == '|') text.remove_prefix(1);
  // Nothing left after the quotes and the bar names nothing either.
  if (text.empty()) return false;
  if (text.size() >= 2 && text[1] == ':') {
    if (!is_ascii_letter(text[0])) return false;
    text.remove_prefix(2);
  }

  std::string_view forbidden = "/\"<>|*?:;";
  if (flags & path_allow_wildcards) {
    forbidden = "/\"<>|:;";
  } else if (flags & path_allow_star) {
    forbidden = "/\"<>|?:;";
  }
  if (text.find_first_of(forbidden) != std::string_view::npos) return false;

  // Two backslashes in a row only as a UNC prefix.
  std::size_t doubled = text.rfind("\\\\");
  return doubled == std::string_view::npos || doubled == 0;
}

bool is_absolute_path(std::string_view text) {
  if (text.size() >= 3 && is_ascii_letter(text[0]) && text[1] == ':' && text[2] == '\\') return true;
  return text.size() >= 3 && text[0] == '\\' && text[1] == '\\' && text[2] != '\\';
}

std::wstring native_path_name(std::wstring_view full) {
  const std::wstring_view prefix = L"\\??\\";
  auto letter = [](wchar_t c) { return c < 0x80 && is_ascii_letter(static_cast<char>(c)); };
  if (full.size() >= 4 && full[0] == L'\\' && full[1] == L'\\' && (full[2] == L'?' || full[2] == L'.') &&
      full[3] == L'\\')
    return std::wstring(prefix).append(full.substr(4));
  if (full.size() >= 3 && full[0] == L'\\' && full[1] == L'\\' && full[2] != L'\\')
    return std::wstring(prefix).append(L"UNC\\").append(full.substr(2));
  if (full.size() >= 3 && letter(full[0]) && full[1] == L':' && full[2] == L'\\')
    return std::wstring(prefix).append(full);
  return {};
}

}  // namespace halvard
